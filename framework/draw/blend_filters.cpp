// The blend filters: the source is the base, the blend graph the layer. On the shader path one
// pass of the kind's pack shader, on the processor path the integer formulas.
#include "draw/blend_filters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/log.h"
#include "draw/filter_formulas.h"
#include "draw/filter_kernels.h"
#include "graphics/shader_pack.h"
#include "graphics/shaders.h"

namespace {

constexpr const char* kBasBFFiles[17] = {"BasBF_Normal.pso",
                                         nullptr,
                                         "BasBF_Multiple.pso",
                                         "BasBF_Difference.pso",
                                         "BasBF_Add.pso",
                                         "BasBF_Screen.pso",
                                         "BasBF_Overlay.pso",
                                         "BasBF_Dodge.pso",
                                         "BasBF_Burn.pso",
                                         "BasBF_Darken.pso",
                                         "BasBF_Lighten.pso",
                                         "BasBF_SoftLight.pso",
                                         "BasBF_HardLight.pso",
                                         "BasBF_Exclusion.pso",
                                         "BasBF_Normal_AlphaCh.pso",
                                         "BasBF_Add_AlphaCh.pso",
                                         "BasBF_Multiple_AOnly.pso"};
constexpr char kChannelLetters[] = "RGBA";

// The shader caches: one per layer-blend kind, and the channel mix's base shader, in-place
// colour variants (by the layer's alpha channel), single-channel variants (by that channel +
// 4 x the colour channel) and source-only selections of the pack.
struct BlendShaders {
    Handle basBF[17];
    Handle mixBase;
    Handle mixInPlace[4];
    Handle mixSingle[16];
    Handle mixSourceOnly[256];
};
BlendShaders gBlendShaders = {};

// c0 = the ratio in all four, c1 = the channel selectors + 0.5 (or ones).
int DrawBlendPass(FilterJob* job, Handle shader, const float selectors[4], int point, int swapped) {
    float c[2][4] = {{job->blendRatio, job->blendRatio, job->blendRatio, job->blendRatio},
                     {1.0f, 1.0f, 1.0f, 1.0f}};
    if (selectors != nullptr) std::copy(selectors, selectors + 4, c[1]);
    return DrawFilterShaderPass(job, shader, c, 2, point, job->blendGraph, swapped, 1);
}

// A source-only selection from the pack's compiled bodies, made on first use.
Handle FetchSourceOnlyMixShader(int index) {
    Handle& cache = gBlendShaders.mixSourceOnly[index];
    if (GetShaderObject(cache, 0) != nullptr) return cache;
    const void* code = nullptr;
    uint32_t size = 0;
    cache = -1;
    if (IsBuiltinShaderPackOpen() && GetPackedChannelMixShader(index, &code, &size) != -1) {
        cache = CreateShaderFromCode(0, const_cast<void*>(code), static_cast<int>(size), 0, 0, 0);
    }
    if (cache == -1) EmitLogFormat("RGBAMixS フィルター用シェーダーの作成に失敗しました");
    return cache;
}

int RunRGBAMixShader(FilterJob* job, int red, int green, int blue, int alpha) {
    int sel[4] = {red, green, blue, alpha};
    auto within = [](int v, int low, int high) { return v >= low && v <= high; };
    auto all = [&](int low, int high) {
        return std::all_of(sel, sel + 4, [&](int v) { return within(v, low, high); });
    };
    // Swapped, the layer is drawn on stage 0 and the base on stage 1.
    int swapped = 0;
    if (all(4, 7)) {
        swapped = 1;
        for (int& v : sel) v -= 4;
    }
    Handle shader = -1;
    if (all(0, 3)) {
        RegisterFilterShaderKernels();
        shader = FetchSourceOnlyMixShader(((sel[0] * 4 + sel[1]) * 4 + sel[2]) * 4 + sel[3]);
    } else {
        const bool sameColour =
            sel[0] == sel[1] && sel[1] == sel[2] && (within(sel[0], 0, 2) || within(sel[0], 4, 6));
        const bool inOrder = (sel[0] == 0 && sel[1] == 1 && sel[2] == 2) ||
                             (sel[0] == 4 && sel[1] == 5 && sel[2] == 6);
        // The named variants take the colour from stage 0 and the alpha from stage 1; here the
        // alpha names the other image than the colour (both on one side were taken above).
        if ((sameColour || inOrder) && within(sel[3], 0, 7)) {
            if (sel[0] >= 4) {
                swapped = 1;
                for (int i = 0; i < 3; ++i) sel[i] -= 4;
                sel[3] += 4;
            }
            Handle* cache = inOrder ? &gBlendShaders.mixInPlace[sel[3] - 4]
                                    : &gBlendShaders.mixSingle[sel[3] - 4 + 4 * sel[0]];
            char fileName[40];
            std::snprintf(fileName, sizeof fileName, "RGBAMix_S%cS%cS%cB%c.pso",
                          kChannelLetters[sel[0]], kChannelLetters[sel[1]], kChannelLetters[sel[2]],
                          kChannelLetters[sel[3] - 4]);
            shader = FetchFilterShader(cache, fileName, "RGBAMixS ");
        } else {
            shader = FetchFilterShader(&gBlendShaders.mixBase, "RGBAMix_Base.pso", "");
        }
    }
    if (shader == -1) return -1;
    const float selectors[4] = {
        static_cast<float>(sel[0]) + 0.5f, static_cast<float>(sel[1]) + 0.5f,
        static_cast<float>(sel[2]) + 0.5f, static_cast<float>(sel[3]) + 0.5f};
    return DrawBlendPass(job, shader, selectors, 1, swapped);
}

// The byte offset within a BGRA pixel of channel 0..3 (R, G, B, A).
constexpr int kChannelByte[4] = {2, 1, 0, 3};

}  // namespace

