// The glyph cache: characters rendered once with GetGlyphOutlineA into square cells and found
// again by character code. A texture cache is a 16-bit cache graph (twice as wide for edged
// fonts, whose right half holds the edges) with the image it is filled from; a memory cache is
// one column of 1-bit or 8-bit cells. Slots are replaced in ring order, oldest first.
#include "text/glyph_cache.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <vector>

#include "core/fatal_error.h"
#include "core/log.h"
#include "core/string_functions.h"
#include "core/tracked_memory.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/graph_transfer.h"
#include "graphics/pixel_format_table.h"

namespace {

constexpr int kTextureCacheStartSize = 512;
constexpr int kMinTextureCacheCells = 10;
constexpr int kSmallestTextureSize = 8;
constexpr int kMemoryCacheBytes = 327680;
constexpr int kMinMemoryCacheCells = 20;
constexpr int kGlyphLevels = 16;  // GGO_GRAY4_BITMAP's levels run 0 to 16
constexpr UINT kSpace = 0x20;
constexpr UINT kIdeographicSpace = 0x8140;
constexpr int kOwnCodeListChars = 256;
const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

// The pixels around a glyph pixel that its edge covers, for edge sizes 1 to 4.
const char* const kEdgeMasks[4][9] = {
    {".x.", "xxx", ".x."},
    {".xxx.", "xxxxx", "xxxxx", "xxxxx", ".xxx."},
    {"...x...", ".xxxxx.", ".xxxxx.", "xxxxxxx", ".xxxxx.", ".xxxxx.", "...x..."},
    {"..xxxxx..", ".xxxxxxx.", "xxxxxxxxx", "xxxxxxxxx", "xxxxxxxxx", "xxxxxxxxx", "xxxxxxxxx",
     ".xxxxxxx.", "..xxxxx.."},
};

bool IsEdged(const FontRecord* r) {
    return (r->type & kFontTypeEdge) != 0;
}

bool IsAntiAliased(const FontRecord* r) {
    return (r->type & kFontTypeAntiAliased) != 0;
}

// How far glyphs are displaced in their cells to leave room for the edge.
int EdgeOf(const FontRecord* r) {
    return IsEdged(r) ? r->edgeSize : 0;
}

uint32_t ColorBitsOf(const ColorFormat& format) {
    return format.redMask | format.greenMask | format.blueMask;
}

// A texture cache pixel of level v (0 to 16): white with the level as alpha.
uint32_t LevelPixel(const ColorFormat& format, int v) {
    uint32_t colorBits = ColorBitsOf(format);
    if (v == 0) return colorBits;
    int shift = format.alphaShift + format.alphaWidth - 4;
    uint32_t top =
        shift >= 0 ? static_cast<uint32_t>(v) << shift : static_cast<uint32_t>(v) >> -shift;
    return (top - 1) | colorBits;
}

// A glyph as GetGlyphOutlineA gave it: levels 0 to 16, or 0 and 1 for a 1-bit bitmap.
struct GlyphBitmap {
    int width = 0, height = 0, pitch = 0;
    bool gray = false;
    const uint8_t* bits = nullptr;
    int At(int x, int y) const {
        const uint8_t* row = bits + static_cast<ptrdiff_t>(y) * pitch;
        return gray ? std::min<int>(row[x], kGlyphLevels) : (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
};

// The glyph with its edge around it: a box of (width + 2e) x (height + 2e) pixels holding the
// glyph's levels and, per pixel, what the edge gives there.
struct EdgedGlyph {
    int width = 0, height = 0;
    std::vector<int> glyph;
    std::vector<int> edge;
    int& Glyph(int x, int y) { return glyph[static_cast<size_t>(y) * width + x]; }
    int& Edge(int x, int y) { return edge[static_cast<size_t>(y) * width + x]; }
};

enum class EdgeRule {
    Covered,      // 1 where a covered glyph pixel reaches
    Union,        // 16ths: each glyph pixel g raises e to (256 - (16 - e)(16 - g)) / 16
    HighestLevel  // the highest (level - 1) of the glyph pixels that reach
};

EdgedGlyph BuildEdgedGlyph(const GlyphBitmap& bitmap, int edge, EdgeRule rule) {
    EdgedGlyph out;
    out.width = bitmap.width + 2 * edge;
    out.height = bitmap.height + 2 * edge;
    out.glyph.assign(static_cast<size_t>(out.width) * out.height, 0);
    out.edge.assign(out.glyph.size(), 0);
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            int g = bitmap.At(x, y);
            out.Glyph(x + edge, y + edge) = g;
            if (g == 0 || edge == 0) continue;
            for (int dy = -edge; dy <= edge; ++dy) {
                for (int dx = -edge; dx <= edge; ++dx) {
                    if (!EdgeMaskCovers(edge, dx, dy)) continue;
                    int& e = out.Edge(x + edge + dx, y + edge + dy);
                    if (rule == EdgeRule::Covered) {
                        e = 1;
                    } else if (rule == EdgeRule::Union) {
                        e = (256 - (kGlyphLevels - e) * (kGlyphLevels - g)) / kGlyphLevels;
                    } else {
                        e = std::max(e, g - 1);
                    }
                }
            }
        }
    }
    return out;
}

uint8_t* CacheImagePixel(FontRecord* r, int x, int y) {
    return static_cast<uint8_t*>(r->cacheImage.pixels) +
           static_cast<ptrdiff_t>(y) * r->cacheImage.pitch +
           static_cast<ptrdiff_t>(x) * r->cacheImage.format.pixelBytes;
}

// An empty cell (and, edged, its twin): white at alpha 0 in a texture cache, zeros in memory.
void ClearCell(FontRecord* r, int slot) {
    int cellX = 0, cellY = 0;
    GlyphCellOrigin(r, slot, &cellX, &cellY);
    int cell = r->cellWidth;
    if (!r->textureCache) {
        FillBytes(r->memoryCache.pixels + static_cast<ptrdiff_t>(cellY) * r->memoryCache.pitch, 0,
                  static_cast<size_t>(cell) * r->memoryCache.pitch);
        return;
    }
    uint32_t empty = ColorBitsOf(r->cacheImage.format);
    int halves = IsEdged(r) ? 2 : 1;
    for (int half = 0; half < halves; ++half) {
        for (int y = 0; y < cell; ++y) {
            for (int x = 0; x < cell; ++x) {
                StorePixelValue(CacheImagePixel(r, cellX + half * r->textureWidth + x, cellY + y),
                                r->cacheImage.format.pixelBytes, empty);
            }
        }
    }
}

// Writes the glyph into its cell, clipped to the cell, and sends what changed to the graph.
void WriteGlyphToCell(FontRecord* r, int slot, const GlyphBitmap& bitmap) {
    int cellX = 0, cellY = 0;
    GlyphCellOrigin(r, slot, &cellX, &cellY);
    int margin = GlyphCellMargin(r);
    int edge = EdgeOf(r);
    EdgeRule rule = !r->textureCache && r->type == (kFontTypeEdge | kFontTypeAntiAliased)
                        ? EdgeRule::HighestLevel
                    : r->textureCache && IsAntiAliased(r) ? EdgeRule::Union
                                                          : EdgeRule::Covered;
    EdgedGlyph glyph = BuildEdgedGlyph(bitmap, edge, rule);
    int width = std::min(glyph.width, r->cellWidth - margin);
    int height = std::min(glyph.height, r->cellWidth - margin);

    if (r->textureCache) {
        const ColorFormat& format = r->cacheImage.format;
        uint32_t solid = ColorBitsOf(format) | format.alphaMask;
        int bytes = format.pixelBytes;
        bool antiAliased = IsAntiAliased(r);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int px = cellX + margin + x, py = cellY + margin + y;
                int g = glyph.Glyph(x, y), e = glyph.Edge(x, y);
                if (antiAliased) {
                    StorePixelValue(CacheImagePixel(r, px, py), bytes, LevelPixel(format, g));
                    if (IsEdged(r)) {
                        StorePixelValue(CacheImagePixel(r, px + r->textureWidth, py), bytes,
                                        LevelPixel(format, e));
                    }
                    continue;
                }
                if (g != 0) StorePixelValue(CacheImagePixel(r, px, py), bytes, solid);
                if (IsEdged(r) && e != 0) {
                    StorePixelValue(CacheImagePixel(r, px + r->textureWidth, py), bytes, solid);
                }
            }
        }
        // Anti-aliased fonts send the glyph's box, plain ones the whole cell.
        RECT rect = IsAntiAliased(r)
                        ? RECT{cellX + margin, cellY + margin, cellX + margin + width,
                               cellY + margin + height}
                        : RECT{cellX, cellY, cellX + r->cellWidth, cellY + r->cellWidth};
        TransferGraphImageRectToGraph(&r->cacheImage, nullptr, &rect, rect.left, rect.top,
                                      r->cacheGraph);
        if (IsEdged(r)) {
            RECT twin = {rect.left + r->textureWidth, rect.top, rect.right + r->textureWidth,
                         rect.bottom};
            TransferGraphImageRectToGraph(&r->cacheImage, nullptr, &twin, twin.left, twin.top,
                                          r->cacheGraph);
        }
        return;
    }

    for (int y = 0; y < height; ++y) {
        uint8_t* row = r->memoryCache.pixels +
                       static_cast<ptrdiff_t>(cellY + margin + y) * r->memoryCache.pitch;
        for (int x = 0; x < width; ++x) {
            int g = glyph.Glyph(x, y), e = glyph.Edge(x, y);
            int level = g > 0 ? g - 1 : 0;
            switch (r->type) {
                case 0:
                    if (g != 0) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                    break;
                case kFontTypeEdge:
                    row[x] = g != 0 ? 1 : e != 0 ? 2 : 0;
                    break;
                case kFontTypeAntiAliased:
                    row[x] = static_cast<uint8_t>(level);
                    break;
                default:
                    row[x] = static_cast<uint8_t>(level | (e << 4));
                    break;
            }
        }
    }
}

