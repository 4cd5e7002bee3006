// The graph drawing calls. The gates, in order: drawing switched off or an empty draw area gives
// 0; a bad or still-loading graph -1; a blend graph that does not cover the graph -1. Then the
// wait for activation, the movie frame, and the brackets around the renderer call.
#include "draw/graph_drawing.h"

#include <orbek/orbek.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <type_traits>

#include "core/clamped_math.h"
#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "core/vector_math.h"
#include "draw/graph_vertices.h"
#include "draw/software_draw.h"
#include "draw/subtractive_emulation.h"
#include "graphics/draw_state.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_records.h"
#include "movie/movies.h"
#include "softrender/mem_img.h"

namespace {

bool HasTextures(const GraphRecord* graph) {
    return graph->textureInfo != nullptr && graph->textureInfo->flags.useTexture;
}

RECT OrderedRect(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

// The common sequence of the graph calls. bracket(record) gives the rectangle the draw may
// touch, device(record, blend record or null) draws through the vertex builders and
// software(record) through the software renderer.
template <class Bracket, class Device, class Software>
int DrawGraph(Handle graph, Bracket bracket, Device device, Software software) {
    const DrawSettings& s = gDrawSettings;
    if (s.ignoreChanges || s.emptyDrawArea) return 0;
    if (GetGraphRecord(graph, 0) == nullptr) return -1;
    if (s.blendGraph != -1 && CheckBlendGraphCoverage(GetGraphRecord(graph, 0)) != 0) return -1;
    WaitWhileInactive();
    // Looked up after the wait: activation may have brought the graphs back anew.
    GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    // The renderers read the blend image made of the blend graph.
    const GraphRecord* blend = s.blendGraph != -1 ? GetGraphRecord(s.blendImageGraph, 0) : nullptr;
    const RECT rect = bracket(*record);
    if (record->movie != -1) RefreshMovieFrame(record->movie, 0);
    // The software renderer subtracts by itself.
    const bool textured = HasTextures(record);
    return DrawInBrackets(rect, textured && NeedsSubtractBlendEmulation(),
                          [&] { return textured ? device(record, blend) : software(record); });
}

// Whether a position is NaN, which the drawing calls refuse.
bool AnyNaN(std::initializer_list<float> positions) {
    return std::any_of(positions.begin(), positions.end(), [](float v) { return std::isnan(v); });
}

// Two corners of a rectangle held in the band of ClampToFar. Corners that were apart stay apart:
// both beyond the band on one side, the one nearer the screen keeps a pixel from the other, so
// that a rectangle as far from every screen as before keeps its width and its direction.
template <typename T>
void HoldCorners(T& a, T& b) {
    T heldA = ClampToFar(a), heldB = ClampToFar(b);
    if (heldA == heldB && a != b) {
        T& nearer = (heldA > 0) == (a < b) ? heldA : heldB;
        if constexpr (std::is_floating_point_v<T>) {
            nearer = std::nextafter(nearer, T{0});
        } else {
            nearer = heldA > 0 ? nearer - 1 : nearer + 1;
        }
    }
    a = heldA;
    b = heldB;
}

void SetDrawAreaEverywhere(const RECT& area) {
    DrawSettings& s = gDrawSettings;
    s.drawX1 = area.left;
    s.drawY1 = area.top;
    s.drawX2 = area.right;
    s.drawY2 = area.bottom;
    SetMemImgDrawArea(&area);
    s.drawX1f = static_cast<float>(area.left);
    s.drawY1f = static_cast<float>(area.top);
    s.drawX2f = static_cast<float>(area.right);
    s.drawY2f = static_cast<float>(area.bottom);
}

}  // namespace

RECT RotatedBracketRect(int w, int h, int x, int y, double scale, double angle) {
    const double halfW = w / 2, halfH = h / 2;
    const double corners[4][2] = {
        {-halfW, -halfH}, {w - halfW, -halfH}, {-halfW, h - halfH}, {w - halfW, h - halfH}};
    float sine = 0.0f, cosine = 0.0f;
    ComputeSinCos(static_cast<float>(angle), &sine, &cosine);
    double bounds[4] = {DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (const auto& [cx, cy] : corners) {
        const double px = x + (cx * cosine - cy * sine) * scale;
        const double py = y + (cx * sine + cy * cosine) * scale;
        bounds[0] = std::min(bounds[0], px - 5.0);
        bounds[1] = std::min(bounds[1], py - 5.0);
        bounds[2] = std::max(bounds[2], px + 5.0);
        bounds[3] = std::max(bounds[3], py + 5.0);
    }
    return {
        ClampToFar(SaturateDoubleToInt32(bounds[0])), ClampToFar(SaturateDoubleToInt32(bounds[1])),
        ClampToFar(SaturateDoubleToInt32(bounds[2])), ClampToFar(SaturateDoubleToInt32(bounds[3]))};
}

RECT QuadBracketRect(const float corners[8]) {
    RECT rect = {0xFFFFFF, 0xFFFFFF, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const int x = TruncateFloatToInt(corners[2 * k]);
        const int y = TruncateFloatToInt(corners[2 * k + 1]);
        rect.left = std::min(rect.left, x);
        rect.top = std::min(rect.top, y);
        rect.right = std::max(rect.right, x);
        rect.bottom = std::max(rect.bottom, y);
    }
    return rect;
}

int PutGraph(int32_t x, int32_t y, Handle graph, int32_t trans) {
    if (!gShell.setUp) return -1;
    x = ClampToFar(x);
    y = ClampToFar(y);
    return DrawGraph(
        graph,
        [&](const GraphRecord& r) {
            return RECT{x, y, x + r.width, y + r.height};
        },
        [&](GraphRecord* r, const GraphRecord* blend) {
            return HwPutGraph(blend, x, y, static_cast<float>(x), static_cast<float>(y), r, trans,
                              1);
        },
        [&](GraphRecord* r) { return SoftPutGraph(r, x, y, trans); });
}

int PutGraphStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Handle graph, int32_t trans) {
    HoldCorners(x1, x2);
    HoldCorners(y1, y2);
    return DrawGraph(
        graph, [&](const GraphRecord&) { return OrderedRect(x1, y1, x2, y2); },
        [&](GraphRecord* r, const GraphRecord* blend) {
            return HwPutGraphStretched(x1, y1, x2, y2, static_cast<float>(x1),
                                       static_cast<float>(y1), static_cast<float>(x2),
                                       static_cast<float>(y2), r, blend, trans, 1);
        },
        [&](GraphRecord* r) { return SoftPutGraphStretched(x1, y1, x2, y2, r, trans); });
}

int PutGraphStretchedFloat(float x1, float y1, float x2, float y2, Handle graph, int32_t trans) {
    if (AnyNaN({x1, y1, x2, y2})) return -1;
    HoldCorners(x1, x2);
    HoldCorners(y1, y2);
    const int ix1 = TruncateFloatToInt(x1), iy1 = TruncateFloatToInt(y1);
    const int ix2 = TruncateFloatToInt(x2), iy2 = TruncateFloatToInt(y2);
    return DrawGraph(
        graph, [&](const GraphRecord&) { return OrderedRect(ix1, iy1, ix2, iy2); },
        [&](GraphRecord* r, const GraphRecord* blend) {
            return HwPutGraphStretched(ix1, iy1, ix2, iy2, x1, y1, x2, y2, r, blend, trans, 0);
        },
        [&](GraphRecord* r) { return SoftPutGraphStretched(ix1, iy1, ix2, iy2, r, trans); });
}

int PutGraphRotated(float x, float y, double scale, double angle, Handle graph, int32_t trans,
                    int32_t turn) {
    if (AnyNaN({x, y}) || std::isnan(scale) || !std::isfinite(angle)) return -1;
    x = ClampToFar(x);
    y = ClampToFar(y);
    // A scale beyond the band shows no more of a graph than one at its end: a texel wider than
    // any screen.
    scale = ClampToFar(scale);
    const int ix = TruncateFloatToInt(x), iy = TruncateFloatToInt(y);
    return DrawGraph(
        graph,
        [&](const GraphRecord& r) {
            return RotatedBracketRect(r.width, r.height, ix, iy, scale, angle);
        },
        [&](GraphRecord* r, const GraphRecord* blend) {
            return HwPutGraphRotated(r, ix, iy, x, y, scale, angle, blend, trans, turn, 0);
        },
        [&](GraphRecord* r) { return SoftPutGraphRotated(x, y, scale, angle, r, trans, turn); });
}

int PutGraphMirrored(int32_t x, int32_t y, Handle graph, int32_t trans) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    x = ClampToFar(x);
    y = ClampToFar(y);
    return PutGraphStretched(x + record->width, y, x, y + record->height, graph, trans);
}

