// Format table of the software device and the per-format pixel codecs: every surface is kept
// in its format's exact little-endian byte layout, so locked memory reads as on Windows.
#include "formats.h"

using namespace pixel_bits;

namespace {

constexpr FormatInfo kFormats[] = {
    // format, bytes, block, alpha, depth, texture, render target, display
    {D3DFMT_A8R8G8B8, 4, 0, true, false, true, true, false},
    {D3DFMT_X8R8G8B8, 4, 0, false, false, true, true, true},
    {D3DFMT_R5G6B5, 2, 0, false, false, true, true, true},
    {D3DFMT_X1R5G5B5, 2, 0, false, false, true, true, true},
    {D3DFMT_A1R5G5B5, 2, 0, true, false, true, false, false},
    {D3DFMT_A4R4G4B4, 2, 0, true, false, true, true, false},
    {D3DFMT_DXT1, 0, 8, true, false, true, false, false},
    {D3DFMT_DXT2, 0, 16, true, false, true, false, false},
    {D3DFMT_DXT3, 0, 16, true, false, true, false, false},
    {D3DFMT_DXT4, 0, 16, true, false, true, false, false},
    {D3DFMT_DXT5, 0, 16, true, false, true, false, false},
    {D3DFMT_D16, 2, 0, false, true, false, false, false},
    // Video formats, offered for offscreen plain surfaces only: packed pairs of pixels sharing
    // one U and V, and YV12's luma plane (its two chroma planes follow it).
    {D3DFMT_YUY2, 2, 0, false, false, false, false, false},
    {D3DFMT_UYVY, 2, 0, false, false, false, false, false},
    {D3DFMT_YV12, 1, 0, false, false, false, false, false},
    {D3DFMT_D24X8, 4, 0, false, true, false, false, false},
    {D3DFMT_D32, 4, 0, false, true, false, false, false},
};

// The RGB of an R5G6B5 block endpoint, each channel scaled to 8 bits and truncated, as the
// framework's own DXT expansion computes it.
void DxtEndpoint(WORD v, DWORD rgb[3]) {
    rgb[0] = ((v >> 11) & 31) * 255 / 31;
    rgb[1] = ((v >> 5) & 63) * 255 / 63;
    rgb[2] = (v & 31) * 255 / 31;
}

void DecodeDxtColors(const BYTE* half, bool fourColorsOnly, DWORD out[16]) {
    WORD c0 = Load16(half);
    WORD c1 = Load16(half + 2);
    DWORD e0[3], e1[3];
    DxtEndpoint(c0, e0);
    DxtEndpoint(c1, e1);
    DWORD palette[4];
    palette[0] = Argb(255, e0[0], e0[1], e0[2]);
    palette[1] = Argb(255, e1[0], e1[1], e1[2]);
    if (fourColorsOnly || c0 > c1) {
        DWORD m2[3], m3[3];
        for (int i = 0; i < 3; ++i) {
            m2[i] = (2 * e0[i] + e1[i]) / 3;
            m3[i] = (e0[i] + 2 * e1[i]) / 3;
        }
        palette[2] = Argb(255, m2[0], m2[1], m2[2]);
        palette[3] = Argb(255, m3[0], m3[1], m3[2]);
    } else {
        DWORD mid[3];
        for (int i = 0; i < 3; ++i) mid[i] = (e0[i] + e1[i]) / 2;
        palette[2] = Argb(255, mid[0], mid[1], mid[2]);
        palette[3] = Argb(0, mid[0], mid[1], mid[2]);
    }
    DWORD indices = Load32(half + 4);
    for (int i = 0; i < 16; ++i) out[i] = palette[(indices >> (2 * i)) & 3];
}

void DecodeDxtInterpolatedAlpha(const BYTE* half, DWORD alpha[16]) {
    DWORD a0 = half[0];
    DWORD a1 = half[1];
    DWORD palette[8] = {a0, a1};
    if (a0 > a1) {
        for (DWORD i = 1; i <= 6; ++i) palette[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (DWORD i = 1; i <= 4; ++i) palette[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        palette[6] = 0;
        palette[7] = 255;
    }
    for (int group = 0; group < 2; ++group) {
        const BYTE* bits = half + 2 + group * 3;
        DWORD word = bits[0] | (bits[1] << 8) | (bits[2] << 16);
        for (int i = 0; i < 8; ++i) alpha[group * 8 + i] = palette[(word >> (3 * i)) & 7];
    }
}

}  // namespace

const FormatInfo* FindFormatInfo(D3DFORMAT format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) return &info;
    }
    return nullptr;
}

