// The fixed-function texture-stage combiner: every operation and argument, the result
// register, the stage walk and the specular add, against hand-computed pixels.
#include <algorithm>
#include <cmath>
#include <functional>

#include "device_fixture.h"

namespace {

constexpr DWORD kTexture = 0xC08040FF;
constexpr DWORD kDiffuse = 0x6020A080;
constexpr DWORD kFactor = 0x30FF1070;
constexpr DWORD kSpecular = 0x90505000;

class CombinerTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        CreateDevice(2, 2);
        target_ = UseArgbTarget(2, 2);
        device_->SetTexture(0, MakeTexture32(D3DFMT_A8R8G8B8, 1, 1, {kTexture}));
        device_->SetTexture(1, MakeTexture32(D3DFMT_A8R8G8B8, 1, 1, {0xFF336699}));
        device_->SetRenderState(D3DRS_TEXTUREFACTOR, kFactor);
    }

    void SetStage(DWORD stage, DWORD op, DWORD arg1, DWORD arg2, DWORD arg0 = D3DTA_CURRENT) {
        device_->SetTextureStageState(stage, D3DTSS_COLOROP, op);
        device_->SetTextureStageState(stage, D3DTSS_COLORARG1, arg1);
        device_->SetTextureStageState(stage, D3DTSS_COLORARG2, arg2);
        device_->SetTextureStageState(stage, D3DTSS_COLORARG0, arg0);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAOP, op);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAARG1, arg1);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAARG2, arg2);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAARG0, arg0);
    }

    DWORD Render() {
        std::vector<TwoTextureVertex> v;
        for (float y : {-1.0f, 3.0f}) {
            for (float x : {-1.0f, 3.0f})
                v.push_back({x, y, 0, 1, kDiffuse, kSpecular, 0.5f, 0.5f, 0.5f, 0.5f});
        }
        Draw(D3DPT_TRIANGLESTRIP, kTwoTextureFvf, v, 2);
        return TestD3d9ReadPixel(target_, 1, 1);
    }

    IDirect3DSurface9* target_ = nullptr;
};

}  // namespace

TEST_F(CombinerTest, EveryOperationOnTextureDiffuseAndFactor) {
    const Rgba t = Unpack(kTexture), d = Unpack(kDiffuse), f = Unpack(kFactor);
    using Channel = std::function<double(double a0, double a1, double a2)>;
    struct Case {
        DWORD op;
        Channel each;  // per channel, with arg0 = factor, arg1 = texture, arg2 = diffuse
    } cases[] = {
        {D3DTOP_SELECTARG1, [](double, double x, double) { return x; }},
        {D3DTOP_SELECTARG2, [](double, double, double y) { return y; }},
        {D3DTOP_MODULATE, [](double, double x, double y) { return x * y; }},
        {D3DTOP_MODULATE2X, [](double, double x, double y) { return 2 * x * y; }},
        {D3DTOP_MODULATE4X, [](double, double x, double y) { return 4 * x * y; }},
        {D3DTOP_ADD, [](double, double x, double y) { return x + y; }},
        {D3DTOP_ADDSIGNED, [](double, double x, double y) { return x + y - 0.5; }},
        {D3DTOP_ADDSIGNED2X, [](double, double x, double y) { return 2 * (x + y - 0.5); }},
        {D3DTOP_SUBTRACT, [](double, double x, double y) { return x - y; }},
        {D3DTOP_ADDSMOOTH, [](double, double x, double y) { return x + y - x * y; }},
        {D3DTOP_BLENDDIFFUSEALPHA,
         [&](double, double x, double y) { return x * d.a + y * (1 - d.a); }},
        {D3DTOP_BLENDTEXTUREALPHA,
         [&](double, double x, double y) { return x * t.a + y * (1 - t.a); }},
        {D3DTOP_BLENDFACTORALPHA,
         [&](double, double x, double y) { return x * f.a + y * (1 - f.a); }},
        {D3DTOP_BLENDTEXTUREALPHAPM, [&](double, double x, double y) { return x + y * (1 - t.a); }},
        // On stage 0 the current colour is the diffuse colour.
        {D3DTOP_BLENDCURRENTALPHA,
         [&](double, double x, double y) { return x * d.a + y * (1 - d.a); }},
        {D3DTOP_MULTIPLYADD, [](double z, double x, double y) { return z + x * y; }},
        {D3DTOP_LERP, [](double z, double x, double y) { return z * x + (1 - z) * y; }},
    };
    for (const Case& c : cases) {
        SetStage(0, c.op, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR);
        Rgba expected = {c.each(f.r, t.r, d.r), c.each(f.g, t.g, d.g), c.each(f.b, t.b, d.b),
                         c.each(f.a, t.a, d.a)};
        EXPECT_EQ(Render(), Pack(expected)) << "op " << c.op;
    }
}

