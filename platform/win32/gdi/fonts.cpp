// GDI fonts over FreeType. A logical font opens the face that fontconfig finds for its name and
// sizes it as GDI sizes TrueType fonts: a positive height is the cell (the OS/2 Windows ascent
// plus descent), a negative one the em. Glyphs come out hinted, cropped to their inked box, in
// GDI's bitmap layouts with rows padded to four bytes; weights of 600 and more on a face
// without a bold style are emboldened by one pixel, italics without an italic style slanted.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <platform/win32_fonts.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "../../base/test_overrides.h"
#include "font_faces.h"
#include "gdi_objects.h"

struct GdiFont : GdiObject {
    LOGFONTA logFont{};
    FT_Face face = nullptr;
    UINT codePage = 932;
    bool emboldened = false;
    bool slanted = false;
    TEXTMETRICA metrics{};
    ~GdiFont() override;
};

namespace {

constexpr int kDefaultCellHeight = 16;
// Larger requests are refused rather than rendered into huge bitmaps.
constexpr int kMaxFontHeight = 4096;
// The slant of a synthesised italic: x += y * 0.2126.
constexpr FT_Fixed kItalicShear = 0x0366A;

// FreeType's library, and the lock that serialises every face operation; never destroyed, as
// fonts still held at exit close their faces under it.
struct FreeTypeState {
    std::mutex mutex;
    FT_Library library = nullptr;
    bool tried = false;
};

FreeTypeState& FreeType() {
    static auto* state = new FreeTypeState;
    return *state;
}

// Called with the lock held.
FT_Library Library() {
    FreeTypeState& state = FreeType();
    if (!state.tried) {
        state.tried = true;
        if (FT_Init_FreeType(&state.library) != 0) state.library = nullptr;
    }
    return state.library;
}

LONG Scale(long value, long numerator, long denominator) {
    return static_cast<LONG>(std::lround(static_cast<double>(value) * numerator / denominator));
}

// The face's vertical extent in font units: OS/2's Windows ascent and descent, else hhea's.
void FaceExtent(FT_Face face, long* ascent, long* descent) {
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
        *ascent = os2->usWinAscent;
        *descent = os2->usWinDescent;
    } else {
        *ascent = face->ascender;
        *descent = -face->descender;
    }
    if (*ascent + *descent <= 0) {
        *ascent = face->units_per_EM;
        *descent = 0;
    }
}

// Sizes the face for the requested height and fills the metrics GDI reports.
bool SizeFace(GdiFont* font) {
    FT_Face face = font->face;
    long upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    long winAscent = 0, winDescent = 0;
    FaceExtent(face, &winAscent, &winDescent);
    long extent = winAscent + winDescent;
    LONG height = font->logFont.lfHeight == 0 ? kDefaultCellHeight : font->logFont.lfHeight;
    TEXTMETRICA& tm = font->metrics;
    LONG em;
    if (height > 0) {
        em = std::max<LONG>(1, Scale(height, upem, extent));
        tm.tmAscent = Scale(height, winAscent, extent);
        tm.tmDescent = height - tm.tmAscent;
    } else {
        em = -height;
        tm.tmAscent = Scale(em, winAscent, upem);
        tm.tmDescent = Scale(em, winDescent, upem);
    }
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) != 0) return false;
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - em);
    auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    long lineGap = hhea != nullptr ? hhea->Line_Gap : 0;
    long hheaExtent = hhea != nullptr ? hhea->Ascender - hhea->Descender : extent;
    // GDI's rule: what the line gap adds beyond the Windows extent's excess over hhea's.
    tm.tmExternalLeading = std::max<LONG>(0, Scale(lineGap - (extent - hheaExtent), em, upem));
    long maxAdvance = hhea != nullptr ? hhea->advance_Width_Max : face->max_advance_width;
    int bold = font->emboldened ? 1 : 0;
    tm.tmMaxCharWidth = Scale(maxAdvance, em, upem) + bold;
    tm.tmAveCharWidth = os2 != nullptr && os2->xAvgCharWidth > 0
                            ? Scale(os2->xAvgCharWidth, em, upem) + bold
                            : (tm.tmMaxCharWidth + 1) / 2;
    tm.tmWeight = font->logFont.lfWeight == 0 ? FW_NORMAL : font->logFont.lfWeight;
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = font->logFont.lfItalic != 0 ? 1 : 0;
    tm.tmUnderlined = font->logFont.lfUnderline != 0 ? 1 : 0;
    tm.tmStruckOut = font->logFont.lfStrikeOut != 0 ? 1 : 0;
    tm.tmPitchAndFamily =
        TMPF_VECTOR | TMPF_TRUETYPE | (FT_IS_FIXED_WIDTH(face) ? 0 : TMPF_FIXED_PITCH);
    tm.tmCharSet =
        font->logFont.lfCharSet == DEFAULT_CHARSET ? SHIFTJIS_CHARSET : font->logFont.lfCharSet;
    return true;
}

