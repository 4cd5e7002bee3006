// The specialised spans against the general pixel path: thousands of random states and
// primitives on every render-target format, each drawn both ways onto the same random target
// contents and compared byte for byte (unused bits included). Stage-program shaders the same
// way against the same stages set as texture-stage states.
#include <platform/d3d9_kernels.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>

#include "device_fixture.h"

namespace {

constexpr UINT kWidth = 37, kHeight = 29;
constexpr int kCasesPerFormat = 600;
constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

// The blend states a 2D framework draws with: source, destination, operation.
constexpr DWORD kFrameworkBlends[][3] = {
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
    {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD},
    {D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLENDOP_ADD},
    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD},
    {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD},
    {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD},
    {D3DBLEND_ONE, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
    {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX},
};

constexpr DWORD kCommonOps[] = {
    D3DTOP_SELECTARG1,       D3DTOP_SELECTARG2,        D3DTOP_MODULATE,
    D3DTOP_MODULATE2X,       D3DTOP_MODULATE4X,        D3DTOP_ADD,
    D3DTOP_SUBTRACT,         D3DTOP_BLENDDIFFUSEALPHA, D3DTOP_BLENDTEXTUREALPHA,
    D3DTOP_BLENDFACTORALPHA, D3DTOP_BLENDCURRENTALPHA};

// Kernels as a framework's shaders compute: texture x colour with a constant, and one that
// discards a pattern of pixels and mixes two textures.
bool ModulateKernel(const PixelShaderInput& in, const PixelShaderContext& ctx, ShaderFloat4* out) {
    ShaderFloat4 t = SampleTexture(ctx, 0, in.texcoord[0].x, in.texcoord[0].y);
    const ShaderFloat4& c = ctx.floatConstants[0];
    *out = {t.x * in.color0.x * c.x + in.color1.x, t.y * in.color0.y * c.y, t.z * in.color0.z + c.z,
            t.w * in.color0.w * c.w};
    return true;
}

bool PatternKernel(const PixelShaderInput& in, const PixelShaderContext& ctx, ShaderFloat4* out) {
    if ((static_cast<int>(in.x) + static_cast<int>(in.y)) % 3 == 0) return false;
    ShaderFloat4 a = SampleTexture(ctx, 0, in.texcoord[0].x, in.texcoord[0].y);
    ShaderFloat4 b = SampleTexture(ctx, 1, in.texcoord[1].x, in.texcoord[1].y);
    *out = {a.x - b.x, a.y * b.y * 2, in.color1.z, a.w * in.color0.w};
    return true;
}

// Stage sets a 2D framework draws with: colour operation and arguments, then alpha's.
constexpr DWORD kFrameworkStages[][6] = {
    {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE},
    {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT},
    {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG2, D3DTA_TEXTURE,
     D3DTA_DIFFUSE},
    {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE,
     D3DTA_DIFFUSE},
    {D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE,
     D3DTA_DIFFUSE},
    {D3DTOP_MODULATE, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, D3DTOP_MODULATE,
     D3DTA_TEXTURE, D3DTA_DIFFUSE},
    {D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_TEXTURE, D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_TEXTURE},
    {D3DTOP_BLENDCURRENTALPHA, D3DTA_CURRENT, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_CURRENT,
     D3DTA_TFACTOR},
};

// A stage program written into the float constants: c0 = (count, factor's high and low 16
// bits), then per stage (colour op, arg1, arg2, coordinate set), (alpha op, arg1, arg2, result).
void DecodeProgram(const ShaderFloat4* c, ShaderStageProgram* out) {
    auto word = [](float f) { return static_cast<DWORD>(f); };
    out->count = static_cast<int>(c[0].x);
    out->textureFactor = word(c[0].y) << 16 | word(c[0].z);
    for (int i = 0; i < std::min(out->count, kMaxShaderStages); ++i) {
        const ShaderFloat4 &color = c[1 + 2 * i], &alpha = c[2 + 2 * i];
        out->stages[i] = {word(color.x), word(color.y), word(color.z), word(alpha.x),
                          word(alpha.y), word(alpha.z), word(color.w), word(alpha.w)};
    }
}

std::vector<float> EncodeProgram(const ShaderStageProgram& program) {
    auto f = [](DWORD v) { return static_cast<float>(v); };
    std::vector<float> c = {f(static_cast<DWORD>(program.count)), f(program.textureFactor >> 16),
                            f(program.textureFactor & 0xFFFF), 0};
    for (int i = 0; i < program.count; ++i) {
        const ShaderStage& s = program.stages[i];
        c.insert(c.end(), {f(s.colorOp), f(s.colorArg1), f(s.colorArg2), f(s.texCoordIndex),
                           f(s.alphaOp), f(s.alphaArg1), f(s.alphaArg2), f(s.resultArg)});
    }
    return c;
}

struct TargetFormat {
    D3DFORMAT format;
    UINT bytes;
};
constexpr TargetFormat kTargetFormats[] = {{D3DFMT_X8R8G8B8, 4},
                                           {D3DFMT_A8R8G8B8, 4},
                                           {D3DFMT_R5G6B5, 2},
                                           {D3DFMT_X1R5G5B5, 2},
                                           {D3DFMT_A4R4G4B4, 2}};

struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u0, v0, u1, v1;
};

