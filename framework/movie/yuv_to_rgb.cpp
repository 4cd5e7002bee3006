// YUV pictures to 32-bit images. Chroma is stepped through, never divided per pixel: one
// division per row finds the chroma row, and along a row a remainder finds the chroma column.
// The SSE2 rows compute the fixed-point formula exactly in 16-bit lanes (terms split at bit 14),
// two luma rows per chroma row, so they equal the plain loop bit for bit: the floor they take
// and the plain loop's (sum / 16384) differ only for negative sums, which the clamp turns into
// 0 either way, and the clamp table's limits are the pack instruction's saturation.
#include "movie/yuv_to_rgb.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

struct YuvState {
    // 14-bit fixed point terms of the 4:2:0 formula and the clamp of their sums.
    int32_t y[256];
    int32_t vr[256];
    int32_t ug[256];
    int32_t vg[256];
    int32_t ub[256];
    uint8_t clamp[1280];  // index value + 512 for values -512 .. 767
    // The same terms in floating point for the other chroma layouts; each entry is the product
    // that the formula forms, so sums of entries round exactly as the formula does.
    double yf[256];
    double vrf[256];
    double ugf[256];
    double vgf[256];
    double ubf[256];
    bool plainLoopsOnly;  // test hook
};
YuvState gYuv;

// One row of output: luma from column x on, chroma of that row, count pixels.
struct RowSpan {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int32_t x;
    int32_t count;
    uint8_t* out;
    int32_t yWidth;  // the chroma step along the row: uvWidth per yWidth
    int32_t uvWidth;
};

uint8_t ClampFixed(int32_t sum) {
    int32_t value = sum / 16384;
    return gYuv.clamp[std::clamp(value, -512, 767) + 512];
}

uint8_t ClampFloat(double value) {
    return static_cast<uint8_t>(std::clamp(static_cast<int>(value), 0, 255));
}

template <bool Fixed>
void ConvertRowPlain(const RowSpan& s) {
    int64_t step = int64_t{s.x} * s.uvWidth;
    int32_t cx = static_cast<int32_t>(step / s.yWidth);
    int32_t rest = static_cast<int32_t>(step % s.yWidth);
    for (int32_t i = 0; i < s.count; ++i) {
        int lum = s.y[s.x + i], u = s.u[cx], v = s.v[cx];
        uint8_t* px = s.out + static_cast<ptrdiff_t>(i) * 4;
        if constexpr (Fixed) {
            px[2] = ClampFixed(gYuv.y[lum] + gYuv.vr[v]);
            px[1] = ClampFixed(gYuv.y[lum] + gYuv.ug[u] + gYuv.vg[v]);
            px[0] = ClampFixed(gYuv.y[lum] + gYuv.ub[u]);
        } else {
            px[2] = ClampFloat(gYuv.yf[lum] + gYuv.vrf[v]);
            px[1] = ClampFloat(gYuv.yf[lum] - gYuv.ugf[u] - gYuv.vgf[v]);
            px[0] = ClampFloat(gYuv.yf[lum] + gYuv.ubf[u]);
        }
        px[3] = 255;
        for (rest += s.uvWidth; rest >= s.yWidth; rest -= s.yWidth) ++cx;
    }
}

// The fixed-point terms of sixteen pixels' chroma, split at bit 14 so that sums stay within
// 16-bit lanes: a term t is high * 16384 + low with 0 <= low < 16384, and for the sum of a luma
// and a chroma term, floor((l + c) / 16384) = lh + ch + 1 when ll > 16383 - cl, else lh + ch,
// exactly. Each lane pair is one chroma sample spread over its two pixels.
struct ChromaTerms {
    __m128i high[3][2];     // blue, green, red; pixels 0-7 and 8-15
    __m128i carryAt[3][2];  // 16383 - low: a luma low part above it carries
};

