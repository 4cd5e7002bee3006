// String drawing: where glyphs land (checked against the GDI layer's own glyphs and metrics),
// vertical text as the horizontal turned a quarter turn, spaces, the text rectangle's early
// return, texts longer than the cache, blending through the text image, anti-aliased levels,
// heavy and italic text on a face without those styles, and the refusals.
#include "text/string_draw.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <utility>

#include "font_fixture.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

class StringDrawTest : public FontFixture {
protected:
    // The pixels of the screen that have the colour.
    static Pixels PixelsOf(uint32_t rgb) {
        int width = 0, height = 0;
        std::vector<uint32_t> screen = ReadScreen(&width, &height);
        Pixels found;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (screen[static_cast<size_t>(y) * width + x] == rgb) found.insert({x, y});
            }
        }
        return found;
    }
    static void FillScreen(int red, int green, int blue) {
        ClearMemImgRect(&gSoftwareScreen.screen, nullptr, PackScreenColor(red, green, blue));
    }
    static int Ascent(const FontRecord* r) {
        TEXTMETRICA tm{};
        HDC dc = CreateCompatibleDC(nullptr);
        SelectObject(dc, r->gdiFont);
        GetTextMetricsA(dc, &tm);
        DeleteDC(dc);
        return tm.tmAscent;
    }
    static int Measure(const char* text, Handle font) {
        return DrawStringCore({.text = text, .font = font}, nullptr);
    }
};

TEST_F(StringDrawTest, GlyphsLandAtTheirOriginHorizontallyAndTurnedVertically) {
    StartSoftware(16);
    Handle font = GameFont();
    FontRecord* r = GetFontRecord(font);
    FillScreen(0, 0, 0);
    ScreenColor white = PackScreenColor(255, 255, 255);
    ASSERT_EQ(DrawStringWithFont(100, 50, "決", white, font, 0, 0), 0);
    ASSERT_EQ(DrawStringWithFont(300, 50, "決", white, font, 0, 1), 0);
    Glyph glyph = GlyphOf(r, 0x8C88, false);
    int c = r->verticalCorrection, top = Ascent(r) - glyph.metrics.gmptGlyphOrigin.y;
    Pixels horizontal, vertical;
    for (int gy = 0; gy < glyph.height; ++gy) {
        for (int gx = 0; gx < glyph.width; ++gx) {
            if (glyph.At(gx, gy) == 0) continue;
            horizontal.insert({100 + glyph.metrics.gmptGlyphOrigin.x + gx, 50 - c / 2 + top + gy});
            // Turned clockwise: the glyph's rows run right to left from the cell height.
            vertical.insert({300 + c / 2 + r->cellHeight - 1 - (top + gy),
                             50 + glyph.metrics.gmptGlyphOrigin.x + gx});
        }
    }
    Pixels drawn = PixelsOf(0xFFFFFF);
    Pixels expected = horizontal;
    expected.insert(vertical.begin(), vertical.end());
    EXPECT_EQ(drawn, expected);
}

TEST_F(StringDrawTest, SpacesOnlyAdvanceAndTheExtentSumsTheAdvances) {
    StartSoftware(32);
    Handle font = GameFont();
    int a = Measure("A", font), space = Measure(" ", font), wide = Measure("　", font);
    EXPECT_GT(a, 0);
    EXPECT_GT(space, 0);
    EXPECT_GT(wide, space);
    EXPECT_EQ(Measure("A A", font), 2 * a + space);
    ASSERT_EQ(SetFontHandleSpacing(2, font), 0);
    EXPECT_EQ(Measure("A A", font), 2 * a + space + 6);
    int size[2] = {};
    DrawStringCore({.text = "AA", .font = font, .vertical = 1}, size);
    EXPECT_EQ(size[0], GetFontRecord(font)->cellHeight);
    EXPECT_EQ(size[1], 2 * (a + 2));
    FillScreen(0, 0, 0);
    EXPECT_EQ(DrawStringWithFont(10, 10, " 　 ", PackScreenColor(255, 255, 255), font, 0, 0), 0);
    EXPECT_TRUE(PixelsOf(0xFFFFFF).empty());
}

