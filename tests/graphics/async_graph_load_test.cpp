// Graph loads on the loading workers: many requested at once while the main thread pumps, each
// equal to the synchronous load; an upload that finds the transfer textures lent out; deletion
// of a handle whose load is queued or running; device calls handed to the main thread; and a
// device rebuild while loads are in flight.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "async/async_wait.h"
#include "core/async_load.h"
#include "core/file_access.h"
#include "graph_fixture.h"
#include "graphics/d3d_marshal.h"
#include "graphics/graph_restore.h"
#include "graphics/graphics_system.h"
#include "media/image_writers.h"

namespace {

constexpr int kFiles = 12;
constexpr int kCells = 16;  // 4 x 4 cells of 12 x 10 in the 48 x 40 cell file

// Opens of the cell file, counted through the file access table.
std::atomic<int> gCellFileOpens{0};
StreamValue (*gPlainOpen)(const char*, int32_t, int32_t, int32_t) = nullptr;
StreamValue CountingOpen(const char* path, int32_t useCache, int32_t unused, int32_t useAsync) {
    size_t length = std::strlen(path);
    if (length >= 9 && std::strcmp(path + length - 9, "cells.png") == 0) gCellFileOpens++;
    return gPlainOpen(path, useCache, unused, useAsync);
}

class AsyncGraphLoadTest : public GraphFixture {
protected:
    void TearDown() override {
        SwitchAsyncLoad(0);
        GraphFixture::TearDown();
    }

    // PNG files of random colours: kFiles of 24 x 20 and the cell file.
    void WriteFiles() {
        std::mt19937 rng(5);
        auto png = [&](int w, int h) {
            std::vector<uint16_t> samples(size_t(w) * h * 3);
            for (uint16_t& s : samples) s = static_cast<uint16_t>(rng() % 256);
            return MakePngFile(PngOptions{}, w, h, samples, {}, {});
        };
        for (int i = 0; i < kFiles; ++i) WriteFile(Name(i).c_str(), png(24, 20));
        WriteFile("cells.png", png(48, 40));
    }

    void LoadManyAtOnce(int bits);

    static std::string Name(int i) { return "graph" + std::to_string(i) + ".png"; }

    // Every file as a graph, then the cell file as cells: the handles in that order.
    static std::vector<Handle> RequestAll() {
        std::vector<Handle> handles;
        for (int i = 0; i < kFiles; ++i) {
            handles.push_back(LoadImageFileAsGraph(Name(i).c_str(), 0));
        }
        Handle cells[kCells];
        EXPECT_EQ(LoadImageFileAsDivGraphs("cells.png", kCells, 4, 4, 12, 10, cells, 0), 0);
        handles.insert(handles.end(), cells, cells + kCells);
        return handles;
    }

    // The pump's share of the main thread's time, run until every load is done (the rest of a
    // pump pass may make a sub back buffer of its own, which would blur the leak checks).
    static void PumpUntilLoaded() {
        ASSERT_TRUE(WaitFor([] {
            RunMainThreadRequests();
            return CountQueuedAsyncLoads() == 0;
        }));
    }

    struct Shown {
        uint32_t formatBits;
        std::vector<uint32_t> raw;
        bool operator==(const Shown&) const = default;
    };
    static std::vector<Shown> ReadAll(const std::vector<Handle>& handles) {
        std::vector<Shown> shown;
        for (Handle h : handles) {
            GraphPixels p = ReadGraph(h);
            shown.push_back({p.format.bitsPerPixel, p.raw});
        }
        return shown;
    }

