// Frames per second of the software Direct3D device on a game-like frame: a 480x480 textured
// background, 400 alpha-blended 32x32 sprites and a few boxes, into 16- and 32-bit back
// buffers, presented; through the texture stages (with the specialised spans, and with the
// general pixel path forced), through a pixel-shader span kernel (and a per-pixel kernel on
// floats), and through stage-program shaders
// (the same stages, set by constants before each draw), which should match the stages.
#include <benchmark/benchmark.h>
#include <platform/d3d9.h>
#include <platform/d3d9_kernels.h>
#include <platform/testing_d3d9.h>

#include <algorithm>
#include <vector>

namespace {

struct TexturedVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};

struct ColorVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
};

IDirect3DTexture9* MakeTexture(IDirect3DDevice9* device, UINT size, D3DFORMAT format, bool sprite) {
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(size, size, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < size; ++y) {
        BYTE* row = static_cast<BYTE*>(locked.pBits) + y * locked.Pitch;
        for (UINT x = 0; x < size; ++x) {
            // A disc with a soft edge for sprites, a pattern for the background.
            int dx = static_cast<int>(x) - static_cast<int>(size / 2);
            int dy = static_cast<int>(y) - static_cast<int>(size / 2);
            DWORD alpha =
                sprite ? (dx * dx + dy * dy < 196 ? 255u : (dx * dx + dy * dy < 256 ? 128u : 0u))
                       : 255u;
            DWORD argb =
                alpha << 24 | ((x * 5) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | ((x ^ y) & 0xFF);
            if (format == D3DFMT_A8R8G8B8) {
                reinterpret_cast<DWORD*>(row)[x] = argb;
            } else if (format == D3DFMT_A4R4G4B4) {
                reinterpret_cast<WORD*>(row)[x] =
                    static_cast<WORD>((argb >> 28) << 12 | ((argb >> 20) & 15) << 8 |
                                      ((argb >> 12) & 15) << 4 | ((argb >> 4) & 15));
            } else {  // R5G6B5
                reinterpret_cast<WORD*>(row)[x] = static_cast<WORD>(
                    ((argb >> 19) & 31) << 11 | ((argb >> 10) & 63) << 5 | ((argb >> 3) & 31));
            }
        }
    }
    texture->UnlockRect(0);
    return texture;
}

// Texture x diffuse, as the framework's plain textured shader computes it: a span kernel on
// bytes, and a per-pixel kernel on floats.
void ModulateSpanKernel(const PixelShaderSpan& span, const PixelShaderContext& ctx, DWORD* out,
                        bool* kept) {
    DWORD texels[kMaxShaderSpan];
    SampleTextureSpan(span, ctx, 0, texels);
    const int n = span.count;
    for (int i = 0; i < n; ++i) {
        DWORD t = texels[i], d = span.diffuse[i], result = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            // x y / 255 rounded to nearest.
            DWORD product = ((t >> shift) & 0xFF) * ((d >> shift) & 0xFF) + 128;
            result |= ((product + (product >> 8)) >> 8) << shift;
        }
        out[i] = result;
    }
    std::fill_n(kept, n, true);
}

bool ModulateKernel(const PixelShaderInput& in, const PixelShaderContext& ctx, ShaderFloat4* out) {
    ShaderFloat4 t = SampleTexture(ctx, 0, in.texcoord[0].x, in.texcoord[0].y);
    *out = {t.x * in.color0.x, t.y * in.color0.y, t.z * in.color0.z, t.w * in.color0.w};
    return true;
}

// The stages of the framework's plain shaders, chosen by c0.x: 0 texture x diffuse (colour
// and alpha), 1 the diffuse colour alone.
void FrameworkStages(const ShaderFloat4* c, ShaderStageProgram* out) {
    bool textured = c[0].x == 0.0f;
    out->count = 1;
    out->textureFactor = 0xFFFFFFFF;
    DWORD op = textured ? D3DTOP_MODULATE : D3DTOP_SELECTARG2;
    out->stages[0] = {op, D3DTA_TEXTURE, D3DTA_DIFFUSE, op, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                      0,  D3DTA_CURRENT};
}

enum class PixelWork { Stages, SpanKernel, PixelKernel, StagePrograms };

void AddQuad(std::vector<TexturedVertex>& v, float x, float y, float size, D3DCOLOR color) {
    float x0 = x - 0.5f, y0 = y - 0.5f, x1 = x0 + size, y1 = y0 + size;
    v.insert(v.end(), {{x0, y0, 0.2f, 1, color, 0, 0},
                       {x1, y0, 0.2f, 1, color, 1, 0},
                       {x0, y1, 0.2f, 1, color, 0, 1},
                       {x1, y0, 0.2f, 1, color, 1, 0},
                       {x1, y1, 0.2f, 1, color, 1, 1},
                       {x0, y1, 0.2f, 1, color, 0, 1}});
}

