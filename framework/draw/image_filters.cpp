// The image filters: on the shader path one pass of the filter's pack shader with its
// constants; on the processor path the integer formulas on BGRA images (B, G, R, A bytes).
#include "draw/image_filters.h"

#include <orbek/orbek.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "draw/filter_formulas.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/graph_transfer.h"
#include "graphics/shaders.h"

namespace {

// The shader caches, one handle per pack file.
struct ImageFilterShaders {
    Handle mono;
    Handle gauss[3];
    Handle downScale[3];
    Handle brightClip[4];
    Handle hsb[3];
    Handle invert;
    Handle level;
    Handle twoColor;
    Handle gradientMap[2];
    Handle premultipliedAlpha;
};
ImageFilterShaders gImageFilterShaders = {};

bool OnShaderPath() {
    return AreBuiltinShadersOn() != 0;
}

// The cached shader of the file; -1 logged when it cannot be made.
Handle Shader(Handle* cache, const char* fileName) {
    return FetchFilterShader(cache, fileName, "");
}

// One point-sampled pass of a filter whose shader reads only the source.
int PointPass(FilterJob* job, Handle* cache, const char* fileName, const float (*constants)[4],
              int registers) {
    Handle shader = Shader(cache, fileName);
    if (shader == -1) return -1;
    return DrawFilterShaderPass(job, shader, constants, registers, 1, -1, 0, 1);
}

// Reads the job's images, runs the pixel function over every output pixel and writes the result.
template <typename PixelFunction>
int RunPixelFilter(FilterJob* job, int freshDest, PixelFunction pixel) {
    if (ReadFilterImages(job, freshDest, -1, -1) == -1) return -1;
    for (int y = 0; y < job->outHeight; ++y) {
        for (int x = 0; x < job->outWidth; ++x) {
            pixel(FilterPixel(&job->sourceImage, x, y), FilterPixel(&job->destImage, x, y));
        }
    }
    return FinishSoftFilter(job);
}

// The gaussian weights, kept while the strength and width stay the same.
struct GaussWeights {
    float weights[16];
    float strength;
    int pixelWidth;
};
GaussWeights gGaussWeights = {};

void UpdateGaussWeights(int pixelWidth, float strength) {
    if (std::fabs(gGaussWeights.strength - strength) <= 0.0002f &&
        gGaussWeights.pixelWidth == pixelWidth) {
        return;
    }
    int half = pixelWidth / 2;
    float sides = 0.0f;
    for (int i = 0; i < half; ++i) {
        gGaussWeights.weights[i] = std::exp(-0.5f * static_cast<float>(i * i) / strength);
        if (i > 0) sides += gGaussWeights.weights[i];
    }
    float total = gGaussWeights.weights[0] + 2.0f * sides;
    for (int i = 0; i < half; ++i) gGaussWeights.weights[i] /= total;
    // The shaders receive all 16: the taps a narrower kernel does not use weigh nothing.
    std::fill(gGaussWeights.weights + half, std::end(gGaussWeights.weights), 0.0f);
    gGaussWeights.strength = strength;
    gGaussWeights.pixelWidth = pixelWidth;
}

// One blur pass along rows (step 4 bytes) or columns (step one pitch) of count pixels each.
void GaussPass(const GraphImage& from, GraphImage* to, bool alongRows, const int* weights,
               int half) {
    int lines = alongRows ? from.height : from.width;
    int count = alongRows ? from.width : from.height;
    for (int line = 0; line < lines; ++line) {
        for (int i = 0; i < count; ++i) {
            auto at = [&](int d) {
                int p = std::clamp(i + d, 0, count - 1);
                return alongRows ? FilterPixel(const_cast<GraphImage*>(&from), p, line)
                                 : FilterPixel(const_cast<GraphImage*>(&from), line, p);
            };
            uint8_t* out = alongRows ? FilterPixel(to, i, line) : FilterPixel(to, line, i);
            for (int c = 0; c < 4; ++c) {
                out[c] = GaussChannel(weights, half, [&](int d) -> int { return at(d)[c]; });
            }
        }
    }
}

// pow(i / 255, 1 / gamma) as bytes, kept while the gamma stays the same.
struct LevelTable {
    int entries[256];
    float gamma;
};
LevelTable gLevelTable = {{}, -10000000.0f};

void UpdateLevelTable(float gamma) {
    if (std::fabs(gLevelTable.gamma - gamma) <= 1e-4f) return;
    for (int i = 0; i < 256; ++i) {
        float v = std::pow(static_cast<float>(i) / 255.0f, 1.0f / gamma) * 255.0f;
        gLevelTable.entries[i] = std::min(255, static_cast<int>(v));
    }
    gLevelTable.gamma = gamma;
}

// A 256 x 1 graph of 32-bit pixels with alpha, one texture of exactly that width, made when
// missing; its lost flag is set when it goes.
int EnsureLookupGraph(Handle* graph, int* lost) {
    if (GetGraphRecord(*graph, 0) != nullptr) return 0;
    GraphCreateSettings settings{};
    CaptureGraphCreateSettings(&settings);
    settings.colorBits = 32;
    settings.alphaChannelForEmpty = 1;
    settings.drawTarget = 0;
    settings.maxTextureSize = 0;
    *graph = CreateEmptyGraph(&settings, 256, 1, 0, 0, 0);
    if (*graph == -1) return -1;
    AttachGraphLostFlag(*graph, lost);
    *lost = 1;
    return 0;
}

// The shader path's lookup graph: table entry i in every byte of pixel i.
struct LevelLookup {
    Handle graph;
    int lost;
    float gamma;
};
LevelLookup gLevelLookup = {-1, 1, -10000000.0f};

int UpdateLevelLookup(float gamma) {
    LevelLookup& l = gLevelLookup;
    if (EnsureLookupGraph(&l.graph, &l.lost) == -1) return -1;
    if (!l.lost && std::fabs(l.gamma - gamma) <= 1e-4f) return 0;
    UpdateLevelTable(gamma);
    GraphImage image{};
    if (AllocGraphImageARGB32(256, 1, &image) == -1) return -1;
    for (int i = 0; i < 256; ++i) std::memset(FilterPixel(&image, i, 0), gLevelTable.entries[i], 4);
    const int result = TransferGraphImageToGraph(&image, nullptr, 0, 0, l.graph);
    FreeGraphImage(&image);
    if (result == -1) return -1;
    l.gamma = gamma;
    l.lost = 0;
    return 0;
}

// The gradient as the shaders read it: pixel i of this graph is the gradient's first-row pixel
// (i x width) >> 8, the processor's table entry, whatever the gradient's size or textures.
struct GradientLookup {
    Handle graph;
    int lost;
};
GradientLookup gGradientLookup = {-1, 1};

int UpdateGradientLookup(GraphImage* row) {
    GradientLookup& g = gGradientLookup;
    if (EnsureLookupGraph(&g.graph, &g.lost) == -1) return -1;
    const RECT all = {0, 0, 256, 1};
    return UploadImageToGraph(g.graph, &all, 0, 0, row, nullptr, 0, 0, 0);
}

// Gauss's first pass leaves its last row repeated down to the target's bottom edge, where the
// second pass's taps read past the rectangle.
void RepeatLastRow(FilterJob* job) {
    int texWidth = 1, texHeight = 1;
    QueryFilterTextureSize(job->destGraph, &texWidth, &texHeight);
    const int w = job->srcX2 - job->srcX1, h = job->srcY2 - job->srcY1;
    if (job->destY + h >= texHeight) return;
    const float x0 = static_cast<float>(job->destX) - 0.5f, x1 = x0 + static_cast<float>(w);
    const float y0 = static_cast<float>(job->destY + h) - 0.5f;
    const float y1 = static_cast<float>(texHeight) - 0.5f;
    const float u0 = static_cast<float>(job->destX) / static_cast<float>(texWidth);
    const float u1 = static_cast<float>(job->destX + w) / static_cast<float>(texWidth);
    // The row's texel centre: on its upper edge linear sampling would mix in the row above.
    const float v = (static_cast<float>(job->destY + h) - 0.5f) / static_cast<float>(texHeight);
    const GraphListVertex strip[4] = {{x0, y0, 0.0f, 1.0f, 0xFFFFFFFF, u0, v},
                                      {x1, y0, 0.0f, 1.0f, 0xFFFFFFFF, u1, v},
                                      {x0, y1, 0.0f, 1.0f, 0xFFFFFFFF, u0, v},
                                      {x1, y1, 0.0f, 1.0f, 0xFFFFFFFF, u1, v}};
    // At full parameter the vertex alpha keeps the texels' alpha.
    ChangeBlendMode(BlendOverwrite, 255);
    PutGraphVertexList(strip, 4, 5, job->destGraph, 1);
    ChangeBlendMode(BlendOverwrite, 0);
}

// The source rectangle written unchanged at the destination position of the pass's target.
int CopySourceRect(FilterJob* job) {
    GraphImage image{};
    const RECT rect = {job->srcX1, job->srcY1, job->srcX2, job->srcY2};
    if (ReadGraphToBaseImage(job->sourceGraph, &image, &rect) == -1) return -1;
    const RECT whole = {0, 0, image.width, image.height};
    const int result = UploadImageToGraph(job->destGraph, &whole, job->destX, job->destY, &image,
                                          nullptr, 0, 0, 0);
    FreeGraphImage(&image);
    return result;
}

int GaussShaderPass(FilterJob* job, int n, float strength) {
    static constexpr const char* kFiles[3] = {"Gauss_08Pixel_PS.pso", "Gauss_16Pixel_PS.pso",
                                              "Gauss_32Pixel_PS.pso"};
    const int index = n == 8 ? 0 : n == 16 ? 1 : 2;
    Handle shader = Shader(&gImageFilterShaders.gauss[index], kFiles[index]);
    if (shader == -1) return -1;
    if (strength < 1e-7f) return CopySourceRect(job);
    UpdateGaussWeights(n, strength);
    int texWidth = 1, texHeight = 1;
    QueryFilterTextureSize(job->sourceGraph, &texWidth, &texHeight);
    const bool across = job->passIndex == 0;
    float c[21][4] = {};
    c[0][0] = static_cast<float>(texWidth);
    c[0][1] = static_cast<float>(texHeight);
    for (int i = 0; i < 16; ++i) c[1 + i / 4][i % 4] = gGaussWeights.weights[i];
    for (int k = 1; k < 16; ++k) {
        const float texels = static_cast<float>(2 * k) - 0.5f;
        c[5 + k][across ? 0 : 1] = texels / static_cast<float>(across ? texWidth : texHeight);
    }
    const int result = DrawFilterShaderPass(job, shader, c, 21, 0, -1, 0, 1);
    if (result == 0 && across) RepeatLastRow(job);
    return result;
}

// The luminance register as c0.
void LuminanceFirst(float (*c)[4]) {
    std::copy(kLuminanceRegister, kLuminanceRegister + 4, c[0]);
}

}  // namespace