// The pixel pairs of 8 chroma samples. _mm_mulhi_epi16 of 4x gives floor(x * f / 16384) and
// _mm_mullo_epi16 the low bits; blue's factor 33062 does not fit 16 bits, so its half is
// taken of 8x and 2x. Green has two chroma products, summed in 32 bits.
ChromaTerms SplitChroma(const uint8_t* u, const uint8_t* v) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowBits = _mm_set1_epi16(0x3FFF);
    __m128i us =
        _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)), zero),
                      _mm_set1_epi16(128));
    __m128i vs =
        _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)), zero),
                      _mm_set1_epi16(128));
    __m128i high[3], low[3];
    high[0] = _mm_mulhi_epi16(_mm_slli_epi16(us, 3), _mm_set1_epi16(16531));
    low[0] = _mm_and_si128(_mm_mullo_epi16(_mm_slli_epi16(us, 1), _mm_set1_epi16(16531)), lowBits);
    const __m128i greenFactors = _mm_set1_epi32(
        static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(-13320)) << 16) |
                             static_cast<uint16_t>(-6406)));
    __m128i green0 = _mm_madd_epi16(_mm_unpacklo_epi16(us, vs), greenFactors);
    __m128i green1 = _mm_madd_epi16(_mm_unpackhi_epi16(us, vs), greenFactors);
    high[1] = _mm_packs_epi32(_mm_srai_epi32(green0, 14), _mm_srai_epi32(green1, 14));
    const __m128i lowBits32 = _mm_set1_epi32(0x3FFF);
    low[1] = _mm_packs_epi32(_mm_and_si128(green0, lowBits32), _mm_and_si128(green1, lowBits32));
    high[2] = _mm_mulhi_epi16(_mm_slli_epi16(vs, 2), _mm_set1_epi16(26148));
    low[2] = _mm_and_si128(_mm_mullo_epi16(vs, _mm_set1_epi16(26148)), lowBits);
    ChromaTerms terms;
    for (int c = 0; c < 3; ++c) {
        __m128i carryAt = _mm_sub_epi16(lowBits, low[c]);
        terms.high[c][0] = _mm_unpacklo_epi16(high[c], high[c]);
        terms.high[c][1] = _mm_unpackhi_epi16(high[c], high[c]);
        terms.carryAt[c][0] = _mm_unpacklo_epi16(carryAt, carryAt);
        terms.carryAt[c][1] = _mm_unpackhi_epi16(carryAt, carryAt);
    }
    return terms;
}

// Sixteen pixels of one luma row from an even column, with the chroma terms under them.
void ConvertSixteen(const uint8_t* y, const ChromaTerms& chroma, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i alpha = _mm_set1_epi16(255);
    __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    for (int half = 0; half < 2; ++half) {
        __m128i ys =
            _mm_sub_epi16(half == 0 ? _mm_unpacklo_epi8(luma, zero) : _mm_unpackhi_epi8(luma, zero),
                          _mm_set1_epi16(16));
        __m128i lumaHigh = _mm_mulhi_epi16(_mm_slli_epi16(ys, 2), _mm_set1_epi16(19070));
        __m128i lumaLow =
            _mm_and_si128(_mm_mullo_epi16(ys, _mm_set1_epi16(19070)), _mm_set1_epi16(0x3FFF));
        __m128i channel[3];
        for (int c = 0; c < 3; ++c) {
            // The comparison gives -1 where the low parts carry.
            __m128i carry = _mm_cmpgt_epi16(lumaLow, chroma.carryAt[c][half]);
            channel[c] = _mm_sub_epi16(_mm_add_epi16(lumaHigh, chroma.high[c][half]), carry);
        }
        // Saturation to 0..255 is the clamp; then blue, green, red, alpha per pixel.
        __m128i blueRed = _mm_packus_epi16(channel[0], channel[2]);
        __m128i greenAlpha = _mm_packus_epi16(channel[1], alpha);
        __m128i bg = _mm_unpacklo_epi8(blueRed, greenAlpha);
        __m128i ra = _mm_unpackhi_epi8(blueRed, greenAlpha);
        __m128i* to = reinterpret_cast<__m128i*>(out + half * 32);
        _mm_storeu_si128(to, _mm_unpacklo_epi16(bg, ra));
        _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(bg, ra));
    }
}

// One 4:2:0 row, or two that share their chroma row: an odd first column alone, then sixteen
// pixels at a time, the rest plainly.
void ConvertRowsPacked(const RowSpan& first, const RowSpan* second) {
    RowSpan rows[2] = {first, second != nullptr ? *second : first};
    int count = second != nullptr ? 2 : 1;
    auto plain = [&](int32_t pixels) {
        for (int i = 0; i < count; ++i) {
            RowSpan part = rows[i];
            part.count = pixels;
            ConvertRowPlain<true>(part);
        }
    };
    auto advance = [&](int32_t pixels) {
        for (RowSpan& row : rows) {
            row.x += pixels;
            row.count -= pixels;
            row.out += static_cast<ptrdiff_t>(pixels) * 4;
        }
    };
    if ((rows[0].x & 1) != 0 && rows[0].count > 0) {
        plain(1);
        advance(1);
    }
    while (rows[0].count >= 16) {
        int32_t x = rows[0].x;
        ChromaTerms chroma = SplitChroma(rows[0].u + x / 2, rows[0].v + x / 2);
        for (int i = 0; i < count; ++i) ConvertSixteen(rows[i].y + x, chroma, rows[i].out);
        advance(16);
    }
    plain(rows[0].count);
}

