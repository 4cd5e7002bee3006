// Reading (or writing) the pixels of a draw target: the screen through a lock of the back
// buffer or a copy through a draw target, a graph's texture piece, or in software mode the
// screen's or the graph's memory image; and the read of a whole graph's rectangle through it.
#pragma once

#include <platform/win32_user.h>

#include "core/handle_registry.h"
#include "image/color_format.h"

// Opens a rectangle of the target for access and describes its pixels in *image. target -1 is
// the current draw screen; a usable graph names the graph, whose piece `piece` (in the order
// of its pieces) the rectangle lies in, in that piece's coordinates; anything else the screen.
// -1 when the rectangle does not lie inside the target, an access is already open, or the
// pixels cannot be reached. When the pixels had to be copied, changes do not reach the target.
int OpenScreenPixelAccess(const RECT* rect, GraphImage* image, Handle target, int readOnly,
                          int piece);
int CloseScreenPixelAccess();
// Writes the graph's rectangle (clipped to the graph) into the image, which must hold it, with
// the rectangle's corner at (0, 0); -1 for a bad or pending graph or when a pixel access fails.
int ReadGraphRectInto(Handle graph, const RECT& rect, GraphImage* image);