int Mono(FilterJob* job, float cb, float cr) {
    if (OnShaderPath()) {
        float Cb = std::clamp(cb / 200.0f, -0.5f, 0.5f);
        float Cr = std::clamp(cr / 200.0f, -0.5f, 0.5f);
        float c[2][4] = {{}, {1.402f * Cr, -0.34414f * Cb - 0.71414f * Cr, 1.772f * Cb, 0.0f}};
        LuminanceFirst(c);
        return PointPass(job, &gImageFilterShaders.mono, "Mono.pso", c, 2);
    }
    const MonoOffsets o = MakeMonoOffsets(cb, cr);
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        int y = Luminance4096(s);
        d[0] = MonoChannel(y, o.blue);
        d[1] = MonoChannel(y, o.green);
        d[2] = MonoChannel(y, o.red);
        d[3] = s[3];
    });
}

int Gauss(FilterJob* job, int pixelWidth, float strength) {
    int n = pixelWidth < 9 ? 8 : pixelWidth <= 16 ? 16 : 32;
    if (OnShaderPath()) return GaussShaderPass(job, n, strength);
    if (strength < 1e-7f) {
        return RunPixelFilter(job, 1, [](const uint8_t* s, uint8_t* d) { std::memcpy(d, s, 4); });
    }
    UpdateGaussWeights(n, strength);
    int half = n / 2;
    int weights[16];
    for (int i = 0; i < half; ++i) {
        weights[i] = GaussWeight65536(gGaussWeights.weights[i]);
    }
    if (ReadFilterImages(job, 1, -1, -1) == -1) return -1;
    GraphImage across{};
    if (AllocGraphImageARGB32(job->outWidth, job->outHeight, &across) == -1) {
        FreeFilterImages(job);
        return -1;
    }
    GaussPass(job->sourceImage, &across, true, weights, half);
    GaussPass(across, &job->destImage, false, weights, half);
    FreeGraphImage(&across);
    return FinishSoftFilter(job);
}

