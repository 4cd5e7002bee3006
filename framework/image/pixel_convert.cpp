// The pixel converter: one per-pixel path that defines how any format becomes any other
// (widths, positions, alpha, transparent colour, mirroring, dithering, palettes), shortcuts
// for the common pairs that give exactly its pixels, and the image copy and stretch over it.
#include "image/pixel_convert.h"

#include <cstring>

namespace {

const ColorFormat kNoFormat{};

// The 4 x 4 ordered-dither matrix, row by row.
constexpr uint8_t kDitherMatrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

// One call's arguments after the flag rules that make modes exclusive.
struct ConvertJob {
    uint8_t* dest;
    int destPitch;
    const ColorFormat* df;
    const uint8_t* src;
    int srcPitch;
    const ColorFormat* sf;
    const uint8_t* alpha;
    int alphaPitch;
    const ColorFormat* af;
    int destX, destY;
    int left, top, width, height;
    int mirror, keyToAlpha;
    uint32_t keyColor;
    int ditherMode, alphaOnly, alphaFromRed, skipKeyed, remapPalette;
    bool destAlpha, srcAlpha, alphaSupplied, alphaFromImage;
};

bool PrepareJob(ConvertJob* j, const PixelRectConversion& c) {
    const RECT& rect = *c.srcRect;
    *j = {static_cast<uint8_t*>(c.destPixels),
          c.destPitch,
          c.destFormat,
          static_cast<const uint8_t*>(c.srcPixels),
          c.srcPitch,
          c.srcFormat,
          static_cast<const uint8_t*>(c.alphaPixels),
          c.alphaPitch,
          c.alphaFormat != nullptr ? c.alphaFormat : &kNoFormat,
          c.destX,
          c.destY,
          rect.left,
          rect.top,
          rect.right - rect.left,
          rect.bottom - rect.top,
          c.mirror,
          c.keyToAlpha,
          c.keyColor,
          c.ditherMode,
          c.alphaOnly,
          c.alphaFromRed,
          c.skipKeyed,
          c.remapPalette,
          false,
          false,
          false,
          false};
    j->destAlpha = c.destFormat->alphaWidth != 0;
    j->srcAlpha = c.srcFormat->alphaWidth != 0;
    bool alphaImage = c.alphaPixels != nullptr;
    j->alphaSupplied = j->destAlpha && (alphaImage || j->srcAlpha);
    // A source with alpha of its own ignores the alpha image.
    j->alphaFromImage = j->destAlpha && alphaImage && !j->srcAlpha;
    if (j->alphaSupplied || !j->destAlpha || j->alphaFromRed) j->keyToAlpha = 0;
    if (j->mirror) j->skipKeyed = 0;
    return j->width > 0 && j->height > 0;
}

uint32_t ChannelUnion(const ColorFormat& f) {
    return f.redMask | f.greenMask | f.blueMask | f.alphaMask;
}

uint32_t SizeMask(int bytes) {
    return bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
}

// The palette entry of an index as a 32-bit value {blue, green, red, alpha}.
uint32_t PaletteValue(const ColorFormat& f, uint32_t index) {
    const PaletteEntry& e = f.palette[index & 0xFF];
    return e.blue | (e.green << 8) | (e.red << 16) | (static_cast<uint32_t>(e.alpha) << 24);
}

uint32_t Split(uint32_t value, uint32_t mask, int shift) {
    return (value & mask) >> shift;
}

uint32_t MaxOf(int width) {
    return static_cast<uint32_t>((uint64_t{1} << width) - 1);
}

// A channel value of one width at another: narrowing drops low bits, widening spreads the
// value so that a full source gives a full destination. A source without the channel gives 0.
uint32_t Rescale(uint32_t v, int from, int to) {
    if (from == to) return v;
    if (from > to) return from - to >= 32 ? 0 : v >> (from - to);
    if (from == 0) return 0;
    int d = to - from;
    uint64_t widened = (uint64_t{v} << d) + uint64_t{v} * MaxOf(d) / MaxOf(from);
    return static_cast<uint32_t>(widened);
}

// Where the general path keeps what it works out once per call.
struct GeneralPath {
    const ConvertJob& j;
    uint32_t srcUnion;
    uint32_t skipKey;  // the transparent colour in the form the skip test compares
    uint32_t keyRed, keyGreen, keyBlue;
    bool dither;
    uint32_t carry[4];  // error-carry accumulators, kept across rows

