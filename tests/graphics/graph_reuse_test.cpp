// Loads into graphs that exist: a graph and cells loaded again on the device and in software
// mode, the refusals that leave them as they were, cells filled by one upload of their texture
// set or one by one, and reloads on the loading workers.
#include <gtest/gtest.h>
#include <platform/testing_d3d9.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "async/async_wait.h"
#include "core/async_load.h"
#include "graph_fixture.h"
#include "graphics/graph_restore.h"
#include "media/image_writers.h"

namespace {

using Looks = std::vector<std::vector<uint32_t>>;

class GraphReuseTest : public GraphFixture {
protected:
    // The loads in flight use the images, which the fixture frees.
    void TearDown() override {
        SwitchAsyncLoad(0);
        EXPECT_TRUE(Loaded());
        GraphFixture::TearDown();
    }

    static bool Loaded() {
        return WaitFor([] {
            RunMainThreadRequests();
            return CountQueuedAsyncLoads() == 0;
        });
    }

    GraphImage* Image(int width, int height, uint32_t seed) {
        return MakeImage(width, height, [=](int x, int y) {
            return ((x * 73u + y * 151u + seed * 977u) * 2654435761u >> 8) & 0xFFFFFF;
        });
    }

    // A load into the graph or, given cells, into `count` cells of 12 x 10, `across` to a row.
    struct Load {
        GraphImage* image = nullptr;
        int reuse = 0;
        Handle graph = -1;
        Handle* cells = nullptr;
        int count = 4, across = 2, mirror = 0;
        GraphImage* alpha = nullptr;
        const char* file = nullptr;
    };
    static int Submit(const Load& load) {
        ImageLoadRequest r{};
        CaptureImageLoadSettings(&r);
        r.image = load.image;
        r.alphaImage = load.alpha;
        r.fileName = load.file;
        r.reuse = load.reuse;
        r.graph = load.graph;
        r.cells = load.cells;
        r.cellCount = load.count;
        r.cellsAcross = load.across;
        r.cellsDown = (load.count + load.across - 1) / load.across;
        r.cellWidth = 12;
        r.cellHeight = 10;
        r.mirror = load.mirror;
        return load.cells != nullptr ? SubmitDivImageLoadRequest(&r, IsAsyncLoadOn())
                                     : SubmitImageLoadRequest(&r, IsAsyncLoadOn(), 0);
    }

    // Each graph's pixels, then the transparent colour of its textures and of its memory image.
    static Looks LooksOf(const std::vector<Handle>& graphs) {
        Looks out;
        for (Handle g : graphs) {
            const GraphRecord* record = GetGraphRecord(g, 0);
            if (record == nullptr) return {};
            std::vector<uint32_t> look = ReadGraph(g).raw;
            const MemImgBody* body = record->textureInfo->image.body;
            look.push_back(record->textureInfo->transparentColor);
            look.push_back(body != nullptr ? body->transparentColor : 0);
            out.push_back(look);
        }
        return out;
    }

    // What a new load of that shape shows.
    static Looks Fresh(Load load) {
        Handle cells[4];
        load.reuse = 0;
        if (load.cells != nullptr) load.cells = cells;
        std::vector<Handle> made = {Submit(load)};
        if (load.cells != nullptr) made.assign(cells, cells + load.count);
        Looks looks = LooksOf(made);
        for (Handle h : made) DisposeGraph(h);
        return looks;
    }

