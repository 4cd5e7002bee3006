// The draw settings: the reset of the record every drawing call reads (draw_state.h), and the
// setters that pass each change on to the device and to the software renderer. The public calls,
// `BlendMode` and `ScreenColor` are in orbek/orbek.h.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "graphics/draw_state.h"

int ResetDrawSettings();
// The bright colour from one 0x00RRGGBB value, unclamped.
void ApplyBrightColorValue(uint32_t rgb);
int UnpackScreenColor(ScreenColor color, int* red, int* green, int* blue);
float* MakeColorValue(float* out, float red, float green, float blue, float alpha);
// 1 for a live graph that is not loading.
int IsGraphReady(Handle graph);
int SetFogMode(int mode);
int SetFogColor(int red, int green, int blue);
int SetFogStartEnd(float start, float end);
// No blend graph from now on, for either renderer: the blend image made of it is handed back
// (-1 for none), for the caller to delete once nothing names it.
Handle DropBlendGraph();

// 1 while a graph restore handler is installed.
int HasGraphRestoreHandler();
int GetDrawSamplingMode();
Handle GetSelectedDrawScreen();