    explicit GeneralPath(const ConvertJob& job) : j(job), carry{} {
        const ColorFormat& sf = *j.sf;
        srcUnion = ChannelUnion(sf);
        if (sf.pixelBytes == 1) {
            // A palette source's transparent colour is an index.
            skipKey = j.keyToAlpha ? j.keyColor : j.keyColor & 0xFF;
        } else {
            skipKey = j.keyToAlpha ? j.keyColor : j.keyColor & SizeMask(sf.pixelBytes) & srcUnion;
        }
        uint32_t packed = PackKeyColorForFormat(&sf, j.keyColor);
        uint32_t key = sf.pixelBytes == 1 ? PaletteValue(sf, packed) : packed;
        keyRed = Split(key, sf.redMask, sf.redShift);
        keyGreen = Split(key, sf.greenMask, sf.greenShift);
        keyBlue = Split(key, sf.blueMask, sf.blueShift);
        const ColorFormat& df = *j.df;
        bool narrowed = sf.redWidth != df.redWidth || sf.greenWidth != df.greenWidth ||
                        sf.blueWidth != df.blueWidth ||
                        (j.alphaFromImage && j.af->redWidth != df.alphaWidth);
        dither = (j.ditherMode == 1 || j.ditherMode == 2) && narrowed;
    }

    // Channel k (red, green, blue, alpha) from its source width to its destination width,
    // dithered when narrowed; never beyond the destination width.
    uint32_t Narrow(int k, uint32_t v, int from, int to, int col, int row) {
        uint32_t out = Rescale(v, from, to);
        if (!dither || from <= to) return out;
        int d = from - to;
        uint32_t range = MaxOf(d);
        uint32_t dropped = v & range;
        bool up;
        if (j.ditherMode == 1) {
            uint64_t threshold =
                ((uint64_t{range} + 1) * kDitherMatrix[(col & 3) + (row & 3) * 4]) >> 4;
            up = dropped > threshold;
        } else {
            carry[k] += dropped;
            up = carry[k] > range;
            if (up) carry[k] &= range;
        }
        if (up && out < MaxOf(to)) ++out;
        return out;
    }

