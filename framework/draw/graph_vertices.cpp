// Direct3D vertex building for graphs, boxes and vertex lists. Every graph builder opens the
// scene, prepares the draw states for the graph's first texture and then walks the pieces:
// each piece's texture (and blend piece's) is selected and its quad appended to the batch as
// two triangles, the colour written on the first vertex of each (the device shades flat).
#include "draw/graph_vertices.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "core/tracked_memory.h"
#include "core/vector_math.h"
#include "draw/subtractive_emulation.h"
#include "graphics/blend_states.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_state.h"
#include "graphics/prepare_draw.h"
#include "softrender/mem_img.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_state.h"
#include "movie/movies.h"
#include "softrender/mem_img.h"

static_assert(sizeof(GraphListVertex) == sizeof(TexturedVertex));

namespace {

// A quad corner: screen position, texture coordinates of the graph's piece and of the blend
// graph's piece.
struct QuadCorner {
    float x, y, u, v, blendU, blendV;
};

// The corners in strip order (top-left, top-right, bottom-left, bottom-right) as two triangles.
constexpr int kQuadOrder[6] = {0, 1, 2, 3, 2, 1};

// Strip order of a quadrilateral's corners in a float[8]: x at 2k, y at 2k + 1.
constexpr int kTopLeft = 0, kTopRight = 1, kBottomLeft = 2, kBottomRight = 3;

constexpr DWORD kTexturedFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr DWORD kBlendFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
constexpr D3DCOLOR kWhiteSpecular = 0xFFFFFFFF;

// Vertex lists are recoloured here when the bright or the parameter changes their colours.
struct VertexListScratch {
    GraphListVertex* buffer;
    int32_t capacity;  // in vertices
};
VertexListScratch gVertexListScratch = {};

int TransFlag(int trans) {
    return trans ? kDrawUseTextureAlpha : 0;
}

// The common start of the graph builders: -1 without a usable device; else the scene is open
// and the draw states are those of the graph's first texture.
int BeginGraphBuild(const GraphRecord* graph, int drawFlags) {
    if (!IsDeviceReady()) return -1;
    if (!gRenderStates.sceneOpen) OpenDeviceScene();
    PrepareDrawStates(&graph->textureInfo->flags, GetGraphFirstTexture(graph), drawFlags);
    return 0;
}

// The blend graph's piece laid under the graph's piece i: the one in step with it when both
// have as many pieces, else the blend graph's first.
const GraphPiece* BlendPieceFor(const GraphRecord* graph, const GraphRecord* blend, int i) {
    if (blend == nullptr || blend->pieceCount == 0) return nullptr;
    return &GraphPieces(blend)[blend->pieceCount == graph->pieceCount ? i : 0];
}

// Binds the piece's texture (and the blend piece's) and re-applies the blend states when that
// asked for it.
void SelectPieceTextures(const GraphPiece& piece, const GraphPiece* blendPiece) {
    SelectDrawTexture(piece.texPiece->texture);
    if (blendPiece != nullptr) {
        const TexturePiece* texture = blendPiece->texPiece;
        SelectBlendTexture(texture->texture, texture->texWidth, texture->texHeight);
    }
    const RenderStateCache& c = gRenderStates;
    if (c.blendStatesDirty || c.texturesDirty) ApplyBlendStates(0, nullptr, 0);
}

// The piece's corner k with its texture coordinates, and the blend piece's coordinates of the
// same graph point (the blend graph lies over the graph pixel for pixel from its top-left).
QuadCorner PieceCorner(const GraphPiece& piece, const GraphPiece* blendPiece, int k) {
    QuadCorner c = {piece.corners[k][0],
                    piece.corners[k][1],
                    piece.corners[k][2],
                    piece.corners[k][3],
                    0.0f,
                    0.0f};
    if (blendPiece != nullptr) {
        const TexturePiece* texture = blendPiece->texPiece;
        c.blendU = (c.x - static_cast<float>(blendPiece->drawX - blendPiece->texOffX)) /
                   static_cast<float>(texture->texWidth);
        c.blendV = (c.y - static_cast<float>(blendPiece->drawY - blendPiece->texOffY)) /
                   static_cast<float>(texture->texHeight);
    }
    return c;
}

// Walks the graph's pieces: selects each piece's textures and hands its four corners, at their
// places in the graph with their texture coordinates, to place(piece, blend piece, corners).
template <class Place>
void ForEachPiece(const GraphRecord* graph, const GraphRecord* blend, Place place) {
    for (int i = 0; i < graph->pieceCount; ++i) {
        const GraphPiece& piece = GraphPieces(graph)[i];
        const GraphPiece* blendPiece = BlendPieceFor(graph, blend, i);
        SelectPieceTextures(piece, blendPiece);
        QuadCorner q[4];
        for (int k = 0; k < 4; ++k) q[k] = PieceCorner(piece, blendPiece, k);
        place(piece, blendPiece, q);
    }
}

template <class Vertex>
void WriteQuad(Vertex* v, const QuadCorner q[4], D3DCOLOR color) {
    const float z = gDrawSettings.z2D;
    for (int i = 0; i < 6; ++i) {
        const QuadCorner& c = q[kQuadOrder[i]];
        v[i].x = c.x;
        v[i].y = c.y;
        v[i].z = z;
        if constexpr (requires { v[i].u; }) {
            v[i].u = c.u;
            v[i].v = c.v;
        }
        if constexpr (requires { v[i].blendU; }) {
            v[i].blendU = c.blendU;
            v[i].blendV = c.blendV;
        }
    }
    v[0].diffuse = v[3].diffuse = color;
}

// Appends the quad to the batch in the vertex kind the blend states chose.
void AppendQuad(const QuadCorner q[4], D3DCOLOR color) {
    const int kind = gVertexBatch.vertexKind;
    void* at = ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
    if (at == nullptr) return;
    if (kind == kVertexKindBlend) {
        WriteQuad(static_cast<BlendVertex*>(at), q, color);
    } else if (kind == kVertexKindTextured) {
        WriteQuad(static_cast<TexturedVertex*>(at), q, color);
    } else {
        WriteQuad(static_cast<ColoredVertex*>(at), q, color);
    }
}

void AppendRect(int left, int top, int right, int bottom, D3DCOLOR color) {
    const float l = static_cast<float>(left), t = static_cast<float>(top);
    const float r = static_cast<float>(right), b = static_cast<float>(bottom);
    const QuadCorner q[4] = {
        {l, t, 0, 0, 0, 0}, {r, t, 0, 0, 0, 0}, {l, b, 0, 0, 0, 0}, {r, b, 0, 0, 0, 0}};
    AppendQuad(q, color);
}

struct ClipRect {
    float left, top, right, bottom;
};

// How far one screen pixel moves the texture coordinates of a clipped corner: one over the
// texture's size in screen pixels (the blend fields stay 0 without a blend piece).
struct TexelSpan {
    float u, v, blendU, blendV;
};

TexelSpan SpanOf(const GraphPiece& piece, const GraphPiece* blendPiece, float sx, float sy) {
    TexelSpan span = {static_cast<float>(piece.texPiece->texWidth) * sx,
                      static_cast<float>(piece.texPiece->texHeight) * sy, 0.0f, 0.0f};
    if (blendPiece != nullptr) {
        span.blendU = static_cast<float>(blendPiece->texPiece->texWidth) * sx;
        span.blendV = static_cast<float>(blendPiece->texPiece->texHeight) * sy;
    }
    return span;
}

// Moves a coordinate into [low, high] and its texture coordinates by the same distance.
void ClipAxis(float* position, float low, float high, float span, float blendSpan, float* tex,
              float* blendTex) {
    float moved = 0.0f;
    if (*position < low) {
        moved = low - *position;
        *position = low;
    } else if (*position > high) {
        moved = high - *position;
        *position = high;
    } else {
        return;
    }
    *tex += moved / span;
    if (blendSpan != 0.0f) *blendTex += moved / blendSpan;
}

void ClipCorner(QuadCorner* c, const ClipRect& r, const TexelSpan& span) {
    ClipAxis(&c->x, r.left, r.right, span.u, span.blendU, &c->u, &c->blendU);
    ClipAxis(&c->y, r.top, r.bottom, span.v, span.blendV, &c->v, &c->blendV);
}

bool InsideDrawArea(int left, int top, int right, int bottom) {
    const DrawSettings& s = gDrawSettings;
    return left >= s.drawX1 && top >= s.drawY1 && right <= s.drawX2 && bottom <= s.drawY2;
}

// Subtracts 0.5 from one axis of the quad when an edge along it lies on whole pixels, where
// pixel centres would sit exactly on the edge.
void SnapAxis(QuadCorner q[4], float QuadCorner::*axis) {
    const float first = q[kTopLeft].*axis;
    const bool alongEdge = std::fabs(first - q[kTopRight].*axis) <= 0.01f ||
                           std::fabs(first - q[kBottomLeft].*axis) <= 0.01f;
    const float fraction = first - std::floor(first);
    if (!alongEdge || (fraction >= 0.001f && fraction <= 0.999f)) return;
    for (int k = 0; k < 4; ++k) q[k].*axis -= 0.5f;
}

// The point of the quadrilateral (strip order) at (s, t) of its unit square.
void Bilinear(const float corners[8], float s, float t, float* x, float* y) {
    const float w[4] = {(1 - s) * (1 - t), s * (1 - t), (1 - s) * t, s * t};
    *x = *y = 0.0f;
    for (int k = 0; k < 4; ++k) {
        *x += w[k] * corners[2 * k];
        *y += w[k] * corners[2 * k + 1];
    }
}

// Draws a two-triangle strip at once, outside the batch.
void DrawPieceStrip(QuadCorner q[4], D3DCOLOR color) {
    if (gVertexBatch.suppressed) return;
    const float z = gDrawSettings.z2D;
    if (gVertexBatch.vertexKind == kVertexKindBlend) {
        BlendVertex v[4];
        for (int k = 0; k < 4; ++k) {
            v[k] = {q[k].x,         q[k].y, z,      1.0f,        color,
                    kWhiteSpecular, q[k].u, q[k].v, q[k].blendU, q[k].blendV};
        }
        SetCachedFvf(kBlendFvf);
        DeviceDrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(BlendVertex));
        return;
    }
    TexturedVertex v[4];
    for (int k = 0; k < 4; ++k) v[k] = {q[k].x, q[k].y, z, 1.0f, color, q[k].u, q[k].v};
    SetCachedFvf(kTexturedFvf);
    DeviceDrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedVertex));
}

