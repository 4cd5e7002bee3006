// Set-up of the textured pixels that the triangle rasteriser and the rotated blit share: the
// blend preparation and the view of the source and its blend graph.
#include "softrender/mapped_pixels.h"

#include <algorithm>

bool PrepareMappedDraw(const MEMIMG* src, int32_t trans, const MEMIMG* mask, BlitSetup* out) {
    // The blend graph is read at texel positions, so one smaller than the source cannot be.
    if (mask != nullptr && (mask->width < src->width || mask->height < src->height)) return false;
    return PrepareBlit(src, trans, mask, BlitPath::Mapped, out);
}

MappedSource DescribeMappedSource(const MEMIMG* src, const MEMIMG* mask) {
    auto limit = [](int32_t size) {
        return static_cast<uint64_t>(std::clamp<int32_t>(size, 0, 1 << 14)) << kFixed18Shift;
    };
    MappedSource s;
    s.pixels = src->pixels;
    s.pitch = src->body->pitch;
    s.mask = mask != nullptr ? mask->pixels : nullptr;
    s.maskPitch = mask != nullptr ? mask->body->pitch : 0;
    s.uLimit = limit(src->width);
    s.vLimit = limit(src->height);
    return s;
}
