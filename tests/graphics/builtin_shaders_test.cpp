#include "graphics/builtin_shaders.h"

#include <gtest/gtest.h>
#include <platform/d3d9_kernels.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "draw_fixture.h"
#include "graphics/blend_states.h"
#include "graphics/shader_constants.h"
#include "graphics/shader_pack.h"
#include "graphics/shaders.h"

namespace {

constexpr int kCellWidth = 16;
constexpr int kCellHeight = 2;
constexpr int kCellPixels = kCellWidth * kCellHeight;
constexpr int kUntextured = -1;

// One draw: the blend mode at parameter 150, where the alpha comes from (kUntextured for a
// box), the blend graph (type -1 for none) with its two parameters, the bright and the
// ignore-colour switch.
struct DrawCase {
    int mode, source, blendType, p1, width;
    uint32_t bright;
    int ignoreColor;
};

std::vector<DrawCase> EveryCase() {
    struct Graph {
        int type, p1, width;
    };
    std::vector<Graph> graphs = {{-1, 0, 0}, {0, 0, 0}, {0, 128, 0}, {0, 255, 0}, {2, 0, 0}};
    for (int p1 : {0, 1, 128, 254, 255}) graphs.push_back({1, p1, 0});
    // One width in each band of the ramp; p1 51 adds an alpha of 0 in the first band, 127 and
    // 128 sit on either side of the switch from adding to subtracting in the last.
    for (int width : {32, 100, 200}) {
        for (int p1 : {0, 1, 51, 60, 127, 128, 200, 254, 255}) graphs.push_back({1, p1, width});
    }
    std::vector<DrawCase> cases;
    for (int mode = 0; mode <= kLastBlendMode; ++mode) {
        for (uint32_t bright : {0xFFFFFFu, 0xC86432u}) {
            cases.push_back({mode, kUntextured, -1, 0, 0, bright, 0});
            for (int source = 0; source <= 2; ++source) {
                for (int ignoreColor = 0; ignoreColor <= 1; ++ignoreColor) {
                    for (const Graph& g : graphs) {
                        cases.push_back({mode, source, g.type, g.p1, g.width, bright, ignoreColor});
                    }
                }
            }
        }
    }
    return cases;
}

// Constant c5 as the draw must leave it: the factor as (blue, green, red, alpha) / 255, or the
// threshold ramp's (0, 0, scale, +-alpha / 255).
ShaderFloat4 ExpectedConstant(const DrawCase& c) {
    if (c.blendType == 1) {
        if (c.width < 2) return {0, 0, 1, 0};
        int band = c.width <= 64 ? 1280 : c.width <= 128 ? 768 : 512;
        int m = c.width <= 64 ? 64 : c.width <= 128 ? 128 : 255;
        float scale = c.width <= 64 ? 4.0f : c.width <= 128 ? 2.0f : 1.0f;
        int t = band - c.p1 * band / 255;
        if (t < band - 256) {
            int a = -(t * 255 / (band - 256)) - 1;
            return {0, 0, scale, -static_cast<float>(a & 255) / 255.0f};
        }
        int a = ((256 - c.p1 * band / 255) * m) >> 8;
        return {0, 0, scale, static_cast<float>(a & 255) / 255.0f};
    }
    if (c.blendType == 0) return {0, 0, 0, static_cast<float>(c.p1) / 255.0f};
    return {1, 1, 1, 1};
}

class BuiltinShadersTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        StartDrawing(32);
        ASSERT_EQ(AreBuiltinShadersOn(), 1);
        std::mt19937 random(23);
        for (int source = 0; source <= 2; ++source) {
            std::vector<uint32_t>& texels = texels_[source];
            texels.resize(kCellPixels);
            for (uint32_t& texel : texels) {
                uint32_t alpha = source == 2 ? (random() % 3 == 0 ? 0 : 255) : random() & 255;
                texel = alpha << 24 | (random() & 0xFFFFFF);
            }
        }
        // Blend-graph values across the whole range, one per column.
        blendValues_.resize(kCellPixels);
        for (int i = 0; i < kCellPixels; ++i) {
            blendValues_[i] = static_cast<uint32_t>((i % kCellWidth) * 17 + i / kCellWidth * 8)
                              << 24;
        }
    }

    // Each case in a cell of its own over a background of varied colours, then the back
    // buffer. With checkConstant, c5 on the device is checked after each draw.
    std::vector<DWORD> DrawEveryCase(const std::vector<DrawCase>& cases, bool checkConstant) {
        std::array<IDirect3DTexture9*, 3> textures{};
        for (int source = 0; source <= 2; ++source) {
            textures[source] = MakeTexture(kCellWidth, kCellHeight, texels_[source]);
        }
        IDirect3DTexture9* blend = MakeTexture(kCellWidth, kCellHeight, blendValues_);
        const int columns = gScreen.screenWidth / kCellWidth;
        std::mt19937 random(7);
        for (size_t i = 0; i < cases.size(); ++i) {
            int x = static_cast<int>(i) % columns * kCellWidth;
            int y = static_cast<int>(i) / columns * kCellHeight;
            for (int row = 0; row < kCellHeight; ++row) {
                FillBackBuffer({x, y + row, x + kCellWidth / 2, y + row + 1},
                               random() | 0xFF000000);
                FillBackBuffer({x + kCellWidth / 2, y + row, x + kCellWidth, y + row + 1},
                               random() | 0xFF000000);
            }
            const DrawCase& c = cases[i];
            ChangeBlendMode(c.mode, 150);
            SetDrawBright(static_cast<int>(c.bright >> 16), (c.bright >> 8) & 0xFF,
                          c.bright & 0xFF);
            gDrawSettings.ignoreTextureColor = c.ignoreColor;
            if (c.source == kUntextured) {
                SetPendingBlendGraphParams(-1, 0, 0);
                QueueBox(x, y, x + kCellWidth, y + kCellHeight,
                         (gDrawSettings.vertexColor & 0xFF000000) | 0x3080C0);
            } else {
                QueueCell(textures[c.source], c.source, c.blendType >= 0 ? blend : nullptr, c, x,
                          y);
            }
            if (!checkConstant || (c.source == kUntextured && c.mode != 11)) continue;
            FlushVertexBatchNow();
            ShaderFloat4 expected =
                c.source == kUntextured ? ShaderFloat4{1, 1, 1, 1} : ExpectedConstant(c);
            EXPECT_EQ(std::memcmp(gShaderConstCache.kinds[kShaderConstPixelFloat].device[5],
                                  &expected, sizeof expected),
                      0)
                << "c5 of case " << i;
        }
        return ReadBackBuffer();
    }

    // A cell drawn with the texture, and the blend graph laid over it pixel for pixel.
    static void QueueCell(IDirect3DTexture9* texture, int source, IDirect3DTexture9* blend,
                          const DrawCase& c, int x, int y) {
        TextureCreateFlags flags{};
        flags.alphaChannel = source == 1;
        flags.colorKeyAlpha = source == 2;
        SelectBlendTexture(blend, kCellWidth, kCellHeight);
        SetPendingBlendGraphParams(blend != nullptr ? c.blendType : -1, c.p1, c.width);
        PrepareDrawStates(&flags, texture, source != 0 ? kDrawUseTextureAlpha : 0);
        void* v = ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
        ASSERT_NE(v, nullptr);
        const float corners[6][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 1}, {1, 0}};
        const D3DCOLOR colour = gDrawSettings.vertexColor;
        for (int i = 0; i < 6; ++i) {
            const float u = corners[i][0], w = corners[i][1];
            const float px = static_cast<float>(x) - 0.5f + kCellWidth * u;
            const float py = static_cast<float>(y) - 0.5f + kCellHeight * w;
            if (gVertexBatch.vertexKind == kVertexKindBlend) {
                static_cast<BlendVertex*>(v)[i] = {px, py, 0, 1, colour, 0xFFFFFFFF, u, w, u, w};
            } else {
                static_cast<TexturedVertex*>(v)[i] = {px, py, 0, 1, colour, u, w};
            }
        }
    }

    std::array<std::vector<uint32_t>, 3> texels_;
    std::vector<uint32_t> blendValues_;
};

