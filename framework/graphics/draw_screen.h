// Draw screens: where drawing goes, clearing and flipping.
#pragma once

#include <orbek/orbek.h>

// The current draw target of slot 0.
int GetDrawScreen();
int ShowBackBufferOnWindow();
// 1 while a flip runs.
int IsFlipRunning();
