// Pixel formats and decoded images: the `ColorFormat` that describes a pixel, the `GraphImage`
// that every decoder fills and every converter reads, and the small whole-image operations.
#pragma once

#include <cstdint>

// One palette entry as it lies in memory.
struct PaletteEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t alpha;
};

struct ColorFormat {
    uint8_t dxtKind;       // 0 plain pixels; 1 to 5: DXT1 to DXT5 blocks
    uint8_t channelCount;  // non-zero: described by channels of equal size, masks unused
    uint8_t channelBits;
    uint8_t isFloat;
    uint8_t pixelBytes;
    uint8_t bitsPerPixel;  // for DXT images 4 (DXT1) or 8
    uint8_t spareShift;    // lowest bit that no channel uses
    uint8_t spareWidth;
    uint8_t redWidth;
    uint8_t greenWidth;
    uint8_t blueWidth;
    uint8_t alphaWidth;
    uint8_t redShift;
    uint8_t greenShift;
    uint8_t blueShift;
    uint8_t alphaShift;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
    uint32_t spareMask;         // bits of a pixel that no channel uses; written as ones
    PaletteEntry palette[256];  // used when pixelBytes is 1
};

// A decoded image. Rows run top to bottom; the pixels belong to the image (allocated with
// AllocMemory) unless the code that filled it says otherwise. DXT images keep their blocks
// in `pixels` with pitch 0.
struct GraphImage {
    ColorFormat format;
    int32_t width;
    int32_t height;
    int32_t pitch;
    void* pixels;
    int32_t mipCount;  // levels stored one after another; 0 or 1 mean one level
};

// The largest pixel block a decoded image may have: decoders and conversions refuse anything
// larger. The default holds any texture; the fuzz targets lower it to keep each run short.
constexpr uint32_t kDefaultGraphImageByteLimit = 0x10000000;
void SetGraphImageByteLimit(uint32_t bytes);
uint32_t GetGraphImageByteLimit();

// Presets: each writes the descriptive head of the format (not the palette, and the spare
// shift and width only for XRGB32); the rest keeps what it held.
int SetColorFormatPalette8(ColorFormat* format);
int SetColorFormatXRGB32(ColorFormat* format);
int SetColorFormatARGB32(ColorFormat* format);
int SetColorFormatRGB24(ColorFormat* format);
// The palette preset with a grey ramp as palette.
int SetColorFormatGrey8(ColorFormat* format);

// DXT images become A8R8G8B8 with pitch width x 4 and one level; plain images are left alone.
int ExpandCompressedGraphImage(GraphImage* image);

// Clears the whole format, then describes it by masks, or by channels when channelCount and
// channelBits are both non-zero.
int SetColorFormatFromMasks(ColorFormat* format, int bitsPerPixel, uint32_t redMask,
                            uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask,
                            int channelCount, int channelBits, int isFloat);
// The lowest run of set bits of a mask: its position and length (both 0 for an empty mask).
void MeasureColorMask(uint32_t mask, uint8_t* width, uint8_t* shift);
int UpdateColorFormatSpareMask(ColorFormat* format);

// Channels 0 to 255 into one pixel value (a palette index for 1-byte formats); channels are
// truncated to their widths and unused bits come out as ones.
uint32_t PackColorForFormat(const ColorFormat* format, int red, int green, int blue, int alpha);
// A 0xRRGGBB colour key, opaque, into one pixel value of the format.
uint32_t PackKeyColorForFormat(const ColorFormat* format, uint32_t key);
// One pixel value into channels scaled to 0 to 255; any out pointer may be null. With 8-bit
// colour channels and no alpha channel the alpha output is left untouched.
int UnpackColorForFormat(const ColorFormat* format, uint32_t value, int* red, int* green, int* blue,
                         int* alpha);

int AllocGraphImage(int width, int height, const ColorFormat* format, GraphImage* image);
int AllocGraphImageARGB32(int width, int height, GraphImage* image);
int AllocGraphImageXRGB32(int width, int height, GraphImage* image);
int FreeGraphImage(GraphImage* image);
// Bytes of pixel data over every mip level; -1 for an unknown DXT kind or an impossible size.
int ComputeGraphImageDataBytes(const GraphImage* image);

// Per-pixel access, expanding a DXT image first; -1 outside the image.
int ReadGraphImagePixel(GraphImage* image, int x, int y, int* red, int* green, int* blue,
                        int* alpha);
int WriteGraphImagePixel(GraphImage* image, int x, int y, int red, int green, int blue, int alpha);
// The pixel as 0xAARRGGBB with each channel's top bit at bit 7 of its byte; no bounds check.
uint32_t ReadGraphImagePixelARGB(const GraphImage* image, int x, int y);

int FlipGraphImageLeftRight(GraphImage* image);
int RotateGraphImageHalfTurn(GraphImage* image);
// Box-averages each 2 x 2 source block into one destination pixel (16- and 32-bit formats).
int ShrinkPixelsByHalf(const ColorFormat* format, void* dest, int destPitch, const void* src,
                       int srcPitch, int destX, int destY, int srcX, int srcY, int srcWidth,
                       int srcHeight);
// Zeroes a rectangle of the image; -1 when it does not lie inside the image.
int ClearGraphImageRect(GraphImage* image, int x, int y, int width, int height);

int SetupGraphImageModule();
int ShutdownGraphImageModule();

// One pixel of 1 to 4 bytes, little-endian.
inline uint32_t LoadPixelValue(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(p[i]) << (8 * i);
    return value;
}
inline void StorePixelValue(uint8_t* p, int bytes, uint32_t value) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}
