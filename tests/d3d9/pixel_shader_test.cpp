// Pixel shaders as registered kernels: the records that name them, what a kernel sees, and
// the fixed-function stages after it.
#include <platform/d3d9_kernels.h>

#include "device_fixture.h"

namespace {

// out = texture(s0) at TEXCOORD0 x c3, with alpha from COLOR0.
bool TintKernel(const PixelShaderInput& in, const PixelShaderContext& ctx, ShaderFloat4* out) {
    ShaderFloat4 t = SampleTexture(ctx, 0, in.texcoord[0].x, in.texcoord[0].y);
    const ShaderFloat4& c = ctx.floatConstants[3];
    *out = {t.x * c.x, t.y * c.y, t.z * c.z, in.color0.w};
    return true;
}

// Draws only the left half of the target (pixel x below c0.x); the rest is discarded.
bool LeftHalfKernel(const PixelShaderInput& in, const PixelShaderContext& ctx, ShaderFloat4* out) {
    if (in.x >= ctx.floatConstants[0].x) return false;
    *out = {1.0f, 1.0f, 1.0f, 1.0f};
    return true;
}

// Reports what an unbound sampler gives and the bool and int registers.
bool ProbeKernel(const PixelShaderInput& in, const PixelShaderContext& ctx, ShaderFloat4* out) {
    ShaderFloat4 none = SampleTexture(ctx, 5, 0.5f, 0.5f);
    *out = {none.x, ctx.boolConstants[2] ? 1.0f : 0.0f, ctx.intConstants[1][3] / 255.0f, none.w};
    return true;
}

// What the load kernel read at each pixel of a 66 x 3 target, and the size it was told.
ShaderFloat4 gLoaded[3][66];
int gSize[2];
bool gSizeFound;

// Loads texel (x - 1, y - 1) of sampler 0, so that the target's edges read outside the
// texture, and records it.
bool LoadKernel(const PixelShaderInput& in, const PixelShaderContext& ctx, ShaderFloat4* out) {
    int x = static_cast<int>(in.x), y = static_cast<int>(in.y);
    *out = gLoaded[y][x] = LoadTexel(ctx, 0, x - 1, y - 1);
    gSizeFound = GetSamplerTextureSize(ctx, 0, &gSize[0], &gSize[1]);
    return true;
}

// Span kernels: the stages' own sampling of sampler 0, with the pixels of every seventh
// column (x % 7 == 3) discarded.
void SampleSpanKernel(const PixelShaderSpan& span, const PixelShaderContext& ctx, DWORD* out,
                      bool* kept) {
    SampleTextureSpan(span, ctx, 0, out);
    for (int i = 0; i < span.count; ++i) kept[i] = (span.x + i) % 7 != 3;
}

// The coordinates set 0 gives a per-pixel kernel and a span kernel at each pixel of a 66 x 3
// target, and the texels a span kernel reads at (x - 1, y - 1), as LoadKernel reads them.
float gPixelU[3][66], gPixelV[3][66], gSpanU[3][66], gSpanV[3][66];
DWORD gSpanLoaded[3][66];
bool gSpanTexelsFound;

bool CoordKernel(const PixelShaderInput& in, const PixelShaderContext&, ShaderFloat4* out) {
    int x = static_cast<int>(in.x), y = static_cast<int>(in.y);
    gPixelU[y][x] = in.texcoord[0].x;
    gPixelV[y][x] = in.texcoord[0].y;
    *out = {0, 0, 0, 1};
    return true;
}

void CoordSpanKernel(const PixelShaderSpan& span, const PixelShaderContext& ctx, DWORD* out,
                     bool* kept) {
    ShaderTexels texels;
    gSpanTexelsFound = GetSamplerTexels(ctx, 0, &texels);
    for (int i = 0; i < span.count; ++i) {
        int x = span.x + i, y = span.y;
        gSpanU[y][x] = SpanTexcoordU(span, 0, i);
        gSpanV[y][x] = SpanTexcoordV(span, 0, i);
        gSpanLoaded[y][x] = out[i] = gSpanTexelsFound ? TexelAt(texels, x - 1, y - 1) : 0;
        kept[i] = true;
    }
}

// One stage, texture x factor with the factor's alpha, the factor being c0 in 255ths; c1.x
// stages (out of range makes a program the device refuses).
void TintStages(const ShaderFloat4* c, ShaderStageProgram* out) {
    auto byte = [](float v) { return static_cast<DWORD>(v); };
    out->count = static_cast<int>(c[1].x);
    out->textureFactor = byte(c[0].w) << 24 | byte(c[0].x) << 16 | byte(c[0].y) << 8 | byte(c[0].z);
    out->stages[0] = {D3DTOP_MODULATE,
                      D3DTA_TEXTURE,
                      D3DTA_TFACTOR,
                      D3DTOP_SELECTARG2,
                      D3DTA_TEXTURE,
                      D3DTA_TFACTOR,
                      0,
                      D3DTA_CURRENT};
}

class PixelShaderTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(RegisterPixelShaderKernel("test_tint", TintKernel));
        ASSERT_TRUE(RegisterPixelShaderKernel("test_left_half", LeftHalfKernel));
        ASSERT_TRUE(RegisterPixelShaderKernel("test_probe", ProbeKernel));
        ASSERT_TRUE(RegisterPixelShaderKernel("test_load", LoadKernel));
        ASSERT_TRUE(RegisterPixelShaderStages("test_tint_stages", TintStages));
        ASSERT_TRUE(RegisterPixelShaderSpanKernel("test_span_sample", SampleSpanKernel));
        ASSERT_TRUE(RegisterPixelShaderKernel("test_coord", CoordKernel));
        ASSERT_TRUE(RegisterPixelShaderSpanKernel("test_span_coord", CoordSpanKernel));
        CreateDevice(8, 8);
        target_ = UseArgbTarget(8, 8);
    }

    IDirect3DPixelShader9* Shader(const char* name) {
        std::vector<DWORD> code = MakeShaderKernelRecord(false, name);
        IDirect3DPixelShader9* shader = nullptr;
        EXPECT_EQ(device_->CreatePixelShader(code.data(), &shader), D3D_OK) << name;
        return Keep(shader);
    }

    IDirect3DSurface9* target_ = nullptr;
};

}  // namespace