// On a loading worker the device objects go first, on the main thread: the deletions then touch
// no device.
void DisposeCacheGraphs(FontRecord* r, int fromAsyncWorker) {
    const GraphRecord* cache = GetGraphRecord(r->cacheGraph, 0);
    if (fromAsyncWorker && cache != nullptr && cache->textureInfo != nullptr) {
        ReleaseTexturePieces(cache->textureInfo, 1);
    }
    if (r->edgeCacheGraph != -1) DisposeGraph(r->edgeCacheGraph);
    if (r->cacheGraph != -1) {
        AttachGraphLostFlag(r->cacheGraph, nullptr);
        DisposeGraph(r->cacheGraph);
    }
    r->edgeCacheGraph = r->cacheGraph = -1;
}

// The cache graph of the texture size (twice as wide when edged, the right half a graph of its
// own): 16 bits, with alpha when anti-aliased, else with a transparent colour.
int MakeCacheGraphs(FontRecord* r, int fromAsyncWorker) {
    DisposeCacheGraphs(r, fromAsyncWorker);
    // Made with settings of its own, not the program's current creation choices: whatever the
    // program limits its own textures to, the cache is one texture where the device allows.
    GraphCreateSettings settings{};
    settings.colorBits = 16;
    settings.colorKeyAlpha = IsAntiAliased(r) ? 0 : 1;
    settings.managedPool = 1;
    Handle graph = IssueGraphHandle();
    if (graph == -1) return -1;
    int width = r->textureWidth * (IsEdged(r) ? 2 : 1);
    // A failed creation deletes the handle, or on a worker gives its device objects back and
    // leaves the handle to its caller.
    if (CreateGraphTextures(&settings, graph, width, r->textureHeight, IsAntiAliased(r) ? 1 : 0, 0,
                            0, 1, fromAsyncWorker) == -1) {
        if (fromAsyncWorker) DisposeGraph(graph);
        return -1;
    }
    r->cacheGraph = graph;
    if (IsEdged(r)) {
        r->edgeCacheGraph =
            CutGraphRectEx(r->textureWidth, 0, r->textureWidth, r->textureHeight, graph, 1);
        if (r->edgeCacheGraph == -1) {
            DisposeCacheGraphs(r, fromAsyncWorker);
            return -1;
        }
    }
    AttachGraphLostFlag(graph, &r->cacheGraphLost);
    return 0;
}

