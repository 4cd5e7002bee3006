// A fixture for font and text tests: the framework started on the software device or in
// software mode (the graph fixture's), the game's font, the glyph of a character as the GDI
// layer gives it, an edge dilation written independently of the glyph cache's, and pixel
// read-back of the screen in either mode.
#pragma once

#include <platform/win32_fonts.h>

#include <string>
#include <vector>

#include "graphics/graph_fixture.h"
#include "graphics/graphics_system.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"
#include "text/font.h"
#include "text/glyph_cache.h"

class FontFixture : public GraphFixture {
protected:
    static Handle GameFont() { return MakeFontHandle("ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1); }

    // The glyph of a code in the font's own GDI font: levels 0..16 (anti-aliased) or 0/1.
    struct Glyph {
        int width = 0, height = 0;
        GLYPHMETRICS metrics{};
        std::vector<int> levels;
        int At(int x, int y) const {
            if (x < 0 || y < 0 || x >= width || y >= height) return 0;
            return levels[static_cast<size_t>(y) * width + x];
        }
    };
    static Glyph GlyphOf(const FontRecord* record, UINT code, bool gray) {
        static const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        Glyph glyph;
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(dc, record->gdiFont);
        UINT format = gray ? GGO_GRAY4_BITMAP : GGO_BITMAP;
        DWORD size = GetGlyphOutlineA(dc, code, format, &glyph.metrics, 0, nullptr, &identity);
        std::vector<uint8_t> bits(size);
        if (size != 0 && size != GDI_ERROR) {
            GetGlyphOutlineA(dc, code, format, &glyph.metrics, size, bits.data(), &identity);
            glyph.width = static_cast<int>(glyph.metrics.gmBlackBoxX);
            glyph.height = static_cast<int>(glyph.metrics.gmBlackBoxY);
            int pitch = static_cast<int>(size) / glyph.height;
            for (int y = 0; y < glyph.height; ++y) {
                for (int x = 0; x < glyph.width; ++x) {
                    const uint8_t* row = &bits[static_cast<size_t>(y) * pitch];
                    glyph.levels.push_back(gray ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1);
                }
            }
        }
        SelectObject(dc, previous);
        DeleteDC(dc);
        return glyph;
    }

    // The masks as drawn in the description of edges, rows top to bottom; sizes above 4 take
    // the whole square.
    static bool MaskHas(int edge, int dx, int dy) {
        static const std::vector<std::vector<std::string>> masks = {
            {".x.", "xxx", ".x."},
            {".xxx.", "xxxxx", "xxxxx", "xxxxx", ".xxx."},
            {"...x...", ".xxxxx.", ".xxxxx.", "xxxxxxx", ".xxxxx.", ".xxxxx.", "...x..."},
            {"..xxxxx..", ".xxxxxxx.", "xxxxxxxxx", "xxxxxxxxx", "xxxxxxxxx", "xxxxxxxxx",
             "xxxxxxxxx", ".xxxxxxx.", "..xxxxx.."}};
        if (edge > 4) return true;
        return masks[edge - 1][dy + edge][dx + edge] == 'x';
    }
    // Gathers, for the pixel (x, y) of the edged box, the glyph levels whose edge reaches it,
    // in the order of the glyph's rows and columns (the glyph sits at (edge, edge) in the box).
    static std::vector<int> LevelsReaching(const Glyph& glyph, int edge, int x, int y) {
        std::vector<int> found;
        for (int dy = edge; dy >= -edge; --dy) {
            for (int dx = edge; dx >= -edge; --dx) {
                int level = glyph.At(x - edge - dx, y - edge - dy);
                if (level > 0 && MaskHas(edge, dx, dy)) found.push_back(level);
            }
        }
        return found;
    }

    // The screen as 0x00RRGGBB: the back buffer on the device, the screen image in software
    // mode.
    static std::vector<uint32_t> ReadScreen(int* width, int* height) {
        if (IsDirect3DMode()) {
            FlushVertexBatchNow();
            UINT w = 0, h = 0;
            std::vector<DWORD> pixels = TestD3d9ReadSurface(gDeviceResources.backBuffer, &w, &h);
            *width = static_cast<int>(w);
            *height = static_cast<int>(h);
            for (DWORD& p : pixels) p &= 0xFFFFFF;
            return pixels;
        }
        const MEMIMG& screen = gSoftwareScreen.screen;
        *width = screen.width;
        *height = screen.height;
        std::vector<uint32_t> pixels;
        for (int y = 0; y < screen.height; ++y) {
            for (int x = 0; x < screen.width; ++x) {
                const uint8_t* at = screen.pixels + static_cast<size_t>(y) * screen.body->pitch +
                                    static_cast<size_t>(x) * screen.body->format->pixelBytes;
                int r = 0, g = 0, b = 0;
                UnpackColorForFormat(screen.body->format,
                                     LoadPixelValue(at, screen.body->format->pixelBytes), &r, &g,
                                     &b, nullptr);
                pixels.push_back(static_cast<uint32_t>(r << 16 | g << 8 | b));
            }
        }
        return pixels;
    }
};