TEST_F(PixelShaderTest, KernelsSeeConstantsCoordinatesSamplersAndColours) {
    device_->SetTexture(0, MakeTexture32(D3DFMT_X8R8G8B8, 2, 1, {0xFF804020, 0xFFFFFFFF}));
    const float tint[4] = {0.5f, 1.0f, 2.0f, 1.0f};
    ASSERT_EQ(device_->SetPixelShaderConstantF(3, tint, 1), D3D_OK);
    ASSERT_EQ(device_->SetPixelShader(Shader("test_tint")), D3D_OK);
    // Texel 0 on the left half, texel 1 on the right; vertex alpha 0x40.
    TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 1, 1, 0x40FFFFFF);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 1, 1), 0x40404040u);  // 0x80 / 2, 0x40, 0x20 * 2
    EXPECT_EQ(TestD3d9ReadPixel(target_, 6, 1), 0x4080FFFFu);  // 127.5 rounds up; blue saturates
    // Setting no shader returns to the stages.
    ASSERT_EQ(device_->SetPixelShader(nullptr), D3D_OK);
    TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 1, 1, 0x40FFFFFF);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 1, 1), 0xFF804020u);
}

TEST_F(PixelShaderTest, DiscardedPixelsKeepTheTargetAndAlphaTestAndBlendFollowTheKernel) {
    const float half[4] = {4, 0, 0, 0};
    device_->SetPixelShaderConstantF(0, half, 1);
    device_->SetPixelShader(Shader("test_left_half"));
    Clear(0x11223344);
    FillRect(0, 0, 8, 8, 0);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 4, 3), 0x11223344u);
    // The fixed alpha test runs on the kernel's output.
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESS);
    Clear(0x11223344);
    FillRect(0, 0, 8, 8, 0);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 3, 3), 0x11223344u);
}

