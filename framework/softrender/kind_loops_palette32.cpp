// The loops of palette sources of 32-bit colours (kind_loops.h).
#include "softrender/mapped_loops.h"
#include "softrender/scaled_loops.h"
#include "softrender/unscaled_loops.h"

template void DrawTexturedTriangleOfKind<SrcKind::Palette32>(const TriangleSetup&,
                                                             const MappedSource&, const BlitSetup&);
template void DrawRotatedBoxOfKind<SrcKind::Palette32>(const RotatedWalk&, const MappedSource&,
                                                       const BlitSetup&);
template void RunScaledJobOfKind<SrcKind::Palette32>(const ScaledJob&);
template void RunPlainJobOfKind<SrcKind::Palette32>(const BlitJob&);
template void RunRunLengthJobOfKind<SrcKind::Palette32>(const BlitJob&, const uint8_t*,
                                                        const uint8_t*);
