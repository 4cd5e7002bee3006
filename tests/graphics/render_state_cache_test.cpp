#include "graphics/render_state_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "draw_fixture.h"
#include "graphics/blend_states.h"
#include "graphics/graphics_system.h"
#include "graphics/state_resend.h"

namespace {

class RenderStateCacheTest : public DrawFixture {
protected:
    static int CountRenderStateCalls(const std::vector<TestD3d9Call>& calls,
                                     D3DRENDERSTATETYPE state) {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const auto& c) {
            return c.kind == TestD3d9CallKind::RenderState && c.index == state;
        }));
    }

    // Six more vertices pending in the batch.
    void QueueOneQuad() {
        if (texture_ == nullptr)
            texture_ = MakeTexture(4, 4, std::vector<uint32_t>(16, 0xFFFFFFFF));
        int before = gVertexBatch.vertexCount;
        QueueQuad(texture_, TextureCreateFlags{}, 10, 10, 4, 4);
        ASSERT_EQ(gVertexBatch.vertexCount % 6, 0);
        ASSERT_LE(gVertexBatch.vertexCount, before + 6);
    }

    IDirect3DTexture9* texture_ = nullptr;
};

TEST_F(RenderStateCacheTest, AnEqualValueIsNotSentAndANewOneIsSentOnce) {
    StartDrawing(32);
    TestD3d9RecordCalls(true);
    EXPECT_EQ(SetCachedZFunc(D3DCMP_LESSEQUAL), 0);
    EXPECT_EQ(CountRenderStateCalls(TestD3d9RecordedCalls(), D3DRS_ZFUNC), 0);
    EXPECT_EQ(SetCachedZFunc(D3DCMP_ALWAYS), 0);
    EXPECT_EQ(SetCachedZFunc(D3DCMP_ALWAYS), 0);
    EXPECT_EQ(CountRenderStateCalls(TestD3d9RecordedCalls(), D3DRS_ZFUNC), 1);
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ZFUNC),
              static_cast<DWORD>(D3DCMP_ALWAYS));

    // A value set behind the cache's back is not corrected by an equal request.
    DeviceSetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER);
    SetCachedZFunc(D3DCMP_ALWAYS);
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ZFUNC),
              static_cast<DWORD>(D3DCMP_NEVER));
}

TEST_F(RenderStateCacheTest, ANewValueDrawsThePendingBatchFirst) {
    StartDrawing(32);
    FillBackBuffer({10, 10, 14, 14}, 0xFF000000);
    QueueOneQuad();
    EXPECT_EQ(SetCachedShadeMode(D3DSHADE_GOURAUD), 0);
    EXPECT_EQ(gVertexBatch.vertexCount, 0);
    UINT width = 0, height = 0;
    std::vector<DWORD> pixels = TestD3d9ReadSurface(gDeviceResources.backBuffer, &width, &height);
    EXPECT_EQ(pixels[12 * width + 12], 0xFFFFFFFFu);

    // An unchanged value keeps the batch (the draw itself asked for flat shading).
    QueueOneQuad();
    SetCachedShadeMode(D3DSHADE_FLAT);
    EXPECT_EQ(gVertexBatch.vertexCount, 6);
}

TEST_F(RenderStateCacheTest, DrawsWithTheSameStatesShareOneBatch) {
    StartDrawing(32);
    QueueOneQuad();
    TestD3d9RecordCalls(true);
    for (int i = 0; i < 10; ++i) {
        QueueQuad(texture_, TextureCreateFlags{}, 10 + i, 10, 4, 4);
    }
    EXPECT_EQ(gVertexBatch.vertexCount, 66);
    EXPECT_TRUE(TestD3d9RecordedCalls().empty());
}

