// GDI fonts: logical fonts made by face name, selected into a device context, their text
// metrics, glyph outlines rendered as 1-bit or 17-level bitmaps, and the enumeration of the
// installed faces. Face names and character codes are in the ANSI code page (932) unless the
// charset names another. Standard names, signatures and numeric values.
#pragma once

#include "platform/win32_gdi.h"

typedef HGDIOBJ HFONT;

constexpr int LF_FACESIZE = 32;
constexpr int LF_FULLFACESIZE = 64;

constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE SHIFTJIS_CHARSET = 128;
constexpr BYTE HANGUL_CHARSET = 129;
constexpr BYTE GB2312_CHARSET = 134;
constexpr BYTE CHINESEBIG5_CHARSET = 136;

constexpr DWORD OUT_DEFAULT_PRECIS = 0;
constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
constexpr DWORD DEFAULT_QUALITY = 0;
constexpr DWORD NONANTIALIASED_QUALITY = 3;
constexpr DWORD ANTIALIASED_QUALITY = 4;
constexpr DWORD DEFAULT_PITCH = 0;
constexpr DWORD FIXED_PITCH = 1;
constexpr DWORD VARIABLE_PITCH = 2;
constexpr DWORD FF_DONTCARE = 0;

constexpr int FW_DONTCARE = 0;
constexpr int FW_NORMAL = 400;
constexpr int FW_SEMIBOLD = 600;
constexpr int FW_BOLD = 700;

// tmPitchAndFamily bits; TMPF_FIXED_PITCH set means a variable-pitch font.
constexpr BYTE TMPF_FIXED_PITCH = 0x01;
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;

// GetGlyphOutlineA formats.
constexpr UINT GGO_METRICS = 0;
constexpr UINT GGO_BITMAP = 1;        // 1 bit per pixel, leftmost pixel in the top bit
constexpr UINT GGO_GRAY4_BITMAP = 5;  // one byte per pixel, levels 0 to 16
constexpr DWORD GDI_ERROR = 0xFFFFFFFF;

// EnumFontFamiliesExA's font types.
constexpr DWORD TRUETYPE_FONTTYPE = 0x0004;

struct LOGFONTA {
    LONG lfHeight;  // > 0 cell height, < 0 character (em) height, 0 the default
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
};

struct ENUMLOGFONTEXA {
    LOGFONTA elfLogFont;
    BYTE elfFullName[LF_FULLFACESIZE];
    BYTE elfStyle[LF_FACESIZE];
    BYTE elfScript[LF_FACESIZE];
};

struct TEXTMETRICA {
    LONG tmHeight;  // ascent + descent
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;  // height - em height
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

struct GLYPHMETRICS {
    UINT gmBlackBoxX;  // the inked box
    UINT gmBlackBoxY;
    POINT gmptGlyphOrigin;  // the box's top-left from the pen, y upwards from the baseline
    SHORT gmCellIncX;       // the advance
    SHORT gmCellIncY;
};

// 16.16 fixed point.
struct FIXED {
    WORD fract;
    SHORT value;
};

struct MAT2 {
    FIXED eM11;
    FIXED eM12;
    FIXED eM21;
    FIXED eM22;
};

// Called with an ENUMLOGFONTEXA and the face's metrics, each cast to the first member's type;
// returning 0 stops the enumeration.
typedef int (*FONTENUMPROCA)(const LOGFONTA* logFont, const TEXTMETRICA* metrics, DWORD fontType,
                             LPARAM lParam);

// A face that is not installed is replaced by the charset's default face, as GDI would; null
// only when no face at all is found. The face name is CP932.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR face);
// Metrics of the font selected into the context (the system font when none was).
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// One character (a byte, or lead byte x 256 + trail byte, in the font's code page) of the
// font selected into the context. Rows of the bitmaps are padded to four bytes. With no
// buffer or a size of 0 it answers the bytes needed; GDI_ERROR on failure, also for a buffer
// too small. Only the identity transformation is offered.
DWORD GetGlyphOutlineA(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bytes,
                       LPVOID buffer, const MAT2* transform);
// Calls proc for every face of the name (every face when the name is empty) in the charset
// (every charset with DEFAULT_CHARSET); the replacement names of the system's Japanese faces
// are listed while the faces they stand for are installed. Returns proc's last result, 1 when
// it was never called.
int EnumFontFamiliesExA(HDC dc, const LOGFONTA* logFont, FONTENUMPROCA proc, LPARAM lParam,
                        DWORD flags);
