// Font handles: the registry of kind 8, creation of a handle's GDI font with the height
// correction and the cell size, the default font, and the re-creation of every font after the
// device or the colour depth changed. The glyph cache itself is in glyph_cache.cpp.
#include "text/font.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/async_load.h"
#include "core/clamped_math.h"
#include "core/log.h"
#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "graphics/graphics_state.h"
#include "graphics/screen_state.h"
#include "text/glyph_cache.h"

HandleRegistry gFontRegistry = {};

namespace {

constexpr int kDefaultSize = 16;
constexpr int kDefaultThickness = 6;
constexpr int kWeightPerThickness = 100;

// The module's defaults, from which the default font is made.
struct FontSettings {
    char face[kFontFaceBytes];
    int32_t size, thickness, type, charsetIndex, edgeSize, italic, spacing;
};

struct FontModuleState {
    int32_t setUp;
    FontCreateFlags flags;  // nothing changes them
    FontSettings defaults;
    Handle defaultFont;  // -1 when none
};

FontModuleState gFonts = {0, {0, 0}, {}, -1};

// CreateFontA's charset for each charset index; the indices 1 to 4 are the `CharSet` codes.
constexpr BYTE kCharsetOfIndex[] = {DEFAULT_CHARSET, SHIFTJIS_CHARSET, HANGUL_CHARSET,
                                    CHINESEBIG5_CHARSET, GB2312_CHARSET};
constexpr int kCharsetIndexCount = sizeof kCharsetOfIndex / sizeof kCharsetOfIndex[0];

void SetModuleDefaults() {
    FontSettings& d = gFonts.defaults;
    d = FontSettings{};
    d.size = kDefaultSize;
    d.thickness = kDefaultThickness;
    d.charsetIndex = GetCharSet();
    d.edgeSize = 1;
}

int InitFontRecord(HandleHeader* header) {
    auto* record = reinterpret_cast<FontRecord*>(header);
    record->cacheGraph = -1;
    record->edgeCacheGraph = -1;
    return 0;
}

int ReleaseFontRecord(HandleHeader* header) {
    auto* record = reinterpret_cast<FontRecord*>(header);
    if (record->lostFlag != nullptr) *record->lostFlag = 1;
    record->lostFlag = nullptr;
    ReleaseGlyphCache(record, 0);
    if (record->gdiFont != nullptr) DeleteObject(record->gdiFont);
    record->gdiFont = nullptr;
    return 0;
}

FontRecord* FindFontRecord(Handle font) {
    return reinterpret_cast<FontRecord*>(FindHandleRecord(&gFontRegistry, font));
}

int CollectFaceName(const LOGFONTA* logFont, const TEXTMETRICA*, DWORD, LPARAM lParam) {
    auto* names = reinterpret_cast<std::vector<std::string>*>(lParam);
    const char* name = reinterpret_cast<const ENUMLOGFONTEXA*>(logFont)->elfLogFont.lfFaceName;
    // Vertical-writing faces ("@" names) are not faces to ask for.
    if (name[0] == '@') return 1;
    for (const std::string& known : *names) {
        if (known == name) return 1;
    }
    names->emplace_back(name);
    return 1;
}

// The faces the system reports for the name in the charset.
std::vector<std::string> ListFontFaces(const char* face, BYTE charset) {
    std::vector<std::string> names;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return names;
    LOGFONTA query{};
    query.lfCharSet = charset;
    CopyStringMax(query.lfFaceName, face, LF_FACESIZE - 1);
    EnumFontFamiliesExA(dc, &query, CollectFaceName, reinterpret_cast<LPARAM>(&names), 0);
    DeleteDC(dc);
    return names;
}

HFONT CreateGdiFont(int height, int thickness, int italic, BYTE charset, const char* face) {
    const int weight = SaturateToInt32(int64_t{thickness} * kWeightPerThickness);
    return CreateFontA(height, 0, 0, 0, weight, italic, 0, 0, charset, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH | FF_DONTCARE,
                       face);
}

// The font at the height through the charset fall-backs; null (logged) when none is made.
HFONT CreateFontWithFallbacks(int height, int thickness, int italic, BYTE charset,
                              const char* face) {
    HFONT font = nullptr;
    if (face[0] != '\0') {
        font = CreateGdiFont(height, thickness, italic, charset, face);
        if (font == nullptr) font = CreateGdiFont(height, thickness, italic, DEFAULT_CHARSET, face);
        if (font == nullptr) {
            font = CreateGdiFont(height, thickness, italic, SHIFTJIS_CHARSET, face);
        }
        if (font == nullptr) AppendLogText("指定のフォントの作成に失敗しました\n");
        return font;
    }
    const char* gothic = "ＭＳ ゴシック";
    font = CreateGdiFont(height, thickness, italic, charset, gothic);
    if (font == nullptr) font = CreateGdiFont(height, thickness, italic, DEFAULT_CHARSET, gothic);
    if (font == nullptr) font = CreateGdiFont(height, thickness, italic, DEFAULT_CHARSET, "");
    if (font == nullptr) AppendLogText("フォントの作成に失敗しました\n");
    return font;
}

// The metrics of the font in a memory context; false when no context can be had.
bool ReadTextMetrics(HFONT font, TEXTMETRICA* tm) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return false;
    HGDIOBJ previous = SelectObject(dc, font);
    bool read = GetTextMetricsA(dc, tm) != FALSE;
    SelectObject(dc, previous);
    DeleteDC(dc);
    return read;
}

