// The scaled and mirrored blit: a whole memory image stretched onto a rectangle with 16.16
// fixed-point column and row accumulators, clipped so that every visible pixel shows the
// sample the unclipped draw would show there; one generated loop per combination.
#include <algorithm>
#include <cstring>

#include "softrender/blit_frame.h"
#include "softrender/blits.h"

namespace {

// Sizes at or beyond this would overflow the 16.16 arithmetic; such draws are refused.
constexpr int64_t kMaxScaledSize = 32768;

struct ScaledJob {
    BlitSetup setup;
    int width;   // visible target pixels per row
    int height;  // visible target rows
    uint8_t* dst;
    ptrdiff_t dstPitch;
    const uint8_t* src;  // the first sample of the first visible row
    ptrdiff_t srcStep;   // +-pixel size: mirroring walks the source backwards
    ptrdiff_t srcRowStep;
    const uint8_t* mask;
    ptrdiff_t maskStep;
    ptrdiff_t maskRowStep;
    int32_t colStep;  // target pixels per source pixel, 16.16
    int32_t rowStep;
    int32_t firstColAcc;
    int32_t firstRowAcc;
};

// After each target pixel the accumulator loses 65536; at 0 or below the source advances at
// least once, then on while the accumulator stays at or below 0 (general walk) or below 0
// (strict walk, taken by the whole-sample copies and subtractions). Rows step the same way.
template <class C>
constexpr bool UsesStrictWalk() {
    return (C::op == 0 || C::op == kOpRawSub) && !C::mask && !C::bright && !HasAlpha(C::kind);
}

// One target row: the column walk from the row's first sample.
template <class C>
void RunScaledRow(const ScaledJob& j, const uint8_t* sp, const uint8_t* mp, uint8_t* dp) {
    constexpr SrcKind K = C::kind;
    constexpr bool strict = UsesStrictWalk<C>();
    const BlendContext& c = j.setup.ctx;
    int32_t acc = j.firstColAcc;
    // The transparency test is made once per source pixel reached.
    Sample s = Fetch<K>(sp, c);
    PixelClass cls = Classify<C>(s, c.key);
    uint32_t m = 0;
    if constexpr (C::mask) m = c.weights[*mp];
    for (int x = 0;;) {
        if (cls != PixelClass::Skip) StoreDst<K>(dp, BlendPixel<C>(LoadDst<K>(dp), s, m, cls, c));
        if (++x == j.width) break;
        dp += DstBytes(K);
        acc -= 65536;
        if (acc <= 0) {
            do {
                sp += j.srcStep;
                if constexpr (C::mask) mp += j.maskStep;
                acc += j.colStep;
            } while (strict ? acc < 0 : acc <= 0);
            s = Fetch<K>(sp, c);
            cls = Classify<C>(s, c.key);
            if constexpr (C::mask) m = c.weights[*mp];
        }
    }
}

template <class C>
void RunScaledLoop(const ScaledJob& j) {
    constexpr SrcKind K = C::kind;
    constexpr bool strict = UsesStrictWalk<C>();
    // A copy does not depend on the destination, so a row that samples the same source row
    // as the one above it is that row again.
    constexpr bool copy = C::op == 0 && !C::mask && !C::bright && !C::trans && !HasAlpha(K);
    const uint8_t* srcRow = j.src;
    const uint8_t* maskRow = j.mask;
    uint8_t* dstRow = j.dst;
    int32_t rowAcc = j.firstRowAcc;
    bool sameSourceRow = false;
    for (int y = 0;;) {
        if (copy && sameSourceRow) {
            std::memcpy(dstRow, dstRow - j.dstPitch, static_cast<size_t>(j.width) * DstBytes(K));
        } else {
            RunScaledRow<C>(j, srcRow, maskRow, dstRow);
        }
        if (++y == j.height) break;
        dstRow += j.dstPitch;
        rowAcc -= 65536;
        sameSourceRow = rowAcc > 0;
        if (!sameSourceRow) {
            do {
                srcRow += j.srcRowStep;
                if constexpr (C::mask) maskRow += j.maskRowStep;
                rowAcc += j.rowStep;
            } while (strict ? rowAcc < 0 : rowAcc <= 0);
        }
    }
}

void RunScaledJob(const ScaledJob& j) {
    const BlitSetup& s = j.setup;
    if (s.op == kOpRawSub) {
        WithKind(s.kind, [&](auto kind) {
            constexpr SrcKind K = TagValue<decltype(kind)>;
            if constexpr (!HasAlpha(K)) {
                WithFlag(s.trans, [&](auto trans) {
                    WithFlag(s.simd && IsWide(K), [&](auto simd) {
                        RunScaledLoop<Combo<K, kOpRawSub, false, false, TagValue<decltype(trans)>,
                                            BlitPath::Scaled, TagValue<decltype(simd)>>>(j);
                    });
                });
            }
        });
        return;
    }
    WithCombo<BlitPath::Scaled>(s, [&](auto combo) { RunScaledLoop<decltype(combo)>(j); });
}

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
    RunScaledJob(j);
}
