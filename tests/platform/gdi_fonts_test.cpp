// GDI fonts over FreeType: the metrics' relations, the bitmap layouts and sizes of
// GetGlyphOutlineA, Shift-JIS codes, faces that stand for the IPA fonts, the fall-back for a
// face that is not installed, synthetic bold and italic where the face file lacks the style and
// none where it has it, and the face enumeration. Nothing here compares glyphs with Windows' own.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform_test_support.h"

namespace {

const MAT2 kIdentity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};

// The code GetGlyphOutlineA takes for the first character of a CP932 text.
UINT CodeOf(const char* text) {
    auto lead = static_cast<uint8_t>(text[0]);
    bool doubleByte = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    return doubleByte ? lead * 256u + static_cast<uint8_t>(text[1]) : lead;
}

class GdiFontTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        dc_ = CreateCompatibleDC(nullptr);
        ASSERT_NE(dc_, nullptr);
    }
    void TearDown() override {
        for (HFONT font : fonts_) DeleteObject(font);
        DeleteDC(dc_);
        PlatformTest::TearDown();
    }
    HFONT Select(int height, int weight, DWORD charSet, const char* face, DWORD italic = 0) {
        HFONT font = CreateFontA(height, 0, 0, 0, weight, italic, 0, 0, charSet, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                 FIXED_PITCH | FF_DONTCARE, face);
        if (font != nullptr) {
            fonts_.push_back(font);
            SelectObject(dc_, font);
        }
        return font;
    }
    TEXTMETRICA Metrics() {
        TEXTMETRICA tm{};
        EXPECT_TRUE(GetTextMetricsA(dc_, &tm));
        return tm;
    }
    // The glyph's bitmap in the format, after checking the size query against the fill.
    std::vector<uint8_t> Glyph(UINT code, UINT format, GLYPHMETRICS* gm) {
        DWORD size = GetGlyphOutlineA(dc_, code, format, gm, 0, nullptr, &kIdentity);
        EXPECT_NE(size, GDI_ERROR);
        if (size == GDI_ERROR) return {};
        std::vector<uint8_t> bits(size);
        if (size > 0) {
            EXPECT_EQ(GetGlyphOutlineA(dc_, code, format, gm, size, bits.data(), &kIdentity), size);
        }
        return bits;
    }
    // The ink of 'I' in the selected font: its GGO_BITMAP bits, how many are set, and the slope
    // of the rows' centres of ink (pixels rightwards per row down: a slant to the right is
    // negative).
    struct Ink {
        std::vector<uint8_t> bits;
        GLYPHMETRICS metrics{};
        int pixels = 0;
        double slope = 0;
    };
    Ink InkOfI() {
        Ink ink;
        ink.bits = Glyph('I', GGO_BITMAP, &ink.metrics);
        UINT pitch = (ink.metrics.gmBlackBoxX + 31) / 32 * 4;
        double n = 0, sumY = 0, sumC = 0, sumYY = 0, sumYC = 0;
        for (UINT y = 0; y < ink.metrics.gmBlackBoxY && !ink.bits.empty(); ++y) {
            int count = 0, sumX = 0;
            for (UINT x = 0; x < ink.metrics.gmBlackBoxX; ++x) {
                if ((ink.bits[y * pitch + x / 8] >> (7 - x % 8)) & 1) {
                    ++count;
                    sumX += static_cast<int>(x);
                }
            }
            if (count == 0) continue;
            double centre = static_cast<double>(sumX) / count;
            ink.pixels += count;
            n += 1;
            sumY += y;
            sumC += centre;
            sumYY += double(y) * y;
            sumYC += y * centre;
        }
        if (n > 1) ink.slope = (n * sumYC - sumY * sumC) / (n * sumYY - sumY * sumY);
        return ink;
    }
    HDC dc_ = nullptr;
    std::vector<HFONT> fonts_;
};

TEST_F(GdiFontTest, CellHeightIsTheWindowsExtentAndTheEmLeavesInternalLeading) {
    ASSERT_NE(Select(16, 200, SHIFTJIS_CHARSET, "ＭＳ 明朝"), nullptr);
    TEXTMETRICA tm = Metrics();
    EXPECT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
    // IPA Mincho's Windows extent is larger than its em, so the em is 15 of the 16 pixels.
    EXPECT_EQ(tm.tmInternalLeading, 1);
    EXPECT_GE(tm.tmExternalLeading, 0);
    EXPECT_GE(tm.tmMaxCharWidth, 15);
    EXPECT_EQ(tm.tmCharSet, SHIFTJIS_CHARSET);

    // A negative height asks for the em.
    ASSERT_NE(Select(-15, 200, SHIFTJIS_CHARSET, "ＭＳ 明朝"), nullptr);
    TEXTMETRICA byEm = Metrics();
    EXPECT_EQ(byEm.tmHeight - byEm.tmInternalLeading, 15);
}