int PutGraphPart(int32_t x, int32_t y, int32_t srcX, int32_t srcY, int32_t w, int32_t h,
                 Handle graph, int32_t trans, int32_t turn) {
    if (w < 1 || h < 1) return -1;
    DrawSettings& s = gDrawSettings;
    const RECT saved = {s.drawX1, s.drawY1, s.drawX2, s.drawY2};
    const float savedF[4] = {s.drawX1f, s.drawY1f, s.drawX2f, s.drawY2f};
    // The builders clip to the draw area themselves, so the device's viewport stays. Sums are
    // formed in 64 bits; what lies beyond the band would miss the area all the same.
    RECT area = {ClampToFar(x), ClampToFar(y), ClampToFar(int64_t{x} + w),
                 ClampToFar(int64_t{y} + h)};
    ClipRectInto(&area, &saved);
    SetDrawAreaEverywhere(area);
    int result = -1;
    const int top = ClampToFar(int64_t{y} - srcY);
    if (!turn) {
        result = PutGraph(ClampToFar(int64_t{x} - srcX), top, graph, trans);
    } else if (const GraphRecord* record = GetGraphRecord(graph, 0); record != nullptr) {
        // Source column srcX lands on screen column x + w - 1.
        const int64_t left = int64_t{x} - record->width + srcX + w;
        result = PutGraphMirrored(ClampToFar(left), top, graph, trans);
    }
    SetDrawAreaEverywhere(saved);
    s.drawX1f = savedF[0];
    s.drawY1f = savedF[1];
    s.drawX2f = savedF[2];
    s.drawY2f = savedF[3];
    return result;
}