float Cross(const QuadCorner& o, const QuadCorner& a, const QuadCorner& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// The box colour over the draw vertex colour: each channel times the bright over 255, the
// alpha the vertex colour's.
D3DCOLOR BoxVertexColor(ScreenColor color) {
    int red = 0, green = 0, blue = 0;
    UnpackScreenColor(color, &red, &green, &blue);
    const uint32_t vertex = ComputeDrawVertexColor();
    auto scale = [&](int channel, int shift) {
        return static_cast<uint32_t>(channel * static_cast<int>((vertex >> shift) & 0xFF) / 255)
               << shift;
    };
    return (vertex & 0xFF000000) | scale(red, 16) | scale(green, 8) | scale(blue, 0);
}

// -1 for a type that is no Direct3D primitive type.
int CountListPrimitives(int primitiveType, int count) {
    if (primitiveType < static_cast<int>(D3DPT_POINTLIST) ||
        primitiveType > static_cast<int>(D3DPT_TRIANGLEFAN)) {
        return -1;
    }
    return static_cast<int>(CountPrimitives(static_cast<D3DPRIMITIVETYPE>(primitiveType), count));
}

// The list with each colour times the bright and its alpha times the parameter, in the scratch
// buffer; null when the buffer cannot grow.
const GraphListVertex* RecolourVertexList(const GraphListVertex* vertices, int count) {
    VertexListScratch& m = gVertexListScratch;
    if (count > m.capacity) {
        const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(GraphListVertex);
        if (bytes > UINT32_MAX) return nullptr;
        void* grown = AllocMemory(static_cast<uint32_t>(bytes), "", 0);
        if (grown == nullptr) return nullptr;
        if (m.buffer != nullptr) FreeMemory(m.buffer);
        m.buffer = static_cast<GraphListVertex*>(grown);
        m.capacity = count;
    }
    const DrawSettings& s = gDrawSettings;
    const auto& product = gMemImgDraw.productTable;
    const uint32_t factors[4] = {
        static_cast<uint32_t>(s.brightBlue), static_cast<uint32_t>(s.brightGreen),
        static_cast<uint32_t>(s.brightRed),
        s.blendMode == BlendOpaque ? 255u : static_cast<uint32_t>(s.blendParam)};
    for (int i = 0; i < count; ++i) {
        GraphListVertex v = vertices[i];
        uint32_t color = 0;
        for (int byte = 0; byte < 4; ++byte) {
            color |= product[(v.color >> (8 * byte)) & 0xFF][factors[byte]] << (8 * byte);
        }
        v.color = color;
        m.buffer[i] = v;
    }
    return m.buffer;
}

}  // namespace

