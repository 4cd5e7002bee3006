// Output merging: every blend factor and operation, the missing blend-operation capability,
// every alpha-test function, and the depth test and write.
#include <algorithm>

#include "device_fixture.h"

namespace {

// Direct3D 9's blend factors, with the source alpha as, destination alpha ad.
Rgba Factor(DWORD factor, Rgba s, Rgba d) {
    switch (factor) {
        case D3DBLEND_ZERO:
            return {0, 0, 0, 0};
        case D3DBLEND_ONE:
            return {1, 1, 1, 1};
        case D3DBLEND_SRCCOLOR:
            return s;
        case D3DBLEND_INVSRCCOLOR:
            return {1 - s.r, 1 - s.g, 1 - s.b, 1 - s.a};
        case D3DBLEND_SRCALPHA:
            return {s.a, s.a, s.a, s.a};
        case D3DBLEND_INVSRCALPHA:
            return {1 - s.a, 1 - s.a, 1 - s.a, 1 - s.a};
        case D3DBLEND_DESTALPHA:
            return {d.a, d.a, d.a, d.a};
        case D3DBLEND_INVDESTALPHA:
            return {1 - d.a, 1 - d.a, 1 - d.a, 1 - d.a};
        case D3DBLEND_DESTCOLOR:
            return d;
        case D3DBLEND_INVDESTCOLOR:
            return {1 - d.r, 1 - d.g, 1 - d.b, 1 - d.a};
        default: {  // SRCALPHASAT
            double f = std::min(s.a, 1 - d.a);
            return {f, f, f, 1};
        }
    }
}

constexpr DWORD kSource = 0x9A40C020;
constexpr DWORD kDest = 0x5080A0F0;

class BlendTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        Start();
    }

    void Start() {
        CreateDevice(2, 2);
        target_ = UseArgbTarget(2, 2);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    }

    DWORD Render(DWORD source = kSource, DWORD dest = kDest) {
        Clear(dest);
        FillRect(-1, -1, 3, 3, source);
        return TestD3d9ReadPixel(target_, 1, 1);
    }

    void SetBlend(DWORD src, DWORD dest, DWORD op = D3DBLENDOP_ADD) {
        device_->SetRenderState(D3DRS_SRCBLEND, src);
        device_->SetRenderState(D3DRS_DESTBLEND, dest);
        device_->SetRenderState(D3DRS_BLENDOP, op);
    }

    IDirect3DSurface9* target_ = nullptr;
};

}  // namespace

TEST_F(BlendTest, EveryPairOfFactorsAdds) {
    const Rgba s = Unpack(kSource), d = Unpack(kDest);
    for (DWORD src = D3DBLEND_ZERO; src <= D3DBLEND_SRCALPHASAT; ++src) {
        for (DWORD dst = D3DBLEND_ZERO; dst <= D3DBLEND_SRCALPHASAT; ++dst) {
            SetBlend(src, dst);
            Rgba fs = Factor(src, s, d), fd = Factor(dst, s, d);
            Rgba expected = {s.r * fs.r + d.r * fd.r, s.g * fs.g + d.g * fd.g,
                             s.b * fs.b + d.b * fd.b, s.a * fs.a + d.a * fd.a};
            ASSERT_EQ(Render(), Pack(expected)) << "src " << src << " dest " << dst;
        }
    }
}

TEST_F(BlendTest, HandComputedTranslucentAndAdditivePixels) {
    // 0xC0 over 0xA0 at alpha 0x9A: 192 * 154/255 + 160 * 101/255 = 115.95 + 63.37.
    SetBlend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    EXPECT_EQ(Render() & 0xFF00, 179u << 8);
    // Additive saturates: 0xC0 * 0x9A/255 + 0xA0 = 275.95.
    SetBlend(D3DBLEND_SRCALPHA, D3DBLEND_ONE);
    EXPECT_EQ(Render() & 0xFF00, 0xFF00u);
}

TEST_F(BlendTest, BothSourceAlphaFactorsSetTheDestinationFactorToo) {
    const Rgba s = Unpack(kSource), d = Unpack(kDest);
    SetBlend(D3DBLEND_BOTHSRCALPHA, D3DBLEND_ZERO);
    EXPECT_EQ(Render(), Pack({s.r * s.a + d.r * (1 - s.a), s.g * s.a + d.g * (1 - s.a),
                              s.b * s.a + d.b * (1 - s.a), s.a * s.a + d.a * (1 - s.a)}));
    SetBlend(D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ZERO);
    EXPECT_EQ(Render(), Pack({s.r * (1 - s.a) + d.r * s.a, s.g * (1 - s.a) + d.g * s.a,
                              s.b * (1 - s.a) + d.b * s.a, s.a * (1 - s.a) + d.a * s.a}));
}

TEST_F(BlendTest, EveryOperation) {
    const Rgba s = Unpack(kSource), d = Unpack(kDest);
    auto each = [&](auto f) { return Pack({f(s.r, d.r), f(s.g, d.g), f(s.b, d.b), f(s.a, d.a)}); };
    SetBlend(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT);
    EXPECT_EQ(Render(), each([](double x, double y) { return x - y; }));
    SetBlend(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT);
    EXPECT_EQ(Render(), each([](double x, double y) { return y - x; }));
    SetBlend(D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MIN);  // factors do not apply
    EXPECT_EQ(Render(), each([](double x, double y) { return std::min(x, y); }));
    SetBlend(D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MAX);
    EXPECT_EQ(Render(), each([](double x, double y) { return std::max(x, y); }));
    // The framework's native subtraction: ONE, SRCALPHA, REVSUBTRACT.
    SetBlend(D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT);
    EXPECT_EQ(Render(), each([&](double x, double y) { return y - x * s.a; }));
}

