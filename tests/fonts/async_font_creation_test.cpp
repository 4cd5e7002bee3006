// Fonts made on a loading worker: the cache graphs they make there are given back with the font,
// and a cache texture the device refuses leaves the memory cache and no graph behind.
#include "async/async_wait.h"
#include "core/async_load.h"
#include "font_fixture.h"

namespace {

using AsyncFontCreationTest = FontFixture;

// The font made on a worker while the main thread runs what the worker hands it; its record.
const FontRecord* MakeOnWorker() {
    const Handle font = MakeFontHandle("ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1);
    EXPECT_TRUE(WaitFor([] {
        RunMainThreadRequests();
        return CountQueuedAsyncLoads() == 0;
    }));
    return GetFontRecord(font);
}

TEST_F(AsyncFontCreationTest, CacheGraphsMadeOnAWorkerGoWithTheFontOrWithTheFailedTexture) {
    StartDevice(32);
    ASSERT_EQ(SwitchAsyncLoad(1), 0);
    const int graphs = gGraphRegistry.liveCount;
    const FontRecord* record = MakeOnWorker();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->textureCache, 1);
    EXPECT_EQ(gGraphRegistry.liveCount, graphs + 1);
    ASSERT_EQ(DeleteFontHandle(record->header.handle), 0);
    EXPECT_EQ(gGraphRegistry.liveCount, graphs);

    TestFailNthCall("CreateTexture", 1);
    record = MakeOnWorker();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->textureCache, 0);
    EXPECT_EQ(gGraphRegistry.liveCount, graphs);
    EXPECT_NE(ReadLog().find("テクスチャ文字キャッシュの作成に失敗しました"), std::string::npos);
}

}  // namespace
