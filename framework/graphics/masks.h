// Masks: drawing limited per pixel. While the mask screen is in use drawing goes to a work
// screen; each drawing call's rectangle is copied from the real target into it before the draw
// and carried back through the mask bytes after it. Also the mask handle kind (7).
#pragma once

#include <platform/d3d9.h>
#include <platform/win32_user.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "softrender/mem_img.h"

constexpr int32_t kMaxMasks = 512;

struct MaskRecord {
    HandleHeader header;
    void* data;
};

struct MaskState {
    int32_t kindRegistered;
    // One byte per pixel of the mask screen: 0 lets a drawn pixel through, any other value
    // keeps the target's pixel (the reverse with the reverse flag).
    uint8_t* bytes;
    int32_t pitch;
    int32_t width, height;  // of the mask bytes, the work screen and the textures' used part
    int32_t reverse;
    int32_t screenRequested;  // make the mask screen again after a device rebuild
    int32_t useRequested;
    int32_t useOn;  // use requested and a mask screen exists
    int32_t nesting;
    RECT openRect;  // of the outermost open bracket
    MEMIMG workScreen;
    int32_t workScreenCreated;
    IDirect3DTexture9* maskTexture;    // the mask bytes in its alpha channel
    IDirect3DTexture9* screenTexture;  // the work screen on the device
    IDirect3DSurface9* screenSurface;
    int32_t textureWidth, textureHeight;  // powers of two
    IDirect3DSurface9* savedTarget;
};
extern MaskState gMasks;
extern HandleRegistry gMaskRegistry;

// -1 when already registered.
int RegisterMaskHandleType();
int ReleaseMaskRecord(HandleHeader* record);
int ShutdownMasks();
// Makes the mask bytes and the work screen (the device textures, or a memory image) when
// create is non-zero; 0.
int CreateMaskScreen(int create);
int ReleaseMaskScreen();
// 1 while drawing goes through the mask screen.
int IsMaskDrawingOn();
// The last value given to SwitchMaskScreenUse.
int IsMaskScreenUseOn();
// Switches mask drawing on or off; -1 without a mask screen.
int SwitchMaskScreenUse(int use);
// Around each drawing call while mask drawing is on; only the outermost of nested brackets
// copies and composes. 0.
int BeginMaskDrawArea(RECT rect);
int EndMaskDrawArea(RECT rect);
// Closes a bracket still open around a drawing call; 0.
int EndPendingMaskDrawArea();
// The draw-settings reset: mask drawing off.
void ClearMaskDrawing();
int RestoreMaskScreen();
