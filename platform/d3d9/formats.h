// The surface formats the software device offers: their byte layouts and the one encoder and
// decoder of each.
#pragma once

#include <cstring>

#include "color.h"
#include "pixel_math.h"
#include "platform/d3d9.h"

struct FormatInfo {
    D3DFORMAT format;
    int bytesPerPixel;  // 0 for block-compressed formats
    int blockBytes;     // bytes of a 4x4 block (DXT), 0 otherwise
    bool hasAlpha;
    bool depth;
    bool texture;       // usable for textures, volume textures and offscreen surfaces
    bool renderTarget;  // usable as a render target
    bool display;       // usable as a back buffer
};

// Null for a format the device does not offer.
const FormatInfo* FindFormatInfo(D3DFORMAT format);

// Bytes of one row of pixels (of 4x4 blocks for DXT) and the number of such rows.
UINT FormatRowBytes(const FormatInfo& info, UINT width);
UINT FormatRowCount(const FormatInfo& info, UINT height);

// YUY2, UYVY or YV12: offscreen plain surfaces whose pixels StretchRect converts to RGB.
bool IsYuvFormat(D3DFORMAT format);

// The 16 pixels of a DXT1..DXT5 block as A8R8G8B8, row by row. Premultiplied formats (DXT2,
// DXT4) are returned as stored.
void DecodeDxtBlock(D3DFORMAT format, const BYTE* block, DWORD out[16]);

// Depth values as unsigned integers of the format's precision.
DWORD DepthMaxValue(D3DFORMAT format);
DWORD ReadDepth(D3DFORMAT format, const BYTE* pixel);
void WriteDepth(D3DFORMAT format, BYTE* pixel, DWORD value);
// A depth in 0..1 in the format's units, rounded to nearest.
DWORD QuantizeDepth(D3DFORMAT format, float z);

// `count` pixels of `bytes` bytes (1 to 4) from `row` on set to `pixel`, a row at a time.
void FillPixelRow(BYTE* row, UINT count, const BYTE* pixel, UINT bytes);

// Byte access and channel widening shared by the codecs.
namespace pixel_bits {

inline WORD Load16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}
inline DWORD Load32(const BYTE* p) {
    DWORD v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void Store16(BYTE* p, DWORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}
inline void Store32(BYTE* p, DWORD v) {
    std::memcpy(p, &v, 4);
}

// Widens a channel of `bits` bits to 8 by repeating its high bits.
inline DWORD Widen(DWORD v, int bits) {
    DWORD out = v << (8 - bits);
    for (int filled = bits; filled < 8; filled += bits) out |= out >> filled;
    return out & 0xFF;
}

inline DWORD Argb(DWORD a, DWORD r, DWORD g, DWORD b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

}  // namespace pixel_bits

// One pixel of a plain colour format as A8R8G8B8; channels of fewer bits are widened by
// repeating their high bits, and formats without alpha read as opaque. Inline: the pixel
// loops call these for every pixel.
inline DWORD DecodePixel(D3DFORMAT format, const BYTE* p) {
    using namespace pixel_bits;
    switch (format) {
        case D3DFMT_A8R8G8B8:
            return Load32(p);
        case D3DFMT_X8R8G8B8:
            return Load32(p) | 0xFF000000u;
        case D3DFMT_R5G6B5: {
            DWORD v = Load16(p);
            return Argb(255, Widen(v >> 11, 5), Widen((v >> 5) & 63, 6), Widen(v & 31, 5));
        }
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            DWORD v = Load16(p);
            DWORD a = (format == D3DFMT_X1R5G5B5 || (v & 0x8000) != 0) ? 255 : 0;
            return Argb(a, Widen((v >> 10) & 31, 5), Widen((v >> 5) & 31, 5), Widen(v & 31, 5));
        }
        case D3DFMT_A4R4G4B4: {
            DWORD v = Load16(p);
            return Argb(Widen(v >> 12, 4), Widen((v >> 8) & 15, 4), Widen((v >> 4) & 15, 4),
                        Widen(v & 15, 4));
        }
        default:
            return 0;
    }
}

// One pixel of a plain colour format from A8R8G8B8, each channel rounded to its bits; unused
// bits are written as ones.
inline void EncodeArgb(D3DFORMAT format, BYTE* p, DWORD argb) {
    using namespace pixel_bits;
    using pixel_math::Quantize;
    DWORD a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    switch (format) {
        case D3DFMT_A8R8G8B8:
            Store32(p, argb);
            break;
        case D3DFMT_X8R8G8B8:
            Store32(p, argb | 0xFF000000u);
            break;
        case D3DFMT_R5G6B5:
            Store16(p, (Quantize(r, 5) << 11) | (Quantize(g, 6) << 5) | Quantize(b, 5));
            break;
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            DWORD bit = format == D3DFMT_X1R5G5B5 ? 1 : Quantize(a, 1);
            Store16(p,
                    (bit << 15) | (Quantize(r, 5) << 10) | (Quantize(g, 5) << 5) | Quantize(b, 5));
            break;
        }
        case D3DFMT_A4R4G4B4:
            Store16(p, (Quantize(a, 4) << 12) | (Quantize(r, 4) << 8) | (Quantize(g, 4) << 4) |
                           Quantize(b, 4));
            break;
        default:
            break;
    }
}

// A video sample as A8R8G8B8, as display drivers convert video: ITU-R BT.601 with luma in
// 16..235 and chroma around 128, in 14-bit fixed point, each channel limited to 0..255.
inline DWORD YuvToArgb(int y, int u, int v) {
    int luma = 19070 * (y - 16);
    auto channel = [](int sum) {
        int value = sum >> 14;
        return static_cast<DWORD>(value < 0 ? 0 : value > 255 ? 255 : value);
    };
    return pixel_bits::Argb(255, channel(luma + 26148 * (v - 128)),
                            channel(luma - 6406 * (u - 128) - 13320 * (v - 128)),
                            channel(luma + 33062 * (u - 128)));
}

// A colour in 0..1 goes through its 8-bit form, so every write rounds the same way.
inline void EncodePixel(D3DFORMAT format, BYTE* p, Color c) {
    EncodeArgb(format, p, ArgbFromColor(c));
}