UINT FormatRowBytes(const FormatInfo& info, UINT width) {
    if (info.blockBytes != 0) return (width + 3) / 4 * info.blockBytes;
    return width * info.bytesPerPixel;
}

UINT FormatRowCount(const FormatInfo& info, UINT height) {
    // YV12's V and U planes are half as wide and half as high, at half the pitch: together
    // they take half as many rows of the full pitch.
    if (info.format == D3DFMT_YV12) return height + height / 2;
    return info.blockBytes != 0 ? (height + 3) / 4 : height;
}

bool IsYuvFormat(D3DFORMAT format) {
    return format == D3DFMT_YUY2 || format == D3DFMT_UYVY || format == D3DFMT_YV12;
}

void DecodeDxtBlock(D3DFORMAT format, const BYTE* block, DWORD out[16]) {
    if (format == D3DFMT_DXT1) {
        DecodeDxtColors(block, false, out);
        return;
    }
    DecodeDxtColors(block + 8, true, out);
    DWORD alpha[16];
    if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
        for (int i = 0; i < 16; ++i) alpha[i] = ((block[i / 2] >> (4 * (i & 1))) & 15) * 17;
    } else {
        DecodeDxtInterpolatedAlpha(block, alpha);
    }
    for (int i = 0; i < 16; ++i) out[i] = (out[i] & 0x00FFFFFFu) | (alpha[i] << 24);
}

DWORD DepthMaxValue(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_D16:
            return 0xFFFF;
        case D3DFMT_D24X8:
            return 0xFFFFFF;
        default:
            return 0xFFFFFFFFu;
    }
}

DWORD ReadDepth(D3DFORMAT format, const BYTE* p) {
    switch (format) {
        case D3DFMT_D16:
            return Load16(p);
        case D3DFMT_D24X8:
            return Load32(p) >> 8;  // depth in the high 24 bits
        default:
            return Load32(p);
    }
}

void WriteDepth(D3DFORMAT format, BYTE* p, DWORD value) {
    switch (format) {
        case D3DFMT_D16:
            Store16(p, value);
            break;
        case D3DFMT_D24X8:
            Store32(p, value << 8);
            break;
        default:
            Store32(p, value);
            break;
    }
}

DWORD QuantizeDepth(D3DFORMAT format, float z) {
    double scaled = static_cast<double>(Saturate(z)) * DepthMaxValue(format) + 0.5;
    return static_cast<DWORD>(scaled);
}

void FillPixelRow(BYTE* row, UINT count, const BYTE* pixel, UINT bytes) {
    const size_t total = static_cast<size_t>(count) * bytes;
    bool uniform = true;
    for (UINT i = 1; i < bytes; ++i) uniform = uniform && pixel[i] == pixel[0];
    if (uniform) {
        std::memset(row, pixel[0], total);
        return;
    }
    if (16 % bytes != 0) {
        for (size_t i = 0; i < total; i += bytes) std::memcpy(row + i, pixel, bytes);
        return;
    }
    BYTE pattern[16];
    for (UINT i = 0; i < 16; i += bytes) std::memcpy(pattern + i, pixel, bytes);
    size_t i = 0;
    for (; i + 16 <= total; i += 16) std::memcpy(row + i, pattern, 16);
    std::memcpy(row + i, pattern, total - i);
}