// The font's settings, to make it again.
FontSettings SettingsOf(const FontRecord* record) {
    FontSettings s{};
    CopyStringMax(s.face, record->face, kFontFaceBytes - 1);
    s.size = record->size;
    s.thickness = record->thickness;
    s.type = record->type;
    s.charsetIndex = record->charsetIndex;
    s.edgeSize = record->edgeSize;
    s.italic = record->italic;
    s.spacing = record->spacing;
    return s;
}

int RebuildDefaultFont() {
    const FontSettings& d = gFonts.defaults;
    FontRecord* current = GetFontRecord(gFonts.defaultFont);
    if (current != nullptr && CompareStrings(current->face, d.face) == 0 &&
        current->type == d.type && current->size == d.size && current->thickness == d.thickness &&
        current->charsetIndex == d.charsetIndex && current->edgeSize == d.edgeSize &&
        current->italic == d.italic) {
        return 0;
    }
    if (gFonts.defaultFont != -1) DeleteFontHandle(gFonts.defaultFont);
    int edgeSize = (d.type & kFontTypeEdge) != 0 ? d.edgeSize : -1;
    gFonts.defaultFont = MakeFontHandleWithFlags(gFonts.flags, d.face, d.size, d.thickness, d.type,
                                                 d.charsetIndex, edgeSize, d.italic, -1, 0);
    if (gFonts.defaultFont == -1) return -1;
    SetFontHandleSpacing(d.spacing, gFonts.defaultFont);
    return 0;
}

// Deletes every font; unless ending, makes the default font again with its settings.
int InitFontHandles(int ending) {
    if (!IsGraphicsInitialized()) return -1;
    AppendLogText("フォントの初期化を行います\n");
    FontRecord* current = GetFontRecord(gFonts.defaultFont);
    if (current != nullptr) gFonts.defaults = SettingsOf(current);
    RetireAllHandles(&gFontRegistry, nullptr);
    gFonts.defaultFont = -1;
    if (!ending) RebuildDefaultFont();
    AppendLogText("フォントの初期化は正常に終了しました\n");
    return 0;
}

// What a creation on a loading worker is given.
struct FontCreation {
    FontCreateFlags flags;
    const char* face;
    int32_t size, thickness, type, charsetIndex, edgeSize, italic;
};

