// Colour formats and decoded images: the presets, packing and unpacking of one pixel, and
// the small whole-image operations (allocation, pixel access, mirroring, halving, clearing,
// expanding DXT blocks).
#include "image/color_format.h"

#include <cstring>

#include "core/tracked_memory.h"

namespace {

struct GraphImageState {
    bool started;
    uint32_t byteLimit;
};
GraphImageState gGraphImage = {false, kDefaultGraphImageByteLimit};

struct PresetHead {
    uint8_t pixelBytes, bitsPerPixel;
    uint8_t redWidth, greenWidth, blueWidth, alphaWidth;
    uint8_t redShift, greenShift, blueShift, alphaShift;
    uint32_t redMask, greenMask, blueMask, alphaMask, spareMask;
};

void WritePresetHead(ColorFormat* format, const PresetHead& head) {
    format->dxtKind = 0;
    format->channelCount = 0;
    format->channelBits = 0;
    format->isFloat = 0;
    format->pixelBytes = head.pixelBytes;
    format->bitsPerPixel = head.bitsPerPixel;
    format->redWidth = head.redWidth;
    format->greenWidth = head.greenWidth;
    format->blueWidth = head.blueWidth;
    format->alphaWidth = head.alphaWidth;
    format->redShift = head.redShift;
    format->greenShift = head.greenShift;
    format->blueShift = head.blueShift;
    format->alphaShift = head.alphaShift;
    format->redMask = head.redMask;
    format->greenMask = head.greenMask;
    format->blueMask = head.blueMask;
    format->alphaMask = head.alphaMask;
    format->spareMask = head.spareMask;
}

constexpr PresetHead kPalette8Head = {1, 8, 8,        8,      8,    0, 16,        8,
                                      0, 0, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000};

// All ones for 32 bits, else the low bitsPerPixel bits.
uint32_t PixelValueMask(int bitsPerPixel) {
    return bitsPerPixel >= 32 ? 0xFFFFFFFFu : (1u << bitsPerPixel) - 1;
}

// A channel of 0 to 255 cut (or, past 8 bits, shifted up) to the given width.
uint32_t NarrowFromByte(int value, int width) {
    uint32_t v = static_cast<uint32_t>(value) & 0xFF;
    return width <= 8 ? v >> (8 - width) : v << (width - 8);
}

// A channel value of the given width scaled to 0 to 255; width 0 gives 0.
int ScaleToByte(uint32_t value, int width) {
    if (width == 0) return 0;
    uint64_t max = (uint64_t{1} << width) - 1;
    return static_cast<int>(value * uint64_t{255} / max);
}

bool IsInside(const GraphImage* image, int x, int y) {
    return static_cast<uint32_t>(x) < static_cast<uint32_t>(image->width) &&
           static_cast<uint32_t>(y) < static_cast<uint32_t>(image->height);
}

void SwapPixels(uint8_t* a, uint8_t* b, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        uint8_t t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

void ReverseRow(uint8_t* row, int width, int bytes) {
    for (int l = 0, r = width - 1; l < r; ++l, --r)
        SwapPixels(row + l * bytes, row + r * bytes, bytes);
}

uint8_t* PixelAddress(const GraphImage* image, int x, int y) {
    return static_cast<uint8_t*>(image->pixels) + static_cast<intptr_t>(y) * image->pitch +
           static_cast<intptr_t>(x) * image->format.pixelBytes;
}

struct Bgra {
    uint8_t b, g, r, a;
};

uint32_t Load16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

Bgra ExpandRgb565(uint32_t v) {
    return {static_cast<uint8_t>((v & 31) * 255 / 31),
            static_cast<uint8_t>(((v >> 5) & 63) * 255 / 63),
            static_cast<uint8_t>((v >> 11) * 255 / 31), 255};
}

Bgra Mix(const Bgra& x, const Bgra& y, int wx, int wy, int divisor) {
    return {static_cast<uint8_t>((wx * x.b + wy * y.b) / divisor),
            static_cast<uint8_t>((wx * x.g + wy * y.g) / divisor),
            static_cast<uint8_t>((wx * x.r + wy * y.r) / divisor), 255};
}

// The 16 pixels of one block, row by row.
void DecodeDxtBlock(int kind, const uint8_t* block, Bgra out[16]) {
    const uint8_t* colourHalf = kind == 1 ? block : block + 8;
    uint32_t c0 = Load16(colourHalf), c1 = Load16(colourHalf + 2);
    Bgra colours[4] = {ExpandRgb565(c0), ExpandRgb565(c1), {}, {}};
    if (kind == 1 && c0 <= c1) {
        colours[2] = Mix(colours[0], colours[1], 1, 1, 2);
        colours[3] = colours[2];
        colours[3].a = 0;
    } else {
        colours[2] = Mix(colours[0], colours[1], 2, 1, 3);
        colours[3] = Mix(colours[0], colours[1], 1, 2, 3);
    }
    uint32_t indices = colourHalf[4] | (colourHalf[5] << 8) | (colourHalf[6] << 16) |
                       (static_cast<uint32_t>(colourHalf[7]) << 24);
    for (int i = 0; i < 16; ++i) out[i] = colours[(indices >> (2 * i)) & 3];

    if (kind == 2 || kind == 3) {
        for (int i = 0; i < 16; ++i) out[i].a = ((block[i / 2] >> (4 * (i & 1))) & 15) * 255 / 15;
    } else if (kind == 4 || kind == 5) {
        int a0 = block[0], a1 = block[1];
        uint8_t alphas[8] = {static_cast<uint8_t>(a0), static_cast<uint8_t>(a1)};
        if (a0 > a1) {
            for (int k = 1; k <= 6; ++k) alphas[k + 1] = ((7 - k) * a0 + k * a1) / 7;
        } else {
            for (int k = 1; k <= 4; ++k) alphas[k + 1] = ((5 - k) * a0 + k * a1) / 5;
            alphas[6] = 0;
            alphas[7] = 255;
        }
        for (int half = 0; half < 2; ++half) {
            const uint8_t* g = block + 2 + 3 * half;
            uint32_t bits = g[0] | (g[1] << 8) | (g[2] << 16);
            for (int i = 0; i < 8; ++i) out[half * 8 + i].a = alphas[(bits >> (3 * i)) & 7];
        }
    }
    if (kind == 2 || kind == 4) {
        // Colours were stored multiplied by alpha; a transparent pixel has no colour left.
        for (int i = 0; i < 16; ++i) {
            Bgra& p = out[i];
            auto undo = [a = p.a](uint8_t c) -> uint8_t {
                if (a == 0) return 0;
                int v = c * 255 / a;
                return static_cast<uint8_t>(v > 255 ? 255 : v);
            };
            p.b = undo(p.b);
            p.g = undo(p.g);
            p.r = undo(p.r);
        }
    }
}

}  // namespace

int SetColorFormatPalette8(ColorFormat* format) {
    WritePresetHead(format, kPalette8Head);
    return 0;
}

int SetColorFormatXRGB32(ColorFormat* format) {
    WritePresetHead(format,
                    {4, 32, 8, 8, 8, 0, 16, 8, 0, 0, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000});
    format->spareShift = 24;
    format->spareWidth = 8;
    return 0;
}

int SetColorFormatARGB32(ColorFormat* format) {
    WritePresetHead(format,
                    {4, 32, 8, 8, 8, 8, 16, 8, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0});
    return 0;
}

int SetColorFormatRGB24(ColorFormat* format) {
    WritePresetHead(format, {3, 24, 8, 8, 8, 0, 16, 8, 0, 0, 0xFF0000, 0xFF00, 0xFF, 0, 0});
    return 0;
}

int SetColorFormatGrey8(ColorFormat* format) {
    WritePresetHead(format, kPalette8Head);
    for (int i = 0; i < 256; ++i) {
        uint8_t v = static_cast<uint8_t>(i);
        format->palette[i] = {v, v, v, 0};
    }
    return 0;
}

void MeasureColorMask(uint32_t mask, uint8_t* width, uint8_t* shift) {
    *width = 0;
    *shift = 0;
    if (mask == 0) return;
    int s = 0;
    while (((mask >> s) & 1) == 0) ++s;
    int w = 0;
    while (s + w < 32 && ((mask >> (s + w)) & 1) != 0) ++w;
    *shift = static_cast<uint8_t>(s);
    *width = static_cast<uint8_t>(w);
}

int SetColorFormatFromMasks(ColorFormat* format, int bitsPerPixel, uint32_t redMask,
                            uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask,
                            int channelCount, int channelBits, int isFloat) {
    std::memset(format, 0, sizeof(*format));
    if (channelCount != 0 && channelBits != 0) {
        format->channelCount = static_cast<uint8_t>(channelCount);
        format->channelBits = static_cast<uint8_t>(channelBits);
        format->isFloat = static_cast<uint8_t>(isFloat);
        format->pixelBytes = static_cast<uint8_t>(channelCount * channelBits / 8);
        return 0;
    }
    format->pixelBytes = static_cast<uint8_t>(bitsPerPixel / 8);
    format->bitsPerPixel = static_cast<uint8_t>(bitsPerPixel);
    format->redMask = redMask;
    format->greenMask = greenMask;
    format->blueMask = blueMask;
    format->alphaMask = alphaMask;
    format->spareMask =
        PixelValueMask(bitsPerPixel) & ~(redMask | greenMask | blueMask | alphaMask);
    MeasureColorMask(redMask, &format->redWidth, &format->redShift);
    MeasureColorMask(greenMask, &format->greenWidth, &format->greenShift);
    MeasureColorMask(blueMask, &format->blueWidth, &format->blueShift);
    MeasureColorMask(alphaMask, &format->alphaWidth, &format->alphaShift);
    MeasureColorMask(format->spareMask, &format->spareWidth, &format->spareShift);
    return 0;
}

int UpdateColorFormatSpareMask(ColorFormat* format) {
    int used = format->alphaWidth + format->blueWidth + format->greenWidth + format->redWidth;
    if (used == format->bitsPerPixel) {
        format->spareMask = 0;
    } else {
        format->spareMask =
            PixelValueMask(format->bitsPerPixel) &
            ~(format->redMask | format->greenMask | format->blueMask | format->alphaMask);
    }
    return 0;
}

uint32_t PackKeyColorForFormat(const ColorFormat* format, uint32_t key) {
    return PackColorForFormat(format, (key >> 16) & 0xFF, (key >> 8) & 0xFF, key & 0xFF, 255);
}

uint32_t PackColorForFormat(const ColorFormat* format, int red, int green, int blue, int alpha) {
    if (format->pixelBytes == 1) {
        // The nearest entry; a later one wins only when strictly nearer.
        int best = 0;
        int bestDistance = 0x7FFFFFFF;
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& e = format->palette[i];
            int dr = e.red - red, dg = e.green - green, db = e.blue - blue;
            int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return static_cast<uint32_t>(best);
    }
    uint32_t value = (NarrowFromByte(blue, format->blueWidth) << format->blueShift) |
                     (NarrowFromByte(green, format->greenWidth) << format->greenShift) |
                     (NarrowFromByte(red, format->redWidth) << format->redShift) |
                     format->spareMask;
    if (format->alphaWidth != 0)
        value |= NarrowFromByte(alpha, format->alphaWidth) << format->alphaShift;
    return value;
}

int UnpackColorForFormat(const ColorFormat* format, uint32_t value, int* red, int* green, int* blue,
                         int* alpha) {
    auto channel = [value](uint32_t mask, int shift) { return (value & mask) >> shift; };
    uint32_t r = channel(format->redMask, format->redShift);
    uint32_t g = channel(format->greenMask, format->greenShift);
    uint32_t b = channel(format->blueMask, format->blueShift);
    uint32_t a = channel(format->alphaMask, format->alphaShift);
    if (format->redWidth == 8 && format->greenWidth == 8 && format->blueWidth == 8) {
        if (red) *red = static_cast<int>(r);
        if (green) *green = static_cast<int>(g);
        if (blue) *blue = static_cast<int>(b);
        if (alpha && format->alphaWidth != 0) {
            *alpha =
                format->alphaWidth == 8 ? static_cast<int>(a) : ScaleToByte(a, format->alphaWidth);
        }
        return 0;
    }
    if (red) *red = ScaleToByte(r, format->redWidth);
    if (green) *green = ScaleToByte(g, format->greenWidth);
    if (blue) *blue = ScaleToByte(b, format->blueWidth);
    if (alpha) *alpha = ScaleToByte(a, format->alphaWidth);
    return 0;
}

int AllocGraphImage(int width, int height, const ColorFormat* format, GraphImage* image) {
    if (&image->format != format) image->format = *format;
    if (width < 0 || height < 0) return -1;
    uint64_t pitch =
        (uint64_t{format->pixelBytes} * static_cast<uint64_t>(width) + 3) & ~uint64_t{3};
    uint64_t bytes = pitch * static_cast<uint64_t>(height);
    if (bytes > GetGraphImageByteLimit()) return -1;
    image->pitch = static_cast<int32_t>(pitch);
    image->mipCount = 0;
    void* pixels = AllocMemory(static_cast<uint32_t>(bytes), "", 0);
    if (pixels == nullptr) return -1;
    image->width = width;
    image->height = height;
    image->pixels = pixels;
    return 0;
}

int AllocGraphImageARGB32(int width, int height, GraphImage* image) {
    SetColorFormatARGB32(&image->format);
    return AllocGraphImage(width, height, &image->format, image);
}

int AllocGraphImageXRGB32(int width, int height, GraphImage* image) {
    SetColorFormatXRGB32(&image->format);
    return AllocGraphImage(width, height, &image->format, image);
}

int FreeGraphImage(GraphImage* image) {
    if (image->pixels != nullptr) FreeMemory(image->pixels);
    std::memset(image, 0, sizeof(*image));
    return 0;
}

int ComputeGraphImageDataBytes(const GraphImage* image) {
    int levels = image->mipCount >= 2 ? image->mipCount : 1;
    int64_t total = 0;
    if (image->format.dxtKind == 0) {
        int64_t level = int64_t{image->pitch} * image->height;
        for (int i = 0; i < levels && level > 0; ++i, level /= 4) total += level;
    } else {
        if (image->format.dxtKind > 5) return -1;
        int64_t blockBytes = image->format.dxtKind == 1 ? 8 : 16;
        // Partial blocks at the right and bottom edges are stored whole.
        int64_t w = image->width, h = image->height;
        for (int i = 0; i < levels; ++i) {
            total += ((w + 3) / 4) * ((h + 3) / 4) * blockBytes;
            if (total > 0x7FFFFFFF) return -1;
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
        }
    }
    return total > 0x7FFFFFFF ? -1 : static_cast<int>(total);
}

int ReadGraphImagePixel(GraphImage* image, int x, int y, int* red, int* green, int* blue,
                        int* alpha) {
    if (ExpandCompressedGraphImage(image) != 0) return -1;
    if (!IsInside(image, x, y)) return -1;
    int bytes = image->format.pixelBytes;
    if (bytes < 1 || bytes > 4) return -1;
    uint32_t value = LoadPixelValue(PixelAddress(image, x, y), bytes);
    if (bytes == 1) {
        const PaletteEntry& e = image->format.palette[value];
        if (red) *red = e.red;
        if (green) *green = e.green;
        if (blue) *blue = e.blue;
        if (alpha) *alpha = e.alpha;
        return 0;
    }
    return UnpackColorForFormat(&image->format, value, red, green, blue, alpha);
}

int WriteGraphImagePixel(GraphImage* image, int x, int y, int red, int green, int blue, int alpha) {
    if (ExpandCompressedGraphImage(image) != 0) return -1;
    if (!IsInside(image, x, y)) return -1;
    int bytes = image->format.pixelBytes;
    if (bytes < 1 || bytes > 4) return 0;
    StorePixelValue(PixelAddress(image, x, y), bytes,
                    PackColorForFormat(&image->format, red, green, blue, alpha));
    return 0;
}

uint32_t ReadGraphImagePixelARGB(const GraphImage* image, int x, int y) {
    if (image->pixels == nullptr) return 0;
    const ColorFormat& f = image->format;
    uint32_t value = LoadPixelValue(PixelAddress(image, x, y), f.pixelBytes);
    if (f.pixelBytes == 1) {
        // An index: its palette entry, which already has that layout.
        const PaletteEntry& e = f.palette[value];
        return (uint32_t{e.alpha} << 24) | (uint32_t{e.red} << 16) | (uint32_t{e.green} << 8) |
               e.blue;
    }
    auto place = [value](uint32_t mask, int shift, int width, int top) -> uint32_t {
        if (width == 0) return 0;
        return ((value & mask) >> shift) << (top - width);
    };
    return place(f.redMask, f.redShift, f.redWidth, 24) |
           place(f.greenMask, f.greenShift, f.greenWidth, 16) |
           place(f.blueMask, f.blueShift, f.blueWidth, 8) |
           place(f.alphaMask, f.alphaShift, f.alphaWidth, 32);
}

int FlipGraphImageLeftRight(GraphImage* image) {
    if (image->width == 0 || image->height == 0) return -1;
    if (image->format.dxtKind != 0) return -1;
    int bytes = image->format.pixelBytes;
    if (bytes < 1 || bytes > 4) return 0;
    for (int y = 0; y < image->height; ++y)
        ReverseRow(PixelAddress(image, 0, y), image->width, bytes);
    return 0;
}

int RotateGraphImageHalfTurn(GraphImage* image) {
    if (image->format.dxtKind != 0) return -1;
    int bytes = image->format.pixelBytes;
    if (bytes < 1 || bytes > 4) return 0;
    int w = image->width;
    for (int y = 0; y < image->height / 2; ++y) {
        uint8_t* top = PixelAddress(image, 0, y);
        uint8_t* bottom = PixelAddress(image, 0, image->height - 1 - y);
        for (int x = 0; x < w; ++x)
            SwapPixels(top + x * bytes, bottom + (w - 1 - x) * bytes, bytes);
    }
    // The middle row of an odd height turns about its own centre.
    if (image->height % 2 == 1) ReverseRow(PixelAddress(image, 0, image->height / 2), w, bytes);
    return 0;
}

int ShrinkPixelsByHalf(const ColorFormat* format, void* dest, int destPitch, const void* src,
                       int srcPitch, int destX, int destY, int srcX, int srcY, int srcWidth,
                       int srcHeight) {
    int bits = format->bitsPerPixel;
    int bytes = bits / 8;
    bool handled = bits == 16 || bits == 32;
    if (srcWidth == 1 && srcHeight == 1) {
        if (!handled) return 0;
        const uint8_t* s = static_cast<const uint8_t*>(src) + srcY * srcPitch + srcX * bytes;
        uint8_t* d = static_cast<uint8_t*>(dest) + destY * destPitch + destX * bytes;
        std::memcpy(d, s, bytes);
        return 0;
    }
    if (!handled) return -1;
    if ((srcWidth != 1 && srcWidth % 2 != 0) || (srcHeight != 1 && srcHeight % 2 != 0)) return -1;

    // Along a side of length 1 only the other side is halved.
    int stepX = srcWidth == 1 ? 0 : 1;
    int stepY = srcHeight == 1 ? 0 : 1;
    int shift = stepX + stepY;
    int outWidth = srcWidth == 1 ? 1 : srcWidth / 2;
    int outHeight = srcHeight == 1 ? 1 : srcHeight / 2;
    const uint32_t masks[4] = {format->redMask, format->greenMask, format->blueMask,
                               format->alphaMask};
    const int shifts[4] = {format->redShift, format->greenShift, format->blueShift,
                           format->alphaShift};
    for (int y = 0; y < outHeight; ++y) {
        const uint8_t* row0 =
            static_cast<const uint8_t*>(src) + (srcY + y * 2) * srcPitch + srcX * bytes;
        const uint8_t* row1 = row0 + stepY * srcPitch;
        uint8_t* d = static_cast<uint8_t*>(dest) + (destY + y) * destPitch + destX * bytes;
        for (int x = 0; x < outWidth; ++x) {
            int left = x * 2 * bytes, right = (x * 2 + stepX) * bytes;
            // The first (1 << shift) of these are the pixels averaged.
            uint32_t p[4] = {
                LoadPixelValue(row0 + left, bytes),
                stepX ? LoadPixelValue(row0 + right, bytes) : LoadPixelValue(row1 + left, bytes),
                LoadPixelValue(row1 + left, bytes), LoadPixelValue(row1 + right, bytes)};
            uint32_t out = format->spareMask;
            for (int c = 0; c < 4; ++c) {
                uint32_t sum = 0;
                for (int i = 0; i < (1 << shift); ++i) sum += (p[i] & masks[c]) >> shifts[c];
                out |= ((sum >> shift) << shifts[c]) & masks[c];
            }
            StorePixelValue(d + x * bytes, bytes, out);
        }
    }
    return 0;
}

int ClearGraphImageRect(GraphImage* image, int x, int y, int width, int height) {
    if (x < 0 || y < 0 || width < 0 || height < 0 || x + width > image->width ||
        y + height > image->height) {
        return -1;
    }
    for (int row = 0; row < height; ++row) {
        std::memset(PixelAddress(image, x, y + row), 0,
                    static_cast<size_t>(width) * image->format.pixelBytes);
    }
    return 0;
}

void SetGraphImageByteLimit(uint32_t bytes) {
    gGraphImage.byteLimit = bytes;
}

uint32_t GetGraphImageByteLimit() {
    return gGraphImage.byteLimit;
}

int SetupGraphImageModule() {
    if (gGraphImage.started) return -1;
    gGraphImage.started = true;
    return 0;
}

int ShutdownGraphImageModule() {
    if (!gGraphImage.started) return -1;
    gGraphImage.started = false;
    return 0;
}

int ExpandCompressedGraphImage(GraphImage* image) {
    int kind = image->format.dxtKind;
    if (kind == 0) return 0;
    if (kind > 5 || image->pixels == nullptr || image->width < 0 || image->height < 0) return -1;
    int width = image->width, height = image->height;
    uint64_t bytes = uint64_t{4} * width * height;
    if (bytes > GetGraphImageByteLimit()) return -1;
    uint8_t* out = static_cast<uint8_t*>(AllocMemory(static_cast<uint32_t>(bytes), "", 0));
    if (out == nullptr) return -1;

    // Edge blocks are stored whole; only their pixels inside the image are kept.
    const uint8_t* block = static_cast<const uint8_t*>(image->pixels);
    int blockBytes = kind == 1 ? 8 : 16;
    for (int by = 0; by < height; by += 4) {
        for (int bx = 0; bx < width; bx += 4, block += blockBytes) {
            Bgra texels[16];
            DecodeDxtBlock(kind, block, texels);
            for (int y = by; y < by + 4 && y < height; ++y) {
                for (int x = bx; x < bx + 4 && x < width; ++x) {
                    std::memcpy(out + (static_cast<intptr_t>(y) * width + x) * 4,
                                &texels[(y - by) * 4 + (x - bx)], 4);
                }
            }
        }
    }
    FreeMemory(image->pixels);
    image->pixels = out;
    SetColorFormatARGB32(&image->format);
    image->pitch = width * 4;
    // The further levels are gone with the blocks.
    image->mipCount = 0;
    return 0;
}