TEST_F(GdiFontTest, BitmapsHaveDwordRowsAndLevelsUpToSixteen) {
    ASSERT_NE(Select(17, 200, SHIFTJIS_CHARSET, "ＭＳ 明朝"), nullptr);
    TEXTMETRICA tm = Metrics();
    GLYPHMETRICS mono{}, gray{};
    std::vector<uint8_t> bits = Glyph(CodeOf("決"), GGO_BITMAP, &mono);
    ASSERT_FALSE(bits.empty());
    UINT monoPitch = (mono.gmBlackBoxX + 31) / 32 * 4;
    EXPECT_EQ(bits.size(), monoPitch * mono.gmBlackBoxY);
    // The box is cropped to ink: its first row and first column hold set bits.
    bool topRowInked = false, leftColumnInked = false;
    for (UINT x = 0; x < mono.gmBlackBoxX; ++x) topRowInked |= (bits[x / 8] >> (7 - x % 8)) & 1;
    for (UINT y = 0; y < mono.gmBlackBoxY; ++y) leftColumnInked |= bits[y * monoPitch] >> 7;
    EXPECT_TRUE(topRowInked);
    EXPECT_TRUE(leftColumnInked);
    EXPECT_LE(mono.gmptGlyphOrigin.y, tm.tmAscent);
    EXPECT_GE(mono.gmptGlyphOrigin.y - static_cast<LONG>(mono.gmBlackBoxY), -tm.tmDescent);
    EXPECT_GT(mono.gmCellIncX, 10);

    std::vector<uint8_t> levels = Glyph(CodeOf("決"), GGO_GRAY4_BITMAP, &gray);
    UINT grayPitch = (gray.gmBlackBoxX + 3) / 4 * 4;
    ASSERT_EQ(levels.size(), grayPitch * gray.gmBlackBoxY);
    uint8_t highest = 0;
    for (UINT y = 0; y < gray.gmBlackBoxY; ++y) {
        for (UINT x = 0; x < gray.gmBlackBoxX; ++x)
            highest = std::max(highest, levels[y * grayPitch + x]);
        for (UINT x = gray.gmBlackBoxX; x < grayPitch; ++x) EXPECT_EQ(levels[y * grayPitch + x], 0);
    }
    EXPECT_EQ(highest, 16);
    EXPECT_EQ(gray.gmCellIncX, mono.gmCellIncX);

    GLYPHMETRICS metricsOnly{};
    EXPECT_EQ(
        GetGlyphOutlineA(dc_, CodeOf("決"), GGO_METRICS, &metricsOnly, 0, nullptr, &kIdentity), 0u);
    EXPECT_EQ(metricsOnly.gmCellIncX, mono.gmCellIncX);
}

