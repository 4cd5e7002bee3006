// Text input: the character buffer fed by the window procedure, key-input strings edited from
// it once per pump, and the input method editor's composition and candidates.
#pragma once

#include <orbek/orbek.h>
#include <platform/win32_user.h>

#include <cstdint>

// Control codes that editing keys put into the buffer.
constexpr uint8_t kCharCodeDelete = 0x10;
constexpr uint8_t kCharCodeLeft = 0x1D;
constexpr uint8_t kCharCodeRight = 0x1C;
constexpr uint8_t kCharCodeUp = 0x1E;
constexpr uint8_t kCharCodeDown = 0x1F;
constexpr uint8_t kCharCodeHome = 0x1A;
constexpr uint8_t kCharCodeEnd = 0x19;
constexpr uint8_t kCharCodePageUp = 0x17;
constexpr uint8_t kCharCodePageDown = 0x15;

constexpr int32_t kKeyInputStringCount = 256;

struct KeyInputRecord {
    int32_t inUse;
    int32_t checkNumber;
    int32_t ended;                         // Enter or Esc seen
    int32_t cancelled;                     // Esc
    int32_t length;                        // bytes
    int32_t maxLength;                     // bytes
    int32_t selectionStart, selectionEnd;  // -1, -1: no selection; either order
    int32_t displayStart;
    int32_t cursor;  // bytes
    char* text;      // tracked, maxLength + 1 bytes
    int32_t escCancels;
    int32_t singleByteOnly;
    int32_t digitsOnly;
    int32_t doubleByteOnly;
};

int SetupCharCodeBuffer();
// Appends one byte; -1 when the buffer is full.
int PushCharCode(uint8_t code);
// The next character into out: 0 none (or a lead byte whose trail has not come), 1 a control
// code or single-byte character, 2 a double-byte one. take 0 leaves it in the buffer.
int GetCharCode(char out[2], int32_t take);
int IsControlCharCode(uint8_t code);
// The characters that start within the first `bytes` bytes of s.
int CountCharsInBytes(const char* s, int32_t bytes);
int SwitchImeUse(int32_t use);
int DeleteKeyInputString(Handle handle);
int DeleteKeyInputSelection(KeyInputRecord* record);
int ResetCaretBlink();
LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int ProcessKeyInput();
int ShutdownKeyInput();
// 1 while the input method is in use.
int IsImeInUse();
// On activation: an open composition of the input method is marked for restoring.
int MarkImeCompositionForRestore();

// The smallest way to have a key-input string edited (no operation of the program makes one):
// a new string of at most maxLength bytes with the given rules, or -1.
Handle MakeKeyInputString(int32_t maxLength, int32_t escCancels, int32_t singleByteOnly,
                          int32_t digitsOnly, int32_t doubleByteOnly);
// The record of a valid key-input handle, else null.
KeyInputRecord* FindKeyInputRecord(Handle handle);
// Makes the string the one that the per-frame processing edits; -1 for an invalid handle.
int ActivateKeyInputString(Handle handle);

// The input method's composition as the last IME messages left it.
struct ImeComposition {
    const char* text;  // NUL-terminated
    int32_t cursor;    // in characters
    int32_t composing;
    int32_t open;
    int32_t clauseEntries;
    int32_t attributeCount;
};
ImeComposition GetImeComposition();
