// The loops of palette sources of RGB565 colours (kind_loops.h).
#include "softrender/mapped_loops.h"
#include "softrender/scaled_loops.h"
#include "softrender/unscaled_loops.h"

template void DrawTexturedTriangleOfKind<SrcKind::Palette565>(const TriangleSetup&,
                                                              const MappedSource&,
                                                              const BlitSetup&);
template void DrawRotatedBoxOfKind<SrcKind::Palette565>(const RotatedWalk&, const MappedSource&,
                                                        const BlitSetup&);
template void RunScaledJobOfKind<SrcKind::Palette565>(const ScaledJob&);
template void RunPlainJobOfKind<SrcKind::Palette565>(const BlitJob&);
template void RunRunLengthJobOfKind<SrcKind::Palette565>(const BlitJob&, const uint8_t*,
                                                         const uint8_t*);
