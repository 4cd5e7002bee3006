// The public calls that draw a graph (whole, stretched, rotated, mirrored, a part, onto a
// quadrilateral; orbek/orbek.h). Each runs the same gates in the same order, brackets the draw
// with the mask composition and the subtractive emulation, and draws a graph with textures
// through the Direct3D vertex builders and one without through the software renderer.
#pragma once

#include <platform/win32_user.h>

// The rectangle a drawing call may touch, for the brackets: a graph of w x h rotated and scaled
// about (x, y), with a margin of 5 pixels.
RECT RotatedBracketRect(int w, int h, int x, int y, double scale, double angle);
// The bounds of the quadrilateral's corners (x, y pairs) truncated to whole pixels.
RECT QuadBracketRect(const float corners[8]);
