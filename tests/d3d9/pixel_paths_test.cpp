// Which pixel path draws: the specialised spans where the state has one and the processor runs
// SSE2, the general path when forced or without SSE2; a kept pipeline still sees new texels;
// a warm device allocates nothing to draw, stage-program shaders included.
#include <platform/d3d9_kernels.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "device_fixture.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

}  // namespace

// Counts the allocations made while gCounting is set; everything else is as usual.
void* operator new(size_t size) {
    if (gCounting) ++gAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    if (gCounting) ++gAllocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
// These are the replacements themselves: memory from malloc goes back to free. GCC, seeing
// the replacements inlined, takes free for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace {

// Texture x diffuse, modulated once more by a factor whose alpha is c0.x in 255ths.
void FadeStages(const ShaderFloat4* c, ShaderStageProgram* out) {
    out->count = 2;
    out->textureFactor = static_cast<DWORD>(c[0].x) << 24 | 0xFFFFFF;
    out->stages[0] = {D3DTOP_MODULATE,
                      D3DTA_TEXTURE,
                      D3DTA_DIFFUSE,
                      D3DTOP_MODULATE,
                      D3DTA_TEXTURE,
                      D3DTA_DIFFUSE,
                      0,
                      D3DTA_CURRENT};
    out->stages[1] = {D3DTOP_MODULATE,
                      D3DTA_CURRENT,
                      D3DTA_TFACTOR,
                      D3DTOP_MODULATE,
                      D3DTA_CURRENT,
                      D3DTA_TFACTOR,
                      0,
                      D3DTA_CURRENT};
}

class PixelPathTest : public DeviceTest {
protected:
    // A translucent textured quad and a flat box: states the spans are made for.
    void DrawScene(IDirect3DTexture9* texture) {
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device_->SetTexture(0, texture);
        TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 1, 1, 0xC0FFFFFF);
        device_->SetTexture(0, nullptr);
        FillRect(2, 2, 6, 6, 0x80204080);
    }

    TestD3d9PathCounts Since(const TestD3d9PathCounts& before) {
        TestD3d9PathCounts now = TestD3d9CountPaths();
        return {now.specialised - before.specialised, now.general - before.general};
    }
};

}  // namespace

TEST_F(PixelPathTest, SpansDrawUnlessForcedOrWithoutSse2) {
    TestD3d9SetGeneralSpansOnly(false);  // whatever the environment asks for
    CreateDevice(8, 8);
    IDirect3DTexture9* texture = MakeTexture32(D3DFMT_A8R8G8B8, 2, 2, {1, 2, 3, 4});
    TestD3d9PathCounts before = TestD3d9CountPaths();
    DrawScene(texture);
    TestD3d9PathCounts drawn = Since(before);
    EXPECT_EQ(drawn.specialised, 4);
    EXPECT_EQ(drawn.general, 0);

    TestD3d9SetGeneralSpansOnly(true);
    before = TestD3d9CountPaths();
    DrawScene(texture);
    drawn = Since(before);
    EXPECT_EQ(drawn.specialised, 0);
    EXPECT_EQ(drawn.general, 4);
    TestD3d9SetGeneralSpansOnly(false);

    // The processor is asked when a device first draws.
    ReleaseDevice();
    TestCpu cpu{true, "GenuineIntel", 0x00800000, 0, ""};  // MMX without SSE2
    TestSetCpu(&cpu);
    CreateDevice(8, 8);
    texture = MakeTexture32(D3DFMT_A8R8G8B8, 2, 2, {1, 2, 3, 4});
    before = TestD3d9CountPaths();
    DrawScene(texture);
    EXPECT_EQ(Since(before).specialised, 0);
    TestSetCpu(nullptr);
}

TEST_F(PixelPathTest, TexelsChangedUnderAnUnchangedStateAreDrawn) {
    CreateDevice(4, 1);
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(4, 1, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr),
                  D3D_OK);
        Keep(texture);
        device_->SetTexture(0, texture);
        for (DWORD value : {0x00000000u, 0xFFFFFFFFu}) {
            D3DLOCKED_RECT locked;
            ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
            std::memset(locked.pBits, static_cast<int>(value & 0xFF), 4 * 4);
            texture->UnlockRect(0);
            TexturedRect(-0.5f, -0.5f, 3.5f, 0.5f, 0, 0, 1, 1);
            EXPECT_EQ(Pixel(2, 0), value | 0xFF000000u) << format;
        }
    }
}

TEST_F(PixelPathTest, AWarmDeviceAllocatesNothingToDraw) {
    CreateDevice(64, 48);
    ASSERT_TRUE(RegisterPixelShaderStages("paths_fade", FadeStages));
    std::vector<DWORD> code = MakeShaderKernelRecord(false, "paths_fade");
    IDirect3DPixelShader9* shader = nullptr;
    ASSERT_EQ(device_->CreatePixelShader(code.data(), &shader), D3D_OK);
    Keep(shader);
    float fade[4] = {255, 0, 0, 0};
    IDirect3DTexture9* texture = MakeTexture32(D3DFMT_A8R8G8B8, 4, 4, std::vector<DWORD>(16, 7));
    const TexturedScreenVertex quad[] = {{-0.5f, -0.5f, 0, 1, 0xC0FFFFFF, 0, 0},
                                         {40.5f, -0.5f, 0, 1, 0xC0FFFFFF, 1, 0},
                                         {-0.5f, 30.5f, 0, 1, 0xC0FFFFFF, 0, 1},
                                         {40.5f, 30.5f, 0, 1, 0xC0FFFFFF, 1, 1}};
    const ColorVertex lines[] = {{1, 1, 0, 1, 0xFFFFFFFF}, {60, 40, 0, 1, 0xFF00FF00}};
    // An untransformed triangle reaching past the clip planes.
    struct Untransformed {
        float x, y, z;
        D3DCOLOR diffuse;
    };
    const Untransformed clipped[] = {
        {-3, -1, 0.5f, 0xFF0000FF}, {1, 4, 0.5f, 0xFF00FF00}, {0.5f, -3, -1, 0xFFFF0000}};
    auto frame = [&] {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0);
        device_->BeginScene();
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device_->SetTexture(0, texture);
        device_->SetFVF(kTexturedFvf);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexturedScreenVertex));
        // A stage-program shader whose constants change every frame, so its stages are
        // rebuilt.
        fade[0] = 255 - fade[0];
        device_->SetPixelShaderConstantF(0, fade, 1);
        device_->SetPixelShader(shader);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexturedScreenVertex));
        device_->SetPixelShader(nullptr);
        device_->SetTexture(0, nullptr);
        device_->SetFVF(kColorFvf);
        device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, lines, sizeof(ColorVertex));
        device_->DrawPrimitiveUP(D3DPT_POINTLIST, 2, lines, sizeof(ColorVertex));
        device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clipped, sizeof(Untransformed));
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
    };
    frame();
    gAllocations = 0;
    gCounting = true;
    frame();
    frame();
    gCounting = false;
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_NE(Pixel(3, 3), 0xFF102030u) << "the frame was drawn";
}
