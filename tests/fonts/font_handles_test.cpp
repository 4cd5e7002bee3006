// Font handles: the defaults, the type rules, the charset fall-back, creation failures that
// leave nothing behind, the default font through a screen-mode change, and the fonts made
// again under their handles.
#include "app/screen_log.h"
#include "font_fixture.h"
#include "graphics/graphics_system.h"
#include "graphics/screen_state.h"

namespace {

using FontHandleTest = FontFixture;

TEST_F(FontHandleTest, DefaultsAndTypeRules) {
    StartDevice(32);
    // The default font and the on-screen log's font exist from start-up.
    EXPECT_EQ(gFontRegistry.liveCount, 2);
    ASSERT_EQ(IsFontHandleValid(FetchDefaultFontHandle()), 1);

    Handle font = MakeFontHandle(nullptr, -1, -1, -1, -1, -1, -1, -1);
    FontRecord* r = GetFontRecord(font);
    ASSERT_NE(r, nullptr);
    char face[kFontFaceBytes] = "x";
    int size = 0, thickness = 0;
    ASSERT_EQ(GetFontHandleInfo(face, &size, &thickness, font), 0);
    EXPECT_STREQ(face, "");
    EXPECT_EQ(size, 16);
    EXPECT_EQ(thickness, 6);
    EXPECT_EQ(r->type, 0);
    EXPECT_EQ(r->edgeSize, 1);
    EXPECT_EQ(GetFontHandleSize(font), 16);

    Handle edged = MakeFontHandle("ＭＳ ゴシック", 16, 4, 0, -1, 2, 0, -1);
    EXPECT_EQ(GetFontRecord(edged)->type, kFontTypeEdge);
    EXPECT_NE(GetFontRecord(edged)->edgeCacheGraph, -1);

    gScreen.colorBits = 8;
    Handle smooth = MakeFontHandle("ＭＳ ゴシック", 16, 4, kFontTypeAntiAliased, -1, -1, 0, -1);
    gScreen.colorBits = 32;
    EXPECT_EQ(GetFontRecord(smooth)->type, 0);

    EXPECT_EQ(DeleteFontHandle(font), 0);
    EXPECT_EQ(IsFontHandleValid(font), 0);
    EXPECT_EQ(DeleteFontHandle(font), -1);
    EXPECT_EQ(GetFontHandleSize(font), -1);
}

TEST_F(FontHandleTest, FailedCreationsLogAndLeaveNoHandle) {
    StartDevice(32);
    int fonts = gFontRegistry.liveCount, graphs = gGraphRegistry.liveCount;
    // A size no font is made at fails every attempt of the chains, with a face and without.
    EXPECT_EQ(MakeFontHandle("ＭＳ 明朝", 5000, 2, 0, -1, -1, 0, -1), -1);
    EXPECT_EQ(MakeFontHandle(nullptr, 5000, 2, 0, -1, -1, 0, -1), -1);
    // The second attempt of a chain succeeds.
    TestFailNthCall("CreateFontA", 1);
    Handle second = MakeFontHandle("ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1);
    EXPECT_NE(second, -1);
    DeleteFontHandle(second);
    TestFailNthCall("CreateCompatibleDC", 2);  // the first is the face list's
    EXPECT_EQ(MakeFontHandle("ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1), -1);
    EXPECT_EQ(gFontRegistry.liveCount, fonts);
    EXPECT_EQ(gGraphRegistry.liveCount, graphs);
    EXPECT_TRUE(
        InOrder(ReadLog(), {"指定のフォントの作成に失敗しました\r\n",
                            "フォントの作成に失敗しました\r\n", "ＤＣの取得に失敗しました\r\n"}));
}

TEST_F(FontHandleTest, TheDefaultFontOutlivesAScreenModeChange) {
    StartDevice(32);
    ASSERT_EQ(ChangeDefaultFont("ＭＳ 明朝", 20, 3), 0);
    ASSERT_EQ(ChangeScreenMode(800, 600, 32, 0, -1), 0);
    char face[kFontFaceBytes] = {};
    int size = 0, thickness = 0;
    ASSERT_EQ(GetFontHandleInfo(face, &size, &thickness, FetchDefaultFontHandle()), 0);
    EXPECT_STREQ(face, "ＭＳ 明朝");
    EXPECT_EQ(size, 20);
    EXPECT_EQ(thickness, 3);
    // The on-screen log lost its font with the old mode and makes it again when it draws.
    EXPECT_EQ(gFontRegistry.liveCount, 1);
    EXPECT_EQ(DrawScreenLog(), 0);
    EXPECT_EQ(gFontRegistry.liveCount, 2);
}

TEST_F(FontHandleTest, InSoftwareModeTheCacheIsAMemoryColumn) {
    StartSoftware(16);
    Handle font = GameFont();
    FontRecord* r = GetFontRecord(font);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->textureCache, 0);
    EXPECT_EQ(r->cacheGraph, -1);
    EXPECT_EQ(r->memoryCache.bitsPerPixel, 1);
    EXPECT_EQ(RebuildAllFontHandles(), 0);
    EXPECT_EQ(GetFontRecord(font)->size, 16);
}

}  // namespace