// Fills the cache image with white at alpha 0 and sends all of it to the graph (white holds no
// keyed colour).
int ClearCacheGraph(FontRecord* r, int fromAsyncWorker) {
    GraphImage& image = r->cacheImage;
    uint32_t empty = ColorBitsOf(image.format);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            StorePixelValue(CacheImagePixel(r, x, y), image.format.pixelBytes, empty);
        }
    }
    RECT whole = {0, 0, image.width, image.height};
    return UploadImageToGraph(r->cacheGraph, &whole, 0, 0, &image, nullptr, 0, 0, fromAsyncWorker);
}

// Texture size and capacity: a square power of two for a given count; from 512 x 512 growing
// until ten cells fit otherwise.
void SizeTextureCache(FontRecord* r, int count) {
    int cell = r->cellWidth;
    int width = kTextureCacheStartSize, height = kTextureCacheStartSize;
    int64_t capacity = 0;
    if (count > 0) {
        int64_t side = (static_cast<int64_t>(std::sqrt(count)) + 1) * cell;
        int64_t size = kSmallestTextureSize;
        while (size < side) size *= 2;
        width = height = static_cast<int>(std::min<int64_t>(size, 1 << 30));
        capacity = int64_t{width / cell} * (width / cell);
    } else {
        capacity = int64_t{width / cell} * (height / cell);
        while (capacity < kMinTextureCacheCells && width < (1 << 30)) {
            (width <= height ? width : height) *= 2;
            capacity = int64_t{width / cell} * (height / cell);
        }
    }
    r->textureWidth = width;
    r->textureHeight = height;
    r->capacity = static_cast<int32_t>(std::min<int64_t>(capacity, kMaxGlyphCacheSlots));
    r->cellsPerColumn = height / cell;
}