    // A graph and 2 x 2 cells of one image, then another image loaded into them: they show what
    // new loads of it would (keyed with its top-left colour) under the same handles, with
    // nothing gained or lost. On the workers they stay pending until the loads are done, and a
    // second load into them meanwhile is refused. The graph and the cells, the graph first.
    std::vector<Handle> ReloadGraphAndCells(Handle* cells, int async) {
        gImageLoadSettings.colorFromImage = 1;
        std::vector<Handle> all = {LoadGraphImageAsGraph(Image(24, 20, 1), nullptr, 0)};
        EXPECT_EQ(Submit({.image = Image(24, 20, 1), .cells = cells}), 0);
        all.insert(all.end(), cells, cells + 4);
        GraphImage* image = Image(24, 20, 2);
        Looks expected = Fresh({.image = image}), ofCells = Fresh({.image = image, .cells = cells});
        expected.insert(expected.end(), ofCells.begin(), ofCells.end());
        Footprint before = Measure();
        SwitchAsyncLoad(async);
        EXPECT_EQ(Submit({.image = image, .reuse = 1, .graph = all[0]}), 0);
        EXPECT_EQ(Submit({.image = image, .reuse = 1, .cells = cells}), 0);
        for (Handle h : all) EXPECT_EQ(IsGraphLoading(h), async);
        if (async) {
            EXPECT_EQ(Submit({.image = image, .reuse = 1, .graph = all[0]}), -1);
            EXPECT_EQ(Submit({.image = image, .reuse = 1, .cells = cells}), -1);
        }
        EXPECT_TRUE(Loaded());
        EXPECT_TRUE(std::equal(cells, cells + 4, all.begin() + 1));
        EXPECT_EQ(LooksOf(all), expected);
        EXPECT_EQ(Measure(), before);
        return all;
    }
};

TEST_F(GraphReuseTest, AGraphAndCellsReloadOnTheDevice) {
    StartDevice(32);
    gDrawSettings.graphCreate.maxTextureSize = 16;  // cells straddle textures
    Handle cells[4];
    ReloadGraphAndCells(cells, 0);
}

TEST_F(GraphReuseTest, AGraphAndCellsReloadInSoftwareMode) {
    StartSoftware(32);
    Handle cells[4];
    ReloadGraphAndCells(cells, 0);
}

TEST_F(GraphReuseTest, RefusedReloadsLeaveTheGraphsAsTheyWere) {
    StartDevice(32);
    Handle cells[4];
    std::vector<Handle> all = ReloadGraphAndCells(cells, 0);
    GraphImage *image = Image(24, 20, 1), *wide = Image(25, 20, 2), *narrow = Image(23, 20, 3);
    Looks looks = LooksOf(all);
    Footprint before = Measure();
    // A colour that would show in the looks, had a refused load keyed with it.
    gImageLoadSettings.colorFromImage = 0;
    gDrawSettings.graphCreate.transparentColor = 0x123456;
    EXPECT_EQ(Submit({.image = wide, .reuse = 1, .graph = all[0]}), -1);
    EXPECT_EQ(Submit({.image = image, .reuse = 1, .graph = all[0], .alpha = narrow}), -1);
    EXPECT_EQ(Submit({.image = narrow, .reuse = 1, .cells = cells}), -1);
    EXPECT_EQ(Submit({.image = image, .reuse = 1, .cells = cells, .alpha = wide}), -1);
    Handle larger[2] = {cells[0], all[0]};  // the graph is larger than a cell
    EXPECT_EQ(Submit({.image = image, .reuse = 1, .cells = larger, .count = 2}), -1);
    RaiseHandleAsyncCount(&gGraphRegistry, cells[3], -1);
    EXPECT_EQ(Submit({.image = image, .reuse = 1, .cells = cells}), -1);
    LowerHandleAsyncCount(&gGraphRegistry, cells[3]);
    Handle invalid[4] = {cells[0], cells[1], cells[2], -1};
    GraphCreateSettings create = gDrawSettings.graphCreate;
    EXPECT_EQ(CreateDivGraphFromGraphImage(&create, &gImageLoadSettings, 1, -1, image, nullptr, 4,
                                           2, 2, 12, 10, invalid, 0, 0, 0),
              -1);
    EXPECT_EQ(TransferGraphImageToDivGraphs(narrow, nullptr, 4, 2, 2, 12, 10, cells, 0, 1, 0), -1);
    // A file that holds no image is not tried as a movie in a graph that exists.
    WriteFile("broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
    EXPECT_EQ(Submit({.reuse = 1, .graph = all[0], .file = "broken.png"}), -1);
    EXPECT_EQ(ReadLog().find("broken.png"), std::string::npos);
    EXPECT_EQ(LooksOf(all), looks);
    EXPECT_EQ(Measure(), before);
}

// One upload of a shared texture set (which DXT blocks need) and one upload per cell (cells on
// textures of their own, or sitting in their set otherwise than in the image) both show what a
// new load would. Mirrored, rows count from the right edge of an image wider than its cells.
TEST_F(GraphReuseTest, CellsOnOneTextureSetOrOnTheirOwnShowWhatANewLoadWould) {
    StartDevice(32);
    gDrawSettings.graphCreate.maxTextureSize = 16;
    Handle shared[4], loose[4];
    ASSERT_EQ(Submit({.image = Image(30, 20, 1), .cells = shared, .mirror = 1}), 0);
    for (Handle& h : loose) h = LoadGraphImageAsGraph(Image(12, 10, 3), nullptr, 0);
    GraphImage* image = Image(30, 20, 2);
    ASSERT_EQ(Submit({.image = image, .reuse = 1, .cells = shared, .mirror = 1}), 0);
    ASSERT_EQ(Submit({.image = image, .reuse = 1, .cells = loose, .mirror = 1}), 0);
    Looks expected = Fresh({.image = image, .cells = shared, .mirror = 1});
    EXPECT_EQ(LooksOf({shared, shared + 4}), expected);
    EXPECT_EQ(LooksOf({loose, loose + 4}), expected);
    // As one row, cells 0 and 1 sit in the set as in the image, 2 and 3 do not.
    GraphImage* row = Image(48, 20, 4);
    ASSERT_EQ(Submit({.image = row, .reuse = 1, .cells = shared, .across = 4, .mirror = 1}), 0);
    EXPECT_EQ(LooksOf({shared, shared + 4}),
              Fresh({.image = row, .cells = shared, .across = 4, .mirror = 1}));

    gDrawSettings.graphCreate.maxTextureSize = 0;
    std::mt19937 rng(6);
    for (const char* name : {"one.dds", "two.dds"}) {
        std::vector<uint8_t> blocks(6 * 5 * 8);
        for (uint8_t& b : blocks) b = static_cast<uint8_t>(rng());
        WriteFile(name, MakeDdsFile(24, 20, 4, 0x31545844 /* DXT1 */, 0, nullptr, 0, blocks));
    }
    Handle reloaded[4], fresh[4];
    ASSERT_EQ(Submit({.cells = reloaded, .file = "one.dds"}), 0);
    ASSERT_EQ(Submit({.reuse = 1, .cells = reloaded, .file = "two.dds"}), 0);
    ASSERT_EQ(Submit({.cells = fresh, .file = "two.dds"}), 0);
    auto texels = [](Handle cell) {
        return TestD3d9ReadSurface(GetGraphRecord(cell, 0)->textureInfo->pieces[0].surface, nullptr,
                                   nullptr);
    };
    EXPECT_EQ(texels(reloaded[0]), texels(fresh[0]));
}

// On the workers the graphs stay pending until the reload is done, and a reload that fails
// there leaves them as they were.
TEST_F(GraphReuseTest, AsynchronousReloadsKeepTheGraphsPendingAndNeverDeleteThem) {
    StartDevice(32);
    Handle cells[4];
    std::vector<Handle> all = ReloadGraphAndCells(cells, 1);
    Looks looks = LooksOf(all);
    Footprint before = Measure();
    // Without an image the loads fail on the worker.
    EXPECT_EQ(Submit({.reuse = 1, .graph = all[0]}), 0);
    EXPECT_EQ(Submit({.reuse = 1, .cells = cells}), 0);
    ASSERT_TRUE(Loaded());
    EXPECT_EQ(LooksOf(all), looks);
    EXPECT_EQ(Measure(), before);
}

}  // namespace
