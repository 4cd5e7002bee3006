// The software-path wrappers: truncation of float positions to whole pixels, the two triangles
// of a quadrilateral and the four lines of an outline, then the software renderer's routine.
#include "draw/software_draw.h"

#include <utility>

#include "core/string_functions.h"
#include "graphics/draw_state.h"
#include "graphics/software_screen.h"
#include "softrender/blits.h"
#include "softrender/raster.h"

namespace {

// The screen image drawn on; null before the software screen exists.
MEMIMG* Screen() {
    return gSoftwareScreen.target;
}

// The blend graph's image; the blits read it only.
MEMIMG* Mask() {
    return const_cast<MEMIMG*>(gSoftwareScreen.blendImage);
}

}  // namespace

int SoftPutGraph(GraphRecord* graph, int x, int y, int trans) {
    if (Screen() != nullptr) BlitMemImgUnscaled(Screen(), &graph->image, x, y, trans, Mask());
    return 0;
}

int SoftPutGraphStretched(int x1, int y1, int x2, int y2, GraphRecord* graph, int trans) {
    const int32_t rect[4] = {x1, y1, x2, y2};
    if (Screen() != nullptr) BlitMemImgScaled(Screen(), &graph->image, rect, trans, Mask());
    return 0;
}

int SoftPutGraphRotated(float x, float y, double scale, double angle, GraphRecord* graph, int trans,
                        int turn) {
    if (Screen() == nullptr) return 0;
    BlitMemImgRotated(Screen(), &graph->image, TruncateFloatToInt(x), TruncateFloatToInt(y),
                      static_cast<float>(angle), static_cast<float>(scale), trans, turn, Mask());
    return 0;
}

int SoftPutGraphOnQuad(const float corners[8], GraphRecord* graph, int trans) {
    int whole[8];
    for (int i = 0; i < 8; ++i) whole[i] = TruncateFloatToInt(corners[i]);
    return SoftPutGraphOnQuadInt(whole, graph, trans);
}

int SoftPutGraphOnQuadInt(const int corners[8], GraphRecord* graph, int trans) {
    if (Screen() == nullptr) return 0;
    // Texel coordinates in source pixels: the graph's corners onto the four corners.
    const int32_t w = graph->width, h = graph->height;
    const TriangleVertex q[4] = {{corners[0], corners[1], 0, 0},
                                 {corners[2], corners[3], w, 0},
                                 {corners[4], corners[5], 0, h},
                                 {corners[6], corners[7], w, h}};
    RasterizeMemImgTriangle(Screen(), &graph->image, &q[0], trans, Mask(), 0);
    RasterizeMemImgTriangle(Screen(), &graph->image, &q[1], trans, Mask(), 0);
    return 0;
}

int SoftFillBox(int x1, int y1, int x2, int y2, ScreenColor color) {
    const int32_t rect[4] = {x1, y1, x2, y2};
    if (Screen() != nullptr) FillMemImgRect(Screen(), rect, color);
    return 0;
}

int SoftOutlineBox(int x1, int y1, int x2, int y2, ScreenColor color) {
    if (Screen() == nullptr) return 0;
    // Ordered as the device orders them: unordered corners would put the right and bottom
    // edges outside the box.
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    // Each line draws its start and not its end, so the four cover the edge pixels once; the
    // last column and row inside the box are x2 - 1 and y2 - 1.
    const int32_t param = gDrawSettings.blendParam;
    const MemImgLineRecord lines[4] = {{x1, y1, x2 - 1, y1, color, param},
                                       {x2 - 1, y1, x2 - 1, y2 - 1, color, param},
                                       {x2 - 1, y2 - 1, x1, y2 - 1, color, param},
                                       {x1, y2 - 1, x1, y1, color, param}};
    PlotMemImgLines(Screen(), lines, 4);
    return 0;
}