TEST_F(StringDrawTest, ATextLongerThanTheCacheDrawsAsWithALargeCache) {
    StartSoftware(16);
    Handle small = MakeFontHandleWithFlags({1, 20}, "ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1, 0);
    Handle large = GameFont();
    ASSERT_EQ(GetFontRecord(small)->capacity, 20);
    // 26 letters, then ten of them again after the ring has replaced them.
    const char* text = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ";
    ScreenColor white = PackScreenColor(255, 255, 255);
    FillScreen(0, 0, 0);
    ASSERT_EQ(DrawStringWithFont(0, 100, text, white, large, 0, 0), 0);
    Pixels expected = PixelsOf(0xFFFFFF);
    FillScreen(0, 0, 0);
    ASSERT_EQ(DrawStringWithFont(0, 100, text, white, small, 0, 0), 0);
    EXPECT_EQ(PixelsOf(0xFFFFFF), expected);
    EXPECT_GT(expected.size(), 300u);
}

TEST_F(StringDrawTest, TranslucentTextGoesThroughTheTextImageAtHalfStrength) {
    StartSoftware(32);
    Handle font = GameFont();
    FillScreen(200, 0, 0);
    ASSERT_EQ(ChangeBlendMode(BlendTranslucent, 128), 0);
    ASSERT_EQ(DrawStringWithFont(10, 10, "決", PackScreenColor(0, 0, 254), font, 0, 0), 0);
    // Black text is blended too, though black is the text image's usual key.
    ASSERT_EQ(DrawStringWithFont(40, 10, "決", PackScreenColor(0, 0, 0), font, 0, 0), 0);
    Pixels blue = PixelsOf(100 << 16 | 127), dark = PixelsOf(100 << 16);
    EXPECT_GT(blue.size(), 40u);
    EXPECT_EQ(dark.size(), blue.size());
    // Everything else keeps the background.
    int width = 0, height = 0;
    std::vector<uint32_t> screen = ReadScreen(&width, &height);
    EXPECT_EQ(std::count(screen.begin(), screen.end(), 200u << 16),
              static_cast<long>(screen.size() - blue.size() - dark.size()));
}

TEST_F(StringDrawTest, AntiAliasedLevelsBecomeAlphaInSoftwareMode) {
    StartSoftware(32);
    Handle font = MakeFontHandle("ＭＳ ゴシック", 16, 4, kFontTypeAntiAliased, -1, -1, 0, -1);
    FontRecord* r = GetFontRecord(font);
    FillScreen(0, 0, 0);
    ASSERT_EQ(DrawStringWithFont(20, 20, "決", PackScreenColor(255, 255, 255), font, 0, 0), 0);
    Glyph glyph = GlyphOf(r, 0x8C88, true);
    int left = 20 + glyph.metrics.gmptGlyphOrigin.x;
    int top = 20 - r->verticalCorrection / 2 + Ascent(r) - glyph.metrics.gmptGlyphOrigin.y;
    int width = 0, height = 0;
    std::vector<uint32_t> screen = ReadScreen(&width, &height);
    int worst = 0;
    for (int gy = 0; gy < glyph.height; ++gy) {
        for (int gx = 0; gx < glyph.width; ++gx) {
            // Level g of 16 is stored as g - 1 and drawn at alpha (g - 1) x 16.
            int alpha = std::max(glyph.At(gx, gy) - 1, 0) * 16;
            int red =
                static_cast<int>(screen[static_cast<size_t>(top + gy) * width + left + gx] >> 16);
            worst = std::max(worst, std::abs(red - alpha));
        }
    }
    EXPECT_LE(worst, 1);
}

TEST_F(StringDrawTest, HeavyAndItalicDefaultFontsDrawBolderAndSlanted) {
    // The default face, IPA Gothic, has no bold or italic style of its own.
    StartSoftware(32);
    struct Drawn {
        Pixels pixels;
        double lean = 0;  // the top half's mean ink column less the bottom half's
    };
    auto draw = [&](int thickness, int italic) {
        Handle font = MakeFontHandle(nullptr, 32, thickness, 0, -1, -1, italic, -1);
        FillScreen(0, 0, 0);
        EXPECT_EQ(DrawStringWithFont(10, 10, "I", PackScreenColor(255, 255, 255), font, 0, 0), 0);
        Drawn drawn{PixelsOf(0xFFFFFF)};
        // The whole glyph reaches the screen, however wide the emboldening and slant make it.
        Glyph glyph = GlyphOf(GetFontRecord(font), 'I', false);
        EXPECT_EQ(static_cast<long>(drawn.pixels.size()),
                  std::count(glyph.levels.begin(), glyph.levels.end(), 1));
        DeleteFontHandle(font);
        if (drawn.pixels.empty()) return drawn;
        auto [low, high] =
            std::minmax_element(drawn.pixels.begin(), drawn.pixels.end(),
                                [](const auto& a, const auto& b) { return a.second < b.second; });
        double middle = (low->second + high->second) / 2.0;
        double sum[2] = {}, count[2] = {};
        for (auto [x, y] : drawn.pixels) {
            sum[y < middle] += x;
            count[y < middle] += 1;
        }
        drawn.lean = sum[1] / count[1] - sum[0] / count[0];
        return drawn;
    };
    Drawn plain = draw(3, 0), heavy = draw(9, 0), italic = draw(3, 1), both = draw(9, 1);
    EXPECT_GT(plain.pixels.size(), 40u);
    EXPECT_GT(heavy.pixels.size(), plain.pixels.size() * 5 / 4);
    EXPECT_GT(both.pixels.size(), italic.pixels.size() * 5 / 4);
    EXPECT_NEAR(plain.lean, 0, 0.5);
    EXPECT_GT(italic.lean, 1.5);
    EXPECT_GT(both.lean, 1.5);
}

TEST_F(StringDrawTest, RefusalsAndTheTextRectanglesEarlyReturn) {
    StartSoftware(16);
    Handle font = GameFont();
    ScreenColor white = PackScreenColor(255, 255, 255);
    EXPECT_EQ(DrawStringWithFont(0, 0, "", white, font, 0, 0), 0);
    EXPECT_EQ(DrawStringWithFont(0, 0, nullptr, white, font, 0, 0), 0);
    EXPECT_EQ(DrawStringWithFont(0, 0, "A", white, 12345, 0, 0), -1);
    EXPECT_NE(ReadLog().find("フォントハンドル値が異常です\r\n"), std::string::npos);
    // On the front screen a text that starts right of the draw area is not even cached.
    ASSERT_EQ(SelectDrawScreen(kFrontScreen), 0);
    EXPECT_EQ(DrawStringWithFont(640, 0, "A", white, font, 0, 0), 0);
    EXPECT_EQ(GetFontRecord(font)->nextSlot, 0);
    EXPECT_EQ(DrawStringWithFont(639, 0, "A", white, font, 0, 0), 0);
    EXPECT_EQ(GetFontRecord(font)->nextSlot, 1);
}

}  // namespace
