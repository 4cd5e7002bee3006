// Fonts made on a loading worker: the cache graphs they make there are given back with the font,
// and a cache texture the device refuses leaves the memory cache and no graph behind.
#include "async/async_wait.h"
#include "core/async_load.h"
#include "font_fixture.h"

namespace {

class AsyncFontCreationTest : public FontFixture {
protected:
    void TearDown() override {
        SwitchAsyncLoad(0);
        FontFixture::TearDown();
    }

    // The font made on a worker while the main thread runs what the worker hands it.
    static Handle MakeOnWorker() {
        Handle font = MakeFontHandle("ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1);
        EXPECT_TRUE(WaitFor([] {
            RunMainThreadRequests();
            return CountQueuedAsyncLoads() == 0;
        }));
        return font;
    }
};

TEST_F(AsyncFontCreationTest, CacheGraphsMadeOnAWorkerGoWithTheFontOrWithTheFailedTexture) {
    StartDevice(32);
    ASSERT_EQ(SwitchAsyncLoad(1), 0);
    const int graphs = gGraphRegistry.liveCount;

    const Handle textured = MakeOnWorker();
    const FontRecord* record = GetFontRecord(textured);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->textureCache, 1);
    EXPECT_EQ(gGraphRegistry.liveCount, graphs + 1);
    ASSERT_EQ(DeleteFontHandle(textured), 0);
    EXPECT_EQ(gGraphRegistry.liveCount, graphs);

    TestFailNthCall("CreateTexture", 1);
    const Handle fallen = MakeOnWorker();
    record = GetFontRecord(fallen);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->textureCache, 0);
    EXPECT_EQ(gGraphRegistry.liveCount, graphs);
    EXPECT_NE(ReadLog().find("テクスチャ文字キャッシュの作成に失敗しました"), std::string::npos);
}

}  // namespace
