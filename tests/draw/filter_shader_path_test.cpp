// The filters' shader path against their processor path: every filter and blend kind on random
// images, in place and into other graphs, through work targets of several sizes, on graphs split
// over several textures and on clipped rectangles; then the shader path's failures. Each
// scenario runs with the device's shaders, then once more after the device was made again
// without them, and the two sets of pictures must agree bit for bit.
#include <gtest/gtest.h>
#include <platform/testing_d3d9.h>

#include <array>
#include <functional>
#include <random>

#include "draw/filters.h"
#include "draw_call_fixture.h"
#include "filter_requests.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_transfer.h"
#include "graphics/graphics_system.h"
#include "graphics/shader_pack.h"
#include "graphics/shaders.h"

namespace {

using Picture = std::vector<uint32_t>;  // 0xAARRGGBB, row by row

class FilterShaderPathTest : public DrawCallFixture {
protected:
    void SetUp() override {
        DrawCallFixture::SetUp();
        StartDevice(32);
        ASSERT_EQ(AreBuiltinShadersOn(), 1) << ReadLog();
    }

    // Seeded random pixels, alpha included; a draw target when asked.
    Handle Random(int width, int height, uint32_t seed, bool drawTarget = false) {
        std::mt19937 random(seed);
        GraphImage* image = MakeImage(
            width, height, [&](int, int) { return static_cast<uint32_t>(random()); }, true);
        if (!drawTarget) return BuildGraphFromGraphImage(image, nullptr, 0);
        GraphCreateSettings settings = gDrawSettings.graphCreate;
        settings.drawTarget = 1;
        settings.drawTargetAlpha = 1;
        Handle graph = CreateEmptyGraph(&settings, width, height, 0, 0, 0);
        const RECT all = {0, 0, width, height};
        EXPECT_EQ(UploadImageToGraph(graph, &all, 0, 0, image, nullptr, 0, 0, 0), 0);
        return graph;
    }

    // The rectangle (null: all) of the graph.
    static Picture Read(Handle graph, const RECT* rect = nullptr) {
        GraphImage image{};
        EXPECT_EQ(ReadGraphToBaseImage(graph, &image, rect), 0);
        Picture out;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const uint8_t* p = FilterPixel(&image, x, y);
                out.push_back(static_cast<uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]);
            }
        }
        FreeGraphImage(&image);
        return out;
    }

    static void SwitchShadersOff() {
        TestD3d9Profile profile = TestD3d9DefaultProfile();
        profile.shaders = false;
        TestD3d9SetProfile(profile);
        RecreateDeviceKeepingMode();
        ASSERT_EQ(AreBuiltinShadersOn(), 0);
    }

    // The scenario's pictures on both paths, compared picture by picture.
    static void ExpectBothPathsAgree(const std::function<std::vector<Picture>()>& scenario) {
        const std::vector<Picture> shaded = scenario();
        SwitchShadersOff();
        const std::vector<Picture> processed = scenario();
        ASSERT_EQ(shaded.size(), processed.size());
        for (size_t i = 0; i < shaded.size(); ++i) {
            ASSERT_EQ(shaded[i].size(), processed[i].size()) << "picture " << i;
            for (size_t p = 0; p < shaded[i].size(); ++p) {
                ASSERT_EQ(shaded[i][p], processed[i][p]) << "picture " << i << " pixel " << p;
            }
        }
    }
};

// One filter call: the kind and its arguments.
struct FilterCall {
    int kind;
    std::vector<int> args;
};

int Apply(Handle source, Handle dest, const FilterCall& call, int x1, int y1, int x2, int y2,
          int destX, int destY) {
    int a[5] = {};
    std::copy(call.args.begin(), call.args.end(), a);
    return RunFilter(Filter(call.kind, source, dest, {x1, y1, x2, y2}, destX, destY), a[0], a[1],
                     a[2], a[3], a[4]);
}

