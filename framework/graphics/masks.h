// Masks: drawing limited per pixel through a mask screen, and the mask handle kind (7).
#pragma once

#include <platform/win32_user.h>

int RegisterMaskHandleType();
int ShutdownMasks();
// 1 while drawing goes through the mask screen.
int IsMaskDrawingOn();
// Switches mask drawing on or off; -1 without a mask screen.
int SwitchMaskScreenUse(int use);
// Around each drawing call while mask drawing is on: the rectangle the call may touch is brought
// into the mask screen before the draw and carried back through the mask after it; 0.
int BeginMaskDrawArea(RECT rect);
int EndMaskDrawArea(RECT rect);
// Closes a mask draw area still open around a drawing call; 0.
int EndPendingMaskDrawArea();
int ReleaseMaskScreen();
int RestoreMaskScreen();