int SetupTextureCache(FontRecord* r, FontCreateFlags flags, int fromAsyncWorker) {
    SizeTextureCache(r, flags.cachedCharCount);
    if (MakeCacheGraphs(r, fromAsyncWorker) == -1) return -1;
    const GraphRecord* graph = GetGraphRecord(r->cacheGraph, 1);
    const ColorFormat* format = ColorFormatOfFormatIndex(graph->textureInfo->formatIndex);
    if (AllocGraphImage(graph->width, graph->height, format, &r->cacheImage) == -1) {
        DisposeCacheGraphs(r, fromAsyncWorker);
        r->cacheImage = GraphImage{};
        AppendLogText("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
        return -2;
    }
    return ClearCacheGraph(r, fromAsyncWorker);
}

int SetupMemoryCache(FontRecord* r, FontCreateFlags flags) {
    int cell = r->cellWidth;
    int bits = r->type == 0 ? 1 : 8;
    int64_t capacity =
        flags.cachedCharCount > 0
            ? flags.cachedCharCount
            : std::max<int64_t>(kMinMemoryCacheCells, kMemoryCacheBytes / (int64_t{cell} * cell));
    capacity = std::min<int64_t>(capacity, kMaxGlyphCacheSlots);
    int64_t pitch = (int64_t{cell} * bits + 7) / 8;
    int64_t bytes = pitch * cell * capacity;
    r->memoryCache.pixels = bytes <= GetGraphImageByteLimit()
                                ? static_cast<uint8_t*>(AllocClearedMemory(
                                      static_cast<uint32_t>(bytes), __FILE__, __LINE__))
                                : nullptr;
    if (r->memoryCache.pixels == nullptr) {
        return AppendLogText(
            "フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle\n");
    }
    r->memoryCache.pitch = static_cast<int32_t>(pitch);
    r->memoryCache.bitsPerPixel = bits;
    r->capacity = static_cast<int32_t>(capacity);
    r->cellsPerColumn = r->capacity;
    r->textureWidth = cell;
    r->textureHeight = static_cast<int32_t>(cell * capacity);
    return 0;
}

}  // namespace

int GlyphCellMargin(const FontRecord* record) {
    return record->textureCache ? 1 : 0;
}

void GlyphCellOrigin(const FontRecord* record, int slot, int* x, int* y) {
    int perColumn = record->cellsPerColumn > 0 ? record->cellsPerColumn : 1;
    *x = slot / perColumn * record->cellWidth;
    *y = slot % perColumn * record->cellWidth;
}

