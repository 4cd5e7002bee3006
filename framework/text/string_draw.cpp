// String drawing: the characters of a text looked up in the font's glyph cache (rendered there
// on demand) and drawn one by one at the pen, which then moves on by the advance. A texture
// cache draws each glyph as a part of the cache graph, coloured through the bright colour; a
// memory cache writes the cells into the software screen's image, directly or, when blending
// or anti-aliasing needs it, through a text image that is then blitted under the blend mode.
// Vertical text turns each glyph a quarter turn clockwise and runs down the column.
#include "text/string_draw.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "core/clamped_math.h"
#include "core/log.h"
#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "core/vector_math.h"
#include "draw/subtractive_emulation.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_records.h"
#include "graphics/graphics_system.h"
#include "graphics/masks.h"
#include "graphics/software_screen.h"
#include "softrender/blits.h"
#include "text/glyph_cache.h"

namespace {

constexpr int kStaticCharList = 256;
constexpr uint16_t kSpace = 0x20;
constexpr uint16_t kIdeographicSpace = 0x8140;
constexpr int kLevelToAlpha = 16;  // a stored level (0 to 15) as alpha
constexpr int kFullLevel = 15;     // the highest stored level
constexpr int kMixDenominator = 256;

struct Rgb {
    int red, green, blue;
};

// The colour multiplied by the draw bright, channel by channel.
Rgb UnderBright(ScreenColor color) {
    int red = 0, green = 0, blue = 0;
    UnpackScreenColor(color, &red, &green, &blue);
    const DrawSettings& s = gDrawSettings;
    return {red * s.brightRed / 255, green * s.brightGreen / 255, blue * s.brightBlue / 255};
}

bool IsBlank(uint16_t code) {
    return code == kSpace || code == kIdeographicSpace;
}

// The glyph's box on the target with the pen at (penX, penY): horizontal glyphs sit at their
// offsets; a vertical glyph is turned clockwise, its x offset running down the column and its
// y offset measured leftwards from the cell height.
RECT GlyphBox(const FontRecord* r, const GlyphCacheEntry* e, int penX, int penY, bool vertical) {
    if (!vertical) {
        return {penX + e->xOffset, penY + e->yOffset, penX + e->xOffset + e->width,
                penY + e->yOffset + e->height};
    }
    int right = penX + r->cellHeight - e->yOffset;
    return {right - e->height, penY + e->xOffset, right, penY + e->xOffset + e->width};
}

// Turns cell values of a memory cache into pixels of the target's format.
class CellPainter {
public:
    CellPainter(const FontRecord* r, const MEMIMG* target, Rgb text, Rgb edge)
        : font_(r), format_(target->body->format) {
        text_ = PackColorForFormat(format_, text.red, text.green, text.blue, 255);
        edge_ = PackColorForFormat(format_, edge.red, edge.green, edge.blue, 255);
    }

    // False where the cell is empty and the target keeps its pixel.
    bool Paint(const uint8_t* cellRow, int x, uint32_t* pixel) const {
        switch (font_->type) {
            case 0:
                if (((cellRow[x >> 3] >> (7 - (x & 7))) & 1) == 0) return false;
                *pixel = text_;
                return true;
            case kFontTypeEdge:
                if (cellRow[x] == 0) return false;
                *pixel = cellRow[x] == 1 ? text_ : edge_;
                return true;
            case kFontTypeAntiAliased:
                if (cellRow[x] == 0) return false;
                *pixel = WithAlpha(text_, cellRow[x] * kLevelToAlpha);
                return true;
            default:
                return MixGlyphOverEdge(cellRow[x] & 15, cellRow[x] >> 4, pixel);
        }
    }

private:
    uint32_t WithAlpha(uint32_t pixel, int alpha) const {
        return (pixel & ~format_->alphaMask) |
               ((static_cast<uint32_t>(alpha) << format_->alphaShift) & format_->alphaMask);
    }

