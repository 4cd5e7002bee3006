// The screen settings: screen and output size, colour depth and refresh rate, the 320x240
// emulation, hardware or software rendering, the display's modes and the run-time screen-mode
// change with its fall-backs; also the graphics side's quitting switch.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

struct DisplayModeEntry {
    int32_t width;
    int32_t height;
    int32_t bits;
    int32_t refreshRate;
};

struct ScreenState {
    int32_t screenWidth, screenHeight;  // the back buffer and drawing space; 0 = unset
    int32_t outputWidth, outputHeight;  // the picture in the window; 0 reads as 640 x 480
    int32_t colorBits;                  // 16 or 32; 0 = unset (reads as 16)
    int32_t refreshRate;                // full screen, Hz; 0 = the display's default
    int32_t softwareRenderingForced;
    int32_t direct3DMode;  // 1 while the Direct3D device is in use
    int32_t backgroundRed, backgroundGreen, backgroundBlue;
    int32_t emulate320x240;          // the user's switch
    int32_t emulate320x240Fallback;  // the display refused 320x240; kept across resets
    int32_t noVSyncWait;
    int32_t quitting;
    // Built on first use, in process heap memory; freed with the Direct3D objects.
    int32_t displayModeCount;
    DisplayModeEntry* displayModes;
};
extern ScreenState gScreen;

// The size of the picture in the window; unset reads as 640 x 480.
int QueryOutputSize(int* width, int* height);
// 16 when unset.
int QueryColorBitDepth();
int IsFullScreenMode();
// Sets the screen size and, from it and the emulation, the output and projection size.
void StoreScreenSize(int width, int height);
int IsHardwareRenderingRequested();
// 1 while the Direct3D device is in use.
int IsDirect3DMode();
// The user's 320x240 switch.
void SetEmulation320x240(int32_t on);
void SetEmulation320x240Fallback(int32_t on);
// 1 while either 320x240 switch is on.
int IsEmulating320x240();

// The display's modes of 16 bits and more, listed on first use.
int CountDisplayModes();
// All fields -1 outside 0..count-1.
DisplayModeEntry ReadDisplayMode(int index);
// Width, height and bits compared; the refresh rate is not.
int HasDisplayMode(int width, int height, int bits);
// Frees the old list and enumerates the display again; failure leaves an empty list.
void BuildDisplayModeList(int32_t* count, DisplayModeEntry** list);
void FreeDisplayModeList();

// Sets the display to the screen mode through GDI; -1 when it cannot.
int ApplyDisplayModeSettings();
// The window follows the new mode; nothing while the shell has no window.
void RestyleShellWindow();

int ClearQuittingFlag();
int SetQuittingFlag();
int IsQuitting();
// The DirectDraw object, null when there is none.
void* FetchDirectDraw7Object();