TEST_F(RenderStateCacheTest, ResendingSendsEverythingWithoutFlushing) {
    StartDrawing(32);
    QueueOneQuad();
    FlushVertexBatchNow();
    // States changed behind the cache's back, as a new device would hold them.
    DeviceSetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    DeviceSetRenderState(D3DRS_ZENABLE, TRUE);
    DeviceSetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    DeviceSetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
    QueueOneQuad();
    ASSERT_EQ(ResendAllRenderStates(), 0);
    EXPECT_EQ(gVertexBatch.vertexCount, 6);
    EXPECT_EQ(gRenderStates.ResendAll, 0);
    IDirect3DDevice9* device = gDirect3D.device;
    EXPECT_EQ(TestD3d9ReadRenderState(device, D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_NONE));
    EXPECT_EQ(TestD3d9ReadRenderState(device, D3DRS_ZENABLE), 0u);
    EXPECT_EQ(TestD3d9ReadSamplerState(device, 0, D3DSAMP_MAGFILTER),
              static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(TestD3d9ReadStageState(device, 0, D3DTSS_COLOROP),
              static_cast<DWORD>(D3DTOP_SELECTARG1));
    EXPECT_EQ(TestD3d9ReadTexture(device, 0), texture_);
}

TEST_F(RenderStateCacheTest, TheResendFollowsItsOrder) {
    StartDrawing(32);
    QueueOneQuad();
    FlushVertexBatchNow();
    TestD3d9RecordCalls(true);
    ResendAllRenderStates();
    std::vector<TestD3d9Call> calls = TestD3d9RecordedCalls();
    using K = TestD3d9CallKind;
    struct Expected {
        K kind;
        DWORD index, type;
    };
    const Expected order[] = {
        {K::RenderState, D3DRS_DITHERENABLE, 0},
        {K::RenderState, D3DRS_CULLMODE, 0},
        {K::SamplerState, 0, D3DSAMP_MAGFILTER},
        {K::RenderState, D3DRS_SHADEMODE, 0},
        {K::SamplerState, 0, D3DSAMP_MAXANISOTROPY},
        {K::SamplerState, 0, D3DSAMP_ADDRESSU},
        {K::StageState, 0, D3DTSS_TEXTURETRANSFORMFLAGS},
        {K::RenderState, D3DRS_FOGENABLE, 0},
        {K::RenderState, D3DRS_FOGVERTEXMODE, 0},
        {K::RenderState, D3DRS_FOGCOLOR, 0},
        {K::RenderState, D3DRS_FOGSTART, 0},
        {K::RenderState, D3DRS_FOGDENSITY, 0},
        {K::RenderState, D3DRS_ZENABLE, 0},
        {K::RenderState, D3DRS_ZWRITEENABLE, 0},
        {K::RenderState, D3DRS_ZFUNC, 0},
        {K::RenderState, D3DRS_DEPTHBIAS, 0},
        {K::RenderState, D3DRS_FILLMODE, 0},
        {K::Transform, 0, D3DTS_WORLD},
        {K::Transform, 0, D3DTS_VIEW},
        {K::Transform, 0, D3DTS_PROJECTION},
        {K::Material, 0, 0},
        {K::RenderState, D3DRS_SPECULARENABLE, 0},
        {K::RenderState, D3DRS_DIFFUSEMATERIALSOURCE, 0},
        {K::RenderState, D3DRS_AMBIENT, 0},
        {K::RenderState, D3DRS_LIGHTING, 0},
        {K::Viewport, 0, 0},
        {K::StageState, 0, D3DTSS_TEXCOORDINDEX},
        {K::RenderState, D3DRS_ALPHATESTENABLE, 0},
        {K::Texture, 0, 0},
        {K::StageState, 0, D3DTSS_COLOROP},
    };
    auto at = calls.begin();
    for (const Expected& e : order) {
        at = std::find_if(at, calls.end(), [&](const TestD3d9Call& c) {
            return c.kind == e.kind && c.index == e.index && c.type == e.type;
        });
        ASSERT_NE(at, calls.end()) << "call #" << (&e - order) << " missing or out of order";
    }
}

TEST_F(RenderStateCacheTest, WithoutADeviceSettersAnswerAsTheyShould) {
    RenderStateCache before = gRenderStates;
    EXPECT_EQ(SetCachedZEnable(1), -1);
    EXPECT_EQ(SetCachedCullMode(1), -1);
    EXPECT_EQ(ApplyTextureFilterMode(1), -1);
    EXPECT_EQ(ApplyViewport(&gRenderStates.viewport), -1);
    EXPECT_EQ(SetCachedFogMode(D3DFOG_LINEAR), 0);
    EXPECT_EQ(SetCachedFogColor(0x123456), 0);
    EXPECT_EQ(SetCachedFogRange(1.0f, 2.0f), 0);
    EXPECT_EQ(SetPendingBlendMode(BlendAdditive, 0, 0), 0);
    EXPECT_EQ(SelectDrawTexture(nullptr), 0);
    EXPECT_EQ(SelectBlendTexture(nullptr, 0, 0), 0);
    EXPECT_EQ(ChangeAlphaTestState(D3DCMP_GREATER, 10), -1);
    EXPECT_EQ(ApplyBlendStates(0, nullptr, 0), -1);
    EXPECT_EQ(FlushVertexBatchNow(), -1);
    EXPECT_EQ(gRenderStates.fogMode, before.fogMode);
    EXPECT_EQ(gRenderStates.fogColor, before.fogColor);
    EXPECT_EQ(gRenderStates.blendMode, before.blendMode);
}

TEST_F(RenderStateCacheTest, AnUnknownSamplingModeSendsNothing) {
    StartDrawing(32);
    TestD3d9RecordCalls(true);
    EXPECT_EQ(ApplyTextureFilterMode(3), -1);
    EXPECT_TRUE(TestD3d9RecordedCalls().empty());
    EXPECT_EQ(ApplyTextureFilterMode(2), 0);
    IDirect3DDevice9* device = gDirect3D.device;
    for (DWORD stage = 0; stage < 8; ++stage) {
        EXPECT_EQ(TestD3d9ReadSamplerState(device, stage, D3DSAMP_MAGFILTER),
                  static_cast<DWORD>(D3DTEXF_LINEAR));
        EXPECT_EQ(TestD3d9ReadSamplerState(device, stage, D3DSAMP_MINFILTER),
                  static_cast<DWORD>(D3DTEXF_ANISOTROPIC));
        EXPECT_EQ(TestD3d9ReadSamplerState(device, stage, D3DSAMP_MIPFILTER),
                  static_cast<DWORD>(D3DTEXF_LINEAR));
    }
}

TEST_F(RenderStateCacheTest, TheSameBlendStateTwiceIsSentOnce) {
    StartDrawing(32);
    ChangeBlendMode(BlendTranslucent, 100);
    QueueOneQuad();
    TestD3d9RecordCalls(true);
    ChangeBlendMode(BlendAdditive, 100);
    QueueOneQuad();
    ChangeBlendMode(BlendAdditive, 200);
    QueueOneQuad();
    std::vector<TestD3d9Call> calls = TestD3d9RecordedCalls();
    EXPECT_EQ(CountRenderStateCalls(calls, D3DRS_DESTBLEND), 1);
    EXPECT_EQ(CountRenderStateCalls(calls, D3DRS_SRCBLEND), 0);
}

TEST_F(RenderStateCacheTest, FlushesCountPrimitivesAndResetTheWritePointer) {
    StartDrawing(32);
    FlushVertexBatchNow();
    uint8_t* start = gVertexBatch.writePointer;
    EXPECT_EQ(FlushVertexBatchNow(), 0);
    EXPECT_EQ(gVertexBatch.writePointer, start);
    // A strip of two vertices is no triangle.
    PrepareDrawStates(nullptr, nullptr, 0);
    auto* v = static_cast<ColoredVertex*>(ReserveBatchVertices(0, D3DPT_TRIANGLESTRIP, 2));
    ASSERT_NE(v, nullptr);
    v[0] = {0, 0, 0, 1, 0xFFFFFFFF};
    v[1] = {100, 100, 0, 1, 0xFFFFFFFF};
    EXPECT_EQ(FlushVertexBatchNow(), 0);
    EXPECT_EQ(gVertexBatch.vertexCount, 0);
    EXPECT_EQ(gVertexBatch.writePointer, start);
    // A full batch is drawn before more vertices are queued.
    auto queueSix = [] {
        void* at = ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
        ASSERT_NE(at, nullptr);
        std::memset(at, 0, 6 * sizeof(ColoredVertex));
    };
    while (gVertexBatch.vertexCount + 6 <= 64512 / 20) queueSix();
    queueSix();
    EXPECT_EQ(gVertexBatch.vertexCount, 6);
    EXPECT_EQ(ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 64512 / 20 + 1), nullptr);
}

}  // namespace