int RunBasBFBlend(FilterJob* job) {
    if (AreBuiltinShadersOn()) {
        Handle shader =
            FetchFilterShader(&gBlendShaders.basBF[job->kind], kBasBFFiles[job->kind], "");
        if (shader == -1) return -1;
        return DrawBlendPass(job, shader, nullptr, 0, 0);
    }
    if (ReadFilterImages(job, 1, -1, -1) == -1) return -1;
    int R = BlendRatio256(job->blendRatio);
    for (int y = 0; y < job->outHeight; ++y) {
        for (int x = 0; x < job->outWidth; ++x) {
            const uint8_t* b = FilterPixel(&job->sourceImage, x, y);
            const uint8_t* s = FilterPixel(&job->blendImage, x, y);
            uint8_t* d = FilterPixel(&job->destImage, x, y);
            if (job->kind >= 14) {
                ComposeAlpha(job->kind, R, b, s, d);
                continue;
            }
            int k = s[3] * R;
            for (int c = 0; c < 3; ++c)
                d[c] = BlendTowards(BlendChannel(job->kind, b[c], s[c]), b[c], k);
            d[3] = b[3];
        }
    }
    return FinishSoftFilter(job);
}

int RunRGBAMixBlend(FilterJob* job, int red, int green, int blue, int alpha) {
    if (AreBuiltinShadersOn()) return RunRGBAMixShader(job, red, green, blue, alpha);
    if (ReadFilterImages(job, 1, -1, -1) == -1) return -1;
    const int selectors[4] = {red, green, blue, alpha};
    for (int y = 0; y < job->outHeight; ++y) {
        for (int x = 0; x < job->outWidth; ++x) {
            const uint8_t* images[2] = {FilterPixel(&job->sourceImage, x, y),
                                        FilterPixel(&job->blendImage, x, y)};
            uint8_t* d = FilterPixel(&job->destImage, x, y);
            for (int c = 0; c < 4; ++c) {
                int selector = selectors[c];
                if (selector < 0 || selector > 7) continue;
                d[kChannelByte[c]] = images[selector >> 2][kChannelByte[selector & 3]];
            }
        }
    }
    return FinishSoftFilter(job);
}