TEST_F(BlendTest, WithoutTheBlendOperationCapabilityEveryBlendAdds) {
    ReleaseDevice();
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.nativeSubtract = false;
    TestD3d9SetProfile(profile);
    Start();
    D3DCAPS9 caps;
    device_->GetDeviceCaps(&caps);
    EXPECT_EQ(caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP, 0u);
    const Rgba s = Unpack(kSource), d = Unpack(kDest);
    SetBlend(D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT);
    EXPECT_EQ(Render(), Pack({s.r * s.a + d.r, s.g * s.a + d.g, s.b * s.a + d.b, s.a * s.a + d.a}));
    // The emulation's inversion pass: white source, INVDESTCOLOR, ZERO gives 1 - d.
    SetBlend(D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO);
    EXPECT_EQ(Render(0xFFFFFFFF), ~kDest);
}

TEST_F(BlendTest, DestinationWithoutAlphaReadsOpaque) {
    ASSERT_EQ(device_->SetRenderTarget(0, back_), D3D_OK);  // X8R8G8B8
    SetBlend(D3DBLEND_INVDESTALPHA, D3DBLEND_ONE);
    Clear(0x00102030);
    FillRect(-1, -1, 3, 3, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(1, 1), 0xFF102030u);
}

TEST_F(BlendTest, EveryAlphaTestFunction) {
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
    struct Case {
        DWORD func;
        bool below, equal, above;
    } cases[] = {
        {D3DCMP_NEVER, false, false, false},      {D3DCMP_LESS, true, false, false},
        {D3DCMP_EQUAL, false, true, false},       {D3DCMP_LESSEQUAL, true, true, false},
        {D3DCMP_GREATER, false, false, true},     {D3DCMP_NOTEQUAL, true, false, true},
        {D3DCMP_GREATEREQUAL, false, true, true}, {D3DCMP_ALWAYS, true, true, true},
    };
    for (const Case& c : cases) {
        device_->SetRenderState(D3DRS_ALPHAFUNC, c.func);
        EXPECT_EQ(Render(0x7F112233) == 0x7F112233u, c.below) << "func " << c.func;
        EXPECT_EQ(Render(0x80112233) == 0x80112233u, c.equal) << "func " << c.func;
        EXPECT_EQ(Render(0x81112233) == 0x81112233u, c.above) << "func " << c.func;
    }
}

TEST_F(BlendTest, DepthTestAndWriteOnEveryDepthFormat) {
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}) {
        IDirect3DSurface9* depth = nullptr;
        ASSERT_EQ(device_->CreateDepthStencilSurface(2, 2, format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                     &depth, nullptr),
                  D3D_OK);
        ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0),
                  D3D_OK);
        EXPECT_NEAR(TestD3d9ReadDepth(depth, 1, 1), 0.5f, 1e-4f);
        auto quad = [&](float z, DWORD color) {
            std::vector<ColorVertex> v = {{-1, -1, z, 1, color},
                                          {3, -1, z, 1, color},
                                          {-1, 3, z, 1, color},
                                          {3, 3, z, 1, color}};
            Draw(D3DPT_TRIANGLESTRIP, kColorFvf, v, 2);
        };
        quad(0.75f, 0xFF0000FF);  // behind: fails LESS
        EXPECT_EQ(TestD3d9ReadPixel(target_, 1, 1), 0x00000000u) << format;
        quad(0.25f, 0xFF00FF00);  // in front: drawn and written
        EXPECT_EQ(TestD3d9ReadPixel(target_, 1, 1), 0xFF00FF00u) << format;
        EXPECT_NEAR(TestD3d9ReadDepth(depth, 1, 1), 0.25f, 1e-4f);
        device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        quad(0.125f, 0xFFFF0000);  // drawn, depth kept
        EXPECT_EQ(TestD3d9ReadPixel(target_, 1, 1), 0xFFFF0000u) << format;
        EXPECT_NEAR(TestD3d9ReadDepth(depth, 1, 1), 0.25f, 1e-4f);
        device_->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        // With depth off nothing is tested.
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        quad(0.9f, 0xFFFFFFFF);
        EXPECT_EQ(TestD3d9ReadPixel(target_, 1, 1), 0xFFFFFFFFu) << format;
        device_->SetDepthStencilSurface(nullptr);
        depth->Release();
    }
}

TEST_F(BlendTest, AlphaTestFailureLeavesDepthUnwritten) {
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device_->CreateDepthStencilSurface(2, 2, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                 &depth, nullptr),
              D3D_OK);
    Keep(depth);
    device_->SetDepthStencilSurface(depth);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device_->SetRenderState(D3DRS_ALPHAREF, 0x10);
    std::vector<ColorVertex> v = {{-1, -1, 0.3f, 1, 0x05FFFFFF},
                                  {3, -1, 0.3f, 1, 0x05FFFFFF},
                                  {-1, 3, 0.3f, 1, 0x05FFFFFF},
                                  {3, 3, 0.3f, 1, 0x05FFFFFF}};
    Draw(D3DPT_TRIANGLESTRIP, kColorFvf, v, 2);
    EXPECT_NEAR(TestD3d9ReadDepth(depth, 0, 0), 1.0f, 1e-4f);
}