TEST_F(PixelShaderTest, UnboundSamplersReadBlackAndRegistersReachTheKernel) {
    const BOOL flags[3] = {FALSE, FALSE, TRUE};
    const int ints[8] = {0, 0, 0, 0, 0, 0, 0, 0x7F};
    ASSERT_EQ(device_->SetPixelShaderConstantB(0, flags, 3), D3D_OK);
    ASSERT_EQ(device_->SetPixelShaderConstantI(0, ints, 2), D3D_OK);
    device_->SetPixelShader(Shader("test_probe"));
    FillRect(0, 0, 8, 8, 0);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 2, 2), 0xFF00FF7Fu);
    const float f[4] = {};
    EXPECT_EQ(device_->SetPixelShaderConstantF(224, f, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetPixelShaderConstantB(15, flags, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetVertexShaderConstantF(255, f, 1), D3D_OK);
}

TEST_F(PixelShaderTest, OnlyRecordsNamingRegisteredKernelsAreAccepted) {
    IDirect3DPixelShader9* shader = nullptr;
    std::vector<DWORD> unknown = MakeShaderKernelRecord(false, "no_such_kernel");
    EXPECT_EQ(device_->CreatePixelShader(unknown.data(), &shader), D3DERR_INVALIDCALL);
    std::vector<DWORD> vertex = MakeShaderKernelRecord(true, "test_tint");
    EXPECT_EQ(device_->CreatePixelShader(vertex.data(), &shader), D3DERR_INVALIDCALL);
    // Real shader model 2 bytecode: an instruction after the version token.
    const DWORD foreign[] = {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x0000FFFF};
    EXPECT_EQ(device_->CreatePixelShader(foreign, &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader, nullptr);
    EXPECT_TRUE(MakeShaderKernelRecord(false, "").empty());
    EXPECT_FALSE(RegisterPixelShaderKernel("x", nullptr));
    // A constant-table comment may come before the name, as the framework's parser expects.
    std::vector<DWORD> named = MakeShaderKernelRecord(false, "test_tint");
    std::vector<DWORD> withTable = {named[0], 0xFFFE | (3u << 16), MAKEFOURCC('C', 'T', 'A', 'B'),
                                    0, 0};
    withTable.insert(withTable.end(), named.begin() + 1, named.end());
    EXPECT_EQ(device_->CreatePixelShader(withTable.data(), &shader), D3D_OK);
    Keep(shader);
}

TEST_F(PixelShaderTest, DevicesWithoutShadersRefuseThemAndVertexShadersCannotDraw) {
    std::vector<DWORD> vertexRecord = MakeShaderKernelRecord(true, "test_vertex");
    IDirect3DVertexShader9* vertexShader = nullptr;
    ASSERT_EQ(device_->CreateVertexShader(vertexRecord.data(), &vertexShader), D3D_OK);
    device_->SetVertexShader(Keep(vertexShader));
    std::vector<ColorVertex> v = {{0, 0, 0, 1, 0}, {8, 0, 0, 1, 0}, {0, 8, 0, 1, 0}};
    device_->SetFVF(kColorFvf);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v.data(), sizeof(ColorVertex)),
              D3DERR_INVALIDCALL);
    device_->EndScene();

    ReleaseDevice();
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.shaders = false;
    TestD3d9SetProfile(profile);
    CreateDevice(8, 8);
    std::vector<DWORD> code = MakeShaderKernelRecord(false, "test_tint");
    IDirect3DPixelShader9* shader = nullptr;
    EXPECT_EQ(device_->CreatePixelShader(code.data(), &shader), D3DERR_INVALIDCALL);
}

