// Direct3D vertex building: graphs (translated, stretched, rotated, mapped onto a
// quadrilateral), boxes and vertex lists become pre-transformed vertices, piece by piece, in the
// vertex batch. Graph quads sit half a pixel up and left so that texel centres meet pixel
// centres; draws that leave the draw area are clipped by moving positions and texture
// coordinates together. PutGraphVertexList is public (orbek/orbek.h).
#pragma once

#include <orbek/orbek.h>

#include "graphics/graph_records.h"
#include "graphics/vertex_batch.h"

// Each graph builder takes the blend graph's record, or null without a blend graph. Results:
// 0, or -1 without a usable device.
int HwPutGraph(const GraphRecord* blend, int x, int y, float xf, float yf, const GraphRecord* graph,
               int trans, int wholePixel);
// Also -1 for a rectangle without width or height.
int HwPutGraphStretched(int x1, int y1, int x2, int y2, float x1f, float y1f, float x2f, float y2f,
                        const GraphRecord* graph, const GraphRecord* blend, int trans,
                        int wholePixel);
// Also -1 for scale 0.
int HwPutGraphRotated(const GraphRecord* graph, int x, int y, float xf, float yf, double scale,
                      double angle, const GraphRecord* blend, int trans, int turn, int wholePixel);
// Corners {x, y} x 4 in strip order: top-left, top-right, bottom-left, bottom-right.
int HwPutGraphOnQuad(const float corners[8], const GraphRecord* graph, const GraphRecord* blend,
                     int trans, int flag);
int HwPutGraphOnQuadBlended(const int corners[8], const GraphRecord* graph,
                            const GraphRecord* blend, int trans, int flag);
// One piece onto its own quadrilateral (strip order): two triangles when it is a parallelogram
// within a pixel, else an 8 x 8 grid of vertices.
void HwPutGraphTileOnQuad(const GraphPiece* piece, const float corners[8]);
// Corners in any order; the fill is clamped to the draw area, the outline is not.
int HwFillBox(int x1, int y1, int x2, int y2, ScreenColor color);
int HwOutlineBox(int x1, int y1, int x2, int y2, ScreenColor color);
// graph null: untextured.
int HwPutVertexList(const GraphListVertex* vertices, int count, int primitiveType,
                    const GraphRecord* graph, int trans);
// Frees the scratch buffer that vertex lists are recoloured in; 0.
int FreeVertexListBuffer();

// 1 when the quadrilateral's opposite edges match within a pixel on each axis.
int IsNearParallelogram(const float corners[8]);
// The 8 x 8 grid of a piece on a quadrilateral that is no parallelogram, row by row.
void BuildQuadTileGrid(const GraphPiece* piece, const float corners[8], D3DCOLOR color,
                       TexturedVertex out[64]);