int NormalizeDownScaleFactor(int factor) {
    return factor < 3 ? 2 : factor <= 4 ? 4 : 8;
}

int DownScale(FilterJob* job, int factor) {
    int f = NormalizeDownScaleFactor(factor);
    int shift = f == 2 ? 2 : f == 4 ? 4 : 6;
    int width = (job->srcX2 - job->srcX1) / f, height = (job->srcY2 - job->srcY1) / f;
    if (width < 1 || height < 1) return 0;
    if (OnShaderPath()) {
        static constexpr const char* kFiles[3] = {"DownScaleX2.pso", "DownScaleX4.pso",
                                                  "DownScaleX8.pso"};
        const int index = f == 2 ? 0 : f == 4 ? 1 : 2;
        Handle shader = Shader(&gImageFilterShaders.downScale[index], kFiles[index]);
        if (shader == -1) return -1;
        int texWidth = 1, texHeight = 1;
        QueryFilterTextureSize(job->sourceGraph, &texWidth, &texHeight);
        // Tap offsets in texels: the centre of the 2x2 block, of each 2x2 quarter of the 4x4
        // block, or of each 2x2 sixteenth of the 8x8 block, row by row.
        const int taps = f == 2 ? 1 : f == 4 ? 2 : 4;
        float c[16][4] = {};
        for (int i = 0; i < taps * taps; ++i) {
            const int x = taps == 1 ? 0 : 2 * (i % taps) - (taps - 1);
            const int y = taps == 1 ? 0 : 2 * (i / taps) - (taps - 1);
            c[i][0] = static_cast<float>(x) / static_cast<float>(texWidth);
            c[i][1] = static_cast<float>(y) / static_cast<float>(texHeight);
        }
        return DrawFilterShaderPass(job, shader, c, taps * taps, 0, -1, 0, f);
    }
    if (ReadFilterImages(job, 1, width, height) == -1) return -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sum[4] = {};
            for (int by = 0; by < f; ++by) {
                for (int bx = 0; bx < f; ++bx) {
                    const uint8_t* s = FilterPixel(&job->sourceImage, x * f + bx, y * f + by);
                    for (int c = 0; c < 4; ++c) sum[c] += s[c];
                }
            }
            uint8_t* d = FilterPixel(&job->destImage, x, y);
            for (int c = 0; c < 4; ++c) d[c] = static_cast<uint8_t>(sum[c] >> shift);
        }
    }
    return FinishSoftFilter(job);
}