TEST_F(PixelShaderTest, LoadTexelGivesEachFormatsExactValuesClampedToTheTexture) {
    target_ = UseArgbTarget(66, 3);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    IDirect3DPixelShader9* load = Shader("test_load");
    // 64 x 1 texels; in A8R8G8B8 every 8-bit value once across the four channels.
    std::vector<DWORD> words(64);
    std::vector<WORD> halves(64);
    for (DWORD i = 0; i < 64; ++i) {
        words[i] = (4 * i + 3) << 24 | (4 * i) << 16 | (4 * i + 1) << 8 | (4 * i + 2);
        halves[i] = static_cast<WORD>(i * 40503u >> 3 ^ i);
    }
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                             D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4}) {
        SCOPED_TRACE(format);
        bool wide = format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8;
        device_->SetTexture(
            0, wide ? MakeTexture32(format, 64, 1, words) : MakeTexture16(format, 64, 1, halves));
        device_->SetPixelShader(load);
        FillRect(0, 0, 66, 3, 0);
        ASSERT_TRUE(gSizeFound);
        EXPECT_EQ(gSize[0], 64);
        EXPECT_EQ(gSize[1], 1);
        std::vector<DWORD> loaded = TestD3d9ReadSurface(target_, nullptr, nullptr);
        // The texels as the stages point-sample them, texel x - 1 on pixel x, clamped.
        device_->SetPixelShader(nullptr);
        TexturedRect(-0.5f, -0.5f, 65.5f, 2.5f, -1 / 64.0f, -1, 65 / 64.0f, 2);
        EXPECT_EQ(loaded, TestD3d9ReadSurface(target_, nullptr, nullptr));
        // A span kernel reads the same texels from the texture's rows.
        device_->SetPixelShader(Shader("test_span_coord"));
        FillRect(0, 0, 66, 3, 0);
        ASSERT_TRUE(gSpanTexelsFound);
        EXPECT_EQ(loaded, TestD3d9ReadSurface(target_, nullptr, nullptr));
        // Each channel exactly k / 255, which the device writes back as k.
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 66; ++x) {
                const ShaderFloat4& t = gLoaded[y][x];
                DWORD k = loaded[y * 66 + x];
                ASSERT_EQ(t.w, static_cast<float>(k >> 24) / 255.0f) << x << "," << y;
                ASSERT_EQ(t.x, static_cast<float>(k >> 16 & 255) / 255.0f) << x << "," << y;
                ASSERT_EQ(t.y, static_cast<float>(k >> 8 & 255) / 255.0f) << x << "," << y;
                ASSERT_EQ(t.z, static_cast<float>(k & 255) / 255.0f) << x << "," << y;
            }
        }
    }
    // A sampler without a texture reads opaque black and has no size.
    device_->SetTexture(0, nullptr);
    device_->SetPixelShader(load);
    FillRect(0, 0, 66, 3, 0);
    EXPECT_FALSE(gSizeFound);
    EXPECT_EQ(gSize[0], 0);
    EXPECT_EQ(gSize[1], 0);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 5, 1), 0xFF000000u);
}

TEST_F(PixelShaderTest, StageProgramsFollowTheirConstantsFromDrawToDraw) {
    device_->SetTexture(0, MakeTexture32(D3DFMT_X8R8G8B8, 1, 1, {0xFF8040FF}));
    IDirect3DPixelShader9* shader = Shader("test_tint_stages");
    ASSERT_NE(shader, nullptr);
    device_->SetPixelShader(shader);
    // The stage states and the texture factor state are the shader's business now.
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000);
    const float first[8] = {255, 255, 128, 64, 1, 0, 0, 0};
    device_->SetPixelShaderConstantF(0, first, 2);
    TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 1, 1);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 3, 3), 0x40804080u);
    // Only the constants change: the next draw follows them.
    const float second[4] = {0, 255, 255, 255};
    device_->SetPixelShaderConstantF(0, second, 1);
    TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 1, 1);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 3, 3), 0xFF0040FFu);
    // A program the device cannot run fails the draw as such stage states would.
    const float tooMany[4] = {kMaxShaderStages + 1, 0, 0, 0};
    device_->SetPixelShaderConstantF(1, tooMany, 1);
    std::vector<TexturedScreenVertex> v = {
        {0, 0, 0, 1, 0, 0, 0}, {8, 0, 0, 1, 0, 1, 0}, {0, 8, 0, 1, 0, 0, 1}};
    device_->SetFVF(kTexturedFvf);
    device_->BeginScene();
    EXPECT_EQ(
        device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v.data(), sizeof(TexturedScreenVertex)),
        D3DERR_INVALIDCALL);
    device_->EndScene();

    // A name is a kernel or a stage program, the last registration winning.
    EXPECT_FALSE(RegisterPixelShaderStages("x", nullptr));
    EXPECT_FALSE(RegisterPixelShaderStages("", TintStages));
    ASSERT_TRUE(RegisterPixelShaderKernel("test_tint_stages", LeftHalfKernel));
    const float half[4] = {4, 0, 0, 0};
    device_->SetPixelShaderConstantF(0, half, 1);
    device_->SetPixelShader(Shader("test_tint_stages"));
    Clear(0);
    FillRect(0, 0, 8, 8, 0);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(TestD3d9ReadPixel(target_, 4, 3), 0u);
}