// A worker's creation of a font whose handle stays pending until it ends; a failed creation
// deletes the handle.
void CreateFontFromRequest(AsyncLoadRequest* request) {
    const uint8_t* args = AsyncLoadArguments(request);
    uint32_t offset = 0;
    FontCreation c{};
    std::memcpy(&c.flags, UnpackAsyncArgBytes(args, &offset, nullptr), sizeof c.flags);
    Handle font = UnpackAsyncArgInt(args, &offset);
    c.face = UnpackAsyncArgString(args, &offset);
    c.size = UnpackAsyncArgInt(args, &offset);
    c.thickness = UnpackAsyncArgInt(args, &offset);
    c.type = UnpackAsyncArgInt(args, &offset);
    c.charsetIndex = UnpackAsyncArgInt(args, &offset);
    c.edgeSize = UnpackAsyncArgInt(args, &offset);
    c.italic = UnpackAsyncArgInt(args, &offset);
    int result = CreateFontToHandle(c.edgeSize, c.flags, font, c.face, c.size, c.thickness, c.type,
                                    c.charsetIndex, c.italic, 1);
    EndHandleAsyncLoad(&gFontRegistry, font, result != 0 ? 1 : 0);
}

// The slot of the queued creation, or -1 when it could not be packed.
int QueueFontCreation(const FontCreation& c, Handle font) {
    // The face is cut as the record stores it, so that no face is refused here that a creation
    // at once would take.
    char face[kFontFaceBytes];
    if (c.face != nullptr) CopyStringMax(face, c.face, kFontFaceBytes - 1);
    const char* packedFace = c.face != nullptr ? face : nullptr;
    AsyncLoadRequest* request =
        PackAsyncLoadRequest(CreateFontFromRequest, 1, [&](uint8_t* buffer, uint32_t* offset) {
            return PackAsyncArgBytes(buffer, offset, &c.flags, sizeof c.flags) |
                   PackAsyncArgInt(buffer, offset, font) |
                   PackAsyncArgString(buffer, offset, packedFace) |
                   PackAsyncArgInt(buffer, offset, c.size) |
                   PackAsyncArgInt(buffer, offset, c.thickness) |
                   PackAsyncArgInt(buffer, offset, c.type) |
                   PackAsyncArgInt(buffer, offset, c.charsetIndex) |
                   PackAsyncArgInt(buffer, offset, c.edgeSize) |
                   PackAsyncArgInt(buffer, offset, c.italic);
        });
    return request != nullptr ? QueueAsyncLoadRequest(request) : -1;
}

}  // namespace

int SetupFontManager() {
    if (gFonts.setUp) return -1;
    if (SetupHandleRegistry(&gFontRegistry, HandleKindBits(kHandleKindFont), sizeof(FontRecord),
                            kMaxFontHandles, InitFontRecord, ReleaseFontRecord, "フォント") == -1) {
        return -1;
    }
    gFonts.setUp = 1;
    SetModuleDefaults();
    gFonts.defaultFont = -1;
    InitFontHandles(0);
    return 0;
}

int ShutdownFontManager() {
    if (!gFonts.setUp) return -1;
    InitFontHandles(1);
    if (gFonts.defaultFont != -1) DeleteFontHandle(gFonts.defaultFont);
    gFonts.defaultFont = -1;
    ShutdownHandleRegistry(&gFontRegistry);
    gFonts.setUp = 0;
    return 0;
}

Handle MakeFontHandle(const char* face, int size, int thickness, int type, int charsetIndex,
                      int edgeSize, int italic, Handle reuse) {
    return MakeFontHandleWithFlags(gFonts.flags, face, size, thickness, type, charsetIndex,
                                   edgeSize, italic, reuse, IsAsyncLoadOn());
}

Handle MakeFontHandleWithFlags(FontCreateFlags flags, const char* face, int size, int thickness,
                               int type, int charsetIndex, int edgeSize, int italic, Handle reuse,
                               int async) {
    WaitWhileInactive();
    Handle font = IssueHandle(&gFontRegistry, reuse);
    if (font == -1) return -1;
    if (async) {
        int slot = QueueFontCreation(
            {flags, face, size, thickness, type, charsetIndex, edgeSize, italic}, font);
        if (slot != -1) {
            RaiseHandleAsyncCount(&gFontRegistry, font, slot);
            return font;
        }
    } else if (CreateFontToHandle(edgeSize, flags, font, face, size, thickness, type, charsetIndex,
                                  italic, 0) == 0) {
        return font;
    }
    DeleteFontHandle(font);
    return -1;
}

