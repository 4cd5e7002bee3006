// The input method (Imm32): one input context per window, fed by the host's text editing.
// The host offers the composition string, its cursor and its selected part, and the text an
// input method commits; it offers no candidate lists, so the context answers as an input
// method without them. Compositions and results are CP932.
#pragma once

#include "platform/win32_types.h"

struct HIMC__;
typedef HIMC__* HIMC;

// The list Windows fills for a candidate window; a context here never has one.
struct CANDIDATELIST {
    DWORD dwSize;
    DWORD dwStyle;
    DWORD dwCount;
    DWORD dwSelection;
    DWORD dwPageStart;
    DWORD dwPageSize;
    DWORD dwOffset[1];
};
typedef CANDIDATELIST* LPCANDIDATELIST;

// What ImmGetCompositionStringA reads, and the lParam bits of WM_IME_COMPOSITION.
constexpr DWORD GCS_COMPSTR = 0x0008;
constexpr DWORD GCS_COMPATTR = 0x0010;
constexpr DWORD GCS_COMPCLAUSE = 0x0020;
constexpr DWORD GCS_CURSORPOS = 0x0080;
constexpr DWORD GCS_RESULTSTR = 0x0800;
constexpr LONG IMM_ERROR_GENERAL = -2;
// Attribute bytes: text still being typed, and the part being converted.
constexpr BYTE ATTR_INPUT = 0;
constexpr BYTE ATTR_TARGET_CONVERTED = 1;

// WM_IME_NOTIFY's wParam.
constexpr WPARAM IMN_CHANGECANDIDATE = 3;
constexpr WPARAM IMN_CLOSECANDIDATE = 4;
constexpr WPARAM IMN_OPENCANDIDATE = 5;
constexpr WPARAM IMN_SETOPENSTATUS = 8;
constexpr WPARAM IMN_SETCANDIDATEPOS = 9;

constexpr DWORD NI_COMPOSITIONSTR = 0x15;
constexpr DWORD CPS_CANCEL = 4;
constexpr DWORD SCS_SETSTR = 9;

// Exported by "Imm32.dll" and reached through GetProcAddress.
HIMC ImmGetContext(HWND window);
BOOL ImmReleaseContext(HWND window, HIMC context);
// With bufferBytes 0 the size the string needs; GCS_CURSORPOS gives the cursor's byte offset.
LONG ImmGetCompositionStringA(HIMC context, DWORD index, LPVOID buffer, DWORD bufferBytes);
// 0: no candidate list.
DWORD ImmGetCandidateListA(HIMC context, DWORD index, LPCANDIDATELIST list, DWORD bufferBytes);
BOOL ImmGetOpenStatus(HIMC context);
// Sends the window WM_IME_NOTIFY(IMN_SETOPENSTATUS) when the status changes.
BOOL ImmSetOpenStatus(HIMC context, BOOL open);
// NI_COMPOSITIONSTR with CPS_CANCEL drops the composition (with WM_IME_ENDCOMPOSITION).
BOOL ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value);
// SCS_SETSTR replaces the composition, cursor at its end, with the messages that say so.
BOOL ImmSetCompositionStringA(HIMC context, DWORD index, LPVOID composition, DWORD compositionBytes,
                              LPVOID reading, DWORD readingBytes);