int PutGraphOnQuad(Handle graph, float x1, float y1, float x2, float y2, float x3, float y3,
                   float x4, float y4, int32_t trans, int32_t flag) {
    if (AnyNaN({x1, y1, x2, y2, x3, y3, x4, y4})) return -1;
    // Both renderers take the corners as a two-triangle strip: 1, 2, 4, 3.
    float strip[8] = {x1, y1, x2, y2, x4, y4, x3, y3};
    for (float& v : strip) v = ClampToFar(v);
    return DrawGraph(
        graph, [&](const GraphRecord&) { return QuadBracketRect(strip); },
        [&](GraphRecord* r, const GraphRecord* blend) {
            return HwPutGraphOnQuad(strip, r, blend, trans, flag);
        },
        [&](GraphRecord* r) { return SoftPutGraphOnQuad(strip, r, trans); });
}

int PutGraphOnQuadFloat(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                        float y4, Handle graph, int32_t trans) {
    return PutGraphOnQuad(graph, x1, y1, x2, y2, x3, y3, x4, y4, trans, 0);
}

int DrawGraphRectStretchedF(float x1, float y1, float x2, float y2, int srcX, int srcY, int width,
                            int height, Handle graph, int trans) {
    if (width < 1 || height < 1) return -1;
    Handle part = CutGraphRect(srcX, srcY, width, height, graph);
    if (part == -1) return -1;
    PutGraphStretchedFloat(x1, y1, x2, y2, part, trans);
    DisposeGraph(part);
    return 0;
}
