// Reading (or writing) the pixels of the screen: a lock of the back buffer, a copy through a
// draw target, or the software screen image.
#pragma once

#include <platform/win32_user.h>

#include "media/color_format.h"

// Opens a rectangle of the screen for access and describes its pixels in *image; -1 when the
// rectangle does not lie inside the screen, an access is already open, or the pixels cannot be
// reached. When the pixels had to be copied, changes do not reach the screen.
int OpenScreenPixelAccess(const RECT* rect, GraphImage* image, int readOnly);
int CloseScreenPixelAccess();