// Every kind with arguments that reach its branches; Gauss at each kernel width.
std::vector<FilterCall> EveryFilterCall(Handle gradient) {
    return {{kFilterMono, {60, -90}},
            {kFilterGauss, {8, 150}},
            {kFilterGauss, {10, 250}},
            {kFilterGauss, {32, 900}},
            {kFilterGauss, {16, 0}},
            {kFilterDownScale, {2}},
            {kFilterDownScale, {3}},
            {kFilterDownScale, {8}},
            {kFilterBrightClip, {2, 120, 1, static_cast<int>(PackScreenColor(9, 8, 7)), 66}},
            {kFilterBrightClip, {5, 90, 1, static_cast<int>(PackScreenColor(1, 200, 3)), 255}},
            {kFilterHsb, {0, -100, 40, -70}},
            {kFilterHsb, {0, 170, -200, 255}},
            {kFilterHsb, {1, 360, -80, 90}},
            {kFilterHsb, {0, 400, -60, -400}},
            {kFilterHsb, {0, -180, -255, 255}},
            {kFilterHsb, {1, 95, -255, -30}},
            {kFilterInvert, {}},
            {kFilterLevel, {40, 200, 170, 10, 250}},
            {kFilterLevel, {100, 100, 100, 0, 255}},
            {kFilterTwoColor,
             {100, static_cast<int>(PackScreenColor(255, 0, 128)), 7,
              static_cast<int>(PackScreenColor(0x12, 0x34, 0x56)), 200}},
            {kFilterGradientMap, {gradient, 0}},
            {kFilterGradientMap, {gradient, 1}},
            {kFilterPremultipliedAlpha, {}}};
}

// Whole graphs whose sides are their textures' (so that no tap reads past them), into draw
// targets at the same place (drawn straight into them) and elsewhere (through a work target),
// into plain graphs, and in place.
TEST_F(FilterShaderPathTest, EveryFilterKindAgreesWithTheProcessorPath) {
    ExpectBothPathsAgree([this] {
        std::vector<Picture> pictures;
        Handle gradient = Random(100, 2, 9);
        Handle source = Random(64, 32, 1);
        uint32_t seed = 100;
        for (const FilterCall& call : EveryFilterCall(gradient)) {
            Handle target = Random(64, 32, ++seed, true);
            Handle shifted = Random(64, 32, ++seed, true);
            Handle plain = Random(64, 32, ++seed);
            Handle inPlace = Random(64, 32, 1, true);
            EXPECT_EQ(Apply(source, target, call, 0, 0, 64, 32, 0, 0), 0) << call.kind;
            // A blurred part of the graph reads past its edges: see the split graphs' test.
            const bool blur = call.kind == kFilterGauss && call.args[1] != 0;
            EXPECT_EQ(Apply(source, shifted, call, 0, 0, blur ? 64 : 32, blur ? 32 : 16,
                            blur ? 0 : 16, blur ? 0 : 8),
                      0)
                << call.kind;
            EXPECT_EQ(Apply(source, plain, call, 0, 0, 64, 32, 0, 0), 0) << call.kind;
            EXPECT_EQ(Apply(inPlace, inPlace, call, 0, 0, 64, 32, 0, 0), 0) << call.kind;
            for (Handle graph : {target, shifted, plain, inPlace}) {
                pictures.push_back(Read(graph));
                DisposeGraph(graph);
            }
        }
        // Without a fill the pixels not kept stay the destination's, where the pass draws
        // straight into the destination and where it draws through a work target that another
        // filter used before.
        const FilterCall less = {kFilterBrightClip, {2, 120, 0}};
        Handle target = Random(64, 32, 99, true);
        EXPECT_EQ(Apply(source, target, less, 0, 0, 64, 32, 0, 0), 0);
        Handle inPlace = Random(64, 32, 1, true);
        EXPECT_EQ(Apply(inPlace, inPlace, {kFilterBrightClip, {5, 120, 0}}, 0, 0, 64, 32, 0, 0), 0);
        Handle plain = Random(64, 32, 98);
        EXPECT_EQ(Apply(source, plain, less, 0, 0, 64, 32, 0, 0), 0);
        Handle shifted = Random(64, 32, 97, true);
        EXPECT_EQ(Apply(source, shifted, less, 0, 0, 32, 16, 16, 8), 0);
        for (Handle graph : {target, inPlace, plain, shifted}) pictures.push_back(Read(graph));
        return pictures;
    });
}

