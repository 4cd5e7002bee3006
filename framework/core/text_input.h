// Text input: the character buffer fed by the window procedure, key-input strings and the
// input method editor.
#pragma once

#include <platform/win32_user.h>

#include <cstdint>

int SetupCharCodeBuffer();
// Appends one byte; -1 when the buffer is full.
int PushCharCode(uint8_t code);
LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int ProcessKeyInput();
int ShutdownKeyInput();
// 1 while the input method is in use.
int IsImeInUse();
// On activation: an open composition of the input method is marked for restoring.
int MarkImeCompositionForRestore();
