// Font handles (kind 8): each owns a GDI font and a glyph cache of square cells, kept in a
// cache graph (a texture) while Direct3D is in use, else in a memory image. A default font
// exists while graphics run; every font is made again under its own handle after the device
// or the colour depth changes. MakeFontHandle, DeleteFontHandle, BindFontLostFlag,
// GetFontHandleSize, SetFontHandleSpacing and IsFontHandleLoading are public (orbek/orbek.h).
#pragma once

#include <orbek/orbek.h>
#include <platform/win32_fonts.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "image/color_format.h"

constexpr int kMaxFontHandles = 40;
constexpr int kGlyphCacheEntries = 2025;
constexpr int kMaxGlyphCacheSlots = 2024;
constexpr int kCodeMapEntries = 65536;
constexpr int kFontFaceBytes = 256;

// The spacing SetFontHandleSpacing keeps: -kMaxFontSpacing..kMaxFontSpacing.
constexpr int32_t kMaxFontSpacing = 32767;
// The widest edge a font is made with.
constexpr int32_t kMaxFontEdgeSize = 16;

// `FontType`: bit 0 edge, bit 1 anti-aliased; -1 means 0.
constexpr int32_t kFontTypeEdge = 1;
constexpr int32_t kFontTypeAntiAliased = 2;

// Given to every font creation.
struct FontCreateFlags {
    int32_t memoryCacheOnly;  // non-zero: no texture cache even with Direct3D
    int32_t cachedCharCount;  // 0: automatic
};

struct CodeMapEntry;

// One cached character. Offsets place the glyph's box from the pen; for an edged font the
// advance and the box include twice the edge size.
struct GlyphCacheEntry {
    int32_t inUse;
    int16_t xOffset;
    int16_t yOffset;  // the font's ascent minus the glyph origin's y
    int16_t advance;
    int32_t slot;  // its cell: column = slot / cells per column, row = slot mod cells per column
    int16_t width;
    int16_t height;
    CodeMapEntry* codeMapEntry;
};

// Indexed by character code: a byte, or lead byte x 256 + trail byte.
struct CodeMapEntry {
    int32_t inCache;
    GlyphCacheEntry* entry;
};

// The cache without a texture: one column of cells.
struct FontMemoryCache {
    uint8_t* pixels;
    int32_t pitch;         // bytes
    int32_t bitsPerPixel;  // 1 for plain fonts, else 8
};

struct FontRecord {
    HandleHeader header;
    int* lostFlag;  // set to 1 when the handle is deleted
    GlyphCacheEntry cache[kGlyphCacheEntries];
    CodeMapEntry codeMap[kCodeMapEntries];
    int32_t nextSlot;  // the ring index of the slot filled next
    int32_t capacity;  // usable slots
    FontMemoryCache memoryCache;
    char face[kFontFaceBytes];  // empty for the default face
    int32_t thickness;
    int32_t size;
    int32_t cellHeight;
    int32_t verticalCorrection;  // how much the height correction grew the font's height
    int32_t italic;
    int32_t spacing;  // extra pixels between characters
    int32_t cellWidth;
    HFONT gdiFont;
    int32_t type;
    int32_t charsetIndex;
    int32_t edgeSize;
    int32_t textureWidth;
    int32_t textureHeight;
    int32_t cellsPerColumn;
    Handle cacheGraph;
    Handle edgeCacheGraph;  // the cache graph's right half; -1 when none
    int32_t cacheGraphLost;
    GraphImage cacheImage;  // what the cache graph holds, in its colour format
    int32_t textureCache;   // 1 when the cache lives in a graph
};

extern HandleRegistry gFontRegistry;

// Registers kind 8, sets the module defaults and makes the default font; -1 when set up.
int SetupFontManager();
// Deletes every font with the default one; -1 when not set up.
int ShutdownFontManager();

// The full form of MakeFontHandle: the flags, the arguments of MakeFontHandle, and whether to
// create asynchronously: then the handle is returned at once, pending until a loading worker
// has made the font (a failed creation deletes it).
Handle MakeFontHandleWithFlags(FontCreateFlags flags, const char* face, int size, int thickness,
                               int type, int charsetIndex, int edgeSize, int italic, Handle reuse,
                               int async);
// (Re)creates the GDI font and the glyph cache of an issued handle; 0 / -1.
int CreateFontToHandle(int edgeSize, FontCreateFlags flags, Handle font, const char* face, int size,
                       int thickness, int type, int charsetIndex, int italic, int fromAsyncWorker);
// Any out pointer may be null; the face needs kFontFaceBytes.
int GetFontHandleInfo(char* face, int* size, int* thickness, Handle font);
// 1 when live and not still being created, else 0.
int IsFontHandleValid(Handle font);
Handle FetchDefaultFontHandle();
// Null for a bad handle and while the font is still being created.
FontRecord* GetFontRecord(Handle font);
// Stores the default face, size (-1: 16) and thickness (-1: 6) and makes the default font
// again; -1 when graphics are not running.
int ChangeDefaultFont(const char* face, int size, int thickness);
// Makes every font again under its handle; -1 when not set up.
int RebuildAllFontHandles();

// The characters of the text (up to length bytes, -1 for all) rendered into the cache where
// they are missing, at most the capacity of them per call. The codes go to the list (null: a
// list of its own), which holds CountFontChars entries; the count goes to count (may be null).
// 0 / -1.
int CacheStringGlyphs(int length, const char* text, Handle font, uint16_t* list, int* count);
// The characters of the text (up to length bytes, -1 for all) under the charset index's
// double-byte rule; their codes go to codes unless it is null.
int CountFontChars(int length, const char* text, int charsetIndex, uint16_t* codes);
// Renders the characters into the cache, replacing the oldest slots; 0 / -1.
int RenderGlyphsToCache(FontRecord* record, const uint16_t* codes, int count);
// Empties the cache; 0 / -1.
int ResetGlyphCache(Handle font, int fromAsyncWorker);
// Makes the cache graphs again, empty; 0 / -1.
int RecreateFontCacheGraphs(Handle font, int fromAsyncWorker);