int EdgeMaskCovers(int edgeSize, int dx, int dy) {
    if (dx < -edgeSize || dx > edgeSize || dy < -edgeSize || dy > edgeSize) return 0;
    if (edgeSize > 4) return 1;
    if (edgeSize < 1) return dx == 0 && dy == 0 ? 1 : 0;
    return kEdgeMasks[edgeSize - 1][dy + edgeSize][dx + edgeSize] == 'x' ? 1 : 0;
}

int SetupGlyphCache(FontRecord* r, FontCreateFlags flags, int fromAsyncWorker) {
    ReleaseGlyphCache(r, fromAsyncWorker);
    if (flags.cachedCharCount < 0) flags.cachedCharCount = 0;
    if (r->textureCache) {
        int made = SetupTextureCache(r, flags, fromAsyncWorker);
        if (made == -2) return -1;
        if (made == -1) {
            AppendLogText("テクスチャ文字キャッシュの作成に失敗しました\n");
            DisposeCacheGraphs(r, fromAsyncWorker);
            FreeGraphImage(&r->cacheImage);
            r->textureCache = 0;
        }
    }
    if (!r->textureCache) return SetupMemoryCache(r, flags);
    return 0;
}

void ReleaseGlyphCache(FontRecord* r, int fromAsyncWorker) {
    DisposeCacheGraphs(r, fromAsyncWorker);
    FreeGraphImage(&r->cacheImage);
    if (r->memoryCache.pixels != nullptr) FreeMemory(r->memoryCache.pixels);
    r->memoryCache = FontMemoryCache{};
}

int ResetGlyphCache(Handle font, int fromAsyncWorker) {
    auto* r = reinterpret_cast<FontRecord*>(FindHandleRecord(&gFontRegistry, font));
    if (r == nullptr) return -1;
    FillBytes(r->codeMap, 0, sizeof r->codeMap);
    FillBytes(r->cache, 0, sizeof r->cache);
    for (int slot = 0; slot < kGlyphCacheEntries; ++slot) r->cache[slot].slot = slot;
    r->nextSlot = 0;
    return 0;
}

int RecreateFontCacheGraphs(Handle font, int fromAsyncWorker) {
    auto* r = reinterpret_cast<FontRecord*>(FindHandleRecord(&gFontRegistry, font));
    if (r == nullptr || !r->textureCache) return -1;
    if (MakeCacheGraphs(r, fromAsyncWorker) == -1 || ClearCacheGraph(r, fromAsyncWorker) == -1) {
        return AppendLogText("フォント用描画スクリーンの作成に失敗しました\n");
    }
    return ResetGlyphCache(font, fromAsyncWorker);
}

int CountFontChars(int length, const char* text, int charsetIndex, uint16_t* codes) {
    if (text == nullptr) return 0;
    int count = 0;
    for (int i = 0; (length < 0 || i < length) && text[i] != '\0';) {
        auto lead = static_cast<uint8_t>(text[i]);
        bool doubleByte = IsLeadByte(lead, charsetIndex) != 0;
        // A length that ends between a lead byte and its trail byte ends the text before the
        // character; a lead byte before the terminator is a character of its own, and the last.
        if (doubleByte && length >= 0 && i + 1 >= length) break;
        bool trailed = doubleByte && text[i + 1] != '\0';
        uint16_t code =
            trailed ? static_cast<uint16_t>(lead * 256 + static_cast<uint8_t>(text[i + 1])) : lead;
        if (codes != nullptr) codes[count] = code;
        ++count;
        if (doubleByte && !trailed) break;
        i += trailed ? 2 : 1;
    }
    return count;
}