    // The destination value of one source pixel (an index for 1-byte sources); false when
    // the pixel is skipped as transparent.
    bool Pixel(uint32_t raw, uint32_t alphaRaw, int col, int row, uint32_t* out) {
        const ColorFormat& sf = *j.sf;
        const ColorFormat& df = *j.df;
        uint32_t value = sf.pixelBytes == 1 ? PaletteValue(sf, raw) : raw;
        if (j.skipKeyed) {
            uint32_t compared = sf.pixelBytes == 1 ? raw : value & srcUnion;
            if (compared == skipKey) return false;
        }
        uint32_t r = Split(value, sf.redMask, sf.redShift);
        uint32_t g = Split(value, sf.greenMask, sf.greenShift);
        uint32_t b = Split(value, sf.blueMask, sf.blueShift);

        uint32_t a;
        int alphaWidth = df.alphaWidth;
        if (j.keyToAlpha) {
            a = (r == keyRed && g == keyGreen && b == keyBlue) ? 0 : MaxOf(df.alphaWidth);
        } else if (j.alphaFromImage) {
            const ColorFormat& af = *j.af;
            uint32_t av = af.pixelBytes == 1 ? PaletteValue(af, alphaRaw) : alphaRaw;
            a = Split(av, af.redMask, af.redShift);
            alphaWidth = af.redWidth;
        } else if (!j.srcAlpha) {
            a = MaxOf(df.alphaWidth);
        } else if (df.alphaMask == 0) {
            a = 0;
        } else {
            a = Split(value, sf.alphaMask, sf.alphaShift);
            alphaWidth = sf.alphaWidth;
        }
        if (j.alphaFromRed) {
            a = r;
            alphaWidth = sf.redWidth;
        }

        r = Narrow(0, r, sf.redWidth, df.redWidth, col, row);
        g = Narrow(1, g, sf.greenWidth, df.greenWidth, col, row);
        b = Narrow(2, b, sf.blueWidth, df.blueWidth, col, row);
        a = Narrow(3, a, alphaWidth, df.alphaWidth, col, row);
        if (j.alphaOnly) r = g = b = 0;

        uint32_t composed =
            ((r << df.redShift) & df.redMask) | ((g << df.greenShift) & df.greenMask) |
            ((b << df.blueShift) & df.blueMask) | ((a << df.alphaShift) & df.alphaMask);
        if (df.pixelBytes == 2 || df.pixelBytes == 4) composed |= df.spareMask;
        *out = composed;
        return true;
    }
};

const uint8_t* SourceRow(const ConvertJob& j, int row) {
    return j.src + static_cast<intptr_t>(j.top + row) * j.srcPitch +
           static_cast<intptr_t>(j.left) * j.sf->pixelBytes;
}

// The destination address of the row's first written pixel and the step between pixels;
// mirrored rows are written right to left.
uint8_t* DestRow(const ConvertJob& j, int row, int* step) {
    int bytes = j.df->pixelBytes;
    uint8_t* d = j.dest + static_cast<intptr_t>(j.destY + row) * j.destPitch +
                 static_cast<intptr_t>(j.destX) * bytes;
    *step = bytes;
    if (j.mirror) {
        d += static_cast<intptr_t>(j.width - 1) * bytes;
        *step = -bytes;
    }
    return d;
}

int RunGeneral(const ConvertJob& j) {
    GeneralPath path(j);
    int sb = j.sf->pixelBytes, db = j.df->pixelBytes, ab = j.af->pixelBytes;
    for (int row = 0; row < j.height; ++row) {
        const uint8_t* s = SourceRow(j, row);
        const uint8_t* a = nullptr;
        if (j.alphaFromImage) {
            a = j.alpha + static_cast<intptr_t>(j.top + row) * j.alphaPitch +
                static_cast<intptr_t>(j.left) * ab;
        }
        int step;
        uint8_t* d = DestRow(j, row, &step);
        for (int col = 0; col < j.width; ++col, s += sb, d += step) {
            uint32_t alphaRaw = a != nullptr ? LoadPixelValue(a + col * ab, ab) : 0;
            uint32_t out;
            if (path.Pixel(LoadPixelValue(s, sb), alphaRaw, col, row, &out)) {
                StorePixelValue(d, db, out);
            }
        }
    }
    return 0;
}

// Runs f(source pixel address) -> destination value over the rectangle, unmirrored.
template <typename F>
void MapPixels(const ConvertJob& j, F f) {
    int sb = j.sf->pixelBytes, db = j.df->pixelBytes;
    for (int row = 0; row < j.height; ++row) {
        const uint8_t* s = SourceRow(j, row);
        int step;
        uint8_t* d = DestRow(j, row, &step);
        for (int col = 0; col < j.width; ++col, s += sb, d += step) StorePixelValue(d, db, f(s));
    }
}

int RemapPaletteIndices(const ConvertJob& j) {
    uint8_t map[256];
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& e = j.sf->palette[i];
        map[i] = static_cast<uint8_t>(PackColorForFormat(j.df, e.red, e.green, e.blue, 0));
    }
    MapPixels(j, [&map](const uint8_t* s) -> uint32_t { return map[*s]; });
    return 0;
}

int ConvertColorToPalette(const ConvertJob& j) {
    const ColorFormat& sf = *j.sf;
    int bytes = sf.pixelBytes;
    if (bytes < 2 || bytes > 4) return 0;
    // Channels are scaled to 0 to 255 before the palette search, which works in bytes.
    bool cached = false;
    uint32_t lastRaw = 0, lastIndex = 0;
    MapPixels(j, [&](const uint8_t* s) -> uint32_t {
        uint32_t raw = LoadPixelValue(s, bytes);
        if (cached && raw == lastRaw) return lastIndex;
        auto byteOf = [raw](uint32_t mask, int shift, int width) {
            return static_cast<int>(Rescale(Split(raw, mask, shift), width, 8));
        };
        lastIndex = PackColorForFormat(j.df, byteOf(sf.redMask, sf.redShift, sf.redWidth),
                                       byteOf(sf.greenMask, sf.greenShift, sf.greenWidth),
                                       byteOf(sf.blueMask, sf.blueShift, sf.blueWidth),
                                       byteOf(sf.alphaMask, sf.alphaShift, sf.alphaWidth));
        lastRaw = raw;
        cached = true;
        return lastIndex;
    });
    return 0;
}

