// Fonts made on the loading workers through the public header: pending until the program pumps,
// then drawing as the same fonts made at once; a creation that fails deletes its handle, and
// deletion and shutdown with creations in flight end cleanly.

#include <algorithm>

#include "public_fixture.h"

namespace {

struct AsyncFontStyle {
    const char* face;
    int size, thickness, type, edgeSize, italic;
};

// Plain, edged, anti-aliased italic, and anti-aliased with a wide edge.
constexpr AsyncFontStyle kAsyncFontStyles[] = {{nullptr, 16, -1, 0, -1, 0},
                                             {"ＭＳ ゴシック", 12, 9, 1, 1, 0},
                                             {"ＭＳ 明朝", 24, 2, 2, -1, 1},
                                             {"ＭＳ ゴシック", 20, 6, 3, 2, 0}};
constexpr const char* kAsyncFontText = "Orbek 日本語 Ag";

Handle MakeAsyncStyleFont(const AsyncFontStyle& f) {
    return MakeFontHandle(f.face, f.size, f.thickness, f.type, -1, f.edgeSize, f.italic, -1);
}

using AsyncFontsTest = RendererFixture;
INSTANTIATE_TEST_SUITE_P(Renderers, AsyncFontsTest, ::testing::Bool(), RendererName);

TEST_P(AsyncFontsTest, FontsMadeOnTheWorkersDrawAsFontsMadeAtOnceAndEndCleanly) {
    ASSERT_EQ(SwitchAsyncLoad(1), 0);
    StartFramework();
    std::vector<Handle> queued, direct;
    for (const AsyncFontStyle& style : kAsyncFontStyles) queued.push_back(MakeAsyncStyleFont(style));
    const ScreenColor white = PackScreenColor(255, 255, 255), red = PackScreenColor(255, 0, 0);
    // The device's share of a creation runs only when the program pumps.
    if (GetParam()) {
        EXPECT_EQ(IsFontHandleLoading(queued[0]), 1);
        EXPECT_EQ(DrawStringWithFont(0, 0, "A", white, queued[0], 0, 0), -1);
        EXPECT_EQ(MeasureStringWidth("A", -1, queued[0]), -1);
    }
    // No font is as tall as that: the creation fails on the worker. (Queued after the calls
    // above, which log their refusals: the log takes one writer at a time.)
    const Handle failing = MakeFontHandle(nullptr, 5000, -1, 0, -1, -1, 0, -1);
    ASSERT_NE(failing, -1);
    ASSERT_NE(PumpUntilLoadsEnd(), -1);
    EXPECT_EQ(IsFontHandleLoading(failing), -1);
    EXPECT_NE(ReadLog().find("フォントの作成に失敗しました"), std::string::npos);

    ASSERT_EQ(SwitchAsyncLoad(0), 0);
    for (size_t i = 0; i < queued.size(); ++i) {
        EXPECT_EQ(IsFontHandleLoading(queued[i]), 0) << i;
        EXPECT_EQ(GetFontHandleSize(queued[i]), kAsyncFontStyles[i].size) << i;
        direct.push_back(MakeAsyncStyleFont(kAsyncFontStyles[i]));
    }
    const std::vector<uint32_t> picture = Show([&] {
        for (int i = 0; i < static_cast<int>(queued.size()); ++i) {
            DrawStringWithFont(0, 10 + i * 40, kAsyncFontText, white, queued[i], red, 0);
            DrawStringWithFont(320, 10 + i * 40, kAsyncFontText, white, direct[i], red, 0);
        }
    });
    for (int y = 0; y < 170; ++y) {
        const auto row = picture.begin() + y * 640;
        ASSERT_TRUE(std::equal(row, row + 320, row + 320)) << y;
    }
    EXPECT_GT(std::count_if(picture.begin(), picture.begin() + 170 * 640,
                            [](uint32_t pixel) { return pixel != 0; }),
              1000);

    // The first fonts are taken by workers at once (their deletion waits for them), the last are
    // still queued (withdrawn); the shutdown ends the others, and the framework started again
    // makes fonts as before.
    ASSERT_EQ(SwitchAsyncLoad(1), 0);
    std::vector<Handle> fonts;
    for (int i = 0; i < 12; ++i) fonts.push_back(MakeAsyncStyleFont(kAsyncFontStyles[i % 4]));
    for (int i : {0, 1, 11}) {
        EXPECT_EQ(DeleteFontHandle(fonts[i]), 0) << i;
        EXPECT_EQ(DeleteFontHandle(fonts[i]), -1) << i;
    }
    ShutdownLibrary();
    EXPECT_EQ(IsFontHandleLoading(fonts[5]), -1);
    EXPECT_EQ(CountQueuedAsyncLoads(), 0);

    StartFramework();
    const Handle font = MakeAsyncStyleFont(kAsyncFontStyles[3]);
    ASSERT_NE(PumpUntilLoadsEnd(), -1);
    EXPECT_GT(MeasureStringWidth(kAsyncFontText, -1, font), 0);
}

}  // namespace