// Every blend mode, untextured and textured with each alpha source, without and with each kind
// of blend graph, bright and ignore-colour switch: the built-in shaders draw exactly the pixels
// of the texture stages, with the factor or ramp in c5, without sending a stage operation and
// on the same span paths.
TEST_F(BuiltinShadersTest, TheShadersDrawWhatTheTextureStagesDraw) {
    SetDrawSamplingMode(kSamplingPoint);
    const std::vector<DrawCase> cases = EveryCase();
    ASSERT_LE(cases.size(), static_cast<size_t>(gScreen.screenWidth / kCellWidth *
                                                (gScreen.screenHeight / kCellHeight)));

    TestD3d9RecordCalls(true);
    TestD3d9PathCounts before = TestD3d9CountPaths();
    std::vector<DWORD> shaded = DrawEveryCase(cases, true);
    TestD3d9PathCounts shadedPaths = TestD3d9CountPaths();
    int stageCalls = 0;
    for (const TestD3d9Call& call : TestD3d9RecordedCalls()) {
        stageCalls += call.kind == TestD3d9CallKind::StageState;
    }
    EXPECT_EQ(stageCalls, 0);

    // The same draws through the texture stages.
    FlushVertexBatchNow();
    ReleaseBuiltinShaders();
    std::vector<DWORD> staged = DrawEveryCase(cases, false);
    TestD3d9PathCounts stagedPaths = TestD3d9CountPaths();
    TestD3d9RecordCalls(false);
    EXPECT_EQ(shadedPaths.general - before.general, stagedPaths.general - shadedPaths.general);

    const int columns = gScreen.screenWidth / kCellWidth;
    int mismatches = 0;
    for (size_t i = 0; i < shaded.size(); ++i) {
        if (shaded[i] == staged[i]) continue;
        int x = static_cast<int>(i % gScreen.screenWidth),
            y = static_cast<int>(i / gScreen.screenWidth);
        const DrawCase& c = cases[static_cast<size_t>(y / kCellHeight * columns + x / kCellWidth)];
        if (mismatches++ < 8) {
            ADD_FAILURE() << "mode " << c.mode << " source " << c.source << " graph " << c.blendType
                          << " p1 " << c.p1 << " width " << c.width << " bright " << c.bright
                          << " ignore colour " << c.ignoreColor;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// A shader set on the device behind the blend states' back (a user or filter shader that came
// and went) does not outlive the next draw, although no blend state changed.
TEST_F(BuiltinShadersTest, TheNextDrawSetsItsShaderAgain) {
    SetDrawSamplingMode(kSamplingPoint);
    const DrawCase translucent = {BlendTranslucent, 1, 0, 128, 0, 0xFFFFFF, 0};
    IDirect3DTexture9* texture = MakeTexture(kCellWidth, kCellHeight, texels_[1]);
    IDirect3DTexture9* blend = MakeTexture(kCellWidth, kCellHeight, blendValues_);
    FillBackBuffer({0, 0, 2 * kCellWidth, kCellHeight}, 0xFF204060);
    ChangeBlendMode(BlendTranslucent, 150);
    QueueCell(texture, 1, blend, translucent, 0, 0);
    FlushVertexBatchNow();
    DeviceSetPixelShader(nullptr);
    QueueCell(texture, 1, blend, translucent, kCellWidth, 0);
    std::vector<DWORD> screen = ReadBackBuffer();
    for (int y = 0; y < kCellHeight; ++y) {
        auto row = screen.begin() + static_cast<ptrdiff_t>(y) * gScreen.screenWidth;
        EXPECT_TRUE(std::equal(row, row + kCellWidth, row + kCellWidth)) << "row " << y;
    }
}

// A stage list the program gives draws through its own stages, not the built-in shader.
TEST_F(BuiltinShadersTest, AUserStageListDrawsItsOwnStages) {
    IDirect3DTexture9* texture = MakeTexture(kCellWidth, kCellHeight, texels_[0]);
    const DrawCase opaque = {BlendOpaque, 0, -1, 0, 0, 0xFFFFFF, 0};
    ChangeBlendMode(BlendOpaque, 0);
    QueueCell(texture, 0, nullptr, opaque, 0, 0);
    UserStageList list{};
    list.textureFactor = 0xFF3060C0;
    list.srcBlend = list.destBlend = list.blendOp = -1;
    list.stageCount = 1;
    TextureStageRecord& stage = list.stages[0].stage;
    stage.colorOp = stage.alphaOp = D3DTOP_SELECTARG1;
    stage.colorArg1 = stage.colorArg2 = stage.alphaArg1 = stage.alphaArg2 = D3DTA_TFACTOR;
    SetUserTextureStages(&list, 0);
    QueueCell(texture, 0, nullptr, opaque, kCellWidth, 0);
    EXPECT_EQ(BackBufferPixel(kCellWidth + 3, 1), 0xFF3060C0u);
    SetUserTextureStages(nullptr, 0);
}

// The shaders come from the pack by name; a shader that cannot be made leaves none of them,
// and the mask shader fails with its own line.
TEST_F(BuiltinShadersTest, AFailedCreationKeepsNothing) {
    ASSERT_EQ(OpenBuiltinShaderPack(), 1);
    ReleaseBuiltinDrawShaders();
    const int live = TestD3d9LiveObjects();
    TestFailNthCall("CreatePixelShader", 30);
    EXPECT_EQ(CreateBuiltinDrawShaders(), -1);
    EXPECT_EQ(GetUntexturedShader(0), nullptr);
    EXPECT_EQ(TestD3d9LiveObjects(), live);
    TestFailNthCall("CreatePixelShader", kUntexturedShaderCount + kTexturedShaderCount + 1);
    EXPECT_EQ(CreateBuiltinDrawShaders(), -1);
    EXPECT_EQ(GetTexturedShader(3, 3, 1, 1), nullptr);
    EXPECT_EQ(GetMaskBlendShader(), nullptr);
    EXPECT_EQ(TestD3d9LiveObjects(), live);
    EXPECT_TRUE(InOrder(ReadLog(), {"基本シェーダーオブジェクトの作成に失敗しました\r\n",
                                    "マスク処理用シェーダーオブジェクトの作成に失敗しました\r\n"}));

    ASSERT_EQ(CreateBuiltinDrawShaders(), 0);
    EXPECT_NE(GetUntexturedShader(3), nullptr);
    EXPECT_NE(GetTexturedShader(3, 3, 1, 1), nullptr);
    EXPECT_NE(GetMaskBlendShader(), nullptr);
    EXPECT_EQ(GetTexturedShader(4, 0, 0, 0), nullptr);
    // The 3D variant's kernel came with them.
    std::vector<DWORD> variant = MakeShaderKernelRecord(false, "ps_3d_variant");
    IDirect3DPixelShader9* shader = nullptr;
    EXPECT_EQ(DeviceCreatePixelShader(variant.data(), &shader), D3D_OK);
    ReleaseComObject(shader);
    ReleaseBuiltinDrawShaders();
    EXPECT_EQ(GetUntexturedShader(0), nullptr);
    EXPECT_EQ(TestD3d9LiveObjects(), live);
}

}  // namespace
