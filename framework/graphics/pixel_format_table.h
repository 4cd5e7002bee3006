// The pixel-format table: for each kind of texture, draw target and depth buffer, the Direct3D
// format this device offers, chosen once per device; and the fixed colour formats in which the
// system writes the pixels of each kind and of each Direct3D format.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "image/color_format.h"

constexpr int kPixelFormatCount = 25;
// Indexes of the table.
constexpr int kFormat16 = 0;
constexpr int kFormat32 = 1;
constexpr int kFormatAlpha16 = 2;
constexpr int kFormatAlpha32 = 3;
constexpr int kFormatAlphaTest16 = 4;
constexpr int kFormatAlphaTest32 = 5;
constexpr int kFormatDxt1 = 6;  // DXT2 to DXT5 follow
constexpr int kFormatDrawTarget16 = 11;
constexpr int kFormatDrawTarget32 = 12;
constexpr int kFormatDrawTargetAlpha = 13;
constexpr int kFormatFirstDrawTarget = kFormatDrawTarget16;

struct PixelFormatTable {
    D3DFORMAT formats[kPixelFormatCount];  // 0 = none usable
    D3DFORMAT backBufferFormat;
    D3DFORMAT zBufferFormat;
    int32_t drawTargetIndex;  // for the screen depth: 12 at 32 bits, else 11
    int32_t alphaTestIndex;   // 5 at 32 bits, else 4
};
extern PixelFormatTable gPixelFormats;

// Fills the table from what the Direct3D object offers against the back-buffer format, logging
// each choice; -1 with its log line when a format every device needs is missing.
int ChoosePixelFormats(D3DFORMAT backBufferFormat, int screenBits);

// The fixed colour format of a table entry; null for an index outside the table.
const ColorFormat* ColorFormatOfFormatIndex(int index);
// The colour format of a Direct3D format; null for formats without one.
const ColorFormat* ColorFormatOfD3DFormat(D3DFORMAT format);
// "D3DFMT_..." for the formats the table chooses from; "D3DFMT_UNKNOWN" for others.
const char* D3DFormatName(D3DFORMAT format);
