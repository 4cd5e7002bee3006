#include "graphics/blend_states.h"

#include <gtest/gtest.h>

#include "draw_fixture.h"
#include "graphics/device_resources.h"
#include "graphics/pixel_format_table.h"

namespace {

constexpr int kQuad = 16;

class BlendStatesTest : public DrawFixture {
protected:
    // Draws one 16 x 16 quad in the case's mode over a background of varied colours and checks
    // every pixel against the model.
    void ExpectQuadMatchesModel(const BlendCase& c, TargetBits bits, int x, int y) {
        std::mt19937 random(static_cast<unsigned>(c.mode * 1000 + c.param + c.alphaSource * 7));
        std::vector<uint32_t> background(kQuad * kQuad), texels(kQuad * kQuad);
        for (int i = 0; i < kQuad * kQuad; ++i) {
            // Background colours the target holds exactly.
            uint32_t r = random() & 31, g = random() & 63, b = random() & 31;
            uint32_t r8 = r << 3 | r >> 2, g8 = g << 2 | g >> 4, b8 = b << 3 | b >> 2;
            background[i] = 0xFF000000 | r8 << 16 | g8 << 8 | b8;
            uint32_t alpha = c.alphaSource == 2 ? (random() % 3 == 0 ? 0 : 255) : random() & 255;
            texels[i] = alpha << 24 | (random() & 0xFFFFFF);
        }
        for (int i = 0; i < kQuad * kQuad; ++i) {
            RECT pixel = {x + i % kQuad, y + i / kQuad, x + i % kQuad + 1, y + i / kQuad + 1};
            FillBackBuffer(pixel, background[i]);
        }
        TextureCreateFlags flags{};
        flags.alphaChannel = c.alphaSource == 1;
        flags.colorKeyAlpha = c.alphaSource == 2;
        IDirect3DTexture9* texture = MakeTexture(kQuad, kQuad, texels);
        ASSERT_EQ(ChangeBlendMode(c.mode, c.param), 0);
        SetDrawBright((c.bright >> 16) & 0xFF, (c.bright >> 8) & 0xFF, c.bright & 0xFF);
        QueueQuad(texture, flags, x, y, kQuad, kQuad,
                  c.alphaSource != 0 ? kDrawUseTextureAlpha : 0);
        std::vector<DWORD> screen = ReadBackBuffer();
        int mismatches = 0;
        for (int i = 0; i < kQuad * kQuad; ++i) {
            int out[3];
            uint32_t expected = draw_model::Blend(c, texels[i], background[i], out)
                                    ? draw_model::Quantise(out, bits)
                                    : background[i];
            DWORD got =
                screen[static_cast<size_t>(y + i / kQuad) * gScreen.screenWidth + x + i % kQuad];
            if (got != expected && mismatches++ < 3) {
                ADD_FAILURE() << "mode " << c.mode << " param " << c.param << " bright " << std::hex
                              << c.bright << " alpha " << std::dec << c.alphaSource << " pixel "
                              << i << std::hex << ": texel " << texels[i] << " under "
                              << background[i] << " gave " << got << ", expected " << expected;
            }
        }
    }

    void RunEveryMode(TargetBits bits) {
        int x = 0;
        for (int mode = 0; mode <= kLastBlendMode; ++mode) {
            if (mode == BlendNoFactors) continue;
            for (uint32_t bright : {0xFFFFFFu, 0xC86432u}) {
                for (int source = 0; source <= 2; ++source) {
                    BlendCase c = {mode, 150, bright, source, true};
                    ExpectQuadMatchesModel(c, bits, x % 624, x / 624 * kQuad);
                    x += kQuad;
                }
            }
        }
    }
};

TEST_F(BlendStatesTest, EveryModeMatchesItsFormulaOnA32BitBackBuffer) {
    StartDrawing(32);
    RunEveryMode({8, 8, 8});
}

TEST_F(BlendStatesTest, EveryModeMatchesItsFormulaOnA16BitBackBuffer) {
    StartDrawing(16);
    ASSERT_EQ(gPixelFormats.backBufferFormat, D3DFMT_R5G6B5);
    RunEveryMode({5, 6, 5});
}

TEST_F(BlendStatesTest, ParametersAtTheEndsOfTheirRange) {
    StartDrawing(32);
    int x = 0;
    for (int mode : {BlendTranslucent, BlendAdditive, BlendSubtractive, BlendMultiply}) {
        for (int param : {0, 1, 254, 255}) {
            ExpectQuadMatchesModel({mode, param, 0xFFFFFF, 1, true}, {8, 8, 8}, x, 0);
            x += kQuad;
        }
    }
}

// Mode 3 on a device that cannot subtract inverts the destination; the emulation around it
// (invert, add in mode 5, invert) gives the subtraction.
TEST_F(BlendStatesTest, WithoutNativeSubtractionModeThreeInvertsForTheEmulation) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.nativeSubtract = false;
    TestD3d9SetProfile(profile);
    StartDrawing(32);
    ASSERT_EQ(gDeviceResources.nativeBlendOp, 0);
    ExpectQuadMatchesModel({BlendSubtractive, 200, 0xFFFFFF, 0, false}, {8, 8, 8}, 0, 0);