// The layer is the base's size and lies at the same corner: the processor path reads it at the
// source's coordinates, the shader path stretches it over the area (placement 0) or reads it
// from the given corner (placement non-zero). Ratios full and partial over random base and
// layer alphas; the channel mix through each of its shaders.
TEST_F(FilterShaderPathTest, EveryBlendKindAgreesWithTheProcessorPath) {
    ExpectBothPathsAgree([this] {
        std::vector<Picture> pictures;
        Handle base = Random(48, 24, 11);
        Handle layer = Random(48, 24, 12);
        Handle dest = Random(48, 24, 13, true);
        for (int kind = 0; kind <= kBlendFilterMultipleAlphaOnly; ++kind) {
            if (kind == kBlendFilterRGBAMix) continue;
            for (int ratio : {255, 170, 0}) {
                EXPECT_EQ(RunFilter(Blend(kind, base, layer, dest, ratio, {0, 0, 48, 24})), 0);
                pictures.push_back(Read(dest));
            }
        }
        // Both from the layer, the general selection (8 and -1 name no channel), then every
        // source-only index and every named variant.
        std::vector<std::array<int, 4>> selections = {{4, 5, 6, 7},  {7, 4, 5, 6}, {6, 6, 6, 1},
                                                      {4, 5, 6, 0},  {1, 4, 2, 9}, {0, 1, 2, 9},
                                                      {8, 4, -1, 3}, {0, 5, 3, 6}};
        for (int i = 0; i < 256; ++i) selections.push_back({i >> 6, i >> 4 & 3, i >> 2 & 3, i & 3});
        for (int colour = -1; colour < 3; ++colour) {
            for (int alpha = 4; alpha < 8; ++alpha) {
                selections.push_back(colour < 0
                                         ? std::array<int, 4>{0, 1, 2, alpha}
                                         : std::array<int, 4>{colour, colour, colour, alpha});
            }
        }
        for (const auto& s : selections) {
            EXPECT_EQ(RunFilter({.isBlend = 1,
                                 .sourceGraph = base,
                                 .blendGraph = layer,
                                 .destGraph = dest,
                                 .blendRatio = 128,
                                 .kind = kBlendFilterRGBAMix,
                                 .srcX2 = 48,
                                 .srcY2 = 24,
                                 .useBlendPosition = 1},
                                s[0], s[1], s[2], s[3]),
                      0);
            pictures.push_back(Read(dest));
        }
        // In place, and with the layer placed pixel for pixel at the source's corner.
        EXPECT_EQ(RunFilter(Blend(6, base, layer, base, 200, {0, 0, 48, 24})), 0);
        pictures.push_back(Read(base));
        EXPECT_EQ(RunFilter({.isBlend = 1,
                             .sourceGraph = layer,
                             .blendGraph = base,
                             .destGraph = dest,
                             .blendRatio = 255,
                             .kind = 14,
                             .srcX1 = 8,
                             .srcY1 = 4,
                             .srcX2 = 40,
                             .srcY2 = 20,
                             .blendX = 8,
                             .blendY = 4,
                             .useBlendPosition = 1,
                             .destX = 8,
                             .destY = 4}),
                  0);
        pictures.push_back(Read(dest));
        Handle plain = Random(48, 24, 14);
        EXPECT_EQ(RunFilter(Blend(11, base, layer, plain, 90, {0, 0, 48, 24})), 0);
        pictures.push_back(Read(plain));
        return pictures;
    });
}