int CacheStringGlyphs(int length, const char* text, Handle font, uint16_t* list, int* count) {
    FontRecord* r = GetFontRecord(font);
    if (r == nullptr) return -1;
    int total = CountFontChars(length, text, r->charsetIndex, nullptr);
    uint16_t own[kOwnCodeListChars];
    std::vector<uint16_t> ownLong;
    uint16_t* codes = list;
    if (codes == nullptr) {
        if (total > kOwnCodeListChars) ownLong.resize(static_cast<size_t>(total));
        codes = total > kOwnCodeListChars ? ownLong.data() : own;
    }
    CountFontChars(length, text, r->charsetIndex, codes);
    std::bitset<kCodeMapEntries> seen;
    uint16_t fresh[kMaxGlyphCacheSlots];
    int freshCount = 0;
    for (int i = 0; i < total && freshCount < r->capacity; ++i) {
        uint16_t code = codes[i];
        if (r->codeMap[code].inCache || seen[code]) continue;
        seen.set(code);
        fresh[freshCount++] = code;
    }
    if (count != nullptr) *count = total;
    return RenderGlyphsToCache(r, fresh, freshCount);
}

int RenderGlyphsToCache(FontRecord* r, const uint16_t* codes, int count) {
    if (count <= 0) return 0;
    if (r->capacity <= 0) return -1;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) ExitOnFatalError("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
    HGDIOBJ previous = SelectObject(dc, r->gdiFont);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    UINT format = IsAntiAliased(r) ? GGO_GRAY4_BITMAP : GGO_BITMAP;
    int edge = EdgeOf(r);
    int room = r->cellWidth - GlyphCellMargin(r);
    for (int i = 0; i < count; ++i) {
        UINT code = codes[i];
        int slot = r->nextSlot;
        GlyphCacheEntry* entry = &r->cache[slot];
        if (entry->inUse) {
            entry->codeMapEntry->inCache = 0;
            entry->codeMapEntry->entry = nullptr;
            entry->inUse = 0;
        }
        ClearCell(r, slot);

        GLYPHMETRICS gm{};
        bool blank = code == kSpace || code == kIdeographicSpace;
        DWORD size =
            GetGlyphOutlineA(dc, code, blank ? GGO_METRICS : format, &gm, 0, nullptr, &kIdentity);
        if (size == GDI_ERROR) {
            AppendLogText("GetGlyphOutline 関数が失敗しました\n");
            continue;
        }
        // A glyph without bits is drawn as a space is: its advance only.
        blank = blank || size == 0 || gm.gmBlackBoxX == 0 || gm.gmBlackBoxY == 0;
        GlyphBitmap bitmap;
        uint8_t* buffer = nullptr;
        if (!blank) {
            bitmap.gray = format == GGO_GRAY4_BITMAP;
            bitmap.height = static_cast<int>(gm.gmBlackBoxY);
            bitmap.pitch = static_cast<int>(size / gm.gmBlackBoxY) & ~3;
            // The box is read no wider than its rows hold.
            bitmap.width = std::min<int>(static_cast<int>(gm.gmBlackBoxX),
                                         bitmap.gray ? bitmap.pitch : bitmap.pitch * 8);
            buffer = static_cast<uint8_t*>(
                AllocMemory(size + static_cast<uint32_t>(bitmap.pitch) * 2, __FILE__, __LINE__));
            if (buffer == nullptr) {
                ExitOnFatalError("アンチエイリアス文字取得用バッファの確保に失敗しました");
            }
            if (GetGlyphOutlineA(dc, code, format, &gm, size, buffer, &kIdentity) == GDI_ERROR) {
                FreeMemory(buffer);
                AppendLogText("GetGlyphOutline 関数が失敗しました\n");
                continue;
            }
            bitmap.bits = buffer;
            WriteGlyphToCell(r, slot, bitmap);
            FreeMemory(buffer);
        }
        entry->xOffset = static_cast<int16_t>(blank ? 0 : gm.gmptGlyphOrigin.x);
        entry->yOffset = static_cast<int16_t>(blank ? 0 : tm.tmAscent - gm.gmptGlyphOrigin.y);
        entry->advance = static_cast<int16_t>(gm.gmCellIncX + 2 * edge);
        entry->width = static_cast<int16_t>(blank ? 0 : std::min(bitmap.width + 2 * edge, room));
        entry->height = static_cast<int16_t>(blank ? 0 : std::min(bitmap.height + 2 * edge, room));
        CodeMapEntry* mapped = &r->codeMap[code];
        mapped->inCache = 1;
        mapped->entry = entry;
        entry->codeMapEntry = mapped;
        entry->inUse = 1;
        r->nextSlot = slot + 1 >= r->capacity ? 0 : slot + 1;
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return 0;
}