    // Glyph level g over edge level e: coverage (15 - g) x e + 16 x g, the colour moving from
    // the edge's to the text's by g's share of it.
    bool MixGlyphOverEdge(int g, int e, uint32_t* pixel) const {
        if (g == 0) {
            if (e == 0) return false;
            *pixel = WithAlpha(edge_, e * kLevelToAlpha);
            return true;
        }
        if (g == kFullLevel) {
            *pixel = WithAlpha(text_, 255);
            return true;
        }
        int alpha = (kFullLevel - g) * e + kLevelToAlpha * g;
        int t = g * 4096 / alpha;
        uint32_t mixed = 0;
        const uint32_t masks[3] = {format_->redMask, format_->greenMask, format_->blueMask};
        const int shifts[3] = {format_->redShift, format_->greenShift, format_->blueShift};
        for (int c = 0; c < 3; ++c) {
            int textField = static_cast<int>((text_ & masks[c]) >> shifts[c]);
            int edgeField = static_cast<int>((edge_ & masks[c]) >> shifts[c]);
            int field = edgeField + (textField - edgeField) * t / kMixDenominator;
            mixed |= (static_cast<uint32_t>(field) << shifts[c]) & masks[c];
        }
        *pixel = WithAlpha(mixed | (text_ & format_->spareMask), alpha);
        return true;
    }

    const FontRecord* font_;
    const ColorFormat* format_;
    uint32_t text_ = 0, edge_ = 0;
};

// Writes the glyph's cell into the target, clipped to the clip rectangle and the target.
void DrawGlyphToMemImg(const FontRecord* r, const GlyphCacheEntry* e, MEMIMG* target,
                       const RECT& clip, const CellPainter& painter, int penX, int penY,
                       bool vertical) {
    RECT box = GlyphBox(r, e, penX, penY, vertical);
    RECT area = {std::max<LONG>(clip.left, 0), std::max<LONG>(clip.top, 0),
                 std::min<LONG>(clip.right, target->width),
                 std::min<LONG>(clip.bottom, target->height)};
    int cellX = 0, cellY = 0;
    GlyphCellOrigin(r, e->slot, &cellX, &cellY);
    const FontMemoryCache& cache = r->memoryCache;
    int bytes = target->body->format->pixelBytes;
    for (LONG y = std::max(box.top, area.top); y < std::min(box.bottom, area.bottom); ++y) {
        uint8_t* row = target->pixels + static_cast<ptrdiff_t>(y) * target->body->pitch;
        for (LONG x = std::max(box.left, area.left); x < std::min(box.right, area.right); ++x) {
            // The cell pixel this target pixel shows.
            int gx = vertical ? y - box.top : x - box.left;
            int gy = vertical ? box.right - 1 - x : y - box.top;
            const uint8_t* cellRow =
                cache.pixels + static_cast<ptrdiff_t>(cellY + gy) * cache.pitch;
            uint32_t pixel = 0;
            if (painter.Paint(cellRow, gx, &pixel)) {
                StorePixelValue(row + static_cast<ptrdiff_t>(x) * bytes, bytes, pixel);
            }
        }
    }
}

// The code list of a text: a static one for short texts, else one allocated for the call.
class CharList {
public:
    explicit CharList(int count) {
        if (count > kStaticCharList) own_.resize(static_cast<size_t>(count));
    }
    uint16_t* data() { return own_.empty() ? static_ : own_.data(); }

private:
    static uint16_t static_[kStaticCharList];
    std::vector<uint16_t> own_;
};
uint16_t CharList::static_[kStaticCharList];

RECT DrawArea() {
    const DrawSettings& s = gDrawSettings;
    return {s.drawX1, s.drawY1, s.drawX2, s.drawY2};
}

uint32_t PackRgb(Rgb c) {
    return static_cast<uint32_t>(c.red << 16 | c.green << 8 | c.blue);
}

// Draws the glyph's box of the graph (its cells laid out as the cache image) turned a quarter
// turn clockwise onto the box at the pen: the whole graph goes onto a quadrilateral inside a
// draw region narrowed to the box, so that only the glyph shows.
void DrawTurnedGlyph(Handle graph, const RECT& box, int sourceX, int sourceY) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return;
    const DrawSettings& s = gDrawSettings;
    RECT region = box;
    RECT area = DrawArea();
    ClipRectInto(&region, &area);
    if (region.left == region.right || region.top == region.bottom) return;
    RECT requested = s.requestedArea;
    SetDrawRegion(region.left, region.top, region.right, region.bottom);
    // Source (u, v) lands on (box.right - (v - sourceY), box.top + (u - sourceX)); the corners
    // move back by half a pixel, so that the device samples each texel at its centre.
    float right = static_cast<float>(box.right + sourceY) - 0.5f;
    float top = static_cast<float>(box.top - sourceX) - 0.5f;
    float w = static_cast<float>(record->width), h = static_cast<float>(record->height);
    PutGraphOnQuadFloat(right, top, right, top + w, right - h, top + w, right - h, top, graph, 1);
    SetDrawRegion(requested.left, requested.top, requested.right, requested.bottom);
}

