// The unscaled blit: a whole memory image drawn 1:1, clipped to the draw area, through one
// generated loop per combination of source kind, blend mode, blend graph, bright and
// transparency, with the word, pair and packed-byte shortcuts of the plain sources.
#include <algorithm>

#include "softrender/blits.h"
#include "softrender/kind_loops.h"

namespace {

// The stream covers the whole body, so it serves only an image that is its body, drawn whole.
bool CanWalkStream(const MEMIMG* src, int32_t trans, int w, int h) {
    const MemImgBody* b = src->body;
    return trans == 1 && b->runLengthFlag == 1 && b->runLengthMemory != nullptr &&
           w == src->width && h == src->height && src->width == b->width &&
           src->height == b->height && src->pixels == b->pixelMemory;
}

}  // namespace

void BlitMemImgUnscaled(MEMIMG* dest, MEMIMG* src, int32_t x, int32_t y, int32_t trans,
                        MEMIMG* mask) {
    if (!CanBlitOnto(dest, src)) return;
    // A blend graph smaller than the source limits the drawn part to what it covers.
    int64_t sw = src->width, sh = src->height;
    if (mask != nullptr) {
        sw = std::min<int64_t>(sw, mask->width);
        sh = std::min<int64_t>(sh, mask->height);
    }
    const RECT r = ClipWideRect(x, y, x + sw, y + sh, DrawableArea(dest));
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    const int64_t ox = r.left - int64_t{x}, oy = r.top - int64_t{y};

    const bool walk = CanWalkStream(src, trans, w, h);
    BlitJob j;
    if (!PrepareBlit(src, trans, mask, walk ? BlitPath::RunLength : BlitPath::Unscaled, &j.setup))
        return;
    const int srcBytes = SrcBytes(j.setup.kind);
    j.width = w;
    j.height = h;
    j.dst = PixelAddress(dest, r.left, r.top, DstBytes(j.setup.kind));
    j.dstPitch = dest->body->pitch;
    j.src = PixelAddress(src, ox, oy, srcBytes);
    j.srcPitch = src->body->pitch;
    j.mask = mask != nullptr ? PixelAddress(mask, ox, oy, 1) : nullptr;
    j.maskPitch = mask != nullptr ? mask->body->pitch : 0;
    ForgetRunLengthStream(dest);

    WithKind(j.setup.kind, [&](auto kind) {
        constexpr SrcKind K = TagValue<decltype(kind)>;
        if (walk) {
            const MemImgBody* b = src->body;
            const uint8_t* stream = static_cast<const uint8_t*>(b->runLengthMemory);
            RunRunLengthJobOfKind<K>(j, stream,
                                     stream + static_cast<size_t>(b->width + 5) * b->height);
        } else {
            RunPlainJobOfKind<K>(j);
        }
    });
}