TEST_F(CombinerTest, ColourOnlyOperationsMixAlphaIntoColour) {
    const Rgba t = Unpack(kTexture), d = Unpack(kDiffuse);
    SetStage(0, D3DTOP_MODULATEALPHA_ADDCOLOR, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    EXPECT_EQ(Render(), Pack({t.r + t.a * d.r, t.g + t.a * d.g, t.b + t.a * d.b, t.a}));
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATECOLOR_ADDALPHA);
    EXPECT_EQ(Render(), Pack({t.r * d.r + t.a, t.g * d.g + t.a, t.b * d.b + t.a, t.a}));
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATEINVALPHA_ADDCOLOR);
    EXPECT_EQ(Render(),
              Pack({t.r + (1 - t.a) * d.r, t.g + (1 - t.a) * d.g, t.b + (1 - t.a) * d.b, t.a}));
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATEINVCOLOR_ADDALPHA);
    EXPECT_EQ(Render(),
              Pack({(1 - t.r) * d.r + t.a, (1 - t.g) * d.g + t.a, (1 - t.b) * d.b + t.a, t.a}));
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3);
    double dot =
        4 * ((t.r - 0.5) * (d.r - 0.5) + (t.g - 0.5) * (d.g - 0.5) + (t.b - 0.5) * (d.b - 0.5));
    dot = std::clamp(dot, 0.0, 1.0);
    EXPECT_EQ(Render(), Pack({dot, dot, dot, t.a}));
}

TEST_F(CombinerTest, ArgumentsAndTheirModifiers) {
    struct Case {
        DWORD arg;
        DWORD expected;
    } cases[] = {
        {D3DTA_DIFFUSE, kDiffuse},
        {D3DTA_CURRENT, kDiffuse},  // stage 0
        {D3DTA_TEXTURE, kTexture},
        {D3DTA_TFACTOR, kFactor},
        {D3DTA_SPECULAR, kSpecular},
        {D3DTA_TEMP, 0x00000000},  // nothing written yet
        {D3DTA_TEXTURE | D3DTA_COMPLEMENT, ~kTexture},
        {D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, 0x60606060},
        {D3DTA_TFACTOR | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE, 0xCFCFCFCF},
    };
    for (const Case& c : cases) {
        SetStage(0, D3DTOP_SELECTARG1, c.arg, D3DTA_DIFFUSE);
        EXPECT_EQ(Render(), c.expected) << "arg " << c.arg;
    }
}

TEST_F(CombinerTest, ResultArgumentTempKeepsCurrentForLaterStages) {
    const Rgba t = Unpack(kTexture), d = Unpack(kDiffuse);
    // Stage 0 leaves texture x diffuse in TEMP; stage 1 sees CURRENT still as diffuse and
    // adds the two.
    SetStage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    SetStage(1, D3DTOP_ADD, D3DTA_TEMP, D3DTA_CURRENT);
    EXPECT_EQ(Render(), Pack({t.r * d.r + d.r, t.g * d.g + d.g, t.b * d.b + d.b, t.a * d.a + d.a}));
}

TEST_F(CombinerTest, StageWalkStopsAtTheFirstDisabledColourOperation) {
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    SetStage(1, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT);
    SetStage(2, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_CURRENT);
    EXPECT_EQ(Render(), kTexture);
    // Stage 1 reads its own texture through its coordinate set.
    SetStage(1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT);
    SetStage(2, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT);
    EXPECT_EQ(Render(), 0xFF336699u);
    // With stage 0 disabled the pixel is the diffuse colour.
    SetStage(0, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    EXPECT_EQ(Render(), kDiffuse);
}

TEST_F(CombinerTest, DisabledAlphaOperationPassesAlphaOn) {
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    SetStage(1, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_CURRENT);
    device_->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    EXPECT_EQ(Render(), (kTexture & 0xFF000000) | (kFactor & 0x00FFFFFF));
}

TEST_F(CombinerTest, SpecularIsAddedAfterTheStagesWhenEnabled) {
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    // 0x80 + 0x50 and 0x40 + 0x50; blue saturates; alpha is untouched.
    EXPECT_EQ(Render(), 0xC0D090FFu);
}

TEST_F(CombinerTest, OperationsTheDeviceDoesNotOfferFailTheDraw) {
    device_->SetTextureStageState(0, D3DTSS_COLOROP, 17);  // premodulate
    std::vector<ColorVertex> v = {{0, 0, 0, 1, 0}, {2, 0, 0, 1, 0}, {0, 2, 0, 1, 0}};
    device_->SetFVF(kColorFvf);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v.data(), sizeof(ColorVertex)),
              D3DERR_INVALIDCALL);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, 7);  // no such register
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v.data(), sizeof(ColorVertex)),
              D3DERR_INVALIDCALL);
    device_->EndScene();
}