HFONT MakeFont(const LOGFONTA& logFont) {
    if (logFont.lfHeight < -kMaxFontHeight || logFont.lfHeight > kMaxFontHeight) return nullptr;
    std::string faceName(logFont.lfFaceName, strnlen(logFont.lfFaceName, LF_FACESIZE));
    FontFaceFile file;
    int weight = logFont.lfWeight == 0 ? FW_NORMAL : logFont.lfWeight;
    if (!FindFontFace(faceName, logFont.lfCharSet, weight, logFont.lfItalic != 0, &file)) {
        return nullptr;
    }
    auto font = std::make_shared<GdiFont>();
    font->logFont = logFont;
    font->codePage = CodePageOfCharSet(logFont.lfCharSet);
    font->emboldened = weight >= FW_SEMIBOLD && !file.bold;
    font->slanted = logFont.lfItalic != 0 && !file.italic;
    {
        std::lock_guard<std::mutex> guard(FreeType().mutex);
        if (Library() == nullptr ||
            FT_New_Face(Library(), file.path.c_str(), file.index, &font->face) != 0) {
            font->face = nullptr;
            return nullptr;
        }
        if (!SizeFace(font.get())) return nullptr;
    }
    return InsertGdiObject(font);
}

// The system font: what a context uses before a font is selected into it.
HGDIOBJ SystemFont() {
    static std::mutex mutex;
    static HGDIOBJ handle = nullptr;
    std::lock_guard<std::mutex> guard(mutex);
    if (handle == nullptr) {
        LOGFONTA logFont{};
        logFont.lfHeight = kDefaultCellHeight;
        logFont.lfWeight = FW_BOLD;
        logFont.lfCharSet = DEFAULT_CHARSET;
        handle = MakeFont(logFont);
    }
    return handle;
}

std::shared_ptr<GdiFont> FontOfContext(HDC dc) {
    auto context = FindDeviceContext(dc);
    if (context == nullptr) return nullptr;
    auto font = std::dynamic_pointer_cast<GdiFont>(context->fontObject);
    return font != nullptr ? font : FindGdiObjectOf<GdiFont>(SystemFont());
}

// The Unicode character of a code in the font's code page; 0 when it has none.
FT_ULong UnicodeOfCode(const GdiFont& font, UINT code) {
    char bytes[2];
    int count = 0;
    if (code > 0xFF) bytes[count++] = static_cast<char>(code >> 8);
    bytes[count++] = static_cast<char>(code & 0xFF);
    WCHAR wide[2];
    int units = MultiByteToWideChar(font.codePage, MB_ERR_INVALID_CHARS, bytes, count, wide, 2);
    if (units == 1) return wide[0];
    if (units == 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00) {
        return 0x10000 + ((wide[0] - 0xD800) << 10) + (wide[1] - 0xDC00);
    }
    return 0;
}

// A rendered glyph: coverage 0 to 255 per pixel of its box, top row first.
struct Coverage {
    int width = 0, height = 0;
    int left = 0, top = 0;  // the box's top-left from the pen, y upwards
    int advance = 0;
    std::vector<uint8_t> pixels;
};