class SpanDifferentialTest : public DeviceTest {
protected:
    using Random = std::mt19937;

    static int Pick(Random& r, int count) {
        return std::uniform_int_distribution<int>(0, count - 1)(r);
    }
    static bool Chance(Random& r, int percent) { return Pick(r, 100) < percent; }
    static float Uniform(Random& r, float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(r);
    }
    // A colour whose alpha is often exactly 0 or 255, where the merges take shortcuts.
    static DWORD RandomColor(Random& r) {
        DWORD c = static_cast<DWORD>(r());
        int alpha = Pick(r, 4);
        if (alpha == 0) c &= 0x00FFFFFF;
        if (alpha == 1) c |= 0xFF000000;
        return c;
    }

    // Textures of each texel format, assorted sizes, some with mip levels.
    void MakeTextures(Random& r) {
        const struct {
            D3DFORMAT format;
            UINT width, height, levels;
        } kinds[] = {{D3DFMT_A8R8G8B8, 16, 16, 1}, {D3DFMT_X8R8G8B8, 13, 7, 1},
                     {D3DFMT_R5G6B5, 32, 8, 1},    {D3DFMT_A4R4G4B4, 8, 8, 4},
                     {D3DFMT_A1R5G5B5, 5, 3, 1},   {D3DFMT_A8R8G8B8, 1, 1, 1},
                     {D3DFMT_DXT5, 8, 8, 1},       {D3DFMT_A8R8G8B8, 64, 32, 0}};
        for (const auto& k : kinds) {
            IDirect3DTexture9* texture = nullptr;
            ASSERT_EQ(device_->CreateTexture(k.width, k.height, k.levels, 0, k.format,
                                             D3DPOOL_MANAGED, &texture, nullptr),
                      D3D_OK);
            for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
                D3DSURFACE_DESC desc;
                texture->GetLevelDesc(level, &desc);
                D3DLOCKED_RECT locked;
                ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
                UINT rows = k.format == D3DFMT_DXT5 ? (desc.Height + 3) / 4 : desc.Height;
                for (UINT y = 0; y < rows; ++y) {
                    BYTE* row = static_cast<BYTE*>(locked.pBits) + y * locked.Pitch;
                    for (INT x = 0; x < locked.Pitch; ++x) row[x] = static_cast<BYTE>(r());
                }
                texture->UnlockRect(level);
            }
            textures_.push_back(Keep(texture));
        }
    }

    // With `recorded`, ARG0 stays CURRENT (stage programs have none) and the stage is kept
    // there as a stage program's.
    void RandomStage(Random& r, DWORD stage, ShaderStage* recorded = nullptr) {
        auto op = [&] {
            if (Chance(r, 80)) return kCommonOps[Pick(r, std::size(kCommonOps))];
            // Any operation the device offers (17, 22 and 23, premodulation and bump
            // mapping, it refuses).
            DWORD any = static_cast<DWORD>(D3DTOP_SELECTARG1 + Pick(r, 25));
            return any == 17 || any == 22 || any == 23 ? D3DTOP_LERP : any;
        };
        auto arg = [&] {
            static constexpr DWORD kArgs[] = {D3DTA_DIFFUSE, D3DTA_CURRENT,  D3DTA_TEXTURE,
                                              D3DTA_TFACTOR, D3DTA_SPECULAR, D3DTA_TEMP};
            DWORD a = Chance(r, 50) ? D3DTA_TEXTURE : kArgs[Pick(r, std::size(kArgs))];
            if (Chance(r, 15)) a |= D3DTA_COMPLEMENT;
            if (Chance(r, 8)) a |= D3DTA_ALPHAREPLICATE;
            return a;
        };
        DWORD colorOp = op();
        DWORD alphaOp = Chance(r, 50) ? colorOp : (Chance(r, 20) ? D3DTOP_DISABLE : op());
        DWORD colorArgs[3] = {arg(), arg(), Chance(r, 60) ? D3DTA_DIFFUSE : arg()};
        DWORD alphaArgs[3] = {arg(), arg(), Chance(r, 60) ? D3DTA_DIFFUSE : arg()};
        if (Chance(r, 40)) {
            const DWORD* set = kFrameworkStages[Pick(r, std::size(kFrameworkStages))];
            colorOp = set[0], colorArgs[1] = set[1], colorArgs[2] = set[2];
            alphaOp = set[3], alphaArgs[1] = set[4], alphaArgs[2] = set[5];
        }
        const DWORD result = Chance(r, 10) ? D3DTA_TEMP : D3DTA_CURRENT;
        const DWORD texSet = static_cast<DWORD>(Chance(r, 80) ? 0 : Pick(r, 3));
        if (recorded != nullptr) {
            colorArgs[0] = alphaArgs[0] = D3DTA_CURRENT;
            *recorded = {colorOp,      colorArgs[1], colorArgs[2], alphaOp,
                         alphaArgs[1], alphaArgs[2], texSet,       result};
        }
        const DWORD states[][2] = {
            {D3DTSS_COLOROP, colorOp},        {D3DTSS_COLORARG0, colorArgs[0]},
            {D3DTSS_COLORARG1, colorArgs[1]}, {D3DTSS_COLORARG2, colorArgs[2]},
            {D3DTSS_ALPHAOP, alphaOp},        {D3DTSS_ALPHAARG0, alphaArgs[0]},
            {D3DTSS_ALPHAARG1, alphaArgs[1]}, {D3DTSS_ALPHAARG2, alphaArgs[2]},
            {D3DTSS_RESULTARG, result},       {D3DTSS_TEXCOORDINDEX, texSet},
        };
        for (const auto& s : states) {
            device_->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(s[0]), s[1]);
        }
        device_->SetTexture(stage, Chance(r, 85) ? textures_[Pick(r, textures_.size())] : nullptr);
        const DWORD filters[] = {D3DTEXF_POINT, D3DTEXF_LINEAR};
        device_->SetSamplerState(stage, D3DSAMP_MAGFILTER, filters[Pick(r, 2)]);
        device_->SetSamplerState(stage, D3DSAMP_MINFILTER, filters[Pick(r, 2)]);
        device_->SetSamplerState(stage, D3DSAMP_MIPFILTER, static_cast<DWORD>(Pick(r, 3)));
        device_->SetSamplerState(stage, D3DSAMP_ADDRESSU, static_cast<DWORD>(1 + Pick(r, 5)));
        device_->SetSamplerState(stage, D3DSAMP_ADDRESSV, static_cast<DWORD>(1 + Pick(r, 5)));
        device_->SetSamplerState(stage, D3DSAMP_BORDERCOLOR, RandomColor(r));
    }

    // Render states and one to three texture stages. With `program`, no kernel and no specular
    // add (the fixed pipeline's, which shaders replace), and the stages are kept there.
    void RandomState(Random& r, ShaderStageProgram* program = nullptr) {
        const bool blend = Chance(r, 75);
        DWORD src, dest, op;
        if (Chance(r, 75)) {
            const DWORD* row = kFrameworkBlends[Pick(r, std::size(kFrameworkBlends))];
            src = row[0], dest = row[1], op = row[2];
        } else {
            src = static_cast<DWORD>(1 + Pick(r, 13));
            dest = static_cast<DWORD>(1 + Pick(r, 13));
            op = static_cast<DWORD>(1 + Pick(r, 5));
        }
        const DWORD states[][2] = {
            {D3DRS_ALPHABLENDENABLE, blend},
            {D3DRS_SRCBLEND, src},
            {D3DRS_DESTBLEND, dest},
            {D3DRS_BLENDOP, op},
            {D3DRS_ALPHATESTENABLE, Chance(r, 30)},
            {D3DRS_ALPHAFUNC, static_cast<DWORD>(1 + Pick(r, 8))},
            {D3DRS_ALPHAREF, static_cast<DWORD>(Chance(r, 20) ? Pick(r, 2) * 255 : Pick(r, 256))},
            {D3DRS_SHADEMODE, Chance(r, 50) ? D3DSHADE_FLAT : D3DSHADE_GOURAUD},
            {D3DRS_TEXTUREFACTOR, RandomColor(r)},
            {D3DRS_SPECULARENABLE, program == nullptr && Chance(r, 20)},
        };
        for (const auto& s : states) {
            device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s[0]), s[1]);
            if (program != nullptr && s[0] == D3DRS_TEXTUREFACTOR) program->textureFactor = s[1];
        }
        IDirect3DPixelShader9* shader = nullptr;
        if (program == nullptr && Chance(r, 12)) {
            shader = shaders_[Pick(r, std::size(shaders_))];
            const float constants[4] = {Uniform(r, 0, 2), Uniform(r, 0, 2), Uniform(r, -0.5f, 1),
                                        Uniform(r, 0, 1.5f)};
            device_->SetPixelShaderConstantF(0, constants, 1);
        }
        device_->SetPixelShader(shader);
        const int stages = Chance(r, 60) ? 1 : (Chance(r, 75) ? 2 : 3);
        if (program != nullptr) program->count = stages;
        for (int i = 0; i < 4; ++i) {
            if (i < stages) {
                RandomStage(r, i, program != nullptr ? &program->stages[i] : nullptr);
            } else {
                device_->SetTextureStageState(i, D3DTSS_COLOROP, D3DTOP_DISABLE);
                device_->SetTexture(i, nullptr);
            }
        }
    }

    Vertex RandomVertex(Random& r) {
        Vertex v;
        v.x = Uniform(r, -8, kWidth + 8);
        v.y = Uniform(r, -8, kHeight + 8);
        v.z = 0.5f;
        v.rhw = Chance(r, 10) ? Uniform(r, 0.25f, 2.0f) : 1.0f;
        v.diffuse = RandomColor(r);
        v.specular = RandomColor(r);
        v.u0 = Uniform(r, -1.5f, 2.5f);
        v.v0 = Uniform(r, -1.5f, 2.5f);
        v.u1 = Uniform(r, -3, 3);
        v.v1 = Uniform(r, -3, 3);
        return v;
    }

    // A quad as sprites are drawn: pixel corners less half a pixel, texture 0..1 or a part.
    void SpriteQuad(Random& r, std::vector<Vertex>* out) {
        float x0 = static_cast<float>(Pick(r, kWidth + 8)) - 4.5f;
        float y0 = static_cast<float>(Pick(r, kHeight + 8)) - 4.5f;
        float w = static_cast<float>(1 + Pick(r, 40)), h = static_cast<float>(1 + Pick(r, 30));
        float u0 = Chance(r, 50) ? 0.0f : Uniform(r, -0.5f, 0.5f);
        float u1 = Chance(r, 50) ? 1.0f : Uniform(r, 0.5f, 1.5f);
        DWORD color = RandomColor(r);
        auto corner = [&](float x, float y, float u, float v) {
            return Vertex{x, y, 0.5f, 1.0f, color, RandomColor(r), u, v, u, v};
        };
        Vertex a = corner(x0, y0, u0, u0), b = corner(x0 + w, y0, u1, u0);
        Vertex c = corner(x0, y0 + h, u0, u1), d = corner(x0 + w, y0 + h, u1, u1);
        out->insert(out->end(), {a, b, c, b, d, c});
    }

    void DrawRandomPrimitives(Random& r) {
        std::vector<Vertex> v;
        D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
        UINT count = 0;
        int kind = Pick(r, 100);
        if (kind < 35) {
            int quads = 1 + Pick(r, 3);
            for (int i = 0; i < quads; ++i) SpriteQuad(r, &v);
            count = 2 * quads;
        } else if (kind < 80) {
            count = 1 + Pick(r, 4);
            for (UINT i = 0; i < 3 * count; ++i) v.push_back(RandomVertex(r));
        } else if (kind < 88) {
            type = Chance(r, 50) ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLEFAN;
            count = 1 + Pick(r, 4);
            for (UINT i = 0; i < count + 2; ++i) v.push_back(RandomVertex(r));
        } else if (kind < 96) {
            type = Chance(r, 50) ? D3DPT_LINELIST : D3DPT_LINESTRIP;
            count = 1 + Pick(r, 4);
            UINT vertices = type == D3DPT_LINELIST ? 2 * count : count + 1;
            for (UINT i = 0; i < vertices; ++i) v.push_back(RandomVertex(r));
        } else {
            type = D3DPT_POINTLIST;
            count = 1 + Pick(r, 8);
            for (UINT i = 0; i < count; ++i) v.push_back(RandomVertex(r));
        }
        ASSERT_EQ(device_->SetFVF(kFvf), D3D_OK);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        EXPECT_EQ(device_->DrawPrimitiveUP(type, count, v.data(), sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
    }

    // A lockable render target of the format, bound as target 0.
    void UseTarget(D3DFORMAT format, UINT bytesPerPixel) {
        ASSERT_EQ(device_->CreateRenderTarget(kWidth, kHeight, format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                              &target_, nullptr),
                  D3D_OK);
        Keep(target_);
        ASSERT_EQ(device_->SetRenderTarget(0, target_), D3D_OK);
        rowBytes_ = kWidth * bytesPerPixel;
    }

    // Random contents for the target.
    std::vector<BYTE> RandomBytes(Random& r) const {
        std::vector<BYTE> bytes(static_cast<size_t>(kHeight) * rowBytes_);
        for (BYTE& b : bytes) b = static_cast<BYTE>(r());
        return bytes;
    }

    // The target from `start` after the primitives drawn on the chosen path.
    std::vector<BYTE> DrawOver(const std::vector<BYTE>& start, Random primitives, bool general) {
        WriteTarget(start);
        TestD3d9SetGeneralSpansOnly(general);
        DrawRandomPrimitives(primitives);
        return ReadTarget();
    }

    std::vector<BYTE> ReadTarget() {
        D3DLOCKED_RECT locked;
        EXPECT_EQ(target_->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<BYTE> bytes(static_cast<size_t>(kHeight) * rowBytes_);
        for (UINT y = 0; y < kHeight; ++y) {
            std::memcpy(&bytes[y * rowBytes_], static_cast<BYTE*>(locked.pBits) + y * locked.Pitch,
                        rowBytes_);
        }
        target_->UnlockRect();
        return bytes;
    }

    void WriteTarget(const std::vector<BYTE>& bytes) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(target_->LockRect(&locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < kHeight; ++y) {
            std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &bytes[y * rowBytes_],
                        rowBytes_);
        }
        target_->UnlockRect();
    }

    void MakeShaders() {
        ASSERT_TRUE(RegisterPixelShaderKernel("differential_tint", ModulateKernel));
        ASSERT_TRUE(RegisterPixelShaderKernel("differential_pattern", PatternKernel));
        const char* names[] = {"differential_tint", "differential_pattern"};
        for (int i = 0; i < 2; ++i) {
            std::vector<DWORD> code = MakeShaderKernelRecord(false, names[i]);
            ASSERT_EQ(device_->CreatePixelShader(code.data(), &shaders_[i]), D3D_OK);
            Keep(shaders_[i]);
        }
    }

    std::vector<IDirect3DTexture9*> textures_;
    IDirect3DPixelShader9* shaders_[2] = {};
    IDirect3DSurface9* target_ = nullptr;
    UINT rowBytes_ = 0;
};

}  // namespace