int HwPutGraph(const GraphRecord* blend, int x, int y, float xf, float yf, const GraphRecord* graph,
               int trans, int wholePixel) {
    const int flags = TransFlag(trans) | (wholePixel ? kDrawTextureAlphaWhenLinear : 0);
    if (BeginGraphBuild(graph, flags) == -1) return -1;
    const DrawSettings& s = gDrawSettings;
    const D3DCOLOR color = ComputeDrawVertexColor();
    const float originX = xf - 0.5f, originY = yf - 0.5f;
    const bool inside = InsideDrawArea(x, y, x + graph->width, y + graph->height);
    const ClipRect area = {s.drawX1f, s.drawY1f, s.drawX2f, s.drawY2f};
    ForEachPiece(graph, blend,
                 [&](const GraphPiece& piece, const GraphPiece* blendPiece, QuadCorner q[4]) {
                     const TexelSpan span = SpanOf(piece, blendPiece, 1.0f, 1.0f);
                     for (int k = 0; k < 4; ++k) {
                         q[k].x += originX;
                         q[k].y += originY;
                         if (!inside) ClipCorner(&q[k], area, span);
                     }
                     AppendQuad(q, color);
                 });
    return 0;
}

int HwPutGraphStretched(int x1, int y1, int x2, int y2, float x1f, float y1f, float x2f, float y2f,
                        const GraphRecord* graph, const GraphRecord* blend, int trans,
                        int wholePixel) {
    if (x1 == x2 || y1 == y2) return -1;
    const DrawSettings& s = gDrawSettings;
    const bool texelExact = wholePixel && s.samplingMode != kSamplingLinear;
    if (BeginGraphBuild(graph, TransFlag(trans) | (texelExact ? kDrawTextureAlphaWhenLinear : 0)) ==
        -1) {
        return -1;
    }
    const D3DCOLOR color = ComputeDrawVertexColor();
    const float sx = (x2f - x1f) / static_cast<float>(graph->width);
    const float sy = (y2f - y1f) / static_cast<float>(graph->height);
    const float originX = x1f - 0.5f, originY = y1f - 0.5f;
    const bool inside =
        InsideDrawArea(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
    const ClipRect area = {s.drawX1f - 0.5f, s.drawY1f - 0.5f, s.drawX2f - 0.5f, s.drawY2f - 0.5f};
    ForEachPiece(graph, blend,
                 [&](const GraphPiece& piece, const GraphPiece* blendPiece, QuadCorner q[4]) {
                     const TexelSpan span = SpanOf(piece, blendPiece, sx, sy);
                     for (int k = 0; k < 4; ++k) {
                         q[k].x = originX + q[k].x * sx;
                         q[k].y = originY + q[k].y * sy;
                         if (!inside) ClipCorner(&q[k], area, span);
                     }
                     AppendQuad(q, color);
                 });
    return 0;
}

int HwPutGraphRotated(const GraphRecord* graph, int x, int y, float xf, float yf, double scale,
                      double angle, const GraphRecord* blend, int trans, int turn, int wholePixel) {
    if (scale == 0.0) return -1;
    if (BeginGraphBuild(graph, TransFlag(trans)) == -1) return -1;
    const DrawSettings& s = gDrawSettings;
    const D3DCOLOR color = ComputeDrawVertexColor();
    float sine = 0.0f, cosine = 1.0f;
    if (angle != 0.0) ComputeSinCos(static_cast<float>(angle), &sine, &cosine);
    // A turned graph is mirrored left to right before it is rotated.
    const double mirrorX = turn ? -scale : scale;
    const int w = graph->width, h = graph->height;
    double centreX = x, centreY = y;
    const double halfW = w * 0.5, halfH = h * 0.5;
    bool snap = false;
    if (!wholePixel && s.samplingMode != kSamplingPoint) {
        // Filtered sampling keeps the exact position.
        centreX = xf - 0.5;
        centreY = yf - 0.5;
    } else if (std::fabs(xf - static_cast<float>(x)) >= 1e-5f ||
               std::fabs(yf - static_cast<float>(y)) >= 1e-5f) {
        snap = true;
    } else if (scale == 1.0) {
        // Texel centres on pixel centres: an even side is shifted by half a pixel, so that its
        // texel w / 2 lands on the given pixel.
        if (w % 2 == 0) centreX -= 0.5;
        if (h % 2 == 0) centreY -= 0.5;
    } else {
        centreX -= 0.5;
        centreY -= 0.5;
    }
    ForEachPiece(graph, blend, [&](const GraphPiece&, const GraphPiece*, QuadCorner q[4]) {
        for (int k = 0; k < 4; ++k) {
            const double ox = (q[k].x - halfW) * mirrorX, oy = (q[k].y - halfH) * scale;
            q[k].x = static_cast<float>(centreX + (ox * cosine - oy * sine));
            q[k].y = static_cast<float>(centreY + (ox * sine + oy * cosine));
        }
        if (snap) {
            SnapAxis(q, &QuadCorner::x);
            SnapAxis(q, &QuadCorner::y);
        }
        AppendQuad(q, color);
    });
    return 0;
}

int HwPutGraphOnQuad(const float corners[8], const GraphRecord* graph, const GraphRecord* blend,
                     int trans, int flag) {
    if (!IsDeviceReady()) return -1;
    if (blend != nullptr) {
        int whole[8];
        for (int i = 0; i < 8; ++i) whole[i] = TruncateFloatToInt(corners[i]);
        return HwPutGraphOnQuadBlended(whole, graph, blend, trans, flag);
    }
    if (BeginGraphBuild(graph, TransFlag(trans)) == -1) return -1;
    const float w = static_cast<float>(graph->width), h = static_cast<float>(graph->height);
    ForEachPiece(graph, nullptr, [&](const GraphPiece& piece, const GraphPiece*, QuadCorner q[4]) {
        float tile[8];
        for (int k = 0; k < 4; ++k)
            Bilinear(corners, q[k].x / w, q[k].y / h, &tile[2 * k], &tile[2 * k + 1]);
        HwPutGraphTileOnQuad(&piece, tile);
    });
    return 0;
}

int HwPutGraphOnQuadBlended(const int corners[8], const GraphRecord* graph,
                            const GraphRecord* blend, int trans, int flag) {
    const int* c = corners;
    if (c[0] == c[4] && c[2] == c[6] && c[1] == c[3] && c[5] == c[7]) {
        return HwPutGraphStretched(c[0], c[1], c[6], c[7], static_cast<float>(c[0]),
                                   static_cast<float>(c[1]), static_cast<float>(c[6]),
                                   static_cast<float>(c[7]), graph, blend, trans, 1);
    }
    if (!IsDeviceReady()) return -1;
    FlushVertexBatchNow();
    if (BeginGraphBuild(graph, TransFlag(trans) | kDrawTextureAlphaWhenLinear) == -1) return -1;
    const D3DCOLOR color = ComputeDrawVertexColor();
    float f[8];
    for (int i = 0; i < 8; ++i) f[i] = static_cast<float>(corners[i]);
    const float w = static_cast<float>(graph->width), h = static_cast<float>(graph->height);
    auto at = [&](int k, int axis) { return f[2 * k + axis]; };
    ForEachPiece(graph, blend, [&](const GraphPiece& piece, const GraphPiece*, QuadCorner q[4]) {
        for (int k = 0; k < 4; ++k) {
            const float gx = q[k].x, gy = q[k].y;
            float p[2];
            for (int axis = 0; axis < 2; ++axis) {
                // The triangle of the quadrilateral's top-left corner, or of its bottom-right.
                p[axis] =
                    piece.diagonalFlags[k]
                        ? at(kTopLeft, axis) + gx * (at(kTopRight, axis) - at(kTopLeft, axis)) / w +
                              gy * (at(kBottomLeft, axis) - at(kTopLeft, axis)) / h
                        : at(kBottomRight, axis) +
                              (w - gx) * (at(kBottomLeft, axis) - at(kBottomRight, axis)) / w +
                              (h - gy) * (at(kTopRight, axis) - at(kBottomRight, axis)) / h;
            }
            q[k].x = p[0] - 0.5f;
            q[k].y = p[1] - 0.5f;
        }
        const float first = Cross(q[0], q[1], q[2]), second = Cross(q[3], q[2], q[1]);
        if (first * second <= 0.0f) std::swap(q[1], q[2]);
        DrawPieceStrip(q, color);
    });
    return 0;
}

void HwPutGraphTileOnQuad(const GraphPiece* piece, const float corners[8]) {
    const D3DCOLOR color = ComputeDrawVertexColor();
    if (IsNearParallelogram(corners)) {
        QuadCorner q[4];
        for (int k = 0; k < 4; ++k) {
            q[k] = PieceCorner(*piece, nullptr, k);
            q[k].x = corners[2 * k];
            q[k].y = corners[2 * k + 1];
        }
        AppendQuad(q, color);
        return;
    }
    TexturedVertex grid[64];
    BuildQuadTileGrid(piece, corners, color, grid);
    DrawVertexGridStrips(8, grid, 8);
}

int IsNearParallelogram(const float corners[8]) {
    for (int axis = 0; axis < 2; ++axis) {
        auto at = [&](int k) { return corners[2 * k + axis]; };
        const float top = at(kTopRight) - at(kTopLeft);
        const float bottom = at(kBottomRight) - at(kBottomLeft);
        const float left = at(kBottomLeft) - at(kTopLeft);
        const float right = at(kBottomRight) - at(kTopRight);
        if (std::fabs(top - bottom) > 1.0f || std::fabs(left - right) > 1.0f) return 0;
    }
    return 1;
}

void BuildQuadTileGrid(const GraphPiece* piece, const float corners[8], D3DCOLOR color,
                       TexturedVertex out[64]) {
    constexpr int kSide = 8;
    const TexturePiece* texture = piece->texPiece;
    // Pulled inwards by a thousandth of a texel where the piece meets another, so that the
    // neighbour's texels are never sampled.
    const float du = 0.001f / static_cast<float>(texture->texWidth);
    const float dv = 0.001f / static_cast<float>(texture->texHeight);
    float u0 = piece->corners[kTopLeft][2], u1 = piece->corners[kTopRight][2];
    float v0 = piece->corners[kTopLeft][3], v1 = piece->corners[kBottomLeft][3];
    if (u0 >= 1e-6f) u0 += du;
    if (u1 <= 0.99999f) u1 -= du;
    if (v0 >= 1e-6f) v0 += dv;
    if (v1 <= 0.99999f) v1 -= dv;
    const float z = gDrawSettings.z2D;
    for (int row = 0; row < kSide; ++row) {
        const float t = static_cast<float>(row) / (kSide - 1);
        for (int column = 0; column < kSide; ++column) {
            const float s = static_cast<float>(column) / (kSide - 1);
            TexturedVertex& v = out[row * kSide + column];
            Bilinear(corners, s, t, &v.x, &v.y);
            v.z = z;
            v.rhw = 1.0f;
            v.diffuse = color;
            v.u = u0 + (u1 - u0) * s;
            v.v = v0 + (v1 - v0) * t;
        }
    }
}

int HwFillBox(int x1, int y1, int x2, int y2, ScreenColor color) {
    if (!IsDeviceReady()) return -1;
    const DrawSettings& s = gDrawSettings;
    RECT box = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    const RECT area = {s.drawX1, s.drawY1, s.drawX2, s.drawY2};
    ClipRectInto(&box, &area);
    if (box.left >= box.right || box.top >= box.bottom) return 0;
    if (!gRenderStates.sceneOpen) OpenDeviceScene();
    PrepareDrawStates(nullptr, nullptr, kDrawModulateColor);
    AppendRect(box.left, box.top, box.right, box.bottom, BoxVertexColor(color));
    return 0;
}

int HwOutlineBox(int x1, int y1, int x2, int y2, ScreenColor color) {
    if (!IsDeviceReady()) return -1;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (!gRenderStates.sceneOpen) OpenDeviceScene();
    PrepareDrawStates(nullptr, nullptr, kDrawModulateColor);
    const D3DCOLOR vertexColor = BoxVertexColor(color);
    // Four one-pixel-wide rectangles that share no pixel.
    AppendRect(x1, y1, x2, y1 + 1, vertexColor);
    AppendRect(x2 - 1, y1 + 1, x2, y2, vertexColor);
    AppendRect(x1, y1 + 1, x1 + 1, y2, vertexColor);
    AppendRect(x1 + 1, y2 - 1, x2 - 1, y2, vertexColor);
    return 0;
}

int HwPutVertexList(const GraphListVertex* vertices, int count, int primitiveType,
                    const GraphRecord* graph, int trans) {
    if (!IsDeviceReady()) return -1;
    FlushVertexBatchNow();
    if (!gRenderStates.sceneOpen) OpenDeviceScene();
    SelectBlendTexture(nullptr, 0, 0);
    IDirect3DTexture9* texture = graph != nullptr ? GetGraphFirstTexture(graph) : nullptr;
    PrepareDrawStates(graph != nullptr ? &graph->textureInfo->flags : nullptr, texture,
                      TransFlag(trans) | kDrawGouraud | kDrawModulateColor | kDrawModulateAlpha |
                          kDrawAddressFromSettings | kDrawCullFromSettings);
    SetCachedFvf(kTexturedFvf);
    const int primitives = CountListPrimitives(primitiveType, count);
    DeviceDrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(primitiveType),
                          static_cast<UINT>(primitives), vertices, sizeof(GraphListVertex));
    return 0;
}