// Draws a glyph from the cache graphs, its edge first, each coloured through the bright colour,
// which is given back afterwards.
void DrawGlyphFromGraphs(const FontRecord* r, const GlyphCacheEntry* e, int penX, int penY,
                         bool vertical, uint32_t text, uint32_t edge) {
    const DrawSettings& s = gDrawSettings;
    uint32_t bright = PackRgb({s.brightRed, s.brightGreen, s.brightBlue});
    int cellX = 0, cellY = 0;
    GlyphCellOrigin(r, e->slot, &cellX, &cellY);
    int sourceX = cellX + GlyphCellMargin(r), sourceY = cellY + GlyphCellMargin(r);
    RECT box = GlyphBox(r, e, penX, penY, vertical);
    const std::pair<Handle, uint32_t> layers[2] = {{r->edgeCacheGraph, edge},
                                                   {r->cacheGraph, text}};
    for (const auto& [graph, color] : layers) {
        if (graph == -1) continue;
        ApplyBrightColorValue(color);
        if (vertical) {
            DrawTurnedGlyph(graph, box, sourceX, sourceY);
        } else {
            PutGraphPart(box.left, box.top, sourceX, sourceY, e->width, e->height, graph, 1, 0);
        }
    }
    ApplyBrightColorValue(bright);
}

}  // namespace

int DrawStringCore(const StringDrawRequest& request, int* size) {
    if (gDrawSettings.ignoreChanges || !IsGraphicsInitialized()) return -1;
    const Handle font = request.font;
    FontRecord* r = GetFontRecord(font);
    if (r == nullptr) return -1;
    const int drawFlag = request.draw, vertical = request.vertical;
    const char* text = request.text;
    int x = request.x, y = request.y, length = request.length;
    double xScale = request.xScale, yScale = request.yScale;
    if (!request.scaled || (!r->textureCache && drawFlag != 0)) xScale = yScale = 1.0;
    int shift = TruncateDoubleToInt(r->verticalCorrection * yScale) / 2;
    if (vertical) {
        x += shift;
    } else {
        y -= shift;
    }
    Rgb textRgb = UnderBright(request.color), edgeRgb = UnderBright(request.edgeColor);
    // No byte beyond the length is read, not even a terminator; the counting stops at either.
    if (text == nullptr || length == 0 || text[0] == '\0') return 0;

    CharList list(CountFontChars(length, text, r->charsetIndex, nullptr));
    int count = 0;
    if (CacheStringGlyphs(length, text, font, list.data(), &count) == -1) return -1;
    MEMIMG* target = request.target != nullptr ? request.target : gSoftwareScreen.target;
    bool toMemImg = drawFlag != 0 && !r->textureCache;
    if (toMemImg && (target == nullptr || !IsMemImgValid(target))) toMemImg = false;
    RECT area = request.clip != nullptr ? *request.clip : DrawArea();
    bool fromGraphs = drawFlag != 0 && r->textureCache;
    std::optional<CellPainter> painter;
    if (toMemImg) painter.emplace(r, target, textRgb, edgeRgb);

    double step = vertical ? yScale : xScale;
    double pen = 0.0;
    for (int i = 0; i < count; ++i) {
        uint16_t code = list.data()[i];
        if (!r->codeMap[code].inCache) RenderGlyphsToCache(r, &code, 1);
        const GlyphCacheEntry* e = r->codeMap[code].inCache ? r->codeMap[code].entry : nullptr;
        if (e == nullptr) return AppendLogText("テキストキャッシュの作成に失敗しました");
        if (drawFlag != 0 && !IsBlank(code) && e->width > 0 && e->height > 0) {
            // A pen gone far off the screen stays far off, where the glyph's box cannot wrap.
            const int64_t along = SaturateDoubleToInt32(pen);
            const int penX = vertical ? x : ClampToFar(x + along);
            const int penY = vertical ? ClampToFar(y + along) : y;
            if (toMemImg) DrawGlyphToMemImg(r, e, target, area, *painter, penX, penY, vertical);
            if (fromGraphs) {
                DrawGlyphFromGraphs(r, e, penX, penY, vertical, PackRgb(textRgb), PackRgb(edgeRgb));
            }
        }
        pen += (e->advance + r->spacing) * step;
    }
    int extent = SaturateDoubleToInt32(pen);
    if (size != nullptr) {
        size[vertical ? 1 : 0] = extent;
        size[vertical ? 0 : 1] = r->cellHeight;
    }
    return drawFlag != 0 ? 0 : extent;
}