TEST_F(SpanDifferentialTest, RandomStatesAndPrimitivesDrawAsTheGeneralPathDraws) {
    CreateDevice(kWidth, kHeight);
    Random setup(20240607);
    MakeTextures(setup);
    MakeShaders();
    for (const TargetFormat& f : kTargetFormats) {
        UseTarget(f.format, f.bytes);
        const TestD3d9PathCounts before = TestD3d9CountPaths();
        for (int i = 0; i < kCasesPerFormat; ++i) {
            const unsigned seed =
                static_cast<unsigned>(f.format) * 100003u + static_cast<unsigned>(i);
            Random r(seed);
            const std::vector<BYTE> start = RandomBytes(r);
            RandomState(r);
            const std::vector<BYTE> specialised = DrawOver(start, r, false);
            const std::vector<BYTE> general = DrawOver(start, r, true);

            if (specialised != general) {
                size_t at = 0;
                while (specialised[at] == general[at]) ++at;
                FAIL() << "format " << f.format << " seed " << seed << ": first difference at byte "
                       << at << " (pixel " << (at % rowBytes_) / f.bytes << ", " << at / rowBytes_
                       << ")";
            }
        }
        // The comparison means something only if many primitives went through the spans.
        const TestD3d9PathCounts after = TestD3d9CountPaths();
        EXPECT_GT(after.specialised - before.specialised, kCasesPerFormat / 2) << f.format;
        device_->SetRenderTarget(0, back_);
    }
}

