// Drawing shared by the game's screens: text with its blue shadow, the menu cursor, and the
// grid of turning background tiles.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

// The text white at (x, y) over its blue shadow at (x + 2, y + 2), in the game's font.
void DrawGameText(int x, int y, const char* text);
void DrawGameFormat(int x, int y, const char* format, ...) __attribute__((format(printf, 3, 4)));
void DrawMenuCursor(int x, int y);

// Twenty tiles of `graph` in a 5 x 4 grid of 128-pixel cells, each turned about its cell's
// centre and clipped to the cell: by evenDegrees where column + row is even, else oddDegrees.
// Leaves nearest sampling and the whole screen as clip.
void DrawTurningTiles(Handle graph, double evenDegrees, double oddDegrees);

// A box of the menus: filled black, then outlined in white.
void DrawMenuBox(int x1, int y1, int x2, int y2);