int CreateFontToHandle(int edgeSize, FontCreateFlags flags, Handle font, const char* face, int size,
                       int thickness, int type, int charsetIndex, int italic, int fromAsyncWorker) {
    // The flag is the main thread's. A worker's creation needs no look at it: the shutdown
    // withdraws a queued one and waits for a running one before it goes on.
    if (!fromAsyncWorker && gShell.ending == 1) return -1;
    FontRecord* record = FindFontRecord(font);
    if (record == nullptr) return -1;
    if (type == -1) type = 0;
    type &= kFontTypeEdge | kFontTypeAntiAliased;
    // Any edge size below 1 is the default, so that the cell arithmetic stays positive. Each
    // glyph pixel spreads over the square of the edge, so a wider one is refused.
    if (edgeSize < 1) edgeSize = 1;
    if (edgeSize > kMaxFontEdgeSize) return AppendLogText("フォントの縁のサイズが大きすぎます\n");
    if (edgeSize > 1) type |= kFontTypeEdge;
    if (size == -1) size = kDefaultSize;
    if (thickness == -1) thickness = kDefaultThickness;
    bool automatic = charsetIndex == -1;
    if (automatic) charsetIndex = GetCharSet();
    if (charsetIndex < 0 || charsetIndex >= kCharsetIndexCount) charsetIndex = 0;
    if (QueryColorBitDepth() == 8) type &= ~kFontTypeAntiAliased;
    CopyStringMax(record->face, face != nullptr ? face : "", kFontFaceBytes - 1);
    record->size = size;
    record->thickness = thickness;
    record->type = type;
    record->edgeSize = edgeSize;
    record->italic = italic;
    record->spacing = 0;
    record->textureCache = IsDirect3DMode() && flags.memoryCacheOnly == 0 ? 1 : 0;

    if (automatic && record->face[0] != '\0') {
        bool listed = false;
        for (const std::string& name : ListFontFaces(record->face, kCharsetOfIndex[charsetIndex])) {
            listed |= name == record->face;
        }
        if (!listed) charsetIndex = 0;
    }
    BYTE charset = kCharsetOfIndex[charsetIndex];

    HFONT gdiFont = CreateFontWithFallbacks(size, thickness, italic, charset, record->face);
    if (gdiFont == nullptr) return -1;
    TEXTMETRICA tm{};
    if (!ReadTextMetrics(gdiFont, &tm)) {
        DeleteObject(gdiFont);
        return AppendLogText("ＤＣの取得に失敗しました\n");
    }
    // Leading makes the font's height larger than the size asked for: the font is made again
    // with the leading taken out of the size, once.
    int leading = tm.tmInternalLeading + tm.tmExternalLeading;
    record->verticalCorrection = 0;
    if (leading >= 1 && leading < tm.tmHeight) {
        int corrected =
            TruncateDoubleToInt(size / (1.0 - static_cast<double>(leading) / tm.tmHeight));
        HFONT larger = CreateFontWithFallbacks(corrected, thickness, italic, charset, record->face);
        if (larger == nullptr) {
            DeleteObject(gdiFont);
            return -1;
        }
        DeleteObject(gdiFont);
        gdiFont = larger;
        int firstHeight = tm.tmHeight;
        if (!ReadTextMetrics(gdiFont, &tm)) {
            DeleteObject(gdiFont);
            return AppendLogText("ＤＣの取得に失敗しました\n");
        }
        record->verticalCorrection = tm.tmHeight - firstHeight;
    }

    int edgeGrowth = (type & kFontTypeEdge) != 0 ? edgeSize * 2 : 0;
    int cellWidth = (tm.tmMaxCharWidth + 2 + edgeGrowth + 7) / 8 * 8;
    int cellHeight = tm.tmHeight + edgeGrowth;
    cellHeight += cellHeight & 1;
    record->cellHeight = cellHeight;
    record->cellWidth = cellWidth < cellHeight ? cellHeight : cellWidth;

    if (record->gdiFont != nullptr) DeleteObject(record->gdiFont);
    record->gdiFont = gdiFont;
    if (SetupGlyphCache(record, flags, fromAsyncWorker) == -1) return -1;
    ResetGlyphCache(font, fromAsyncWorker);
    record->charsetIndex = charsetIndex;
    record->lostFlag = nullptr;
    return 0;
}