TEST_F(SpanDifferentialTest, StageProgramShadersDrawAsTheirStagesSetAsStates) {
    ASSERT_TRUE(RegisterPixelShaderStages("differential_stages", DecodeProgram));
    CreateDevice(kWidth, kHeight);
    Random setup(20261207);
    MakeTextures(setup);
    std::vector<DWORD> code = MakeShaderKernelRecord(false, "differential_stages");
    IDirect3DPixelShader9* shader = nullptr;
    ASSERT_EQ(device_->CreatePixelShader(code.data(), &shader), D3D_OK);
    Keep(shader);
    constexpr int kCases = 300;
    for (const TargetFormat& f : std::span(kTargetFormats).first(3)) {
        UseTarget(f.format, f.bytes);
        long specialisedShaderDraws = 0;
        for (int i = 0; i < kCases; ++i) {
            const unsigned seed =
                static_cast<unsigned>(f.format) * 7919u + static_cast<unsigned>(i);
            Random r(seed);
            const std::vector<BYTE> start = RandomBytes(r);
            ShaderStageProgram program = {};
            RandomState(r, &program);
            const std::vector<BYTE> states = DrawOver(start, r, false);

            // The program stands for the stages and the texture factor: the states are
            // changed under it and must not matter.
            std::vector<float> constants = EncodeProgram(program);
            ASSERT_EQ(device_->SetPixelShaderConstantF(0, constants.data(),
                                                       static_cast<UINT>(constants.size() / 4)),
                      D3D_OK);
            device_->SetPixelShader(shader);
            device_->SetRenderState(D3DRS_TEXTUREFACTOR, ~program.textureFactor);
            device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
            const TestD3d9PathCounts before = TestD3d9CountPaths();
            const std::vector<BYTE> specialised = DrawOver(start, r, false);
            specialisedShaderDraws += TestD3d9CountPaths().specialised - before.specialised;
            const std::vector<BYTE> general = DrawOver(start, r, true);
            device_->SetPixelShader(nullptr);
            EXPECT_EQ(specialised, states) << "format " << f.format << " seed " << seed;
            EXPECT_EQ(general, states) << "format " << f.format << " seed " << seed;
            if (HasFailure()) return;
        }
        // Stage programs reach the specialised spans as their states do.
        EXPECT_GT(specialisedShaderDraws, kCases / 2) << f.format;
        device_->SetRenderTarget(0, back_);
    }
    TestD3d9SetGeneralSpansOnly(false);
}