    FillBackBuffer({0, 32, 4, 33}, 0xFF80C040);
    std::vector<uint32_t> texel(1, 0xFF406080);
    IDirect3DTexture9* texture = MakeTexture(1, 1, texel);
    TextureCreateFlags flags{};
    ChangeBlendMode(BlendSubtractive, 255);
    QueueBox(0, 32, 4, 33, 0xFFFFFFFF);
    ChangeBlendMode(BlendAdditivePass, 255);
    QueueQuad(texture, flags, 0, 32, 1, 1);
    ChangeBlendMode(BlendSubtractive, 255);
    QueueBox(0, 32, 4, 33, 0xFFFFFFFF);
    EXPECT_EQ(BackBufferPixel(0, 32), 0xFF406000u);  // 80C040 - 406080, saturating at 0
    EXPECT_EQ(BackBufferPixel(1, 32), 0xFF80C040u);  // two inversions give it back
}

TEST_F(BlendStatesTest, NativeSubtractionDrawsInOnePass) {
    StartDrawing(32);
    ASSERT_EQ(gDeviceResources.nativeBlendOp, 1);
    FillBackBuffer({0, 0, 1, 1}, 0xFF80C040);
    IDirect3DTexture9* texture = MakeTexture(1, 1, {0xFF406080});
    ChangeBlendMode(BlendSubtractive, 255);
    QueueQuad(texture, TextureCreateFlags{}, 0, 0, 1, 1);
    EXPECT_EQ(BackBufferPixel(0, 0), 0xFF406000u);
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_BLENDOP),
              static_cast<DWORD>(D3DBLENDOP_REVSUBTRACT));
}

TEST_F(BlendStatesTest, ModeSevenKeepsTheFactorsThePreviousDrawLeft) {
    StartDrawing(32);
    IDirect3DTexture9* texture = MakeTexture(kQuad, kQuad, std::vector<uint32_t>(256, 0xFF204060));
    ChangeBlendMode(BlendAdditive, 255);
    QueueQuad(texture, TextureCreateFlags{}, 0, 0, kQuad, kQuad);
    FlushVertexBatchNow();
    FillBackBuffer({0, 20, 16, 21}, 0xFF101010);
    ChangeBlendMode(BlendNoFactors, 255);
    QueueQuad(texture, TextureCreateFlags{}, 0, 20, kQuad, 1);
    EXPECT_EQ(BackBufferPixel(3, 20), 0xFF305070u);
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_SRCBLEND),
              static_cast<DWORD>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_DESTBLEND),
              static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ALPHABLENDENABLE), 1u);
}

// With linear sampling an opaque draw of a colour-keyed texture blends by its alpha instead of
// keying, unless the draw asks for the texture's own transparency.
TEST_F(BlendStatesTest, ColourKeyUnderLinearSamplingBlendsUnlessAsked) {
    StartDrawing(32);
    TextureCreateFlags flags{};
    flags.colorKeyAlpha = 1;
    IDirect3DTexture9* texture = MakeTexture(1, 1, {0xFFFFFFFF});
    SetDrawSamplingMode(kSamplingLinear);
    QueueQuad(texture, flags, 0, 0, 1, 1);
    FlushVertexBatchNow();
    EXPECT_EQ(gRenderStates.useTextureAlpha, 1);
    EXPECT_EQ(gRenderStates.colorKeyAlpha, 0);
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ALPHAREF), 0u);
    QueueQuad(texture, flags, 0, 0, 1, 1, kDrawUseTextureAlpha | kDrawTextureAlphaWhenLinear);
    FlushVertexBatchNow();
    EXPECT_EQ(gRenderStates.colorKeyAlpha, 1);
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ALPHAREF), 16u);
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ALPHAFUNC),
              static_cast<DWORD>(D3DCMP_GREATER));
}