    // What the graphs show when loaded one after another on the main thread; all deleted.
    std::vector<Shown> LoadSynchronously() {
        SwitchAsyncLoad(0);
        std::vector<Handle> handles = RequestAll();
        std::vector<Shown> shown = ReadAll(handles);
        for (Handle h : handles) DisposeGraph(h);
        return shown;
    }
};

// The loads of both device depths against the synchronous ones, and what they leave.
void AsyncGraphLoadTest::LoadManyAtOnce(int bits) {
    StartDevice(bits);
    // Pieces of 16 texels: each graph is several textures, each with its own device calls.
    gDrawSettings.graphCreate.maxTextureSize = 16;
    WriteFiles();
    std::vector<Shown> expected = LoadSynchronously();
    Footprint before = Measure();

    SwitchAsyncLoad(1);
    std::vector<Handle> handles = RequestAll();
    for (Handle h : handles) ASSERT_NE(h, -1);
    PumpUntilLoaded();
    EXPECT_EQ(ReadAll(handles), expected);
    for (Handle h : handles) EXPECT_EQ(DisposeGraph(h), 0);
    EXPECT_EQ(Measure(), before);
}

TEST_F(AsyncGraphLoadTest, ManyLoadsAtOnceEqualTheSynchronousLoadsOnAThirtyTwoBitDevice) {
    LoadManyAtOnce(32);
}

TEST_F(AsyncGraphLoadTest, ManyLoadsAtOnceEqualTheSynchronousLoadsOnASixteenBitDevice) {
    LoadManyAtOnce(16);
}

int MainThreadCallsQueued() {
    EnterLock(&gAsyncLoad.lock);
    int count = gAsyncLoad.mainQueueCount;
    LeaveLock(&gAsyncLoad.lock);
    return count;
}

// Every transfer texture of the upload's shape lent out on the main thread: the worker's upload
// waits for as many pump passes as they stay lent (a busy machine may hold their users up for any
// time), and the load ends whole once one is given back.
TEST_F(AsyncGraphLoadTest, AWorkersUploadWaitsForALentTransferTextureAsLongAsItTakes) {
    StartDevice(32);
    WriteFiles();
    const Handle probe = LoadImageFileAsGraph(Name(0).c_str(), 0);
    ASSERT_NE(probe, -1);
    const std::vector<Shown> expected = ReadAll({probe});
    const GraphTextureInfo& info = *GetGraphRecord(probe, 0)->textureInfo;
    ASSERT_EQ(info.pieceCount, 1);
    if (info.flags.managedPool) {
        GTEST_SKIP() << "a device without the Ex interfaces writes graphs directly, with no "
                        "transfer textures";
    }
    int lent[kMemoryTexturesPerShape];
    for (int& entry : lent) {
        entry = AcquireMemoryTexture(info.pieces[0].texWidth, info.pieces[0].texHeight,
                                     info.mipLevels, info.formatIndex, 0);
        ASSERT_GE(entry, 0);
    }
    DisposeGraph(probe);
    SwitchAsyncLoad(1);
    const Handle graph = LoadImageFileAsGraph(Name(0).c_str(), 0);
    // Each pass runs the worker's next call: more passes than any count of tries would allow.
    for (int pass = 0; pass < 1200; ++pass) {
        ASSERT_TRUE(
            WaitFor([] { return MainThreadCallsQueued() > 0 || CountQueuedAsyncLoads() == 0; }));
        ASSERT_EQ(CountQueuedAsyncLoads(), 1) << "the load ended at pass " << pass;
        RunMainThreadRequests();
    }
    for (int entry : lent) ASSERT_EQ(ReleaseMemoryTexture(entry, 0), 0);
    PumpUntilLoaded();
    EXPECT_EQ(ReadAll({graph}), expected);
}

TEST_F(AsyncGraphLoadTest, DeletingHandlesWhoseLoadsAreQueuedOrRunningLeavesNothing) {
    StartDevice(32);
    WriteFiles();
    LoadSynchronously();
    Footprint before = Measure();
    const int32_t graphsBefore = gGraphRegistry.liveCount;  // the framework's own graphs
    SwitchAsyncLoad(1);
    // Without a pump pass the first loads wait for the main thread, the rest in the queue:
    // deletion withdraws a queued load and waits for a running one (pumping meanwhile).
    std::vector<Handle> handles = RequestAll();
    for (Handle h : handles) EXPECT_EQ(DisposeGraph(h), 0);
    for (Handle h : handles) EXPECT_EQ(GetGraphRecord(h, 1), nullptr);
    PumpUntilLoaded();
    EXPECT_EQ(Measure(), before);
    EXPECT_EQ(gGraphRegistry.liveCount, graphsBefore);
}

TEST_F(AsyncGraphLoadTest, ShutdownWithLoadsInFlightLeavesNothing) {
    StartDevice(32);
    WriteFiles();
    SwitchAsyncLoad(1);
    RequestAll();
    // The fixture's tear-down checks that no device object is left.
    EXPECT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(gGraphRegistry.liveCount, 0);
}

// A call made from a worker, with a pointer whose upper half is in use on a 64-bit build.
struct Marshalled {
    std::atomic<DWORD> thread{0};
    std::atomic<bool> done{false};
    int64_t value = 0;
    int bufferResult = 0;
};
Marshalled* gMarshalled = nullptr;

int StoreOnMainThread(int64_t* out, int low, int high) {
    gMarshalled->thread = GetCurrentThreadId();
    *out = int64_t{high} << 32 | static_cast<uint32_t>(low);
    return 7;
}

void MarshallingJob(AsyncLoadRequest*) {
    int result = MarshalToMainThread<StoreOnMainThread>(1, &gMarshalled->value, -5, 9);
    IDirect3DVertexBuffer9* buffer = nullptr;
    gMarshalled->bufferResult =
        MarshalCreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &buffer, 1) == 0 ? 1 : -1;
    MarshalReleaseComObject(buffer, 1);
    if (result == 7) gMarshalled->done = true;
}

