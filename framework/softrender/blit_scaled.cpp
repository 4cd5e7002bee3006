// The scaled and mirrored blit: a whole memory image stretched onto a rectangle with 16.16
// fixed-point column and row accumulators, clipped so that every visible pixel shows the
// sample the unclipped draw would show there; one generated loop per combination.
#include <algorithm>

#include "softrender/blits.h"
#include "softrender/kind_loops.h"

namespace {

// Sizes at or beyond this would overflow the 16.16 arithmetic; such draws are refused.
constexpr int64_t kMaxScaledSize = 32768;

// Splits a clip offset into whole source pixels skipped and the first accumulator value.
void StartWalk(int64_t offset, int32_t step, int64_t* skipped, int32_t* firstAcc) {
    *skipped = offset * 65536 / step;
    *firstAcc = static_cast<int32_t>(step - offset * 65536 % step);
}

}  // namespace

void BlitMemImgScaled(MEMIMG* dest, MEMIMG* src, const int32_t rect[4], int32_t trans,
                      MEMIMG* mask) {
    const int64_t x1 = rect[0], y1 = rect[1], x2 = rect[2], y2 = rect[3];
    const int64_t left = std::min(x1, x2), right = std::max(x1, x2);
    const int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
    const bool mirrorX = x1 > x2, mirrorY = y1 > y2;
    const int64_t width = right - left, height = bottom - top;
    if (width == 0 || height == 0) return;
    if (width == src->width && height == src->height && !mirrorX && !mirrorY) {
        BlitMemImgUnscaled(dest, src, static_cast<int32_t>(left), static_cast<int32_t>(top), trans,
                           mask);
        return;
    }
    // The scaled loops write pixels of the source's size, so the unscaled refusals hold here
    // too; sizes outside the 16.16 range and blend graphs smaller than the source draw nothing.
    if (!CanBlitOnto(dest, src)) return;
    const int64_t sw = src->width, sh = src->height;
    if (sw <= 0 || sh <= 0 || sw >= kMaxScaledSize || sh >= kMaxScaledSize) return;
    if (width >= kMaxScaledSize || height >= kMaxScaledSize) return;
    if (mask != nullptr && (mask->width < sw || mask->height < sh)) return;
    const int32_t colStep = static_cast<int32_t>(width * 65536 / sw);
    const int32_t rowStep = static_cast<int32_t>(height * 65536 / sh);
    if (colStep == 0 || rowStep == 0) return;

    const RECT r = ClipWideRect(left, top, right, bottom, DrawableArea(dest));
    ScaledJob j;
    j.width = r.right - r.left;
    j.height = r.bottom - r.top;
    if (j.width <= 0 || j.height <= 0) return;
    if (!PrepareBlit(src, trans, mask, BlitPath::Scaled, &j.setup)) return;

    int64_t sx, sy;
    StartWalk(r.left - left, colStep, &sx, &j.firstColAcc);
    StartWalk(r.top - top, rowStep, &sy, &j.firstRowAcc);
    const int64_t col = mirrorX ? sw - 1 - sx : sx;
    const int64_t row = mirrorY ? sh - 1 - sy : sy;
    const int srcBytes = SrcBytes(j.setup.kind);
    const ptrdiff_t colDir = mirrorX ? -1 : 1, rowDir = mirrorY ? -1 : 1;
    j.colStep = colStep;
    j.rowStep = rowStep;
    j.dst = PixelAddress(dest, r.left, r.top, DstBytes(j.setup.kind));
    j.dstPitch = dest->body->pitch;
    j.src = PixelAddress(src, col, row, srcBytes);
    j.srcStep = colDir * srcBytes;
    j.srcRowStep = rowDir * src->body->pitch;
    j.mask = mask != nullptr ? PixelAddress(mask, col, row, 1) : nullptr;
    j.maskStep = colDir;
    j.maskRowStep = mask != nullptr ? rowDir * mask->body->pitch : 0;
    ForgetRunLengthStream(dest);
    WithKind(j.setup.kind, [&](auto kind) { RunScaledJobOfKind<TagValue<decltype(kind)>>(j); });
}
