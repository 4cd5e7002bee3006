// The glyph cache's mechanics, against glyphs as the GDI layer gives them (never Windows'
// bitmaps): each layout's cell contents with an independent dilation for the edges and the
// level-to-alpha rule, entries' metrics, cells filled once and reused, eviction in ring order,
// the rebuild after the device is made anew, double-byte characters, and the game's texts.
#include <cstring>
#include <tuple>

#include "font_fixture.h"

namespace {

class GlyphCacheTest : public FontFixture {
protected:
    // The one cache entry of a single-character text, rendered if needed.
    static const GlyphCacheEntry* EntryOf(Handle font, const char* character) {
        FontRecord* record = GetFontRecord(font);
        uint16_t code = 0;
        EXPECT_EQ(CountFontChars(-1, character, record->charsetIndex, &code), 1);
        EXPECT_EQ(CacheStringGlyphs(-1, character, font, nullptr, nullptr), 0);
        return record->codeMap[code].inCache ? record->codeMap[code].entry : nullptr;
    }
};

// Anti-aliased edges: each reaching glyph level g raises the coverage e (in 16ths) to
// 1 - (1 - e)(1 - g), rounded down, in the order the glyph's rows and columns run.
int UnionOfLevels(const std::vector<int>& levels) {
    int e = 0;
    for (int g : levels) e = (256 - (16 - e) * (16 - g)) / 16;
    return e;
}

// (texture cache, font type, edge size)
class GlyphLayoutTest : public GlyphCacheTest,
                        public ::testing::WithParamInterface<std::tuple<bool, int, int>> {};

TEST_P(GlyphLayoutTest, TheCellHoldsTheGlyphAndItsEdge) {
    auto [texture, type, edge] = GetParam();
    StartDevice(16);
    FontCreateFlags flags = {texture ? 0 : 1, 0};
    Handle font = MakeFontHandleWithFlags(flags, "ＭＳ ゴシック", 16, 4, type, -1,
                                          (type & kFontTypeEdge) != 0 ? edge : -1, 0, -1, 0);
    ASSERT_NE(font, -1);
    FontRecord* r = GetFontRecord(font);
    ASSERT_EQ(r->textureCache, texture ? 1 : 0);
    ASSERT_EQ(r->type, type);
    bool gray = (type & kFontTypeAntiAliased) != 0;
    int e = (type & kFontTypeEdge) != 0 ? edge : 0;
    ASSERT_EQ(CacheStringGlyphs(-1, "AA", font, nullptr, nullptr), 0);  // slot 0 taken first
    const GlyphCacheEntry* entry = EntryOf(font, "決");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->slot, 1);
    Glyph glyph = GlyphOf(r, 0x8C88, gray);  // 決
    ASSERT_GT(glyph.width, 0);
    TEXTMETRICA tm{};
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, r->gdiFont);
    GetTextMetricsA(dc, &tm);
    DeleteDC(dc);
    EXPECT_EQ(entry->width, glyph.width + 2 * e);
    EXPECT_EQ(entry->height, glyph.height + 2 * e);
    EXPECT_EQ(entry->xOffset, glyph.metrics.gmptGlyphOrigin.x);
    EXPECT_EQ(entry->yOffset, tm.tmAscent - glyph.metrics.gmptGlyphOrigin.y);
    EXPECT_EQ(entry->advance, glyph.metrics.gmCellIncX + 2 * e);

    int cellX = 0, cellY = 0;
    GlyphCellOrigin(r, entry->slot, &cellX, &cellY);
    int mismatches = 0;
    for (int y = 0; y < entry->height; ++y) {
        for (int x = 0; x < entry->width; ++x) {
            int g = glyph.At(x - e, y - e);
            std::vector<int> reaching = e > 0 ? LevelsReaching(glyph, e, x, y) : std::vector<int>{};
            if (texture) {
                const GraphImage& image = r->cacheImage;
                auto pixel = [&](int px) {
                    const auto* at = static_cast<const uint8_t*>(image.pixels) +
                                     static_cast<size_t>(cellY + 1 + y) * image.pitch + px * 2;
                    return LoadPixelValue(at, 2);
                };
                // A4R4G4B4 for anti-aliased fonts (alpha = level - 1), A1R5G5B5 for plain ones.
                uint32_t glyphPixel =
                    gray ? (std::max(g - 1, 0) << 12 | 0x0FFF) : (g != 0 ? 0xFFFF : 0x7FFF);
                mismatches += pixel(cellX + 1 + x) != glyphPixel;
                if (e > 0) {
                    uint32_t edgePixel =
                        gray ? (std::max(UnionOfLevels(reaching) - 1, 0) << 12 | 0x0FFF)
                             : (!reaching.empty() ? 0xFFFF : 0x7FFF);
                    mismatches += pixel(r->textureWidth + cellX + 1 + x) != edgePixel;
                }
                continue;
            }
            const uint8_t* row =
                r->memoryCache.pixels + static_cast<size_t>(cellY + y) * r->memoryCache.pitch;
            int highest = 0;
            for (int level : reaching) highest = std::max(highest, level - 1);
            int expected = type == 0   ? g
                           : type == 1 ? (g != 0              ? 1
                                          : !reaching.empty() ? 2
                                                              : 0)
                           : type == 2 ? std::max(g - 1, 0)
                                       : std::max(g - 1, 0) | highest << 4;
            int stored = type == 0 ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
            mismatches += stored != expected;
        }
    }
    EXPECT_EQ(mismatches, 0);

    if (texture) {
        // The graph holds what the cache image holds.
        GraphPixels graph = ReadGraph(r->cacheGraph);
        ASSERT_EQ(graph.format.alphaMask, r->cacheImage.format.alphaMask);
        int differ = 0;
        for (int y = cellY; y < cellY + r->cellWidth; ++y) {
            for (int x = 0; x < graph.width; ++x) {
                const auto* at = static_cast<const uint8_t*>(r->cacheImage.pixels) +
                                 static_cast<size_t>(y) * r->cacheImage.pitch + x * 2;
                differ +=
                    graph.raw[static_cast<size_t>(y) * graph.width + x] != LoadPixelValue(at, 2);
            }
        }
        EXPECT_EQ(differ, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, GlyphLayoutTest,
    ::testing::Values(std::make_tuple(true, 0, 1), std::make_tuple(true, 1, 1),
                      std::make_tuple(true, 2, 1), std::make_tuple(true, 3, 2),
                      std::make_tuple(false, 0, 1), std::make_tuple(false, 1, 2),
                      std::make_tuple(false, 2, 1), std::make_tuple(false, 3, 3),
                      // every edge size's mask, and the square above 4
                      std::make_tuple(true, 1, 2), std::make_tuple(true, 1, 3),
                      std::make_tuple(true, 1, 4), std::make_tuple(false, 3, 4),
                      std::make_tuple(false, 1, 5)));

TEST_F(GlyphCacheTest, CellsAreFilledOncePerCharacterAndTheRingReplacesTheOldest) {
    StartDevice(32);
    Handle font = MakeFontHandleWithFlags({1, 4}, "ＭＳ ゴシック", 16, 4, 0, -1, -1, 0, -1, 0);
    FontRecord* r = GetFontRecord(font);
    ASSERT_EQ(r->capacity, 4);
    int count = 0;
    ASSERT_EQ(CacheStringGlyphs(-1, "ABAB", font, nullptr, &count), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(r->nextSlot, 2);
    EXPECT_EQ(r->codeMap['A'].entry->slot, 0);
    EXPECT_EQ(r->codeMap['B'].entry->slot, 1);
    ASSERT_EQ(CacheStringGlyphs(-1, "BA", font, nullptr, nullptr), 0);
    EXPECT_EQ(r->nextSlot, 2);
    // C and D fill the ring, E takes A's slot and F B's, although B was used last.
    ASSERT_EQ(CacheStringGlyphs(-1, "CDEF", font, nullptr, nullptr), 0);
    EXPECT_EQ(r->nextSlot, 2);
    EXPECT_FALSE(r->codeMap['A'].inCache);
    EXPECT_FALSE(r->codeMap['B'].inCache);
    EXPECT_EQ(r->codeMap['E'].entry->slot, 0);
    EXPECT_EQ(r->codeMap['F'].entry->slot, 1);
    EXPECT_EQ(r->codeMap['C'].entry->slot, 2);
    // One call caches at most the capacity; the rest wait for the drawing to need them.
    ASSERT_EQ(CacheStringGlyphs(-1, "GHIJKL", font, nullptr, nullptr), 0);
    EXPECT_TRUE(r->codeMap['J'].inCache);
    EXPECT_FALSE(r->codeMap['K'].inCache);
}

TEST_F(GlyphCacheTest, ThePartsSizesGiveTheCellsAndTheTexture) {
    StartDevice(16);
    Handle font = GameFont();
    FontRecord* r = GetFontRecord(font);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->charsetIndex, 1);  // the face is listed for Shift-JIS
    EXPECT_EQ(r->verticalCorrection, 1);
    EXPECT_EQ(r->cellHeight, 18);
    EXPECT_EQ(r->cellWidth, 24);
    EXPECT_EQ(r->textureWidth, 512);
    EXPECT_EQ(r->textureHeight, 512);
    EXPECT_EQ(r->capacity, 441);
    EXPECT_EQ(r->cellsPerColumn, 21);
    // Software mode: a column of 1-bit cells, 327,680 bytes' worth of 24 x 24 cells.
    Handle plain = MakeFontHandleWithFlags({1, 0}, "ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1, 0);
    EXPECT_EQ(GetFontRecord(plain)->capacity, 568);
    EXPECT_EQ(GetFontRecord(plain)->memoryCache.pitch, 3);
}

TEST_F(GlyphCacheTest, TheCacheIsMadeAgainWhenTheDeviceIs) {
    StartDevice(32);
    Handle font = GameFont();
    int lost = -1;
    ASSERT_EQ(BindFontLostFlag(font, &lost), 0);
    ASSERT_EQ(SetFontHandleSpacing(3, font), 0);
    ASSERT_EQ(CacheStringGlyphs(-1, "再開", font, nullptr, nullptr), 0);
    ASSERT_EQ(GetFontRecord(font)->nextSlot, 2);
    Handle before = GetFontRecord(font)->cacheGraph;
    int fonts = gFontRegistry.liveCount;
    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    FontRecord* r = GetFontRecord(font);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(lost, 0);  // its owner keeps the handle
    EXPECT_EQ(r->spacing, 3);
    EXPECT_EQ(r->nextSlot, 0);
    EXPECT_FALSE(r->codeMap[0x8DC4].inCache);  // 再
    EXPECT_NE(r->cacheGraph, before);
    EXPECT_EQ(gFontRegistry.liveCount, fonts);  // the screen log made no second font
    ASSERT_EQ(CacheStringGlyphs(-1, "再開", font, nullptr, nullptr), 0);
    EXPECT_NE(r->codeMap[0x8DC4].entry->width, 0);
    // A lost cache graph is made again, empty, before the next drawing.
    DisposeGraph(r->cacheGraph);
    EXPECT_EQ(r->cacheGraphLost, 1);
    EXPECT_EQ(DrawStringWithFont(0, 0, "再", PackScreenColor(255, 255, 255), font, 0, 0), 0);
    EXPECT_EQ(r->cacheGraphLost, 0);
    EXPECT_EQ(r->nextSlot, 1);
    DeleteFontHandle(font);
    EXPECT_EQ(lost, 1);
}

TEST_F(GlyphCacheTest, LeadAndTrailBytesMakeOneCode) {
    uint16_t codes[8] = {};
    // "アA" then a half-width katakana: 0x8341, 'A', 0xB1.
    EXPECT_EQ(CountFontChars(-1, "アAｱ", 1, codes), 3);
    EXPECT_EQ(codes[0], 0x8341);
    EXPECT_EQ(codes[1], 'A');
    EXPECT_EQ(codes[2], 0xB1);
    // A length that cuts a pair ends the text before it; a lead byte before the terminator is a
    // character of its own, and the last.
    EXPECT_EQ(CountFontChars(3, "Aア", 1, codes), 2);
    EXPECT_EQ(CountFontChars(2, "Aア", 1, codes), 1);
    EXPECT_EQ(codes[0], 'A');
    EXPECT_EQ(CountFontChars(-1, "A\x83", 1, codes), 2);
    EXPECT_EQ(codes[1], 0x83);
    // The Korean rule takes every byte from 0x80 as a lead byte; charset 0 follows Shift-JIS.
    EXPECT_EQ(CountFontChars(-1, "\xA0\xA1\x41", 2, codes), 2);
    EXPECT_EQ(codes[0], 0xA0A1);
    EXPECT_EQ(CountFontChars(-1, "\xA0\xA1", 0, codes), 2);
}

TEST_F(GlyphCacheTest, TheGamesTextsHaveInkInTheMinchoFace) {
    StartDevice(16);
    Handle font = GameFont();
    FontRecord* r = GetFontRecord(font);
    for (const char* text : {"効果音", "ブレーキ", "決定", "ボタン1", "再開", "ゲームをやめる",
                             "1位", "ALL", "0123456789"}) {
        uint16_t codes[16] = {};
        int count = CountFontChars(-1, text, r->charsetIndex, codes);
        ASSERT_EQ(CacheStringGlyphs(-1, text, font, nullptr, nullptr), 0);
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(r->codeMap[codes[i]].inCache) << text << " " << i;
            const GlyphCacheEntry* e = r->codeMap[codes[i]].entry;
            EXPECT_GT(e->width, 0) << text << " " << i;
            EXPECT_GT(e->height, 0) << text << " " << i;
            int cellX = 0, cellY = 0, inked = 0;
            GlyphCellOrigin(r, e->slot, &cellX, &cellY);
            for (int y = 0; y < r->cellWidth; ++y) {
                const auto* row = static_cast<const uint8_t*>(r->cacheImage.pixels) +
                                  static_cast<size_t>(cellY + y) * r->cacheImage.pitch;
                for (int x = 0; x < r->cellWidth; ++x)
                    inked += (row[(cellX + x) * 2 + 1] & 0x80) != 0;
            }
            EXPECT_GT(inked, 4) << text << " " << i;
        }
    }
}

TEST_F(GlyphCacheTest, AFaceThatIsNotInstalledFallsBack) {
    StartDevice(32);
    Handle font = MakeFontHandle("No Such Face", 16, 4, 0, -1, -1, 0, -1);
    ASSERT_NE(font, -1);
    EXPECT_EQ(GetFontRecord(font)->charsetIndex, 0);  // not listed: DEFAULT_CHARSET
    const GlyphCacheEntry* entry = EntryOf(font, "決");
    ASSERT_NE(entry, nullptr);
    EXPECT_GT(entry->width, 4);
}

}  // namespace
