// Device-independent bitmaps: the records that describe them, memory device contexts, DIB
// sections, and the call that draws a DIB of any kind into a section. Standard names,
// signatures and numeric values.
#pragma once

#include "platform/win32_user.h"

typedef HGDIOBJ HBITMAP;

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;

constexpr UINT DIB_RGB_COLORS = 0;

constexpr DWORD SRCCOPY = 0x00CC0020;

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // negative: rows run top to bottom
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;  // bytes of the bits; required for run-length data
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// The header is followed by the three BI_BITFIELDS masks or by the colour table.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

// A memory device context; a null dc means compatible with the screen.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// Selects a bitmap into a memory device context; returns the one selected before (or the
// context's initial one-pixel bitmap), null for an unknown context or object.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// 24- and 32-bit BI_RGB sections with zeroed pixels; the bits pointer is written to *bits.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
// Draws a DIB (1, 4, 8 bits with a colour table, RLE4, RLE8, 16 bits 555 or bitfields, 24 and
// 32 bits, either row order) into the section selected into dc, or onto the window of a
// window's dc. The bits must hold every scan line of the DIB (startScan 0); run-length data is
// read up to biSizeImage bytes. Returns the number of scan lines drawn, 0 on failure.
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info,
                      UINT colorUse);
// Draws the source rectangle of a DIB (any kind SetDIBitsToDevice reads) stretched onto the
// destination rectangle of a window's device context, nearest pixel, SRCCOPY only. Sizes must
// be positive. Returns the number of source scan lines used, 0 on failure.
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  UINT colorUse, DWORD rop);
