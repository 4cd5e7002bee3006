// The screen settings: screen and output size, colour depth and display modes, the 320x240
// emulation and the graphics side's quitting flag.
#pragma once

#include <cstdint>

struct DisplayModeEntry {
    int32_t width;
    int32_t height;
    int32_t bits;
    int32_t refreshRate;
};

// The screen size (320 x 240 while emulated) and colour bits; each pointer may be null.
int QueryScreenSizeAndDepth(int* width, int* height, int* bits);
// The size of the picture in the window; unset reads as 640 x 480.
int QueryOutputSize(int* width, int* height);
// 16 when unset.
int QueryColorBitDepth();
void StoreScreenSize(int width, int height);
// 1 unless software rendering was forced.
int IsHardwareRenderingRequested();
// 1 while the Direct3D device is in use.
int IsDirect3DMode();
void SetEmulation320x240(int32_t on);
int IsEmulating320x240();

// The display's modes of 16 bits and more, listed on first use.
int CountDisplayModes();
// All fields -1 outside 0..count-1.
DisplayModeEntry ReadDisplayMode(int index);
// -1 keeps each value.
int ChangeScreenMode(int width, int height, int colorBits, int force, int refreshRate);
// The DirectDraw object, null when there is none.
void* FetchDirectDraw7Object();

int ClearQuittingFlag();
int SetQuittingFlag();
int IsQuitting();
