// The software renderer's images: `MEMIMG` views onto reference-counted `MemImgBody` pixel
// stores, and the shared draw state and lookup tables the software renderer blends with.
#pragma once

#include <platform/win32_user.h>

#include <cstdint>

#include "image/color_format.h"

constexpr uint32_t kMemImgMagic = 0x12345678;

// `MemImgColorType`: how the pixels of a body are laid out.
constexpr int32_t kMemImgRgb565 = 0;    // 16 bits; with alpha 32 bits, alpha in bits 16-23
constexpr int32_t kMemImgXrgb8888 = 1;  // 32 bits; with alpha A8R8G8B8
constexpr int32_t kMemImgSingle8 = 2;   // one byte per pixel, every channel the whole byte
constexpr int32_t kMemImgSingle16 = 3;  // two bytes per pixel, every channel the whole word

// The pixel store shared by an image and every image derived from it.
struct MemImgBody {
    int32_t refCount;
    int32_t width;
    int32_t height;
    int32_t pitch;
    int32_t pitchLog2;          // log2 of the pitch when it is a power of two, else -1
    const ColorFormat* format;  // one of the shared formats, never freed
    uint32_t transparentColor;  // in the pixel format (an index for palette images)
    int32_t colorType;
    int32_t paletteFlag;   // 1: the pixels are 8-bit palette indices
    int32_t paletteCount;  // entries in use, set when a palette image is transferred in
    int32_t alphaFlag;     // 1: every pixel carries alpha
    int32_t premultipliedFlag;
    int32_t runLengthFlag;      // 1: the run-length stream is built
    int32_t callerBufferFlag;   // 1: the pixel memory belongs to the caller
    uint8_t* palette;           // 2048 bytes: 256 entries in the image's colour type, then a copy
    uint8_t* paletteHigh;       // palette + 1024
    uint8_t* pixelMemory;       // pitch x height bytes
    uint8_t* alphaPlaneMemory;  // pitch x height bytes, or null
    uint8_t* runLengthMemory;   // (width + 5) x height bytes, or null
};

// A view: size and top-left pixel of an image within its body.
struct MEMIMG {
    uint32_t magic;  // kMemImgMagic while valid, 0 after release
    int32_t width;
    int32_t height;
    uint8_t* pixels;
    uint8_t* alphaPlane;  // top-left of the separate alpha plane, or null
    MemImgBody* body;
};

// What the software renderer reads on every draw; written only through the setters below.
struct MemImgDrawState {
    int32_t defaultColorType;  // of new images; follows the screen depth
    RECT drawArea;             // right and bottom exclusive
    int32_t blendMode;
    int32_t blendParam;                 // 0 to 255
    uint32_t bright;                    // 0x00RRGGBB; 0xFFFFFF leaves colours unchanged
    uint8_t blendGraphThresholds[256];  // blend-graph pixel value -> weight
    // Row r, column c = r * (c - 255) / 255 for c 0 to 510; column 511 is 0.
    int32_t signedProductTable[256][512];
    uint32_t productTable[256][256];  // [a][b] = a * b / 255
    uint8_t lerp6Table[64][64][64];   // [k][i][j] = (i * k + j * (63 - k)) / 63
};
extern MemImgDrawState gMemImgDraw;

int SetupMemImgTables();
int SetMemImgDefaultColorType(int type);
int SetMemImgDrawArea(const RECT* area);
int SetMemImgBlendMode(int mode, int param);
int SetMemImgBright(uint32_t bright);
// Weights for a two-parameter blend graph: p0 moves the threshold, p1 sets the ramp width.
void SetBlendGraphThresholds(int p0, int p1);
// Weights for a blend graph that scales by its value: entry i = i * scale / 255.
void SetBlendGraphWeights(int scale);

// One of the ten shared formats; null for a type above 3.
const ColorFormat* GetMemImgColorFormat(int type, int alpha, int palette);

// pitch -1 gives rows of 16-byte multiples; callerPixels (or null) are used instead of new
// memory; extraBuffers adds a separate alpha plane to an image with alpha and, for colour types
// other than 2, the memory of a run-length stream. -1 when the view is already valid or memory
// runs out.
int CreateMemImg(MEMIMG* img, int width, int height, int pitch, uint32_t transparentColor,
                 int colorType, int paletteFlag, int alphaFlag, int extraBuffers,
                 void* callerPixels);
// colorType -1 uses the default colour type.
int CreateMemImgDefault(MEMIMG* img, int width, int height, int colorType);
// A view of a rectangle of parent sharing its body; out is left alone when the rectangle
// does not lie inside the parent.
void DeriveMemImg(MEMIMG* out, const MEMIMG* parent, int x, int y, int width, int height);
int IsMemImgValid(const MEMIMG* img);
void ReleaseMemImg(MEMIMG* img);
// Fills the rectangle (null: the whole image), clipped to the image, with a raw pixel value.
void ClearMemImgRect(MEMIMG* img, const RECT* rect, uint32_t value);
int CopyMemImgRect(MEMIMG* dest, const MEMIMG* src, const RECT* rect, int destX, int destY);
// Converts a rectangle of an image (and of its alpha image) into dest at (destX, destY);
// ditherMode is handed to the pixel converter. A single-channel image (types 2 and 3) takes
// the source's red as its value; a palette image also brings its palette. The
// run-length stream is dropped, and written again when the transfer covers the whole body of a
// colour type 0 or 1 image that has stream memory.
int TransferImageToMemImg(const GraphImage* image, const GraphImage* alphaImage, MEMIMG* dest,
                          int srcLeft, int srcTop, int width, int height, int destX, int destY,
                          int ditherMode);