void RenderFrames(benchmark::State& state, D3DFORMAT backFormat, PixelWork work,
                  bool generalPath = false) {
    TestD3d9Reset();
    TestD3d9SetGeneralSpansOnly(generalPath);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 640;
    pp.BackBufferHeight = 480;
    pp.BackBufferFormat = backFormat;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.Windowed = TRUE;
    pp.hDeviceWindow = reinterpret_cast<HWND>(1);
    IDirect3DDevice9* device = nullptr;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, pp.hDeviceWindow, D3DCREATE_MIXED_VERTEXPROCESSING, &pp,
                      &device);
    bool sixteen = backFormat != D3DFMT_X8R8G8B8;
    IDirect3DTexture9* background =
        MakeTexture(device, 512, sixteen ? D3DFMT_R5G6B5 : D3DFMT_A8R8G8B8, false);
    IDirect3DTexture9* sprite =
        MakeTexture(device, 32, sixteen ? D3DFMT_A4R4G4B4 : D3DFMT_A8R8G8B8, true);

    std::vector<TexturedVertex> backgroundQuad;
    AddQuad(backgroundQuad, 80, 0, 480, 0xFFFFFFFF);
    for (auto& v : backgroundQuad) {
        v.u *= 480.0f / 512.0f;
        v.v *= 480.0f / 512.0f;
    }
    std::vector<TexturedVertex> sprites;
    unsigned seed = 12345;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        float x = static_cast<float>((seed >> 8) % 608), y = static_cast<float>((seed >> 18) % 448);
        AddQuad(sprites, x, y, 32, 0xC0FFFFFF);
    }
    std::vector<ColorVertex> boxes;
    for (int i = 0; i < 6; ++i) {
        float x0 = 40.0f + i * 90, y0 = 400, x1 = x0 + 60, y1 = 460;
        D3DCOLOR c = 0x80FF4020;
        boxes.insert(boxes.end(), {{x0, y0, 0.2f, 1, c},
                                   {x1, y0, 0.2f, 1, c},
                                   {x0, y1, 0.2f, 1, c},
                                   {x1, y0, 0.2f, 1, c},
                                   {x1, y1, 0.2f, 1, c},
                                   {x0, y1, 0.2f, 1, c}});
    }

    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    IDirect3DPixelShader9* shader = nullptr;
    if (work == PixelWork::SpanKernel) {
        RegisterPixelShaderSpanKernel("bench_modulate_span", ModulateSpanKernel);
        std::vector<DWORD> code = MakeShaderKernelRecord(false, "bench_modulate_span");
        device->CreatePixelShader(code.data(), &shader);
    } else if (work == PixelWork::PixelKernel) {
        RegisterPixelShaderKernel("bench_modulate", ModulateKernel);
        std::vector<DWORD> code = MakeShaderKernelRecord(false, "bench_modulate");
        device->CreatePixelShader(code.data(), &shader);
    } else if (work == PixelWork::StagePrograms) {
        RegisterPixelShaderStages("bench_stages", FrameworkStages);
        std::vector<DWORD> code = MakeShaderKernelRecord(false, "bench_stages");
        device->CreatePixelShader(code.data(), &shader);
    }
    const bool programs = work == PixelWork::StagePrograms;
    const float texturedProgram[4] = {0, 0, 0, 0}, colorProgram[4] = {1, 0, 0, 0};

    for (auto _ : state) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        device->BeginScene();
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->SetPixelShader(shader);
        if (programs) device->SetPixelShaderConstantF(0, texturedProgram, 1);
        device->SetTexture(0, background);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, backgroundQuad.data(),
                                sizeof(TexturedVertex));
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetTexture(0, sprite);
        if (programs) device->SetPixelShaderConstantF(0, texturedProgram, 1);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 800, sprites.data(), sizeof(TexturedVertex));
        device->SetTexture(0, nullptr);
        // The kernel frame draws its boxes through the stages; stage programs draw everything.
        if (programs) {
            device->SetPixelShaderConstantF(0, colorProgram, 1);
        } else {
            device->SetPixelShader(nullptr);
        }
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 12, boxes.data(), sizeof(ColorVertex));
        device->SetPixelShader(nullptr);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);

    if (shader != nullptr) shader->Release();
    sprite->Release();
    background->Release();
    device->Release();
    d3d->Release();
    TestD3d9SetGeneralSpansOnly(false);
}

void BM_GameFrame16(benchmark::State& state) {
    RenderFrames(state, D3DFMT_R5G6B5, PixelWork::Stages);
}
void BM_GameFrame32(benchmark::State& state) {
    RenderFrames(state, D3DFMT_X8R8G8B8, PixelWork::Stages);
}
void BM_GameFrame16GeneralPath(benchmark::State& state) {
    RenderFrames(state, D3DFMT_R5G6B5, PixelWork::Stages, true);
}
void BM_GameFrame32GeneralPath(benchmark::State& state) {
    RenderFrames(state, D3DFMT_X8R8G8B8, PixelWork::Stages, true);
}
void BM_GameFrame16Shader(benchmark::State& state) {
    RenderFrames(state, D3DFMT_R5G6B5, PixelWork::SpanKernel);
}
void BM_GameFrame32Shader(benchmark::State& state) {
    RenderFrames(state, D3DFMT_X8R8G8B8, PixelWork::SpanKernel);
}
void BM_GameFrame16PixelKernel(benchmark::State& state) {
    RenderFrames(state, D3DFMT_R5G6B5, PixelWork::PixelKernel);
}
void BM_GameFrame32PixelKernel(benchmark::State& state) {
    RenderFrames(state, D3DFMT_X8R8G8B8, PixelWork::PixelKernel);
}
void BM_GameFrame16StagePrograms(benchmark::State& state) {
    RenderFrames(state, D3DFMT_R5G6B5, PixelWork::StagePrograms);
}
void BM_GameFrame32StagePrograms(benchmark::State& state) {
    RenderFrames(state, D3DFMT_X8R8G8B8, PixelWork::StagePrograms);
}

}  // namespace

BENCHMARK(BM_GameFrame16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame16GeneralPath)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame32GeneralPath)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame16Shader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame32Shader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame16PixelKernel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame32PixelKernel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame16StagePrograms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame32StagePrograms)->Unit(benchmark::kMillisecond);
