// A device object that goes leaves no trace in the render-state cache: an object made later may
// sit at its address, and the cache must not take it for the one it remembers (the device has
// already dropped the old one from its bindings).
#include <gtest/gtest.h>
#include <orbek/orbek.h>

#include <set>

#include "graph_fixture.h"
#include "graphics/draw_screen.h"
#include "graphics/render_state_cache.h"
#include "graphics/vertex_batch.h"

namespace {

class ReleasedObjectsTest : public GraphFixture {
protected:
    void StartOnDevice() {
        StartDevice(32);
        ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    }

    Handle MakeGraph(int size, uint32_t colour) {
        Handle graph = BuildGraphFromGraphImage(
            MakeImage(size, size, [=](int, int) { return colour; }), nullptr, 0);
        EXPECT_NE(graph, -1);
        return graph;
    }

    static bool CacheNames(const void* object) {
        const RenderStateCache& c = gRenderStates;
        if (c.drawTexture == object || c.blendTexture == object || c.declaration == object) {
            return true;
        }
        for (const CachedStage& stage : c.blend.stages) {
            if (stage.texture == object) return true;
        }
        for (IDirect3DSurface9* target : c.renderTargets) {
            if (target == object) return true;
        }
        return false;
    }
};

TEST_F(ReleasedObjectsTest, ADeletedGraphsTextureAndTargetSurfaceAreForgotten) {
    StartOnDevice();
    Handle graph = MakeGraph(8, 0xFF0000);
    ASSERT_EQ(PutGraph(0, 0, graph, 0), 0);
    FlushVertexBatchNow();
    const void* texture = GetGraphFirstTexture(GetGraphRecord(graph, 0));
    ASSERT_EQ(gRenderStates.drawTexture, texture);
    ASSERT_EQ(gRenderStates.blend.stages[0].texture, texture);
    ASSERT_EQ(DisposeGraph(graph), 0);
    EXPECT_FALSE(CacheNames(texture));

    // A target bound past the draw settings (as the filters bind their work graphs).
    GraphCreateSettings settings = gDrawSettings.graphCreate;
    settings.drawTarget = 1;
    Handle target = CreateEmptyGraph(&settings, 16, 16, 0, 0, 0);
    ASSERT_NE(target, -1);
    IDirect3DSurface9* surface = GetGraphTargetSurface(GetGraphRecord(target, 0));
    ASSERT_EQ(BindRenderTargetSurface(surface, 1), 0);
    ASSERT_EQ(DisposeGraph(target), 0);
    EXPECT_FALSE(CacheNames(surface));
}

// A graph deleted while its draw waits in the batch is drawn before its texture goes.
TEST_F(ReleasedObjectsTest, AGraphDeletedRightAfterItsDrawIsStillDrawn) {
    StartOnDevice();
    Handle graph = MakeGraph(8, 0x00FF00);
    ASSERT_EQ(PutGraph(4, 4, graph, 0), 0);
    ASSERT_GT(gVertexBatch.vertexCount, 0);
    ASSERT_EQ(DisposeGraph(graph), 0);
    FlushVertexBatchNow();
    EXPECT_EQ(TestD3d9ReadPixel(gDeviceResources.backBuffer, 8, 8) & 0xFFFFFF, 0x00FF00u);
}

// Graphs deleted and made again draw from their own texture each time, also when the new
// texture lands where the deleted one was (as freed memory is handed out again in optimised
// builds; a sanitizer's quarantine keeps addresses apart, and then the loop only draws).
TEST_F(ReleasedObjectsTest, GraphsMadeAgainAreDrawnFromTheirOwnTextures) {
    StartOnDevice();
    std::set<const void*> seen;
    int repeats = 0;
    for (int i = 0; i < 64 && repeats < 8; ++i) {
        const uint32_t colour = 0x102030u * static_cast<uint32_t>(i % 7 + 1);
        Handle graph = MakeGraph(16, colour);
        repeats += !seen.insert(GetGraphFirstTexture(GetGraphRecord(graph, 0))).second;
        // Over the last one, with nothing drawn in between that would unset the texture.
        ASSERT_EQ(PutGraph(8, 8, graph, 0), 0);
        FlushVertexBatchNow();
        int wrong = 0;
        for (int y = 8; y < 24; ++y) {
            for (int x = 8; x < 24; ++x) {
                wrong +=
                    (TestD3d9ReadPixel(gDeviceResources.backBuffer, x, y) & 0xFFFFFF) != colour;
            }
        }
        ASSERT_EQ(wrong, 0) << "draw " << i << " after " << repeats << " reused addresses";
        ASSERT_EQ(DisposeGraph(graph), 0);
    }
    RecordProperty("reused_addresses", repeats);
}

}  // namespace
