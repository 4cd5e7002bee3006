#include "graphics/graph_creation.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "graph_fixture.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_transfer.h"
#include "graphics/graphics_system.h"
#include "image/image_convert.h"

namespace {

class GraphCreationTest : public GraphFixture {
protected:
    // The used area of every texture piece counted per image pixel: 1 everywhere when the
    // pieces cover the image exactly once.
    static std::vector<int> CoverCounts(const GraphTextureInfo& info) {
        std::vector<int> count(static_cast<size_t>(info.width) * info.height, 0);
        for (int i = 0; i < info.pieceCount; ++i) {
            const TexturePiece& p = info.pieces[i];
            for (int y = p.y; y < p.y + p.usedHeight; ++y) {
                for (int x = p.x; x < p.x + p.usedWidth; ++x) {
                    if (x < info.width && y < info.height) ++count[size_t(y) * info.width + x];
                }
            }
        }
        return count;
    }

    // The texels of a texture piece's level 0, read back from the device.
    static std::vector<DWORD> Texels(const TexturePiece& piece) {
        UINT w = 0, h = 0;
        return TestD3d9ReadSurface(piece.surface, &w, &h);
    }
};

// Colours that are never the transparent black.
uint32_t Opaque(int x, int y) {
    return 0x010101u + static_cast<uint32_t>((x * 37) << 16 | (y * 11) << 8 | (x ^ y));
}

TEST_F(GraphCreationTest, PiecesCoverTheImageOnceAndRepeatItsEdgeForSampling) {
    StartDevice(32);
    gDrawSettings.graphCreate.maxTextureSize = 64;
    GraphImage* image = MakeImage(125, 60, Opaque);
    Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
    ASSERT_NE(graph, -1);
    const GraphRecord* record = GetGraphRecord(graph, 0);
    const GraphTextureInfo& info = *record->textureInfo;
    // 125 splits into 64 + 64 (the last 32 + 32 merged), 60 fits one piece of 64.
    ASSERT_EQ(info.pieceCount, 2);
    EXPECT_EQ(info.pieces[1].x, 64);
    EXPECT_EQ(info.pieces[1].usedWidth, 61);
    EXPECT_EQ(info.pieces[0].usedHeight, 60);
    EXPECT_EQ(CoverCounts(info), std::vector<int>(125 * 60, 1));
    ASSERT_EQ(record->pieceCount, 2);
    EXPECT_EQ(GraphPieces(record)[1].drawX, 64);
    EXPECT_FLOAT_EQ(GraphPieces(record)[1].corners[3][2], 61.0f / 64.0f);
    EXPECT_FLOAT_EQ(GraphPieces(record)[1].corners[3][3], 60.0f / 64.0f);

    for (int i = 0; i < 2; ++i) {
        const TexturePiece& p = info.pieces[i];
        std::vector<DWORD> texels = Texels(p);
        auto texel = [&](int x, int y) { return texels[size_t(y) * p.texWidth + x]; };
        for (int y = 0; y < p.usedHeight; ++y) {
            for (int x = 0; x < p.usedWidth; ++x) {
                ASSERT_EQ(texel(x, y), Opaque(p.x + x, y) | 0xFF000000)
                    << i << " " << x << "," << y;
            }
        }
        // The row below the image repeats its last row; the second piece also repeats the last
        // column and, in the corner, the last pixel.
        for (int x = 0; x < p.usedWidth; ++x) EXPECT_EQ(texel(x, 60), texel(x, 59));
        if (i == 1) {
            for (int y = 0; y < 60; ++y) EXPECT_EQ(texel(61, y), texel(60, y));
            EXPECT_EQ(texel(61, 60), texel(60, 59));
        }
    }
}

TEST_F(GraphCreationTest, EveryUploadRouteGivesTheSameTexels) {
    StartDevice(32);
    std::mt19937 rng(7);
    GraphImage* image = MakeImage(100, 70, [&](int, int) { return (rng() & 0xFFFFFF) | 0x010101; });
    GraphImage* patch = MakeImage(30, 20, [](int x, int y) { return 0x102030u + x * 3 + y; });
    GraphCreateSettings& s = gDrawSettings.graphCreate;
    // Managed pool by lock, pooled system-memory texture, draw target through a surface.
    std::vector<std::vector<DWORD>> results;
    for (int route = 0; route < 3; ++route) {
        s.managedPool = route == 0;
        s.drawTarget = route == 2;
        Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
        ASSERT_NE(graph, -1);
        // A second, partial upload changes only its own rectangle.
        RECT part = {0, 0, 30, 20};
        ASSERT_EQ(UploadImageToGraph(graph, &part, 40, 30, patch, nullptr, 0, 0, 0), 0);
        const TextureCreateFlags& f = GetGraphRecord(graph, 0)->textureInfo->flags;
        // An Ex device has no managed pool: its graphs take the system-memory route.
        EXPECT_EQ(f.managedPool, route == 0 && gDirect3D.deviceEx == nullptr ? 1 : 0);
        EXPECT_EQ(f.drawTarget, route == 2 ? 1 : 0);
        const TexturePiece& piece = GetGraphRecord(graph, 0)->textureInfo->pieces[0];
        std::vector<DWORD> texels = Texels(piece);
        std::vector<DWORD> used;
        int textureWidth = piece.texWidth;
        for (int y = 0; y < 70; ++y) {
            for (int x = 0; x < 100; ++x) used.push_back(texels[y * textureWidth + x] & 0xFFFFFF);
        }
        results.push_back(used);
        EXPECT_EQ(used[35 * 100 + 45], (0x102030u + 5 * 3 + 5) & 0xFFFFFF);
        EXPECT_EQ(used[10 * 100 + 10], ReadGraphImagePixelARGB(image, 10, 10) & 0xFFFFFF);
        DisposeGraph(graph);
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
}

// Each call of the pump in a wait for a lent transfer texture moves the clock on by a second;
// the ninth gives the lent textures back.
std::vector<int> gLentTextures;
int gWaitPumps = 0;
int PumpAndGiveBackLate() {
    TestAdvanceClockMicroseconds(1000000);
    if (++gWaitPumps == 9) {
        for (int index : gLentTextures) ReleaseMemoryTexture(index, 0);
    }
    return 0;
}

// An upload waiting for a lent transfer texture logs once when the wait has lasted five seconds,
// and waits on until the texture comes back.
TEST_F(GraphCreationTest, ALongWaitForALentTransferTextureIsLoggedOnce) {
    StartDevice(32);
    gDrawSettings.graphCreate.managedPool = 0;
    GraphImage* image = MakeImage(16, 16, Opaque);
    Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
    ASSERT_NE(graph, -1);
    const GraphTextureInfo& info = *GetGraphRecord(graph, 0)->textureInfo;
    ASSERT_EQ(info.flags.managedPool, 0);
    gLentTextures.clear();
    for (int i = 0; i < kMemoryTexturesPerShape; ++i) {
        gLentTextures.push_back(AcquireMemoryTexture(info.pieces[0].texWidth,
                                                     info.pieces[0].texHeight, info.mipLevels,
                                                     info.formatIndex, 0));
        ASSERT_GE(gLentTextures.back(), 0);
    }
    const ShellHooks hooks = gShellHooks;
    gShellHooks.pumpMessages = PumpAndGiveBackLate;
    gWaitPumps = 0;
    RECT all = {0, 0, 16, 16};
    const int result = UploadImageToGraph(graph, &all, 0, 0, image, nullptr, 0, 0, 0);
    gShellHooks = hooks;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(gWaitPumps, 9);
    const std::string log = ReadLog();
    const std::string line = "画像転送用のシステムメモリテクスチャが５秒以上返されません";
    const size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find(line, first + 1), std::string::npos);
}

TEST_F(GraphCreationTest, OnlyAPlainDeviceKeepsManagedGraphsInTheManagedPool) {
    GraphImage* image = MakeImage(20, 10, Opaque);
    for (bool ex : {true, false}) {
        TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", !ex);
        StartDevice(32);
        ASSERT_EQ(gDirect3D.deviceEx != nullptr, ex);
        gDrawSettings.graphCreate.managedPool = 1;
        Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
        ASSERT_NE(graph, -1) << ex;
        const GraphTextureInfo& info = *GetGraphRecord(graph, 0)->textureInfo;
        EXPECT_EQ(info.flags.managedPool, ex ? 0 : 1);
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(info.pieces[0].texture->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_EQ(desc.Pool, ex ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED);
        std::vector<DWORD> texels = Texels(info.pieces[0]);
        EXPECT_EQ(texels[5 * info.pieces[0].texWidth + 7] & 0xFFFFFF, Opaque(7, 5) & 0xFFFFFF);
        // Read back through the pixel access as a managed texture is.
        EXPECT_EQ(ReadGraph(graph).raw,
                  Expected(*image, nullptr, ReadGraph(graph).format, {0, 0, 20, 10}, true));
        DisposeGraph(graph);
        ShutdownLibrary();
    }
}

TEST_F(GraphCreationTest, ASquareOnlyDeviceGetsSquaresThatCoverTheImage) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.textureCaps |= D3DPTEXTURECAPS_SQUAREONLY | D3DPTEXTURECAPS_POW2;
    TestD3d9SetProfile(profile);
    StartDevice(32);
    for (int drawTarget : {0, 1}) {
        gDrawSettings.graphCreate.drawTarget = drawTarget;
        GraphImage* image = MakeImage(100, 40, Opaque);
        Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
        ASSERT_NE(graph, -1);
        const GraphTextureInfo& info = *GetGraphRecord(graph, 0)->textureInfo;
        for (int i = 0; i < info.pieceCount; ++i) {
            EXPECT_EQ(info.pieces[i].texWidth, info.pieces[i].texHeight);
        }
        EXPECT_EQ(CoverCounts(info), std::vector<int>(100 * 40, 1)) << drawTarget;
        EXPECT_EQ(ReadGraph(graph).raw,
                  Expected(*image, nullptr, ReadGraph(graph).format, {0, 0, 100, 40}, true));
    }
}

TEST_F(GraphCreationTest, DerivedGraphsShareTheTexturesUntilTheLastIsDeleted) {
    StartDevice(32);
    gDrawSettings.graphCreate.maxTextureSize = 16;
    GraphImage* image = MakeImage(40, 40, Opaque);
    // The pooled system-memory textures that fill graphs (on an Ex device) are not counted.
    ReleaseAllMemoryTextures();
    int live = TestD3d9LiveObjects();
    Handle whole = BuildGraphFromGraphImage(image, nullptr, 0);
    ASSERT_NE(whole, -1);
    // 16 + 16 + 8 each way: nine pieces, so the record has grown beyond its four.
    EXPECT_EQ(GetGraphRecord(whole, 0)->pieceCount, 9);
    ReleaseAllMemoryTextures();
    int withGraph = TestD3d9LiveObjects();
    Handle cut = CutGraphRect(4, 4, 100, 30, whole);
    ASSERT_NE(cut, -1);
    const GraphRecord* record = GetGraphRecord(cut, 0);
    EXPECT_EQ(record->width, 36);  // cut at the source's edge
    EXPECT_EQ(record->height, 30);
    EXPECT_EQ(record->pieceCount, 9);
    EXPECT_EQ(record->textureInfo->refCount, 2);
    EXPECT_EQ(ReadGraph(cut).raw,
              Expected(*image, nullptr, ReadGraph(cut).format, {4, 4, 40, 34}, true));

    EXPECT_EQ(CutGraphRect(40, 0, 5, 5, whole), -1);
    EXPECT_EQ(CutGraphRect(0, 39, 5, 0, whole), -1);
    EXPECT_EQ(CutGraphRect(-1, 0, 5, 5, whole), -1);
    int lost = 0;
    ASSERT_EQ(AttachGraphLostFlag(whole, &lost), 0);
    EXPECT_EQ(DisposeGraph(whole), 0);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(TestD3d9LiveObjects(), withGraph);
    EXPECT_EQ(ReadGraph(cut).raw,
              Expected(*image, nullptr, ReadGraph(cut).format, {4, 4, 40, 34}, true));
    EXPECT_EQ(DisposeGraph(cut), 0);
    EXPECT_EQ(TestD3d9LiveObjects(), live);
}

TEST_F(GraphCreationTest, AFailedCreationCallLeavesNothingBehind) {
    StartDevice(32);
    gDrawSettings.graphCreate.maxTextureSize = 32;
    GraphImage* image = MakeImage(70, 40, Opaque);
    // Every route once, so that what start-up and first use make is made before measuring.
    GraphCreateSettings& s = gDrawSettings.graphCreate;
    struct Case {
        const char* call;
        int managed, drawTarget, depth;
    };
    for (Case c : {Case{"CreateTexture", 1, 0, 0}, Case{"CreateTexture", 0, 0, 0},
                   Case{"CreateOffscreenPlainSurface", 0, 1, 0},
                   Case{"CreateDepthStencilSurface", 0, 1, 1}}) {
        s.managedPool = c.managed;
        s.drawTarget = c.drawTarget;
        s.drawTargetDepth = c.depth;
        DisposeGraph(BuildGraphFromGraphImage(image, nullptr, 0));
        Footprint before = Measure();
        int failures = 0;
        for (int n = 1;; ++n) {
            TestFailNthCall(c.call, n);
            Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
            TestFailNthCall(c.call, 0);
            if (graph != -1) {
                DisposeGraph(graph);
                break;
            }
            ++failures;
            ASSERT_EQ(Measure(), before) << c.call << " " << n;
        }
        // Three pieces (32 + 32 + 8 by 64): every one of their creations can fail.
        EXPECT_GE(failures, c.managed || c.depth ? 3 : 1) << c.call;
        EXPECT_EQ(Measure(), before);
    }
}

TEST_F(GraphCreationTest, AFullMipChainAveragesEachLevelFromTheOneBefore) {
    StartDevice(32);
    gDrawSettings.graphCreate.mipLevels = -1;
    GraphImage* image =
        MakeImage(8, 4, [](int x, int y) { return uint32_t(x * 30 << 8 | y * 60); });
    Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
    ASSERT_NE(graph, -1);
    const GraphTextureInfo& info = *GetGraphRecord(graph, 0)->textureInfo;
    EXPECT_EQ(info.mipLevels, 4);
    // Split into pieces of 4 x 4, each holds three levels at most.
    gDrawSettings.graphCreate.maxTextureSize = 4;
    Handle split = BuildGraphFromGraphImage(image, nullptr, 0);
    ASSERT_NE(split, -1);
    EXPECT_EQ(GetGraphRecord(split, 0)->textureInfo->mipLevels, 3);
    std::vector<DWORD> previous = Texels(info.pieces[0]);
    UINT w = 8, h = 4;
    for (UINT level = 1; level < 4; ++level) {
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(TextureGetSurfaceLevel(info.pieces[0].texture, level, &surface), D3D_OK);
        UINT lw = 0, lh = 0;
        std::vector<DWORD> texels = TestD3d9ReadSurface(surface, &lw, &lh);
        surface->Release();
        for (UINT y = 0; y < lh; ++y) {
            for (UINT x = 0; x < lw; ++x) {
                // Along a side of 1 only the other side is halved.
                UINT x0 = 2 * x, y0 = 2 * y, x1 = w > 1 ? x0 + 1 : x0, y1 = h > 1 ? y0 + 1 : y0;
                DWORD sum[4] = {};
                for (DWORD t : {previous[y0 * w + x0], previous[y0 * w + x1], previous[y1 * w + x0],
                                previous[y1 * w + x1]}) {
                    for (int c = 0; c < 4; ++c) sum[c] += (t >> (8 * c)) & 0xFF;
                }
                DWORD expected = 0;
                for (int c = 0; c < 4; ++c) expected |= (sum[c] / 4) << (8 * c);
                EXPECT_EQ(texels[y * lw + x], expected) << level << " " << x << "," << y;
            }
        }
        previous = texels;
        w = lw;
        h = lh;
    }
}

TEST_F(GraphCreationTest, ADeviceRebuildMakesEveryGraphsObjectsAgain) {
    StartDevice(32);
    gDrawSettings.graphCreate.maxTextureSize = 32;
    GraphImage* image = MakeImage(40, 40, Opaque);
    Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
    Handle cut = CutGraphRect(8, 8, 30, 30, graph);
    gDrawSettings.graphCreate.drawTarget = 1;
    gDrawSettings.graphCreate.drawTargetDepth = 1;
    Handle target = BuildGraphFromGraphImage(image, nullptr, 0);
    ASSERT_NE(cut, -1);
    ASSERT_NE(target, -1);
    int live = Measure().liveObjects;
    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    EXPECT_EQ(Measure().liveObjects, live);
    for (Handle h : {graph, cut, target}) {
        const GraphTextureInfo& info = *GetGraphRecord(h, 0)->textureInfo;
        for (int i = 0; i < info.pieceCount; ++i) {
            EXPECT_NE(info.pieces[i].texture, nullptr);
            EXPECT_NE(info.pieces[i].surface, nullptr);
            EXPECT_EQ(info.pieces[i].depthSurface != nullptr, h == target);
        }
    }
    // A draw target made again starts black.
    EXPECT_EQ(TestD3d9ReadPixel(GetGraphTargetSurface(GetGraphRecord(target, 0)), 3, 3),
              0xFF000000u);
}

TEST_F(GraphCreationTest, TheQueriesAnswerForGoodAndBadHandles) {
    StartDevice(32);
    GraphImage* image = MakeImage(40, 30, Opaque);
    Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
    Handle cut = CutGraphRect(10, 5, 8, 6, graph);
    int w = 0, h = 0;
    EXPECT_EQ(QueryGraphTextureSize(cut, &w, &h), 0);
    EXPECT_EQ(w * 1000 + h, 40030);
    EXPECT_EQ(QueryGraphSize(cut, &w, &h), 0);
    EXPECT_EQ(w * 1000 + h, 8006);
    EXPECT_EQ(IsGraphLoading(cut), 0);
    EXPECT_EQ(IsMultisampledGraph(cut), 0);
    // The blend graph must cover what is drawn.
    gDrawSettings.blendGraph = cut;
    EXPECT_EQ(CheckBlendGraphCoverage(GetGraphRecord(graph, 0)), -1);
    gDrawSettings.blendGraph = graph;
    EXPECT_EQ(CheckBlendGraphCoverage(GetGraphRecord(cut, 0)), 0);
    gDrawSettings.blendGraph = -1;
    // A pixel access reaches only inside the graph.
    GraphImage pixels{};
    RECT outside = {0, 0, 9, 6};
    EXPECT_EQ(OpenScreenPixelAccess(&outside, &pixels, cut, 1, 0), -1);
    RECT inside = {7, 5, 8, 6};
    ASSERT_EQ(OpenScreenPixelAccess(&inside, &pixels, cut, 1, 0), 0);
    EXPECT_EQ(*static_cast<uint32_t*>(pixels.pixels), Opaque(17, 10) | 0xFF000000);
    CloseScreenPixelAccess();
    EXPECT_EQ(LookupGraphImageFormat(0, 1, 0, 0)->alphaMask, 0x8000u);
    EXPECT_EQ(LookupGraphImageFormat(1, 0, 1, 0)->alphaMask, 0xFF000000u);

    DisposeGraph(cut);
    for (Handle bad : {cut, Handle(-1), Handle(0x04000000 | 77)}) {
        EXPECT_EQ(QueryGraphTextureSize(bad, &w, &h), -1);
        EXPECT_EQ(IsGraphLoading(bad), -1);
        EXPECT_EQ(AttachGraphLostFlag(bad, nullptr), -1);
        EXPECT_EQ(DisposeGraph(bad), -1);
    }
}

TEST_F(GraphCreationTest, APlainImageCannotGoIntoDxtBlocks) {
    StartDevice(32);
    std::vector<uint8_t> blocks(8, 0);  // one DXT1 block: colour 0 everywhere
    GraphImage dxt{};
    SetColorFormatARGB32(&dxt.format);
    dxt.format.dxtKind = 1;
    dxt.format.bitsPerPixel = 4;
    dxt.width = dxt.height = 4;
    dxt.pixels = blocks.data();
    Handle graph = BuildGraphFromGraphImage(&dxt, nullptr, 0);
    ASSERT_NE(graph, -1);
    D3DSURFACE_DESC desc{};
    SurfaceGetDesc(GetGraphRecord(graph, 0)->textureInfo->pieces[0].surface, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    GraphImage* plain = MakeImage(4, 4, Opaque);
    RECT all = {0, 0, 4, 4};
    EXPECT_EQ(UploadImageToGraph(graph, &all, 0, 0, plain, nullptr, 0, 0, 0), -1);
    EXPECT_TRUE(InOrder(ReadLog(),
                        {"DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません"
                         "\r\n"}));
    // A rectangle outside the image is refused before anything is read.
    RECT outside = {2, 2, 6, 4};
    EXPECT_EQ(UploadImageToGraph(graph, &outside, 0, 0, plain, nullptr, 0, 0, 0), -1);
}

}  // namespace