TEST_F(GdiFontTest, RefusalsAndBlankGlyphs) {
    ASSERT_NE(Select(16, 400, SHIFTJIS_CHARSET, "ＭＳ ゴシック"), nullptr);
    GLYPHMETRICS gm{};
    // A space has an advance, GDI's one-pixel box and no bits.
    EXPECT_EQ(GetGlyphOutlineA(dc_, ' ', GGO_BITMAP, &gm, 0, nullptr, &kIdentity), 0u);
    EXPECT_GT(gm.gmCellIncX, 0);
    EXPECT_EQ(gm.gmBlackBoxX, 1u);
    EXPECT_EQ(GetGlyphOutlineA(dc_, CodeOf("　"), GGO_GRAY4_BITMAP, &gm, 0, nullptr, &kIdentity),
              0u);
    TEXTMETRICA tm = Metrics();
    EXPECT_EQ(gm.gmCellIncX, tm.tmHeight - tm.tmInternalLeading);

    DWORD size = GetGlyphOutlineA(dc_, 'A', GGO_BITMAP, &gm, 0, nullptr, &kIdentity);
    ASSERT_GT(size, 4u);
    std::vector<uint8_t> bits(size);
    EXPECT_EQ(GetGlyphOutlineA(dc_, 'A', GGO_BITMAP, &gm, size - 1, bits.data(), &kIdentity),
              GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(dc_, 'A', GGO_BITMAP, &gm, 0, nullptr, nullptr), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(dc_, 'A', 2, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
    TestFailNthCall("GetGlyphOutlineA", 1);
    EXPECT_EQ(GetGlyphOutlineA(dc_, 'A', GGO_BITMAP, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
    TestFailNthCall("CreateFontA", 1);
    EXPECT_EQ(Select(16, 400, SHIFTJIS_CHARSET, "ＭＳ ゴシック"), nullptr);
    EXPECT_EQ(Select(100000, 400, SHIFTJIS_CHARSET, "ＭＳ ゴシック"), nullptr);
}

TEST_F(GdiFontTest, ShiftJisCodesReachTheirCharacters) {
    ASSERT_NE(Select(16, 400, SHIFTJIS_CHARSET, "ＭＳ ゴシック"), nullptr);
    GLYPHMETRICS wide{}, half{}, latin{};
    // Full-width katakana by lead and trail byte; half-width katakana by one byte.
    EXPECT_FALSE(Glyph(CodeOf("ア"), GGO_BITMAP, &wide).empty());
    EXPECT_FALSE(Glyph(0xB1, GGO_BITMAP, &half).empty());
    EXPECT_FALSE(Glyph('1', GGO_BITMAP, &latin).empty());
    EXPECT_NEAR(half.gmCellIncX * 2, wide.gmCellIncX, 1);
    EXPECT_EQ(latin.gmCellIncX, half.gmCellIncX);
}

TEST_F(GdiFontTest, MissingFaceFallsBackToTheCharsetsDefaultFace) {
    ASSERT_NE(Select(16, 400, SHIFTJIS_CHARSET, "No Such Face 1234"), nullptr);
    GLYPHMETRICS gm{};
    EXPECT_FALSE(Glyph(CodeOf("決"), GGO_BITMAP, &gm).empty());
    EXPECT_EQ(Metrics().tmHeight, 16);
    // A context without a selected font uses the system font.
    HDC fresh = CreateCompatibleDC(nullptr);
    TEXTMETRICA tm{};
    EXPECT_TRUE(GetTextMetricsA(fresh, &tm));
    EXPECT_GT(tm.tmHeight, 0);
    DeleteDC(fresh);
}

TEST_F(GdiFontTest, WeightsFromSixHundredAreEmboldenedByOnePixel) {
    ASSERT_NE(Select(16, 400, SHIFTJIS_CHARSET, "ＭＳ ゴシック"), nullptr);
    TEXTMETRICA regular = Metrics();
    GLYPHMETRICS thin{};
    Glyph('l', GGO_BITMAP, &thin);
    ASSERT_NE(Select(16, 600, SHIFTJIS_CHARSET, "ＭＳ ゴシック"), nullptr);
    GLYPHMETRICS bold{};
    Glyph('l', GGO_BITMAP, &bold);
    EXPECT_EQ(Metrics().tmMaxCharWidth, regular.tmMaxCharWidth + 1);
    EXPECT_EQ(bold.gmCellIncX, thin.gmCellIncX + 1);
    EXPECT_EQ(bold.gmBlackBoxX, thin.gmBlackBoxX + 1);
}

TEST_F(GdiFontTest, AFaceWithoutBoldOrItalicIsEmboldenedAndSlantedForThem) {
    // IPA Gothic has neither style, though fontconfig's match claims the one asked for.
    ASSERT_NE(Select(32, 300, SHIFTJIS_CHARSET, "ＭＳ ゴシック"), nullptr);
    Ink plain = InkOfI();
    ASSERT_NE(Select(32, 900, SHIFTJIS_CHARSET, "ＭＳ ゴシック"), nullptr);
    Ink heavy = InkOfI();
    ASSERT_NE(Select(32, 300, SHIFTJIS_CHARSET, "ＭＳ ゴシック", 1), nullptr);
    Ink italic = InkOfI();
    ASSERT_NE(Select(32, 900, SHIFTJIS_CHARSET, "ＭＳ ゴシック", 1), nullptr);
    Ink heavyItalic = InkOfI();
    EXPECT_GT(plain.pixels, 40);
    EXPECT_GT(heavy.pixels, plain.pixels * 5 / 4);
    EXPECT_EQ(heavy.metrics.gmCellIncX, plain.metrics.gmCellIncX + 1);
    // The synthesised slant moves a fifth of a pixel right per row up.
    EXPECT_NEAR(plain.slope, 0, 0.05);
    EXPECT_NEAR(italic.slope, -0.21, 0.06);
    EXPECT_EQ(italic.metrics.gmCellIncX, plain.metrics.gmCellIncX);
    EXPECT_NEAR(heavyItalic.slope, -0.21, 0.06);
    EXPECT_GT(heavyItalic.pixels, italic.pixels * 5 / 4);
}

TEST_F(GdiFontTest, AFaceWithRealBoldAndObliqueFilesIsDrawnAsItIs) {
    // DejaVu Sans has them; weight 580 already picks the bold file, below the emboldening
    // threshold, so heavier weights must draw exactly what it draws.
    ASSERT_NE(Select(32, 400, ANSI_CHARSET, "DejaVu Sans"), nullptr);
    Ink book = InkOfI();
    ASSERT_NE(Select(32, 580, ANSI_CHARSET, "DejaVu Sans"), nullptr);
    Ink boldFile = InkOfI();
    TEXTMETRICA boldMetrics = Metrics();
    ASSERT_NE(Select(32, 900, ANSI_CHARSET, "DejaVu Sans"), nullptr);
    Ink heavy = InkOfI();
    EXPECT_GT(boldFile.pixels, book.pixels * 5 / 4);
    EXPECT_EQ(heavy.bits, boldFile.bits);
    EXPECT_EQ(heavy.metrics.gmCellIncX, boldFile.metrics.gmCellIncX);
    EXPECT_EQ(Metrics().tmMaxCharWidth, boldMetrics.tmMaxCharWidth);

    // The oblique files lean by themselves and are not slanted again.
    ASSERT_NE(Select(32, 400, ANSI_CHARSET, "DejaVu Sans", 1), nullptr);
    Ink oblique = InkOfI();
    ASSERT_NE(Select(32, 580, ANSI_CHARSET, "DejaVu Sans", 1), nullptr);
    Ink boldObliqueFile = InkOfI();
    ASSERT_NE(Select(32, 900, ANSI_CHARSET, "DejaVu Sans", 1), nullptr);
    Ink heavyOblique = InkOfI();
    EXPECT_NEAR(book.slope, 0, 0.05);
    EXPECT_NEAR(oblique.slope, -0.21, 0.06);
    EXPECT_NE(oblique.bits, book.bits);
    EXPECT_EQ(heavyOblique.bits, boldObliqueFile.bits);
}

struct Listed {
    std::vector<std::string> names;
    std::vector<BYTE> charSets;
};

int Collect(const LOGFONTA* logFont, const TEXTMETRICA*, DWORD, LPARAM lParam) {
    auto* listed = reinterpret_cast<Listed*>(lParam);
    const auto* entry = reinterpret_cast<const ENUMLOGFONTEXA*>(logFont);
    listed->names.push_back(entry->elfLogFont.lfFaceName);
    listed->charSets.push_back(entry->elfLogFont.lfCharSet);
    return 1;
}

TEST_F(GdiFontTest, EnumerationListsTheJapaneseFacesUnderTheirSystemNames) {
    LOGFONTA query{};
    query.lfCharSet = SHIFTJIS_CHARSET;
    std::strcpy(query.lfFaceName, "ＭＳ 明朝");
    Listed listed;
    EXPECT_EQ(EnumFontFamiliesExA(dc_, &query, Collect, reinterpret_cast<LPARAM>(&listed), 0), 1);
    ASSERT_EQ(listed.names.size(), 1u);
    EXPECT_EQ(listed.names[0], "ＭＳ 明朝");
    EXPECT_EQ(listed.charSets[0], SHIFTJIS_CHARSET);

    // DejaVu serves no Japanese, so it is not listed for Shift-JIS.
    std::strcpy(query.lfFaceName, "DejaVu Sans");
    Listed none;
    EnumFontFamiliesExA(dc_, &query, Collect, reinterpret_cast<LPARAM>(&none), 0);
    EXPECT_TRUE(none.names.empty());
    query.lfCharSet = DEFAULT_CHARSET;
    Listed any;
    EnumFontFamiliesExA(dc_, &query, Collect, reinterpret_cast<LPARAM>(&any), 0);
    EXPECT_FALSE(any.names.empty());

    query.lfFaceName[0] = '\0';
    query.lfCharSet = SHIFTJIS_CHARSET;
    Listed all;
    EnumFontFamiliesExA(dc_, &query, Collect, reinterpret_cast<LPARAM>(&all), 0);
    EXPECT_NE(std::find(all.names.begin(), all.names.end(), "ＭＳ ゴシック"), all.names.end());
    EXPECT_NE(std::find(all.names.begin(), all.names.end(), "IPAMincho"), all.names.end());
}

}  // namespace
