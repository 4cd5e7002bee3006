// The loops of RGB565 sources with an alpha byte (kind_loops.h).
#include "softrender/mapped_loops.h"
#include "softrender/scaled_loops.h"
#include "softrender/unscaled_loops.h"

template void DrawTexturedTriangleOfKind<SrcKind::Alpha565>(const TriangleSetup&,
                                                            const MappedSource&, const BlitSetup&);
template void DrawRotatedBoxOfKind<SrcKind::Alpha565>(const RotatedWalk&, const MappedSource&,
                                                      const BlitSetup&);
template void RunScaledJobOfKind<SrcKind::Alpha565>(const ScaledJob&);
template void RunPlainJobOfKind<SrcKind::Alpha565>(const BlitJob&);
template void RunRunLengthJobOfKind<SrcKind::Alpha565>(const BlitJob&, const uint8_t*,
                                                       const uint8_t*);
