// Before each draw: the device's states brought in line with the draw settings, through the
// render-state cache, the lights and the blend stages. Above all three, so none calls up.
#pragma once

#include <platform/d3d9.h>

#include "graphics/graph_records.h"

// Draw flags of PrepareDrawStates.
constexpr int kDrawUseTextureAlpha = 0x1;
constexpr int kDrawTextureAlphaWhenLinear = 0x2;
constexpr int kDrawGouraud = 0x8;
constexpr int kDrawModulateColor = 0x20;
constexpr int kDrawModulateAlpha = 0x40;
constexpr int kDrawFog = 0x80;
constexpr int kDrawSkipBlendStates = 0x100;
constexpr int kDrawLighting = 0x200;
constexpr int kDrawSpecular = 0x400;
constexpr int kDrawDepth3D = 0x800;
constexpr int kDrawAddressFromSettings = 0x1000;
constexpr int kDrawKeepUserShaders = 0x2000;
constexpr int kDrawCullFromSettings = 0x4000;

// Brings the device's states in line with the draw settings for a draw of the texture (null:
// untextured) of a graph made with the flags (null: none).
void PrepareDrawStates(const TextureCreateFlags* flags, IDirect3DBaseTexture9* texture,
                       int drawFlags);