int CopyIndices(const ConvertJob& j) {
    uint8_t largest = 0;
    for (int row = 0; row < j.height; ++row) {
        const uint8_t* s = SourceRow(j, row);
        int step;
        uint8_t* d = DestRow(j, row, &step);
        std::memcpy(d, s, j.width);
        for (int col = 0; col < j.width; ++col) largest = s[col] > largest ? s[col] : largest;
    }
    return largest;
}

// Pixels of one layout: channel bits kept, unused bits set as the general path sets them.
int MoveSameLayout(const ConvertJob& j) {
    int bytes = j.sf->pixelBytes;
    bool indices = bytes == 1;
    uint32_t keep = indices ? 0xFF : ChannelUnion(*j.sf);
    uint32_t add = (bytes == 2 || bytes == 4) ? j.df->spareMask : 0;
    if (!j.mirror && !j.skipKeyed && keep == SizeMask(bytes) && add == 0) {
        for (int row = 0; row < j.height; ++row) {
            int step;
            std::memcpy(DestRow(j, row, &step), SourceRow(j, row),
                        static_cast<size_t>(j.width) * bytes);
        }
        return 0;
    }
    uint32_t key = indices ? j.keyColor & 0xFF : j.keyColor & SizeMask(bytes) & keep;
    for (int row = 0; row < j.height; ++row) {
        const uint8_t* s = SourceRow(j, row);
        int step;
        uint8_t* d = DestRow(j, row, &step);
        for (int col = 0; col < j.width; ++col, s += bytes, d += step) {
            uint32_t v = LoadPixelValue(s, bytes) & keep;
            if (j.skipKeyed && v == key) continue;
            StorePixelValue(d, bytes, v | add);
        }
    }
    return 0;
}

int CopyOpaqueSkippingKey(const ConvertJob& j) {
    uint32_t key = j.keyColor & 0xFFFFFF;
    for (int row = 0; row < j.height; ++row) {
        const uint8_t* s = SourceRow(j, row);
        int step;
        uint8_t* d = DestRow(j, row, &step);
        for (int col = 0; col < j.width; ++col, s += 4, d += 4) {
            uint32_t v = LoadPixelValue(s, 4) & 0xFFFFFF;
            if (v != key) StorePixelValue(d, 4, v | 0xFF000000);
        }
    }
    return 0;
}

// Same colour layout, alpha made from the transparent colour.
int KeyToAlphaSameLayout(const ConvertJob& j) {
    const ColorFormat& df = *j.df;
    int bytes = df.pixelBytes;
    uint32_t colour = df.redMask | df.greenMask | df.blueMask;
    uint32_t key = PackKeyColorForFormat(&df, j.keyColor) & colour;
    uint32_t add = (bytes == 2 || bytes == 4) ? df.spareMask : 0;
    MapPixels(j, [&](const uint8_t* s) -> uint32_t {
        uint32_t v = LoadPixelValue(s, bytes) & colour;
        return v | (v == key ? 0 : df.alphaMask) | add;
    });
    return 0;
}

bool HasMasks(const ColorFormat& f, int bits, uint32_t r, uint32_t g, uint32_t b) {
    return f.bitsPerPixel == bits && f.redMask == r && f.greenMask == g && f.blueMask == b;
}
bool IsRgb565(const ColorFormat& f) {
    return HasMasks(f, 16, 0xF800, 0x7E0, 0x1F) && f.alphaMask == 0;
}
bool IsX1Rgb555(const ColorFormat& f) {
    return HasMasks(f, 16, 0x7C00, 0x3E0, 0x1F) && f.alphaMask == 0;
}
bool IsA1Rgb555(const ColorFormat& f) {
    return HasMasks(f, 16, 0x7C00, 0x3E0, 0x1F) && f.alphaMask == 0x8000;
}
bool IsRgb24(const ColorFormat& f) {
    return HasMasks(f, 24, 0xFF0000, 0xFF00, 0xFF);
}
bool IsRgb32(const ColorFormat& f) {
    return HasMasks(f, 32, 0xFF0000, 0xFF00, 0xFF);
}
bool IsXrgb32(const ColorFormat& f) {
    return IsRgb32(f) && f.alphaMask == 0;
}
bool IsArgb32(const ColorFormat& f) {
    return IsRgb32(f) && f.alphaMask == 0xFF000000;
}