int PutGraphVertexList(const GraphListVertex* vertices, int32_t count, int32_t primitiveType,
                       Handle graph, int32_t trans) {
    const GraphRecord* record = nullptr;
    if (graph == kUntexturedList) {
        if (!IsDirect3DMode()) return 0;
    } else {
        record = GetGraphRecord(graph, 0);
        if (record == nullptr) return -1;
        if (!record->textureInfo->flags.useTexture) return 0;
    }
    const int primitives = CountListPrimitives(primitiveType, count);
    if (primitives < 0 || (primitives > 0 && vertices == nullptr)) return -1;
    // Too few vertices for one primitive.
    if (primitives == 0) return 0;
    WaitWhileInactive();
    if (record != nullptr && record->movie != -1) RefreshMovieFrame(record->movie, 0);
    const DrawSettings& s = gDrawSettings;
    const bool white = s.brightRed == 255 && s.brightGreen == 255 && s.brightBlue == 255;
    const GraphListVertex* list = vertices;
    if (!white || (s.blendMode != BlendOpaque && s.blendParam != 255)) {
        list = RecolourVertexList(vertices, count);
        if (list == nullptr) return -1;
    }
    const RECT area = {s.drawX1, s.drawY1, s.drawX2, s.drawY2};
    return DrawInBrackets(area, NeedsSubtractBlendEmulation(), [&] {
        return HwPutVertexList(list, count, primitiveType, record, trans);
    });
}

int FreeVertexListBuffer() {
    VertexListScratch& m = gVertexListScratch;
    if (m.buffer != nullptr) FreeMemory(m.buffer);
    m = VertexListScratch{};
    return 0;
}