bool RenderCoverage(GdiFont& font, UINT code, bool mono, Coverage* out) {
    FT_Face face = font.face;
    FT_UInt index = FT_Get_Char_Index(face, UnicodeOfCode(font, code));
    FT_Int32 load = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(face, index, load) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (font.slanted && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Matrix shear{0x10000, kItalicShear, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
    }
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
        return false;
    }
    const FT_Bitmap& bitmap = slot->bitmap;
    int extra = font.emboldened ? 1 : 0;
    out->width = static_cast<int>(bitmap.width) + (bitmap.width > 0 ? extra : 0);
    out->height = static_cast<int>(bitmap.rows);
    out->left = slot->bitmap_left;
    out->top = slot->bitmap_top;
    out->advance = static_cast<int>((slot->advance.x + 32) >> 6) + extra;
    out->pixels.assign(static_cast<size_t>(out->width) * out->height, 0);
    int maxLevel = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
    for (int y = 0; y < out->height; ++y) {
        const uint8_t* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
        uint8_t* dest = &out->pixels[static_cast<size_t>(y) * out->width];
        for (unsigned x = 0; x < bitmap.width; ++x) {
            uint8_t value = bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                                ? ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255
                                : static_cast<uint8_t>(row[x] * 255 / maxLevel);
            dest[x] = std::max(dest[x], value);
            // Emboldening smears each pixel one to the right.
            if (extra != 0) dest[x + 1] = value;
        }
    }
    return true;
}

// A pixel's value in the format: 0 or 1 for GGO_BITMAP, 0 to 16 for GGO_GRAY4_BITMAP.
int LevelOf(uint8_t coverage, UINT format) {
    if (format == GGO_BITMAP) return coverage >= 128 ? 1 : 0;
    return (coverage * 16 + 127) / 255;
}

// Crops the glyph to the pixels that come out inked in the format.
void CropToInk(Coverage* glyph, UINT format) {
    int minX = glyph->width, minY = glyph->height, maxX = -1, maxY = -1;
    for (int y = 0; y < glyph->height; ++y) {
        for (int x = 0; x < glyph->width; ++x) {
            if (LevelOf(glyph->pixels[static_cast<size_t>(y) * glyph->width + x], format) == 0) {
                continue;
            }
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
    }
    if (maxX < 0) {
        glyph->width = glyph->height = 0;
        glyph->pixels.clear();
        return;
    }
    int width = maxX - minX + 1, height = maxY - minY + 1;
    std::vector<uint8_t> cropped(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        std::memcpy(&cropped[static_cast<size_t>(y) * width],
                    &glyph->pixels[static_cast<size_t>(y + minY) * glyph->width + minX], width);
    }
    glyph->pixels = std::move(cropped);
    glyph->left += minX;
    glyph->top -= minY;
    glyph->width = width;
    glyph->height = height;
}

DWORD RowBytes(int width, UINT format) {
    DWORD bytes = format == GGO_BITMAP ? (static_cast<DWORD>(width) + 7) / 8 : width;
    return (bytes + 3) & ~DWORD{3};
}

void WriteBitmap(const Coverage& glyph, UINT format, uint8_t* out) {
    DWORD pitch = RowBytes(glyph.width, format);
    std::memset(out, 0, pitch * glyph.height);
    for (int y = 0; y < glyph.height; ++y) {
        uint8_t* row = out + pitch * y;
        for (int x = 0; x < glyph.width; ++x) {
            int level = LevelOf(glyph.pixels[static_cast<size_t>(y) * glyph.width + x], format);
            if (format == GGO_BITMAP) {
                row[x >> 3] |= static_cast<uint8_t>(level << (7 - (x & 7)));
            } else {
                row[x] = static_cast<uint8_t>(level);
            }
        }
    }
}

bool IsIdentity(const MAT2& m) {
    auto is = [](const FIXED& f, int value) { return f.fract == 0 && f.value == value; };
    return is(m.eM11, 1) && is(m.eM12, 0) && is(m.eM21, 0) && is(m.eM22, 1);
}

}  // namespace

GdiFont::~GdiFont() {
    if (face == nullptr) return;
    std::lock_guard<std::mutex> guard(FreeType().mutex);
    FT_Done_Face(face);
}