// The call's thread, result and pointer argument, and whether a vertex buffer could be made.
void RunMarshallingJob(Marshalled* marshalled) {
    gMarshalled = marshalled;
    QueueAsyncLoadRequest(PackAsyncLoadRequest(
        MarshallingJob, 1, [](uint8_t* buffer, uint32_t* offset) {
            return PackAsyncArgInt(buffer, offset, 0);
        }));
    ASSERT_TRUE(WaitFor([&] {
        PumpMessages();
        return marshalled->done.load();
    }));
    gMarshalled = nullptr;
    EXPECT_EQ(marshalled->thread, GetCurrentThreadId());
    EXPECT_EQ(marshalled->value, int64_t{9} << 32 | 0xFFFFFFFBu);
}

TEST_F(AsyncGraphLoadTest, AWorkersCallRunsOnTheMainThreadWithItsPointerWhole) {
    StartDevice(32);
    Marshalled marshalled;
    RunMarshallingJob(&marshalled);
    EXPECT_EQ(marshalled.bufferResult, 1);
    ShutdownLibrary();
    // Without a device the buffer is refused on the main thread.
    StartSoftware(32);
    Marshalled withoutDevice;
    RunMarshallingJob(&withoutDevice);
    EXPECT_EQ(withoutDevice.bufferResult, -1);
}

TEST_F(AsyncGraphLoadTest, ADeviceRebuildWithLoadsInFlightRestoresEveryGraph) {
    StartDevice(32);
    gDrawSettings.graphCreate.maxTextureSize = 16;
    WriteFiles();
    std::vector<Shown> expected = LoadSynchronously();
    FileAccessFunctions counting = *GetFileAccessFunctions();
    FileAccessFunctions plain = counting;
    gPlainOpen = plain.open;
    counting.open = CountingOpen;
    SetFileAccessFunctions(&counting);
    gCellFileOpens = 0;
    SwitchAsyncLoad(1);
    std::vector<Handle> handles = RequestAll();
    // The rebuild waits for the loads, then refills every graph from its file: the cells that
    // share one file decode it once, after the load's own read.
    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    EXPECT_EQ(gCellFileOpens, 2);
    EXPECT_EQ(ReadAll(handles), expected);
    gCellFileOpens = 0;
    ReloadAllGraphs();
    SetFileAccessFunctions(&plain);
    EXPECT_EQ(gCellFileOpens, 1);
    EXPECT_EQ(ReadAll(handles), expected);
    EXPECT_TRUE(InOrder(ReadLog(), {"グラフィックを復帰します\r\n",
                                    "グラフィックの復帰が完了しました\r\n"}));
}

}  // namespace