// Columns past the picture repeat its last column.
template <bool Fixed>
void RepeatLastColumn(RowSpan span, int32_t inside, int32_t width) {
    if (inside == width) return;
    uint8_t* row = span.out;
    span.x = span.yWidth - 1;
    span.count = 1;
    span.out = row + static_cast<ptrdiff_t>(inside) * 4;
    ConvertRowPlain<Fixed>(span);
    for (int32_t col = inside + 1; col < width; ++col) {
        std::memcpy(row + static_cast<ptrdiff_t>(col) * 4, span.out, 4);
    }
}

}  // namespace

void BuildYUVToRGBTables() {
    for (int32_t i = -512; i < 768; ++i) {
        gYuv.clamp[i + 512] = static_cast<uint8_t>(i < 0 ? 0 : i > 254 ? 255 : i);
    }
    for (int32_t i = 0; i < 256; ++i) {
        gYuv.y[i] = 19070 * (i - 16);
        gYuv.vr[i] = 26148 * (i - 128);
        gYuv.ug[i] = -6406 * (i - 128);
        gYuv.vg[i] = -13320 * (i - 128);
        gYuv.ub[i] = 33062 * (i - 128);
        gYuv.yf[i] = 1.164 * (i - 16);
        gYuv.vrf[i] = 1.596 * (i - 128);
        gYuv.ugf[i] = 0.391 * (i - 128);
        gYuv.vgf[i] = 0.813 * (i - 128);
        gYuv.ubf[i] = 2.018 * (i - 128);
    }
}

void SetYUVConversionPlainLoopsOnly(bool on) {
    gYuv.plainLoopsOnly = on;
}

void ConvertYUVPictureToImage(const YuvPicture& picture, int32_t left, int32_t top,
                              GraphImage* image) {
    if (picture.yWidth <= 0 || picture.yHeight <= 0 || picture.uvWidth <= 0 ||
        picture.uvHeight <= 0) {
        return;
    }
    bool quarter = picture.yWidth == picture.uvWidth * 2 && picture.yHeight == picture.uvHeight * 2;
    bool packed = quarter && !gYuv.plainLoopsOnly;
    int32_t width = image->width;
    int32_t inside = std::clamp(picture.yWidth - left, 0, width);
    auto rowAt = [&](int32_t row) {
        int32_t y = std::min(row + top, picture.yHeight - 1);
        int32_t cy = static_cast<int32_t>(int64_t{y} * picture.uvHeight / picture.yHeight);
        return RowSpan{
            picture.y + static_cast<ptrdiff_t>(y) * picture.yStride,
            picture.u + static_cast<ptrdiff_t>(cy) * picture.uvStride,
            picture.v + static_cast<ptrdiff_t>(cy) * picture.uvStride,
            left,
            inside,
            static_cast<uint8_t*>(image->pixels) + static_cast<ptrdiff_t>(row) * image->pitch,
            picture.yWidth,
            picture.uvWidth};
    };
    for (int32_t row = 0; row < image->height;) {
        RowSpan span = rowAt(row);
        int32_t y = row + top;
        if (!quarter) {
            ConvertRowPlain<false>(span);
            RepeatLastColumn<false>(span, inside, width);
            ++row;
            continue;
        }
        // An even luma row and the one below it share their chroma row.
        bool pair = packed && y % 2 == 0 && row + 1 < image->height && y + 1 < picture.yHeight;
        if (pair) {
            RowSpan below = rowAt(row + 1);
            ConvertRowsPacked(span, &below);
            RepeatLastColumn<true>(below, inside, width);
        } else if (packed) {
            ConvertRowsPacked(span, nullptr);
        } else {
            ConvertRowPlain<true>(span);
        }
        RepeatLastColumn<true>(span, inside, width);
        row += pair ? 2 : 1;
    }
}