// A source over several textures is first drawn whole into one work target (150 x 90 in 64-texel
// textures: the 256 class); 300 x 200 uses the 512 class; a rectangle from (-10, -5) is cut and
// lands at (10, 5). Taps that leave a rectangle read what lies beyond it on the shader path and
// the rectangle's edge pixel on the processor path, so the blurs compare only where their taps
// stay inside: more than 2 x (taps / 2 - 1) pixels from a left, right or upper edge that is not
// the texture's own (the lower edge is repeated downward and agrees).
TEST_F(FilterShaderPathTest, SplitGraphsWorkTargetsAndClippedRectanglesAgree) {
    ExpectBothPathsAgree([this] {
        std::vector<Picture> pictures;
        // Graphs of 64-texel textures; work targets are one texture whatever the setting.
        gDrawSettings.graphCreate.maxTextureSize = 64;
        Handle split = Random(150, 90, 31);
        Handle splitDest = Random(150, 90, 32);
        EXPECT_GT(GetGraphRecord(split, 0)->pieceCount, 1);
        Handle large = Random(300, 200, 33, true);
        EXPECT_GT(GetGraphRecord(large, 0)->pieceCount, 1);
        Handle small = Random(40, 30, 34, true);
        // Drawn at (40, 40) through a work target that must reach past the 16-pixel source.
        Handle tiny = Random(16, 16, 35);
        Handle wide = Random(64, 64, 36);
        EXPECT_EQ(Apply(tiny, wide, {kFilterMono, {-30, 70}}, 0, 0, 16, 16, 40, 40), 0);
        pictures.push_back(Read(wide));
        for (const FilterCall& call :
             {FilterCall{kFilterInvert, {}}, FilterCall{kFilterHsb, {0, 50, 30, 20}},
              FilterCall{kFilterDownScale, {4}}}) {
            EXPECT_EQ(Apply(split, splitDest, call, 0, 0, 150, 90, 0, 0), 0);
            pictures.push_back(Read(splitDest));
            EXPECT_EQ(Apply(large, large, call, 0, 0, 300, 200, 0, 0), 0);
            pictures.push_back(Read(large));
            EXPECT_EQ(Apply(split, small, call, -10, -5, 150, 90, 0, 0), 0);
            pictures.push_back(Read(small));
        }
        // 16 taps reach 14 pixels: the inside of the split graphs, drawn into 256 and 512 work
        // targets where their right edges meet what lies beyond them.
        EXPECT_EQ(ApplyFilterInPlace(split, kFilterGauss, {{16, 300}}), 0);
        const RECT inside = {15, 0, 135, 90};
        pictures.push_back(Read(split, &inside));
        EXPECT_EQ(ApplyFilterInPlace(large, kFilterGauss, {{16, 300}}), 0);
        const RECT insideLarge = {0, 0, 285, 200};
        pictures.push_back(Read(large, &insideLarge));
        // A rectangle inside the graph, blurred into another place of another graph.
        EXPECT_EQ(Apply(large, small, {kFilterGauss, {8, 200}}, 100, 50, 140, 80, 0, 0), 0);
        const RECT insideSmall = {7, 7, 33, 30};
        pictures.push_back(Read(small, &insideSmall));
        return pictures;
    });
}

TEST_F(FilterShaderPathTest, TheStartUpSelfTestIsExactThroughTheShaders) {
    EXPECT_EQ(gGraphicsSystem.FilterResultExact, 1);
    EXPECT_EQ(TestFilterResultExact(), 1);
}

TEST_F(FilterShaderPathTest, AShaderThatCannotBeMadeIsLoggedAndNothingIsDrawn) {
    Handle source = Random(16, 16, 41);
    Handle dest = Random(16, 16, 42, true);
    const Picture before = Read(dest);
    CloseBuiltinShaderPack();
    // Not the self-test's Invert: start-up made that one already.
    EXPECT_EQ(RunFilter(Filter(kFilterPremultipliedAlpha, source, dest, {0, 0, 16, 16})), -1);
    const FilterRequest mix = Blend(kBlendFilterRGBAMix, source, source, dest, 255, {0, 0, 16, 16});
    EXPECT_EQ(RunFilter(mix, 0, 0, 0, 7), -1);
    EXPECT_EQ(RunFilter(mix, 3, 2, 1, 0), -1);
    EXPECT_EQ(Read(dest), before);
    EXPECT_TRUE(
        InOrder(ReadLog(), {"フィルター用シェーダーの作成に失敗しました PremultipliedAlpha.pso",
                            "RGBAMixS フィルター用シェーダーの作成に失敗しました "
                            "RGBAMix_SRSRSRBA.pso",
                            "RGBAMixS フィルター用シェーダーの作成に失敗しました"}));
    // The next call finds the pack again and makes the shader.
    ASSERT_EQ(OpenBuiltinShaderPack(), 1);
    EXPECT_EQ(RunFilter(Filter(kFilterPremultipliedAlpha, source, dest, {0, 0, 16, 16})), 0);
    EXPECT_NE(Read(dest), before);
}

// Work targets must be one texture: a device of 16-texel textures cannot give the 32 class.
TEST_F(FilterShaderPathTest, AWorkTargetThatCannotBeMadeIsLoggedAndTheCallFails) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.maxTextureSize = 16;
    TestD3d9SetProfile(profile);
    RecreateDeviceKeepingMode();
    ASSERT_EQ(AreBuiltinShadersOn(), 1);
    Handle source = Random(20, 12, 51);
    Handle dest = Random(20, 12, 52);
    const Picture before = Read(dest);
    EXPECT_EQ(RunFilter(Filter(kFilterInvert, source, dest, {0, 0, 20, 12})), -1);
    EXPECT_EQ(Read(dest), before);
    EXPECT_TRUE(InOrder(ReadLog(), {"作業用描画可能テクスチャの作成に失敗しました Size:32x32"}));
}

}  // namespace
