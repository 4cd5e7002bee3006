// The software path of the drawing calls: each hands its draw to the software renderer with the
// current screen image as destination and the blend graph's image (or none) as mask. All return
// 0; a draw the renderer cannot make (colour types that differ) leaves the screen as it was.
#pragma once

#include <orbek/orbek.h>

#include "graphics/graph_records.h"

int SoftPutGraph(GraphRecord* graph, int x, int y, int trans);
// Corners unordered: x1 > x2 mirrors left to right, y1 > y2 top to bottom.
int SoftPutGraphStretched(int x1, int y1, int x2, int y2, GraphRecord* graph, int trans);
int SoftPutGraphRotated(float x, float y, double scale, double angle, GraphRecord* graph, int trans,
                        int turn);
// Corners {x, y} x 4 in strip order: top-left, top-right, bottom-left, bottom-right.
int SoftPutGraphOnQuad(const float corners[8], GraphRecord* graph, int trans);
int SoftPutGraphOnQuadInt(const int corners[8], GraphRecord* graph, int trans);
int SoftFillBox(int x1, int y1, int x2, int y2, ScreenColor color);
// Right and bottom exclusive.
int SoftOutlineBox(int x1, int y1, int x2, int y2, ScreenColor color);