int BrightClip(FilterJob* job, int compareKind, float threshold, int fillFlag,
               const float fill[4]) {
    if (compareKind != 2 && compareKind != 5) return -1;
    float T = std::clamp(threshold / 255.0f, 0.0f, 1.0f);
    int t = BrightClipThreshold4096(T);
    uint8_t color[4] = {};
    if (fillFlag)
        color[0] = FilterColorByte(fill[2]), color[1] = FilterColorByte(fill[1]),
        color[2] = FilterColorByte(fill[0]), color[3] = FilterColorByte(fill[3]);
    bool less = compareKind == 2;
    if (OnShaderPath()) {
        static constexpr const char* kFiles[4] = {"BrightClipLess.pso", "BrightClipFillLess.pso",
                                                  "BrightClipGreater.pso",
                                                  "BrightClipFillGreater.pso"};
        const int index = (less ? 0 : 2) + (fillFlag ? 1 : 0);
        float c[3][4] = {{T, T, T, T}, {}, {}};
        std::copy(kLuminanceRegister, kLuminanceRegister + 4, c[1]);
        if (fillFlag) std::copy(fill, fill + 4, c[2]);
        return PointPass(job, &gImageFilterShaders.brightClip[index], kFiles[index], c, 3);
    }
    return RunPixelFilter(job, 0, [&](const uint8_t* s, uint8_t* d) {
        int y = Luminance4096(s);
        if (less ? y >= t : y <= t) {
            std::memcpy(d, s, 4);
        } else if (fillFlag) {
            std::memcpy(d, color, 4);
        }
    });
}

