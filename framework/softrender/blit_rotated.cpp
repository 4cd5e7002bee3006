// The rotated and scaled blit: the source's corners are turned about its centre texel, and
// every pixel of their clipped bounding box is mapped back into the source by an 18-bit
// fixed-point walk (its top-left corner, no half-pixel offset) and drawn where it lands inside.
// Mirrored drawing walks the source's columns from its right edge. Every float intermediate is
// rounded to single precision where it is formed, and every float-to-integer conversion
// truncates.
#include <cmath>

#include "core/string_functions.h"
#include "softrender/kind_loops.h"
#include "softrender/raster.h"

namespace {

int32_t ToFixed18(float unitSine) {
    return TruncateFloatToInt(unitSine * 262144.0f);
}

bool FitsFixed18(int64_t v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

}  // namespace

void BlitMemImgRotated(MEMIMG* dest, const MEMIMG* src, int32_t cx, int32_t cy, float angle,
                       float scale, int32_t trans, int32_t turn, const MEMIMG* mask) {
    if (!CanBlitOnto(dest, src)) return;
    if (!std::isfinite(angle)) return;

    // Rotation constants: the inverse turn maps destination to source, the forward turn
    // places the corners.
    float sine, cosine;
    ComputeSinCos(-angle, &sine, &cosine);
    const int32_t sinInv = ToFixed18(sine), cosInv = ToFixed18(cosine);
    ComputeSinCos(angle, &sine, &cosine);
    const int32_t sinFwd = ToFixed18(sine), cosFwd = ToFixed18(cosine);

    // Corners 0 to 3: the source's top-left, bottom-left, bottom-right and top-right.
    const float hw = static_cast<float>(static_cast<uint32_t>(src->width)) * scale * 0.5f;
    const float hh = static_cast<float>(static_cast<uint32_t>(src->height)) * scale * 0.5f;
    const float cf = static_cast<float>(cosFwd), sf = static_cast<float>(sinFwd);
    const float a1 = hw * cf, a2 = hw * sf, a3 = hh * cf, a4 = hh * sf;
    const float offsetX[4] = {a4 - a1, -a1 - a4, a1 - a4, a1 + a4};
    const float offsetY[4] = {-a3 - a2, a3 - a2, a3 + a2, a2 - a3};
    // Positions must stay within the fixed-point range, where nothing wraps.
    const int64_t ox = cx * kFixed18One, oy = cy * kFixed18One;
    if (!FitsFixed18(ox) || !FitsFixed18(oy)) return;
    int64_t cornerX[4], cornerY[4];
    for (int i = 0; i < 4; ++i) {
        if (!(std::fabs(offsetX[i]) < 2147483648.0f && std::fabs(offsetY[i]) < 2147483648.0f)) {
            return;
        }
        cornerX[i] = TruncateFloatToInt(offsetX[i]) + ox;
        cornerY[i] = TruncateFloatToInt(offsetY[i]) + oy;
        if (!FitsFixed18(cornerX[i]) || !FitsFixed18(cornerY[i])) return;
    }

    // The bounding box, ties keeping the earlier corner, with margins of 2 left and top and 4
    // right and bottom.
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 1; i < 4; ++i) {
        if (cornerX[i] < cornerX[minX]) minX = i;
        if (cornerX[i] > cornerX[maxX]) maxX = i;
        if (cornerY[i] < cornerY[minY]) minY = i;
        if (cornerY[i] > cornerY[maxY]) maxY = i;
    }
    const RECT box = ClipWideRect(cornerX[minX] / kFixed18One - 2, cornerY[minY] / kFixed18One - 2,
                                  cornerX[maxX] / kFixed18One + 4, cornerY[maxY] / kFixed18One + 4,
                                  DrawableArea(dest));
    if (box.left == box.right || box.top == box.bottom) return;
    // The extreme rows become the clipped box's; when one corner is both (a flat image), the
    // row count below comes out 0.
    cornerY[maxY] = box.bottom * kFixed18One;
    cornerY[minY] = box.top * kFixed18One;
    const int64_t rowCount = (cornerY[maxY] - cornerY[minY]) / kFixed18One;
    if (rowCount == 0) return;

    // Source positions of the box's first pixel and of the pixel just below the box.
    auto unscale = [&](int64_t sum) {
        return TruncateFloatToInt(static_cast<float>(static_cast<double>(sum) / scale));
    };
    const int64_t halfW = (static_cast<uint32_t>(src->width) >> 1) * kFixed18One;
    const int64_t halfH = (static_cast<uint32_t>(src->height) >> 1) * kFixed18One;
    const int64_t offX = box.left - cx, offT = box.top - cy;
    const int64_t offB = cornerY[maxY] / kFixed18One - cy;
    const int64_t uStart = unscale(offX * cosInv - offT * sinInv) + halfW;
    const int64_t vStart = unscale(offT * cosInv + offX * sinInv) + halfH;
    const int64_t uBelow = unscale(offX * cosInv - offB * sinInv) + halfW;
    const int64_t vBelow = unscale(offB * cosInv + offX * sinInv) + halfH;

    BlitSetup setup;
    if (!PrepareMappedDraw(src, trans, mask, &setup)) return;
    RotatedWalk w;
    w.dest = PixelAddress(dest, box.left, box.top, DstBytes(setup.kind));
    w.destPitch = dest->body->pitch;
    w.cols = box.right - box.left;
    w.rows = box.bottom - box.top;
    w.u = static_cast<uint32_t>(uStart);
    w.v = static_cast<uint32_t>(vStart);
    w.du = static_cast<uint32_t>(TruncateFloatToInt(cf / scale));
    w.dv = static_cast<uint32_t>(TruncateFloatToInt(static_cast<float>(sinInv) / scale));
    w.duRow = static_cast<uint32_t>((uBelow - uStart) / rowCount);
    w.dvRow = static_cast<uint32_t>((vBelow - vStart) / rowCount);
    if (turn != 0) {
        // Mirrored: column u reads the source at width - u, so the source's top-left lands on
        // the turned top-right corner. The walk covers every pixel the image turned unmirrored
        // covers, where two triangles of the turned corners lost their first row to an image
        // upside down (all of an image one row high).
        w.u = static_cast<uint32_t>(static_cast<uint32_t>(src->width) * kFixed18One - uStart);
        w.du = 0U - w.du;
        w.duRow = 0U - w.duRow;
    }
    const MappedSource s = DescribeMappedSource(src, mask);
    ForgetRunLengthStream(dest);
    WithKind(setup.kind,
             [&](auto kind) { DrawRotatedBoxOfKind<TagValue<decltype(kind)>>(w, s, setup); });
}
