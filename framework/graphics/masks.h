// Masks: drawing limited per pixel through a mask screen, and the mask handle kind (7).
#pragma once

int RegisterMaskHandleType();
int ShutdownMasks();
// 1 while drawing goes through the mask screen.
int IsMaskDrawingOn();
// Switches mask drawing on or off; -1 without a mask screen.
int SwitchMaskScreenUse(int use);
// Closes a mask draw area still open around a drawing call; 0.
int EndPendingMaskDrawArea();
int ReleaseMaskScreen();
int RestoreMaskScreen();