// Widening tables of the general path's rule.
struct WidenTables {
    uint8_t from5[32], from6[64], from5to6[32];
    WidenTables() {
        for (uint32_t v = 0; v < 64; ++v) {
            if (v < 32) {
                from5[v] = static_cast<uint8_t>(Rescale(v, 5, 8));
                from5to6[v] = static_cast<uint8_t>(Rescale(v, 5, 6));
            }
            from6[v] = static_cast<uint8_t>(Rescale(v, 6, 8));
        }
    }
};
const WidenTables kWiden;

uint32_t Rgb24At(const uint8_t* s) {
    return s[0] | (s[1] << 8) | (s[2] << 16);
}
uint32_t Rgb24To565(uint32_t v) {
    return ((v >> 8) & 0xF800) | ((v >> 5) & 0x7E0) | ((v >> 3) & 0x1F);
}
uint32_t Rgb24To555(uint32_t v) {
    return ((v >> 9) & 0x7C00) | ((v >> 6) & 0x3E0) | ((v >> 3) & 0x1F);
}
uint32_t Rgb565To24(uint32_t v) {
    return (kWiden.from5[v >> 11] << 16) | (kWiden.from6[(v >> 5) & 63] << 8) |
           kWiden.from5[v & 31];
}
uint32_t Rgb565To555(uint32_t v) {
    return ((v >> 1) & 0x7FE0) | (v & 0x1F);
}

// The fixed pairs; false when the pair is not one of them.
bool ConvertDirectPair(const ConvertJob& j) {
    const ColorFormat& sf = *j.sf;
    const ColorFormat& df = *j.df;
    uint32_t spare = df.spareMask;
    if (sf.pixelBytes == 1) {
        bool fits = j.keyToAlpha ? (IsA1Rgb555(df) || IsArgb32(df))
                                 : (IsRgb565(df) || IsX1Rgb555(df) || IsXrgb32(df));
        if (!fits) return false;
        // Every index has one result: the general path's, worked out once per entry.
        GeneralPath path(j);
        uint32_t table[256];
        for (uint32_t i = 0; i < 256; ++i) path.Pixel(i, 0, 0, 0, &table[i]);
        MapPixels(j, [&table](const uint8_t* s) { return table[*s]; });
        return true;
    }
    if (j.keyToAlpha) {
        uint32_t key = PackKeyColorForFormat(&sf, j.keyColor);
        uint32_t opaque = df.alphaMask;
        if (IsRgb24(sf) && (IsA1Rgb555(df) || IsArgb32(df))) {
            key &= 0xFFFFFF;
            bool to555 = IsA1Rgb555(df);
            MapPixels(j, [=](const uint8_t* s) {
                uint32_t v = Rgb24At(s);
                return (to555 ? Rgb24To555(v) : v) | (v == key ? 0 : opaque) | spare;
            });
            return true;
        }
        if (IsRgb565(sf) && (IsA1Rgb555(df) || IsArgb32(df))) {
            key &= 0xFFFF;
            bool to555 = IsA1Rgb555(df);
            MapPixels(j, [=](const uint8_t* s) {
                uint32_t v = LoadPixelValue(s, 2);
                return (to555 ? Rgb565To555(v) : Rgb565To24(v)) | (v == key ? 0 : opaque) | spare;
            });
            return true;
        }
        return false;
    }
    if (IsRgb24(sf)) {
        if (IsRgb565(df)) {
            MapPixels(j, [](const uint8_t* s) { return Rgb24To565(Rgb24At(s)); });
        } else if (IsX1Rgb555(df)) {
            MapPixels(j, [=](const uint8_t* s) { return Rgb24To555(Rgb24At(s)) | spare; });
        } else if (IsRgb32(df)) {
            uint32_t top = PackColorForFormat(&df, 0, 0, 0, 255);
            MapPixels(j, [=](const uint8_t* s) { return Rgb24At(s) | top; });
        } else {
            return false;
        }
        return true;
    }
    if (j.alphaSupplied) return false;
    if (IsXrgb32(sf) && IsRgb565(df)) {
        MapPixels(j, [](const uint8_t* s) { return Rgb24To565(Rgb24At(s)); });
        return true;
    }
    if (IsRgb565(sf)) {
        if (IsRgb24(df) || IsXrgb32(df)) {
            MapPixels(j,
                      [=](const uint8_t* s) { return Rgb565To24(LoadPixelValue(s, 2)) | spare; });
        } else if (IsX1Rgb555(df)) {
            MapPixels(j,
                      [=](const uint8_t* s) { return Rgb565To555(LoadPixelValue(s, 2)) | spare; });
        } else {
            return false;
        }
        return true;
    }
    if (IsX1Rgb555(sf) && IsRgb565(df)) {
        MapPixels(j, [=](const uint8_t* s) {
            uint32_t v = LoadPixelValue(s, 2);
            return ((v << 1) & 0xF800) | (kWiden.from5to6[(v >> 5) & 31] << 5) | (v & 0x1F) | spare;
        });
        return true;
    }
    return false;
}

