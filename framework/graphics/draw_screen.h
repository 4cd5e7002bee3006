// Draw screens: where drawing goes, clearing and flipping.
#pragma once

// Screen ids where a draw target is expected.
constexpr int kBackScreen = -2;
constexpr int kFrontScreen = -4;

int SelectDrawScreen(int screen);
// The current draw target of slot 0.
int GetDrawScreen();
int ShowBackBufferOnWindow();
// 1 while a flip runs.
int IsFlipRunning();