int DrawStringToMemImg(int x, int y, const char* text, ScreenColor color, Handle font,
                       ScreenColor edgeColor, int vertical) {
    FontRecord* r = GetFontRecord(font);
    MEMIMG* screen = gSoftwareScreen.target;
    if (r == nullptr || screen == nullptr || !IsMemImgValid(screen)) return -1;
    StringDrawRequest request = {.x = x,
                                 .y = y,
                                 .text = text,
                                 .color = color,
                                 .edgeColor = edgeColor,
                                 .font = font,
                                 .vertical = vertical};
    // The extent comes through size, as a negative spacing may measure -1; the cell height is
    // written only when the text could be measured.
    int size[2] = {0, 0};
    DrawStringCore(request, size);
    if (size[vertical ? 0 : 1] == 0) return -1;
    const int extent = size[vertical ? 1 : 0];
    const DrawSettings& s = gDrawSettings;
    bool antiAliased = (r->type & kFontTypeAntiAliased) != 0;
    bool opaque =
        s.blendMode == BlendOpaque || (s.blendMode == BlendTranslucent && s.blendParam == 255);
    RECT area = DrawArea();
    request.draw = 1;
    if (opaque && !antiAliased) {
        request.target = screen;
        request.clip = &area;
        return DrawStringCore(request, nullptr);
    }

    // The text image covers the pen's run with a cell to spare on either side, so that glyphs
    // reaching past the pen or past the last advance are kept. Only its part inside the draw
    // area is made, all that the blit could show: a long text far off the screen takes no
    // memory for it.
    const int64_t cell = r->cellWidth, shift = r->verticalCorrection / 2;
    const int64_t runStart = std::min(0, extent) - cell, runEnd = std::max(0, extent) + cell;
    const int64_t placed[4] = {
        vertical ? x + shift : x + runStart, vertical ? y + runStart : y - shift,
        vertical ? x + shift + cell : x + runEnd, vertical ? y + runEnd : y - shift + cell};
    const RECT narrowed = {static_cast<LONG>(std::max<int64_t>(placed[0], area.left)),
                           static_cast<LONG>(std::max<int64_t>(placed[1], area.top)),
                           static_cast<LONG>(std::min<int64_t>(placed[2], area.right)),
                           static_cast<LONG>(std::min<int64_t>(placed[3], area.bottom))};
    if (narrowed.left >= narrowed.right || narrowed.top >= narrowed.bottom) return 0;
    MEMIMG image{};
    int colorType = screen->body->colorType;
    // Plain text keys out a colour that neither the text nor the edge has.
    uint32_t key = 0;
    if (!antiAliased) {
        const ColorFormat* format = GetMemImgColorFormat(colorType, 0, 0);
        Rgb text = UnderBright(color), edge = UnderBright(edgeColor);
        uint32_t textPixel = PackColorForFormat(format, text.red, text.green, text.blue, 255);
        uint32_t edgePixel = PackColorForFormat(format, edge.red, edge.green, edge.blue, 255);
        while (key == textPixel || key == edgePixel) ++key;
    }
    if (CreateMemImg(&image, narrowed.right - narrowed.left, narrowed.bottom - narrowed.top, -1,
                     key, colorType, 0, antiAliased ? 1 : 0, 0, nullptr) == -1) {
        return -1;
    }
    ClearMemImgRect(&image, nullptr, key);
    RECT whole = {0, 0, image.width, image.height};
    request.x = x - narrowed.left;
    request.y = y - narrowed.top;
    request.target = &image;
    request.clip = &whole;
    DrawStringCore(request, nullptr);

    RECT savedArea = gMemImgDraw.drawArea;
    uint32_t savedBright = gMemImgDraw.bright;
    SetMemImgBright(0xFFFFFF);
    SetMemImgDrawArea(&narrowed);
    BlitMemImgUnscaled(screen, &image, narrowed.left, narrowed.top, 1, nullptr);
    SetMemImgDrawArea(&savedArea);
    SetMemImgBright(savedBright);
    ReleaseMemImg(&image);
    return 0;
}

