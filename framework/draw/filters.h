// The image and blend filters' shared machinery: the front end that checks and clips a request
// and reads its per-kind arguments; the shader path, which runs each pass as one strip drawn
// with a filter pixel shader into a draw-target graph (the destination itself or a pooled work
// target) and copies the result into the destination; and the processor path, which reads
// graphs back into decoded BGRA images, lets a filter compute on them and writes the result back.
// ApplyFilterOrBlend and ApplyFilterInPlace, with the kinds and the request, are public
// (orbek/orbek.h).
#pragma once

#include <orbek/orbek.h>
#include <platform/win32_user.h>

#include <cstddef>
#include <cstdint>

#include "core/handle_registry.h"
#include "image/color_format.h"

// One filter call; during the passes sourceGraph and destGraph hold the pass's input and target.
struct FilterJob {
    int isBlend;
    int kind;
    Handle sourceGraph;
    Handle blendGraph;
    Handle destGraph;
    float blendRatio;  // 0..1
    int passIndex;
    int srcX1, srcY1, srcX2, srcY2;  // right and bottom exclusive
    int blendX, blendY;
    int useBlendPosition;
    int destX, destY;
    int outWidth, outHeight;
    // Processor path only; an image without pixels holds nothing to free.
    GraphImage sourceImage;
    GraphImage blendImage;
    GraphImage destImage;
};

// The rectangle (null: the whole graph) as a fresh ARGB32 image; -1 with nothing kept.
int ReadGraphToBaseImage(Handle graph, GraphImage* out, const RECT* rect);
// Reads the job's images: the output size is the source rectangle's unless width and height are
// both >= 0; the destination image is fresh and cleared, or read back from the destination.
// -1 with every image freed.
int ReadFilterImages(FilterJob* job, int freshDest, int width, int height);
// Frees the inputs and writes the output image into the destination graph; 0.
int FinishSoftFilter(FilterJob* job);
// Frees whatever images the job holds.
void FreeFilterImages(FilterJob* job);

// The pixel (x, y) of a 32-bit image: bytes B, G, R, A.
inline uint8_t* FilterPixel(GraphImage* image, int x, int y) {
    return static_cast<uint8_t*>(image->pixels) + static_cast<size_t>(y) * image->pitch +
           static_cast<size_t>(x) * 4;
}
// The luminance register of the shaders: (0.299, 0.587, 0.114, 0).
extern const float kLuminanceRegister[4];
// Luminance scaled by 4096 of a BGRA pixel.
inline int Luminance4096(const uint8_t* bgra) {
    return 1224 * bgra[2] + 2404 * bgra[1] + 466 * bgra[0];
}

// Shader path. The filter's shader of the pack (fileName "Invert.pso"), cached in *cache: made
// on first use and again when the cached handle went stale. -1 with the failure logged in
// failureFormat (one %s for the file name).
Handle FetchFilterShader(Handle* cache, const char* fileName, const char* failureFormat);
// A pixel shader handle of the pack's file, created from its bytes in place; -1 when the pack,
// the file, the device or shaders are missing.
Handle CreateFilterShaderFromPack(const char* fileName);
// One shader pass of the job: the sampling mode set to point when asked, the user shader state
// saved, the registers stored as pixel float constants from c0 in the filter constant set, the
// shader selected, the strip drawn (RunFilterShaderPass), then the user state and the constants
// given back. second (or -1) goes to texture stage 1; swapTextures draws with the blend graph
// on stage 0 and the source on stage 1. 0, or -1 when nothing could be drawn.
int DrawFilterShaderPass(FilterJob* job, Handle shader, const float (*constants)[4], int registers,
                         int pointSampling, Handle second, int swapTextures, int divisor);
// The strip over the job's destination area (w / divisor by h / divisor) with the source's
// rectangle on coordinate set 0 and, for blends, the blend graph's on set 1.
int RunFilterShaderPass(int divisor, FilterJob* job, Handle second, int swapTextures);
// The level-0 texture size of a single-piece graph (a work target or a source drawn as it is).
void QueryFilterTextureSize(Handle graph, int* width, int* height);

// Runs the Invert filter on an 8x8 draw-target graph of four test colours and reports whether a
// filter pass into a draw target gives back exact values: 1 exact, 0 not.
int TestFilterResultExact();