bool ValidPixelSizes(const ConvertJob& j) {
    int sb = j.sf->pixelBytes, db = j.df->pixelBytes;
    return sb >= 1 && sb <= 4 && db >= 1 && db <= 4 && j.af->pixelBytes <= 4;
}

}  // namespace

int ConvertPixelRect(const PixelRectConversion& c) {
    ConvertJob j;
    if (!PrepareJob(&j, c)) return -1;
    if (!ValidPixelSizes(j)) return 0;
    const ColorFormat& sf = *c.srcFormat;
    const ColorFormat& df = *c.destFormat;

    if (j.remapPalette && sf.pixelBytes == 1 && df.pixelBytes == 1 && !j.mirror &&
        std::memcmp(sf.palette, df.palette, sizeof(sf.palette)) != 0) {
        return RemapPaletteIndices(j);
    }
    if (df.bitsPerPixel == 8 && sf.bitsPerPixel != 8 && !j.alphaFromRed && !j.mirror) {
        return ConvertColorToPalette(j);
    }
    if (df.bitsPerPixel == 8 && !j.alphaOnly && !j.skipKeyed && !j.alphaFromRed && !j.mirror) {
        if (sf.bitsPerPixel != 8) return -1;
        return CopyIndices(j);
    }
    bool sameLayout = sf.bitsPerPixel == df.bitsPerPixel && sf.redMask == df.redMask &&
                      sf.greenMask == df.greenMask && sf.blueMask == df.blueMask;
    if (!j.keyToAlpha && !j.alphaFromImage && !j.alphaOnly && !j.alphaFromRed && sameLayout &&
        sf.alphaMask == df.alphaMask) {
        return MoveSameLayout(j);
    }
    if (j.skipKeyed && !j.alphaOnly && !j.alphaFromImage && !j.alphaSupplied && !j.alphaFromRed &&
        !j.keyToAlpha && IsXrgb32(sf) && IsArgb32(df)) {
        return CopyOpaqueSkippingKey(j);
    }
    if (!j.skipKeyed && j.keyToAlpha && !j.alphaOnly && sameLayout) {
        return KeyToAlphaSameLayout(j);
    }
    if (!j.skipKeyed && j.ditherMode == 0 && !j.alphaOnly && !j.alphaFromRed && !j.mirror &&
        c.alphaPixels == nullptr && ConvertDirectPair(j)) {
        return 0;
    }
    return RunGeneral(j);
}

int ConvertPixelRectGeneral(const PixelRectConversion& c) {
    ConvertJob j;
    if (!PrepareJob(&j, c)) return -1;
    if (!ValidPixelSizes(j)) return 0;
    return RunGeneral(j);
}

int CopyGraphImageRect(int srcX, int srcY, int width, int height, int destX, int destY,
                       GraphImage* srcImage, GraphImage* destImage) {
    if (ExpandCompressedGraphImage(srcImage) != 0) return -1;
    if (ExpandCompressedGraphImage(destImage) != 0) return -1;
    if (srcX < 0) {
        destX -= srcX;
        width += srcX;
        srcX = 0;
    }
    if (srcY < 0) {
        destY -= srcY;
        height += srcY;
        srcY = 0;
    }
    if (destX < 0) {
        srcX -= destX;
        width += destX;
        destX = 0;
    }
    if (destY < 0) {
        srcY -= destY;
        height += destY;
        destY = 0;
    }
    if (width > destImage->width - destX) width = destImage->width - destX;
    if (height > destImage->height - destY) height = destImage->height - destY;
    if (width > srcImage->width - srcX) width = srcImage->width - srcX;
    if (height > srcImage->height - srcY) height = srcImage->height - srcY;
    if (width < 1 || height < 1) return 0;
    RECT rect = {srcX, srcY, srcX + width, srcY + height};
    ConvertPixelRect({.destPixels = destImage->pixels,
                      .destPitch = destImage->pitch,
                      .destFormat = &destImage->format,
                      .srcPixels = srcImage->pixels,
                      .srcPitch = srcImage->pitch,
                      .srcFormat = &srcImage->format,
                      .destX = destX,
                      .destY = destY,
                      .srcRect = &rect,
                      .remapPalette = 1});
    return 0;
}