int DeleteFontHandle(Handle font) {
    return RetireHandle(&gFontRegistry, font);
}

int SetFontHandleSpacing(int spacing, Handle font) {
    FontRecord* record = GetFontRecord(font);
    if (record == nullptr) return -1;
    // An advance's own range: a pen step (advance plus spacing) then always fits an int.
    record->spacing = std::clamp(spacing, -kMaxFontSpacing, kMaxFontSpacing);
    return 0;
}

int BindFontLostFlag(Handle font, int* lostFlag) {
    FontRecord* record = GetFontRecord(font);
    if (record == nullptr) return -1;
    record->lostFlag = lostFlag;
    if (lostFlag != nullptr) *lostFlag = 0;
    return 0;
}

int GetFontHandleInfo(char* face, int* size, int* thickness, Handle font) {
    FontRecord* record = GetFontRecord(font);
    if (record == nullptr) return -1;
    if (face != nullptr) CopyString(face, record->face);
    if (size != nullptr) *size = record->size;
    if (thickness != nullptr) *thickness = record->thickness;
    return 0;
}

int GetFontHandleSize(Handle font) {
    FontRecord* record = GetFontRecord(font);
    return record != nullptr ? record->size : -1;
}

int IsFontHandleLoading(Handle font) {
    return IsHandleLoadPending(&gFontRegistry, font);
}

int IsFontHandleValid(Handle font) {
    return GetFontRecord(font) != nullptr ? 1 : 0;
}

Handle FetchDefaultFontHandle() {
    return gFonts.defaultFont;
}

FontRecord* GetFontRecord(Handle font) {
    return reinterpret_cast<FontRecord*>(FindUsableHandleRecord(&gFontRegistry, font));
}

int ChangeDefaultFont(const char* face, int size, int thickness) {
    if (!IsGraphicsInitialized()) return -1;
    FontSettings& d = gFonts.defaults;
    CopyStringMax(d.face, face != nullptr ? face : "", kFontFaceBytes - 1);
    d.size = size == -1 ? kDefaultSize : size;
    d.thickness = thickness == -1 ? kDefaultThickness : thickness;
    return RebuildDefaultFont();
}

// Each font is deleted and made again under the same handle. Its owner keeps the handle, so
// the owner's lost flag is carried over instead of being raised by the deletion.
int RebuildAllFontHandles() {
    if (!gFonts.setUp) return -1;
    ForEachHandleRecord(&gFontRegistry, [](HandleHeader* header) {
        auto* record = reinterpret_cast<FontRecord*>(header);
        Handle font = record->header.handle;
        FontSettings kept = SettingsOf(record);
        int* lostFlag = record->lostFlag;
        record->lostFlag = nullptr;
        DeleteFontHandle(font);
        if (IssueHandle(&gFontRegistry, font) != font) {
            if (lostFlag != nullptr) *lostFlag = 1;
            return;
        }
        if (CreateFontToHandle(kept.edgeSize, gFonts.flags, font, kept.face, kept.size,
                               kept.thickness, kept.type, kept.charsetIndex, kept.italic,
                               0) == -1) {
            DeleteFontHandle(font);
            if (lostFlag != nullptr) *lostFlag = 1;
            return;
        }
        SetFontHandleSpacing(kept.spacing, font);
        BindFontLostFlag(font, lostFlag);
    });
    return 0;
}