int DrawStringFromTextureCache(int x, int y, const char* text, ScreenColor color, Handle font,
                               ScreenColor edgeColor, int vertical) {
    FontRecord* r = GetFontRecord(font);
    if (r == nullptr) return -1;
    if (r->cacheGraphLost && RecreateFontCacheGraphs(font, 0) == -1) return -1;
    RECT area = DrawArea();
    return DrawStringCore({.draw = 1,
                           .x = x,
                           .y = y,
                           .scaled = 1,
                           .text = text,
                           .color = color,
                           .edgeColor = edgeColor,
                           .font = font,
                           .clip = &area,
                           .vertical = vertical},
                          nullptr);
}

int DrawStringWithFont(int x, int y, const char* text, ScreenColor color, Handle font,
                       ScreenColor edgeColor, int vertical) {
    if (text == nullptr || text[0] == '\0') return 0;
    x = ClampToFar(x);
    y = ClampToFar(y);
    const DrawSettings& s = gDrawSettings;
    if (s.ignoreChanges || s.emptyDrawArea) return 0;
    FontRecord* r = GetFontRecord(font);
    if (r == nullptr) return AppendLogText("フォントハンドル値が異常です\n");
    WaitWhileInactive();
    bool emulate = r->textureCache && NeedsSubtractBlendEmulation();
    RECT rect = {};
    if ((s.blendMode == BlendSubtractive && r->textureCache) || IsMaskDrawingOn() ||
        s.drawTargets[0] == kFrontScreen) {
        // The rectangle the text may touch, for the brackets.
        const int c = r->verticalCorrection;
        const int reach = ClampToFar(int64_t{r->size} + 3);
        rect = vertical ? RECT{x + c / 2, y, x + c / 2 + reach, s.drawY2}
                        : RECT{x, y - c / 2, s.drawX2, y - c / 2 + reach};
        if (rect.left >= s.drawX2) return 0;
    }
    // A failure (a character that cannot be cached) is passed on rather than reported as 0.
    return DrawInBrackets(rect, emulate, [&] {
        if (r->textureCache) {
            return DrawStringFromTextureCache(x, y, text, color, font, edgeColor, vertical);
        }
        return DrawStringToMemImg(x, y, text, color, font, edgeColor, vertical);
    });
}

int MeasureStringWidth(const char* text, int32_t length, Handle font) {
    if (text == nullptr || length == 0 || text[0] == '\0') return 0;
    if (GetFontRecord(font) == nullptr) return AppendLogText("フォントハンドル値が異常です\n");
    return DrawStringCore({.text = text, .length = length, .font = font}, nullptr);
}
