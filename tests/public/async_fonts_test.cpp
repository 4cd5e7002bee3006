// Fonts made on the loading workers through the public header: pending until the program pumps,
// then drawing as the same fonts made at once; a creation that fails deletes its handle, and
// deletion and shutdown with creations in flight end cleanly.

#include <orbek/orbek.h>

#include "public_fixture.h"

namespace {

struct AsyncFontSpec {
    const char* face;
    int size, thickness, type, edgeSize, italic;
};

// Plain, edged, anti-aliased italic, and anti-aliased with a wide edge.
constexpr AsyncFontSpec kAsyncFontSpecs[] = {{nullptr, 16, -1, 0, -1, 0},
                                             {"ＭＳ ゴシック", 12, 9, 1, 1, 0},
                                             {"ＭＳ 明朝", 24, 2, 2, -1, 1},
                                             {"ＭＳ ゴシック", 20, 6, 3, 2, 0}};
constexpr const char* kAsyncFontText = "Orbek 日本語 Ag";

Handle MakeAsyncSpecFont(const AsyncFontSpec& f) {
    return MakeFontHandle(f.face, f.size, f.thickness, f.type, -1, f.edgeSize, f.italic, -1);
}

// On the Direct3D device (true) and on the software renderer (false).
class AsyncFontsTest : public PublicFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PublicFixture::SetUp();
        ASSERT_EQ(SwitchHardwareRendering(GetParam() ? 1 : 0), 0);
        ASSERT_EQ(SwitchAsyncLoad(1), 0);
        StartFramework();
    }
    // Both switches hold across set-ups: later tests make their fonts at once on the device.
    void TearDown() override {
        PublicFixture::TearDown();
        SwitchAsyncLoad(0);
        SwitchHardwareRendering(1);
    }
};

INSTANTIATE_TEST_SUITE_P(Renderers, AsyncFontsTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Device" : "Software"; });

TEST_P(AsyncFontsTest, FontsMadeOnTheWorkersDrawAsFontsMadeAtOnce) {
    std::vector<Handle> queued;
    for (const AsyncFontSpec& spec : kAsyncFontSpecs) {
        queued.push_back(MakeAsyncSpecFont(spec));
        ASSERT_NE(queued.back(), -1);
    }
    // No font is as tall as that: the creation fails on the worker.
    const Handle failing = MakeFontHandle(nullptr, 5000, -1, 0, -1, -1, 0, -1);
    ASSERT_NE(failing, -1);
    const ScreenColor white = PackScreenColor(255, 255, 255);
    // The device's share of a creation runs only when the program pumps.
    if (GetParam()) {
        EXPECT_EQ(IsFontHandleLoading(queued[0]), 1);
        EXPECT_EQ(DrawStringWithFont(0, 0, "A", white, queued[0], 0, 0), -1);
        EXPECT_EQ(MeasureStringWidth("A", -1, queued[0]), -1);
        EXPECT_EQ(GetFontHandleSize(queued[0]), -1);
    }
    ASSERT_NE(PumpUntilLoadsEnd(), -1);
    EXPECT_EQ(IsFontHandleLoading(failing), -1);
    EXPECT_EQ(DrawStringWithFont(0, 0, "A", white, failing, 0, 0), -1);
    EXPECT_NE(ReadLog().find("フォントの作成に失敗しました"), std::string::npos);

    ASSERT_EQ(SwitchAsyncLoad(0), 0);
    std::vector<Handle> direct;
    for (size_t i = 0; i < queued.size(); ++i) {
        EXPECT_EQ(IsFontHandleLoading(queued[i]), 0) << i;
        EXPECT_EQ(GetFontHandleSize(queued[i]), kAsyncFontSpecs[i].size) << i;
        direct.push_back(MakeAsyncSpecFont(kAsyncFontSpecs[i]));
        ASSERT_EQ(IsFontHandleLoading(direct.back()), 0) << i;
    }
    int width = 0, height = 0;
    const std::vector<uint32_t> picture = DrawAndShow(
        [&] {
            for (size_t i = 0; i < queued.size(); ++i) {
                const int y = 10 + static_cast<int>(i) * 40;
                ASSERT_EQ(DrawStringWithFont(0, y, kAsyncFontText, white, queued[i],
                                             PackScreenColor(255, 0, 0), 0),
                          0);
                ASSERT_EQ(DrawStringWithFont(320, y, kAsyncFontText, white, direct[i],
                                             PackScreenColor(255, 0, 0), 0),
                          0);
            }
        },
        &width, &height);
    ASSERT_EQ(width, 640);
    int lit = 0;
    for (int y = 0; y < 170; ++y) {
        for (int x = 0; x < 320; ++x) {
            ASSERT_EQ(picture[y * 640 + x], picture[y * 640 + x + 320]) << x << "," << y;
            lit += picture[y * 640 + x] != 0 ? 1 : 0;
        }
    }
    EXPECT_GT(lit, 500);
}

TEST_P(AsyncFontsTest, DeletionAndShutdownWithCreationsInFlightEnd) {
    std::vector<Handle> fonts;
    for (int i = 0; i < 12; ++i) {
        fonts.push_back(MakeAsyncSpecFont(kAsyncFontSpecs[i % 4]));
        ASSERT_NE(fonts.back(), -1);
    }
    // The first are taken by workers at once (their deletion waits for them), the last are still
    // queued (withdrawn).
    for (int i : {0, 1, 11}) {
        EXPECT_EQ(DeleteFontHandle(fonts[i]), 0) << i;
        EXPECT_EQ(IsFontHandleLoading(fonts[i]), -1) << i;
        EXPECT_EQ(DeleteFontHandle(fonts[i]), -1) << i;
    }
    ShutdownLibrary();
    EXPECT_EQ(IsFontHandleLoading(fonts[5]), -1);
    EXPECT_EQ(CountQueuedAsyncLoads(), 0);

    // Started again, the framework makes and draws fonts as before.
    StartFramework();
    const Handle font = MakeAsyncSpecFont(kAsyncFontSpecs[3]);
    ASSERT_NE(PumpUntilLoadsEnd(), -1);
    ASSERT_EQ(IsFontHandleLoading(font), 0);
    EXPECT_GT(MeasureStringWidth(kAsyncFontText, -1, font), 0);
}

}  // namespace
