// The loops of 32-bit sources (kind_loops.h).
#include "softrender/mapped_loops.h"
#include "softrender/scaled_loops.h"
#include "softrender/unscaled_loops.h"

template void DrawTexturedTriangleOfKind<SrcKind::Direct32>(const TriangleSetup&,
                                                            const MappedSource&, const BlitSetup&);
template void DrawRotatedBoxOfKind<SrcKind::Direct32>(const RotatedWalk&, const MappedSource&,
                                                      const BlitSetup&);
template void RunScaledJobOfKind<SrcKind::Direct32>(const ScaledJob&);
template void RunPlainJobOfKind<SrcKind::Direct32>(const BlitJob&);
template void RunRunLengthJobOfKind<SrcKind::Direct32>(const BlitJob&, const uint8_t*,
                                                       const uint8_t*);