int CopyWholeGraphImage(int destX, int destY, GraphImage* srcImage, GraphImage* destImage) {
    return CopyGraphImageRect(0, 0, srcImage->width, srcImage->height, destX, destY, srcImage,
                              destImage);
}

int StretchGraphImageRect(int sx1, int sy1, int sx2, int sy2, GraphImage* srcImage, int dx1,
                          int dy1, int dx2, int dy2, GraphImage* destImage, int bilinear) {
    auto validCorners = [](int x1, int y1, int x2, int y2, const GraphImage* image) {
        return x1 < x2 && y1 < y2 && x1 >= 0 && x1 < image->width && y1 >= 0 &&
               y1 < image->height && x2 >= 1 && x2 <= image->width && y2 >= 1 &&
               y2 <= image->height;
    };
    if (!validCorners(sx1, sy1, sx2, sy2, srcImage) ||
        !validCorners(dx1, dy1, dx2, dy2, destImage)) {
        return -1;
    }
    int destWidth = dx2 - dx1, destHeight = dy2 - dy1;
    if (sx2 - sx1 == destWidth && sy2 - sy1 == destHeight) {
        return CopyGraphImageRect(sx1, sy1, destWidth, destHeight, dx1, dy1, srcImage, destImage);
    }
    uint32_t stepX = (static_cast<uint32_t>(sx2 - sx1) << 16) / static_cast<uint32_t>(destWidth);
    uint32_t stepY = (static_cast<uint32_t>(sy2 - sy1) << 16) / static_cast<uint32_t>(destHeight);
    int lastX = srcImage->width - 1, lastY = srcImage->height - 1;
    // A format without an alpha channel is opaque, as the copy makes it: the per-pixel reader
    // reports a palette entry's alpha byte, or 0, for such images, and the bilinear weights
    // (65,535, not 65,536) would take full alpha down to 254.
    auto write = [srcImage, destImage](int x, int y, const int* pixel) {
        int alpha = srcImage->format.alphaWidth == 0 ? 255 : pixel[3];
        WriteGraphImagePixel(destImage, x, y, pixel[0], pixel[1], pixel[2], alpha);
    };
    auto read = [srcImage](int x, int y, int* pixel) {
        ReadGraphImagePixel(srcImage, x, y, &pixel[0], &pixel[1], &pixel[2], &pixel[3]);
    };
    for (int r = 0; r < destHeight; ++r) {
        uint32_t fy16 = (static_cast<uint32_t>(sy1) << 16) + r * stepY;
        int y = static_cast<int>(fy16 >> 16);
        for (int c = 0; c < destWidth; ++c) {
            uint32_t fx16 = (static_cast<uint32_t>(sx1) << 16) + c * stepX;
            int x = static_cast<int>(fx16 >> 16);
            int p[4][4] = {};
            if (bilinear != 1) {
                read(x, y, p[0]);
                write(dx1 + c, dy1 + r, p[0]);
                continue;
            }
            // The right and lower neighbours of the last column and row are the pixel's own.
            int x1 = x < lastX ? x + 1 : lastX, y1 = y < lastY ? y + 1 : lastY;
            const int xs[4] = {x, x1, x, x1}, ys[4] = {y, y, y1, y1};
            for (int i = 0; i < 4; ++i) read(xs[i], ys[i], p[i]);
            uint32_t fx = fx16 & 0xFFFF, fy = fy16 & 0xFFFF;
            uint32_t ix = 65535 - fx, iy = 65535 - fy;
            const uint32_t w[4] = {(iy * ix) >> 16, (iy * fx) >> 16, (fy * ix) >> 16,
                                   (fy * fx) >> 16};
            int out[4];
            for (int k = 0; k < 4; ++k) {
                uint32_t sum = 0;
                for (int i = 0; i < 4; ++i) sum += static_cast<uint32_t>(p[i][k]) * w[i];
                out[k] = static_cast<int>(sum >> 16);
            }
            write(dx1 + c, dy1 + r, out);
        }
    }
    return 0;
}