int Hsb(FilterJob* job, int kind, float hue, float saturation, float brightness) {
    float H = hue / 360.0f;
    H = kind == 1 ? std::clamp(H, 0.0f, 1.0f) : std::clamp(H, -0.5f, 0.5f);
    float S = std::clamp(saturation / 100.0f, -1.0f, 1.0f);
    float B = brightness / 100.0f;
    if (S > 0) S *= 5.0f;
    if (OnShaderPath()) {
        // Hue lock in one pass; otherwise into the intermediate encoding and back.
        const int index = kind == 1 ? 2 : job->passIndex == 0 ? 0 : 1;
        static constexpr const char* kFiles[3] = {"Hsb_RGB_TO_HSB.pso", "Hsb_HSB_TO_RGB.pso",
                                                  "Hsb_HSB_HLOCK.pso"};
        const float c[3][4] = {
            {6.0f * H, S, B, 0.0f}, {0.5f, 0.5f, 0.5f, 0.5f}, {1.0f, 1.0f, 1.0f, 1.0f}};
        return PointPass(job, &gImageFilterShaders.hsb[index], kFiles[index], c, 3);
    }
    const HsbSteps steps = MakeHsbSteps(6.0f * H, S, B);
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        for (int c = 0; c < 3; ++c) d[c] = HsbBrightness(s[c], steps.brightness);
        HsbAdjust(d, steps.hue, steps.saturation, kind == 1, d);
        d[3] = s[3];
    });
}

int Invert(FilterJob* job) {
    if (OnShaderPath())
        return PointPass(job, &gImageFilterShaders.invert, "Invert.pso", nullptr, 0);
    return RunPixelFilter(job, 1, [](const uint8_t* s, uint8_t* d) {
        for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(255 - s[c]);
        d[3] = s[3];
    });
}

