// Small encoders, written from the file formats and independent of the decoders, that make
// the test images for the DIB conversion and the image decoders.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "image/color_format.h"

// The kinds of DIB that GDI draws.
enum class DibKind { Pal1, Pal4, Pal8, Rle4, Rle8, Rgb555, Fields565, Rgb24, Rgb32, Fields32 };

struct DibPicture {
    std::vector<uint8_t> info;  // BITMAPINFOHEADER (of headerSize bytes), then masks or colours
    std::vector<uint8_t> bits;
    int width = 0;
    int height = 0;
    // Top-down 0x00RRGGBB of every pixel; for palette kinds also the index, -1 where
    // run-length data skips the pixel.
    std::vector<uint32_t> rgb;
    std::vector<int> index;
    std::vector<uint32_t> palette;  // 0x00RRGGBB
};

// A random picture of the kind. headerSize 108 or 124 makes a V4 or V5 header, whose masks
// lie inside it; withDelta adds a run-length jump over some pixels.
DibPicture MakeDib(DibKind kind, int width, int height, bool topDown, std::mt19937& rng,
                   int headerSize = 40, bool withDelta = false);
// A BMP file of the picture (file header, info, bits).
std::vector<uint8_t> MakeBmpFile(const DibPicture& dib);

// A 16-bit field of a pixel scaled to a byte the way the DIB conversion scales it (rounded).
uint32_t FieldToByte(uint32_t value, uint32_t mask);

struct TgaOptions {
    int type = 2;    // 1, 2, 9 or 10
    int depth = 24;  // 16, 24 or 32
    int descriptor = 0x20;
    int idLength = 0;
    bool footer = false;
};
// A TGA file of random pixels; *argb receives the expected top-down 0xAARRGGBB (alpha 0xFF
// for depths without alpha).
std::vector<uint8_t> MakeTgaFile(const TgaOptions& options, int width, int height,
                                 std::mt19937& rng, std::vector<uint32_t>* argb);

// The "BGRA" raw format; wide: 16-bit channels. *argb receives the expected pixels.
std::vector<uint8_t> MakeBgraFile(int width, int height, bool wide, std::mt19937& rng,
                                  std::vector<uint32_t>* argb);

// A colour format of the pixel size and channel masks.
ColorFormat Masks(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a);

// The four characters as a DDS file's format code.
uint32_t FourCC(const char* code);

// A DDS header (128 bytes with the magic) followed by data.
std::vector<uint8_t> MakeDdsFile(int width, int height, uint32_t formatFlags, uint32_t fourCC,
                                 int rgbBits, const uint32_t masks[4], int mipCount,
                                 const std::vector<uint8_t>& data);

// The colour of one texel of a DXT block, as a straightforward reading of the format.
uint32_t ReferenceDxtTexel(int kind, const uint8_t* block, int texel);

// PNG and JPEG files made by the codec libraries.
struct PngOptions {
    int colorType = 2;  // as libpng numbers them
    int bitDepth = 8;
    bool interlaced = false;
    bool greyTransparent = false;  // a tRNS chunk making grey 0 transparent
};
// A palette image's tRNS chunk holds paletteAlpha when it is not empty.
std::vector<uint8_t> MakePngFile(const PngOptions& options, int width, int height,
                                 const std::vector<uint16_t>& samples,
                                 const std::vector<uint8_t>& paletteRgb,
                                 const std::vector<uint8_t>& paletteAlpha);
std::vector<uint8_t> MakeJpegFile(int width, int height, int components,
                                  const std::vector<uint8_t>& samples, int quality);
// libjpeg's own decoding of a whole file: the samples row by row, as the library gives them.
std::vector<uint8_t> DecodeJpegFile(const std::vector<uint8_t>& file);

// Every pixel of an image as 0xAARRGGBB read through ReadGraphImagePixel (alpha 0xFF when
// the image has none).
std::vector<uint32_t> ReadAllPixels(GraphImage* image);