HGDIOBJ SelectFontIntoContext(DeviceContext* context, HGDIOBJ font) {
    auto object = FindGdiObjectOf<GdiFont>(font);
    if (object == nullptr) return nullptr;
    HGDIOBJ previous = context->font != nullptr ? context->font : SystemFont();
    context->font = font;
    context->fontObject = object;
    return previous;
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR face) {
    if (InjectedFailure("CreateFontA")) return nullptr;
    LOGFONTA logFont{};
    logFont.lfHeight = height;
    logFont.lfWidth = width;
    logFont.lfEscapement = escapement;
    logFont.lfOrientation = orientation;
    logFont.lfWeight = weight;
    logFont.lfItalic = static_cast<BYTE>(italic);
    logFont.lfUnderline = static_cast<BYTE>(underline);
    logFont.lfStrikeOut = static_cast<BYTE>(strikeOut);
    logFont.lfCharSet = static_cast<BYTE>(charSet);
    logFont.lfOutPrecision = static_cast<BYTE>(outPrecision);
    logFont.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    logFont.lfQuality = static_cast<BYTE>(quality);
    logFont.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    // The face name keeps what a LOGFONTA holds, as GDI truncates it.
    if (face != nullptr) std::strncpy(logFont.lfFaceName, face, LF_FACESIZE - 1);
    return MakeFont(logFont);
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
    auto font = FontOfContext(dc);
    if (font == nullptr || metrics == nullptr) return FALSE;
    *metrics = font->metrics;
    return TRUE;
}

DWORD GetGlyphOutlineA(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bytes,
                       LPVOID buffer, const MAT2* transform) {
    if (InjectedFailure("GetGlyphOutlineA")) return GDI_ERROR;
    auto font = FontOfContext(dc);
    if (font == nullptr || metrics == nullptr || transform == nullptr || !IsIdentity(*transform) ||
        (format != GGO_METRICS && format != GGO_BITMAP && format != GGO_GRAY4_BITMAP)) {
        return GDI_ERROR;
    }
    Coverage glyph;
    {
        std::lock_guard<std::mutex> guard(FreeType().mutex);
        if (!RenderCoverage(*font, character, format != GGO_GRAY4_BITMAP, &glyph)) {
            return GDI_ERROR;
        }
    }
    CropToInk(&glyph, format == GGO_METRICS ? GGO_GRAY4_BITMAP : format);
    // A blank glyph has GDI's one-pixel box at the pen and no bits.
    bool blank = glyph.width == 0;
    metrics->gmBlackBoxX = blank ? 1 : glyph.width;
    metrics->gmBlackBoxY = blank ? 1 : glyph.height;
    metrics->gmptGlyphOrigin = blank ? POINT{0, 0} : POINT{glyph.left, glyph.top};
    metrics->gmCellIncX = static_cast<SHORT>(glyph.advance);
    metrics->gmCellIncY = 0;
    if (format == GGO_METRICS) return 0;
    DWORD needed = blank ? 0 : RowBytes(glyph.width, format) * glyph.height;
    if (buffer == nullptr || bytes == 0) return needed;
    if (bytes < needed) return GDI_ERROR;
    if (!blank) WriteBitmap(glyph, format, static_cast<uint8_t*>(buffer));
    return needed;
}

int EnumFontFamiliesExA(HDC dc, const LOGFONTA* logFont, FONTENUMPROCA proc, LPARAM lParam,
                        DWORD flags) {
    if (logFont == nullptr || proc == nullptr) return 0;
    std::string faceName(logFont->lfFaceName, strnlen(logFont->lfFaceName, LF_FACESIZE));
    int result = 1;
    for (const FontFamily& family : ListFontFamilies(faceName)) {
        for (BYTE charSet : family.charSets) {
            if (logFont->lfCharSet != DEFAULT_CHARSET && logFont->lfCharSet != charSet) continue;
            ENUMLOGFONTEXA entry{};
            entry.elfLogFont.lfWeight = FW_NORMAL;
            entry.elfLogFont.lfCharSet = charSet;
            std::memcpy(entry.elfLogFont.lfFaceName, family.name.c_str(), family.name.size());
            std::memcpy(entry.elfFullName, family.name.c_str(), family.name.size());
            TEXTMETRICA metrics{};
            metrics.tmCharSet = charSet;
            metrics.tmWeight = FW_NORMAL;
            metrics.tmPitchAndFamily = TMPF_VECTOR | TMPF_TRUETYPE;
            result = proc(&entry.elfLogFont, &metrics, TRUETYPE_FONTTYPE, lParam);
            if (result == 0) return 0;
        }
    }
    return result;
}