TEST_F(BlendStatesTest, TheStageSetsTheTextNames) {
    StageSetKey key{};
    key.textured = 1;
    TextureStageSet set = BuildTextureStageSet(key);
    ASSERT_EQ(set.count, 1);
    EXPECT_EQ(set.stages[0].colorOp, D3DTOP_SELECTARG1);
    EXPECT_EQ(set.stages[0].colorArg1, static_cast<int16_t>(D3DTA_TEXTURE));
    EXPECT_EQ(set.stages[0].alphaOp, D3DTOP_SELECTARG1);
    EXPECT_EQ(set.stages[0].alphaArg1, static_cast<int16_t>(D3DTA_DIFFUSE));
    key.modulateColor = 1;
    EXPECT_EQ(BuildTextureStageSet(key).stages[0].colorOp, D3DTOP_MODULATE);
    key.shaderKind = kShaderKindInverted;
    EXPECT_EQ(BuildTextureStageSet(key).stages[0].colorArg1,
              static_cast<int16_t>(D3DTA_TEXTURE | D3DTA_COMPLEMENT));
    key.shaderKind = kShaderKindTimesFour;
    EXPECT_EQ(BuildTextureStageSet(key).stages[0].colorOp, D3DTOP_MODULATE4X);
    key.shaderKind = kShaderKindFadedMultiply;
    set = BuildTextureStageSet(key);
    ASSERT_EQ(set.count, 2);
    EXPECT_EQ(set.stages[1].colorOp, D3DTOP_BLENDCURRENTALPHA);
    EXPECT_EQ(set.stages[1].colorArg2, static_cast<int16_t>(D3DTA_TFACTOR));
    key = {};
    key.textured = 1;
    key.ignoreColor = 1;
    EXPECT_EQ(BuildTextureStageSet(key).stages[0].colorArg1, static_cast<int16_t>(D3DTA_TFACTOR));
}

// A blend graph weights each pixel's alpha: type 0 by its value times its parameter; type 1
// below a ramp width of 2 lets through what reaches the threshold.
TEST_F(BlendStatesTest, BlendGraphsWeightOrThresholdThePixels) {
    StartDrawing(32);
    std::vector<uint32_t> weights = {0x00000000, 0x40000000, 0x80000000, 0xFF000000};
    IDirect3DTexture9* blend = MakeTexture(4, 1, weights);
    IDirect3DTexture9* texture = MakeTexture(4, 1, std::vector<uint32_t>(4, 0xFFFFFFFF));
    auto draw = [&](int y) {
        FillBackBuffer({0, y, 4, y + 1}, 0xFF000000);
        PrepareDrawStates(nullptr, texture, 0);
        auto* v = static_cast<BlendVertex*>(ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6));
        ASSERT_NE(v, nullptr);
        const float corners[6][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 1}, {1, 0}};
        for (int i = 0; i < 6; ++i) {
            v[i].x = -0.5f + 4.0f * corners[i][0];
            v[i].y = static_cast<float>(y) - 0.5f + corners[i][1];
            v[i].u = v[i].blendU = corners[i][0];
            v[i].v = v[i].blendV = corners[i][1];
            v[i].diffuse = gDrawSettings.vertexColor;
        }
    };
    ChangeBlendMode(BlendTranslucent, 255);
    SelectBlendTexture(blend, 4, 1);
    SetPendingBlendGraphParams(0, 128, 0);
    draw(0);
    FlushVertexBatchNow();
    EXPECT_EQ(gVertexBatch.vertexKind, kVertexKindBlend);
    // Weight = value x 128 / 255, every channel of white times it.
    const uint32_t weighted[4] = {0xFF000000, 0xFF202020, 0xFF404040, 0xFF808080};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(BackBufferPixel(x, 0), weighted[x]) << x;

    ChangeBlendMode(BlendOpaque, 0);
    SetPendingBlendGraphParams(1, 0x80, 0);
    draw(1);
    const uint32_t thresholded[4] = {0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(BackBufferPixel(x, 1), thresholded[x]) << x;
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ALPHAFUNC),
              static_cast<DWORD>(D3DCMP_GREATEREQUAL));

    // A threshold of 255 lets nothing through: the flush draws nothing.
    SetPendingBlendGraphParams(1, 255, 0);
    draw(2);
    FlushVertexBatchNow();
    for (int x = 0; x < 4; ++x) EXPECT_EQ(BackBufferPixel(x, 2), 0xFF000000u) << x;
}

// Untextured, the times-four kinds modulate a white texture on the fixed path; the Ex device has
// no managed pool to make it in.
TEST_F(BlendStatesTest, AnUntexturedTimesFourBoxIsFourTimesItsColourOnEveryDevice) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.shaders = false;
    for (bool ex : {true, false}) {
        TestD3d9SetProfile(profile);
        TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", !ex);
        StartDrawing(32);
        ASSERT_EQ(gDirect3D.deviceEx != nullptr, ex);
        ASSERT_EQ(ChangeBlendMode(12, 255), 0);
        QueueBox(0, 0, 4, 4, 0xFF102030);
        EXPECT_EQ(BackBufferPixel(1, 1) & 0xFFFFFF, 0x4080C0u) << ex;
        ShutdownLibrary();
    }
}

}  // namespace