TEST_F(PixelShaderTest, SpanKernelsSampleAsTheStagesOnEveryPathAndSeeThePerPixelCoordinates) {
    target_ = UseArgbTarget(100, 24);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    std::vector<DWORD> texels(64);
    for (DWORD i = 0; i < 64; ++i) texels[i] = (i * 2654435761u) | 0x30000000u;
    device_->SetTexture(0, MakeTexture32(D3DFMT_A8R8G8B8, 8, 8, texels));
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    // A rectangle (spans of several chunks) and a quad in perspective (rhw from 1 to 0.25).
    std::vector<TexturedScreenVertex> tilted = {{2, 1, 0, 1, 0xFFFFFFFF, 0, 0},
                                                {97, 3, 0, 0.25f, 0xFFFFFFFF, 1, 0},
                                                {1, 22, 0, 1, 0xFFFFFFFF, 0, 1},
                                                {98, 20, 0, 0.25f, 0xFFFFFFFF, 1, 1}};
    auto drawBoth = [&] {
        Clear(0x12345678);
        TexturedRect(-0.5f, -0.5f, 99.5f, 11.5f, -0.1f, 0, 1.3f, 1);
        Draw(D3DPT_TRIANGLESTRIP, kTexturedFvf, tilted, 2);
        return TestD3d9ReadSurface(target_, nullptr, nullptr);
    };
    for (bool general : {false, true}) {
        SCOPED_TRACE(general);
        TestD3d9SetGeneralSpansOnly(general);
        device_->SetPixelShader(nullptr);
        std::vector<DWORD> expected = drawBoth();
        for (int y = 0; y < 24; ++y) {
            for (int x = 3; x < 100; x += 7) expected[y * 100 + x] = 0x12345678;
        }
        device_->SetPixelShader(Shader("test_span_sample"));
        EXPECT_EQ(drawBoth(), expected);
    }
    TestD3d9SetGeneralSpansOnly(false);

    // The coordinates are the per-pixel kernel's, bit for bit.
    UseArgbTarget(66, 3);
    device_->SetPixelShader(Shader("test_coord"));
    TexturedRect(-0.5f, -0.5f, 65.5f, 2.5f, -0.013f, 0.3f, 1.071f, 0.77f);
    device_->SetPixelShader(Shader("test_span_coord"));
    TexturedRect(-0.5f, -0.5f, 65.5f, 2.5f, -0.013f, 0.3f, 1.071f, 0.77f);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 66; ++x) {
            ASSERT_EQ(gSpanU[y][x], gPixelU[y][x]) << x << "," << y;
            ASSERT_EQ(gSpanV[y][x], gPixelV[y][x]) << x << "," << y;
        }
    }
    // A name is a span kernel until registered as something else.
    EXPECT_FALSE(RegisterPixelShaderSpanKernel("x", nullptr));
    EXPECT_FALSE(RegisterPixelShaderSpanKernel("", CoordSpanKernel));
}