int Level(FilterJob* job, float min, float max, float gamma, float outMin, float outMax) {
    min = std::clamp(min / 255.0f, 0.0f, 1.0f);
    max = std::clamp(max / 255.0f, 0.0f, 1.0f);
    outMin = std::clamp(outMin / 255.0f, 0.0f, 1.0f);
    outMax = std::clamp(outMax / 255.0f, 0.0f, 1.0f);
    gamma = std::max(gamma, 0.001f);
    min = std::min(min, max);
    outMin = std::min(outMin, outMax);
    if (OnShaderPath()) {
        Handle shader = Shader(&gImageFilterShaders.level, "Level.pso");
        if (shader == -1 || UpdateLevelLookup(gamma) == -1) return -1;
        // An empty input range is a step at min: the scale only needs to be large and finite.
        const float scale = max > min ? 1.0f / (max - min) : 1.0e30f;
        const float c[1][4] = {{min, scale, outMin, outMax}};
        return DrawFilterShaderPass(job, shader, c, 1, 1, gLevelLookup.graph, 0, 1);
    }
    UpdateLevelTable(gamma);
    const LevelRanges ranges = MakeLevelRanges(min, max, outMin, outMax);
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        for (int c = 0; c < 3; ++c) {
            d[c] = LevelOutput(gLevelTable.entries[LevelTableIndex(s[c], ranges)], ranges);
        }
        d[3] = s[3];
    });
}

int TwoColor(FilterJob* job, float threshold, const float colour1[4], const float colour2[4]) {
    if (OnShaderPath()) {
        float c[3][4] = {{0.299f, 0.587f, 0.114f, threshold / 255.0f}, {}, {}};
        std::copy(colour1, colour1 + 4, c[1]);
        std::copy(colour2, colour2 + 4, c[2]);
        return PointPass(job, &gImageFilterShaders.twoColor, "TwoColor.pso", c, 3);
    }
    int t = TwoColorThreshold4096(threshold);
    uint8_t below[4] = {FilterColorByte(colour1[2]), FilterColorByte(colour1[1]),
                        FilterColorByte(colour1[0]), FilterColorByte(colour1[3])};
    uint8_t above[4] = {FilterColorByte(colour2[2]), FilterColorByte(colour2[1]),
                        FilterColorByte(colour2[0]), FilterColorByte(colour2[3])};
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        std::memcpy(d, Luminance4096(s) >= t ? above : below, 4);
    });
}

int GradientMap(FilterJob* job, Handle gradient, int reverse) {
    Handle shader = -1;
    if (OnShaderPath()) {
        const int index = reverse ? 1 : 0;
        static constexpr const char* kFiles[2] = {"GradientMap.pso", "GradientMapRev.pso"};
        shader = Shader(&gImageFilterShaders.gradientMap[index], kFiles[index]);
        if (shader == -1) return -1;
    }
    // Entry i of the table is the gradient's first-row pixel (i x width) >> 8.
    GraphImage image{}, table{};
    if (ReadGraphToBaseImage(gradient, &image, nullptr) == -1) return -1;
    if (AllocGraphImageARGB32(256, 1, &table) == -1) {
        FreeGraphImage(&image);
        return -1;
    }
    for (int i = 0; i < 256; ++i) {
        std::memcpy(FilterPixel(&table, i, 0), FilterPixel(&image, (i * image.width) >> 8, 0), 4);
    }
    FreeGraphImage(&image);
    if (shader != -1) {
        const int result = UpdateGradientLookup(&table);
        FreeGraphImage(&table);
        if (result == -1) return -1;
        float c[1][4];
        LuminanceFirst(c);
        return DrawFilterShaderPass(job, shader, c, 1, 1, gGradientLookup.graph, 0, 1);
    }
    const int result = RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        const int entry = Luminance4096(s) >> 12;
        std::memcpy(d, FilterPixel(&table, reverse ? 255 - entry : entry, 0), 4);
    });
    FreeGraphImage(&table);
    return result;
}

int PremultipliedAlpha(FilterJob* job) {
    if (OnShaderPath()) {
        return PointPass(job, &gImageFilterShaders.premultipliedAlpha, "PremultipliedAlpha.pso",
                         nullptr, 0);
    }
    return RunPixelFilter(job, 1, [](const uint8_t* s, uint8_t* d) {
        for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((s[c] * s[3]) >> 8);
        d[3] = s[3];
    });
}
