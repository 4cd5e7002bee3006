// Text input: a 1,025-byte ring of character codes filled by the window procedure, the
// key-input strings that the pump edits from it, and the IME handler that keeps the
// composition for the framework to draw (the IME's own windows are suppressed).
#include "core/text_input.h"

#include <platform/imm.h>

#include <algorithm>
#include <iterator>

#include "core/shell_hooks.h"
#include "core/clocks.h"
#include "core/fatal_error.h"
#include "core/handle_registry.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/pump_services.h"
#include "core/string_functions.h"
#include "core/system_info.h"
#include "core/tracked_memory.h"

namespace {

constexpr int32_t kRingSize = 1025;
constexpr int32_t kImeTextBytes = 1024;
constexpr int32_t kClauseBytes = 4096;
constexpr int32_t kCheckNumberLimit = 1023;
constexpr int32_t kOpenStatusPumpUs = 2000;
constexpr int32_t kDikLeftShift = 0x2A, kDikRightShift = 0x36;
constexpr uint8_t kCodeCopy = 3, kCodeBackspace = 8, kCodeEnter = 13, kCodePaste = 0x16,
                  kCodeCut = 24, kCodeEscape = 27;
constexpr int32_t kColourCount = 15;

struct CharCodeBuffer {
    uint8_t bytes[kRingSize];
    int32_t read;
    int32_t write;
};

struct ImeState {
    int32_t inUse;
    int32_t open;
    int32_t composing;
    char composition[kImeTextBytes];
    int32_t compositionCursor;  // characters
    uint32_t clauses[kClauseBytes / 4];
    int32_t clauseEntries;
    uint8_t attributes[kImeTextBytes];
    int32_t attributeCount;
    void* candidates;  // tracked, as ImmGetCandidateListA gave it
    int32_t candidateBytes;
    int32_t restoreStep;  // 0: nothing to restore
    char savedComposition[kImeTextBytes];
    int32_t inOpenStatus;  // re-entry guard of IMN_SETOPENSTATUS
};

struct KeyInputDrawSettings {
    ScreenColor colours[kColourCount];
    int32_t spare;
    uint32_t caretBlinkStart;
    int32_t caretBlinkPeriod;
    int32_t caretShown;
    Handle active;  // -1: none
    Handle further;
};

struct TextInputState {
    CharCodeBuffer buffer;
    KeyInputRecord records[kKeyInputStringCount];
    int32_t checkCounter;
    ImeState ime;
    KeyInputDrawSettings draw;
    // The Shift test and the IME restore pump messages, and the pump runs this processing:
    // a nested call must not take characters from under the running one.
    int32_t processing;
};

TextInputState gTextInput;

int32_t BufferedBytes() {
    const CharCodeBuffer& b = gTextInput.buffer;
    return (b.write - b.read + kRingSize) % kRingSize;
}

bool ShiftHeld() {
    return TestKeyDown(kDikLeftShift) != 0 || TestKeyDown(kDikRightShift) != 0;
}

bool HasSelection(const KeyInputRecord& r) {
    return r.selectionStart >= 0 && r.selectionEnd >= 0 && r.selectionStart != r.selectionEnd;
}

void DropSelection(KeyInputRecord* r) {
    r->selectionStart = r->selectionEnd = -1;
}

// Removes `count` bytes at `at`, keeping the text terminated.
void RemoveBytes(KeyInputRecord* r, int32_t at, int32_t count) {
    MoveBytes(r->text + at, r->text + at + count, static_cast<size_t>(r->length - at - count));
    r->length -= count;
    r->text[r->length] = '\0';
    r->displayStart = std::min(r->displayStart, r->length);
}

// The size of the character that ends at `at` (1 or 2).
int32_t SizeBefore(const KeyInputRecord& r, int32_t at) {
    return at >= 2 && GetCharByteRole(r.text, at - 1, GetCharSet()) == 2 ? 2 : 1;
}

// The size of the character that starts at `at` (1 or 2).
int32_t SizeAt(const KeyInputRecord& r, int32_t at) {
    return at + 1 < r.length && IsLeadByte(static_cast<uint8_t>(r.text[at]), GetCharSet()) ? 2 : 1;
}

void CopySelectionToClipboard(const KeyInputRecord& r) {
    if (!HasSelection(r)) return;
    int32_t from = std::min(r.selectionStart, r.selectionEnd);
    int32_t to = std::max(r.selectionStart, r.selectionEnd);
    auto* copy =
        static_cast<char*>(AllocMemory(static_cast<uint32_t>(to - from + 1), __FILE__, __LINE__));
    if (copy == nullptr) return;
    CopyBytes(copy, r.text + from, static_cast<size_t>(to - from));
    copy[to - from] = '\0';
    WriteClipboardText(copy);
    FreeMemory(copy);
}

// The clipboard's text into the character buffer: double-byte characters whole (or not at
// all when only one byte fits), CR and LF left out.
void PasteClipboard() {
    int size = ReadClipboardText(nullptr, 0);
    if (size <= 0) return;
    auto* text =
        static_cast<char*>(AllocMemory(static_cast<uint32_t>(size) + 1, __FILE__, __LINE__));
    if (text == nullptr) return;
    if (ReadClipboardText(text, size + 1) == 0) {
        for (int32_t i = 0; text[i] != '\0'; ++i) {
            auto b = static_cast<uint8_t>(text[i]);
            if (b == '\r' || b == '\n') continue;
            if (IsLeadByte(b, GetCharSet()) && text[i + 1] != '\0') {
                if (BufferedBytes() + 2 < kRingSize) {
                    PushCharCode(b);
                    PushCharCode(static_cast<uint8_t>(text[i + 1]));
                }
                ++i;
                continue;
            }
            PushCharCode(b);
        }
    }
    FreeMemory(text);
}

// Moves the cursor to `to`; Shift extends the selection from where it started (or the old
// cursor), else the selection is dropped.
void MoveCursor(KeyInputRecord* r, int32_t to, bool shift) {
    if (shift) {
        if (r->selectionStart < 0) r->selectionStart = r->cursor;
        r->selectionEnd = to;
    } else {
        DropSelection(r);
    }
    r->cursor = to;
}

bool AcceptedByRules(const KeyInputRecord& r, const char c[2], int32_t size) {
    if (r.singleByteOnly != 0 && size == 2) return false;
    if (r.doubleByteOnly != 0 && size == 1) return false;
    if (r.digitsOnly == 0) return true;
    if (size != 1) return false;
    if (c[0] >= '0' && c[0] <= '9') return true;
    // One sign, in front; one decimal point.
    if (c[0] == '-') return r.cursor == 0 && FindCharInString(r.text, '-') == nullptr;
    if (c[0] == '.') return FindCharInString(r.text, '.') == nullptr;
    return false;
}

void InsertCharacter(KeyInputRecord* r, const char c[2], int32_t size) {
    DeleteKeyInputSelection(r);
    if (!AcceptedByRules(*r, c, size) || size > r->maxLength) return;
    // A full field gives up characters from its end.
    while (r->length + size > r->maxLength) {
        bool cursorAtEnd = r->cursor == r->length;
        int32_t last = SizeBefore(*r, r->length);
        RemoveBytes(r, r->length - last, last);
        if (cursorAtEnd || r->cursor > r->length) r->cursor = r->length;
    }
    MoveBytes(r->text + r->cursor + size, r->text + r->cursor,
              static_cast<size_t>(r->length - r->cursor));
    CopyBytes(r->text + r->cursor, c, static_cast<size_t>(size));
    r->cursor += size;
    r->length += size;
    r->text[r->length] = '\0';
}

void EndActiveString(KeyInputRecord* r, bool cancelled) {
    r->ended = 1;
    if (cancelled) r->cancelled = 1;
    gTextInput.draw.active = -1;
}

// One character from the buffer applied to the active string.
void EditKeyInput(KeyInputRecord* r, const char c[2], int32_t size) {
    auto code = static_cast<uint8_t>(c[0]);
    bool shift = ShiftHeld();
    switch (size == 2 ? 0 : code) {
        case kCodeCopy:
            CopySelectionToClipboard(*r);
            return;
        case kCodeBackspace:
            if (HasSelection(*r)) {
                DeleteKeyInputSelection(r);
            } else if (r->cursor > 0) {
                int32_t bytes = SizeBefore(*r, r->cursor);
                r->cursor -= bytes;
                RemoveBytes(r, r->cursor, bytes);
            }
            DropSelection(r);
            return;
        case kCodeEnter:
            EndActiveString(r, false);
            return;
        case kCharCodeDelete:
            if (HasSelection(*r)) {
                if (shift) CopySelectionToClipboard(*r);
                DeleteKeyInputSelection(r);
            } else if (r->cursor < r->length) {
                RemoveBytes(r, r->cursor, SizeAt(*r, r->cursor));
            }
            DropSelection(r);
            return;
        case kCodePaste:
            PasteClipboard();
            return;
        case kCodeCut:
            CopySelectionToClipboard(*r);
            DeleteKeyInputSelection(r);
            return;
        case kCharCodeEnd:
            MoveCursor(r, r->length, shift);
            return;
        case kCharCodeHome:
            MoveCursor(r, 0, shift);
            return;
        case kCodeEscape:
            if (r->escCancels != 0) EndActiveString(r, true);
            return;
        case kCharCodeRight:
            if (r->cursor < r->length) MoveCursor(r, r->cursor + SizeAt(*r, r->cursor), shift);
            return;
        case kCharCodeLeft:
            if (r->cursor > 0) MoveCursor(r, r->cursor - SizeBefore(*r, r->cursor), shift);
            return;
        default:
            // Tab, up, down and the other codes below the space are no characters of a field.
            if (size == 1 && code < 0x20) return;
            InsertCharacter(r, c, size);
            return;
    }
}

void FreeCandidates() {
    ImeState& ime = gTextInput.ime;
    if (ime.candidates != nullptr) FreeMemory(ime.candidates);
    ime.candidates = nullptr;
    ime.candidateBytes = 0;
}

// Reads one composition string into dst, at most capacity - 1 bytes, terminated; its size.
int32_t ReadCompositionString(HIMC context, DWORD index, void* dst, int32_t capacity) {
    LONG got = gPlatformDlls.ImmGetCompositionStringA(context, index, dst,
                                                      static_cast<DWORD>(capacity - 1));
    int32_t size = std::clamp(static_cast<int32_t>(got), 0, capacity - 1);
    static_cast<char*>(dst)[size] = '\0';
    return size;
}

void ReadComposition(HIMC context, LPARAM flags) {
    ImeState& ime = gTextInput.ime;
    if ((flags & GCS_COMPSTR) != 0) {
        ReadCompositionString(context, GCS_COMPSTR, ime.composition, kImeTextBytes);
    }
    if ((flags & GCS_RESULTSTR) != 0) {
        char result[kImeTextBytes];
        int32_t size = ReadCompositionString(context, GCS_RESULTSTR, result, kImeTextBytes);
        for (int32_t i = 0; i < size; ++i) PushCharCode(static_cast<uint8_t>(result[i]));
        ime.composition[0] = '\0';
        ReadCompositionString(context, GCS_COMPSTR, ime.composition, kImeTextBytes);
    }
    if ((flags & GCS_CURSORPOS) != 0) {
        LONG at = gPlatformDlls.ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0);
        ime.compositionCursor = CountCharsInBytes(ime.composition, std::max<int32_t>(at, 0));
    }
    if ((flags & GCS_COMPCLAUSE) != 0) {
        LONG got = gPlatformDlls.ImmGetCompositionStringA(context, GCS_COMPCLAUSE, ime.clauses,
                                                          kClauseBytes);
        ime.clauseEntries = std::clamp(static_cast<int32_t>(got), 0, kClauseBytes) / 4;
    }
    if ((flags & GCS_COMPATTR) != 0) {
        LONG got = gPlatformDlls.ImmGetCompositionStringA(context, GCS_COMPATTR, ime.attributes,
                                                          kImeTextBytes);
        ime.attributeCount = std::clamp(static_cast<int32_t>(got), 0, kImeTextBytes);
    }
}

void ReadCandidates(HWND window) {
    if (gPlatformDlls.ImmGetContext == nullptr || gPlatformDlls.ImmGetCandidateListA == nullptr) {
        return;
    }
    HIMC context = gPlatformDlls.ImmGetContext(window);
    DWORD size = gPlatformDlls.ImmGetCandidateListA(context, 0, nullptr, 0);
    if (size == 0) {
        EmitLogFormat("漢字変換候補のデータサイズが０でした  DefHWND:%llx IMC:%llx",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)),
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(context)));
    } else {
        FreeCandidates();
        ImeState& ime = gTextInput.ime;
        ime.candidates = AllocMemory(size, __FILE__, __LINE__);
        if (ime.candidates == nullptr) {
            ExitWithFormattedError(
                "漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d "
                "バイト )",
                static_cast<int>(size));
        }
        ime.candidateBytes = static_cast<int32_t>(size);
        if (gPlatformDlls.ImmGetCandidateListA(
                context, 0, static_cast<LPCANDIDATELIST>(ime.candidates), size) == 0) {
            FreeCandidates();
            EmitLogFormat("漢字変換候補の取得に失敗しました  BufSize:%d", static_cast<int>(size));
        }
    }
    if (gPlatformDlls.ImmReleaseContext != nullptr)
        gPlatformDlls.ImmReleaseContext(window, context);
}

LRESULT HandleImeNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    ImeState& ime = gTextInput.ime;
    switch (wParam) {
        case IMN_CHANGECANDIDATE:
        case IMN_OPENCANDIDATE:
        case IMN_SETCANDIDATEPOS:
            ReadCandidates(window);
            return 0;
        case IMN_CLOSECANDIDATE:
            FreeCandidates();
            return 0;
        case IMN_SETOPENSTATUS: {
            if (ime.inOpenStatus != 0) return 0;
            ime.inOpenStatus = 1;
            LRESULT result = DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
            int64_t start = GetMicrosecondCount();
            while (GetMicrosecondCount() - start < kOpenStatusPumpUs) {
                if (PumpMessagesUnlocked() != 0) break;
            }
            if (gPlatformDlls.ImmGetContext != nullptr &&
                gPlatformDlls.ImmGetOpenStatus != nullptr) {
                HIMC context = gPlatformDlls.ImmGetContext(window);
                ime.open = gPlatformDlls.ImmGetOpenStatus(context) != FALSE ? 1 : 0;
                if (gPlatformDlls.ImmReleaseContext != nullptr) {
                    gPlatformDlls.ImmReleaseContext(window, context);
                }
            }
            ime.inOpenStatus = 0;
            return result;
        }
        default:
            return DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
    }
}

// After activation: the composition is cancelled, the IME closed and opened again, and the
// composition put back, so that the IME takes up its state anew.
void RestoreImeComposition() {
    ImeState& ime = gTextInput.ime;
    ime.restoreStep = 0;
    HWND window = GetMainHwnd();
    if (gPlatformDlls.ImmGetContext == nullptr) return;
    HIMC context = gPlatformDlls.ImmGetContext(window);
    if (context == nullptr) return;
    CopyStringMax(ime.savedComposition, ime.composition, kImeTextBytes - 1);
    if (gPlatformDlls.ImmNotifyIME != nullptr) {
        gPlatformDlls.ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
    }
    if (gPlatformDlls.ImmSetOpenStatus != nullptr) {
        gPlatformDlls.ImmSetOpenStatus(context, FALSE);
        gPlatformDlls.ImmSetOpenStatus(context, TRUE);
    }
    if (gPlatformDlls.ImmSetCompositionStringA != nullptr) {
        gPlatformDlls.ImmSetCompositionStringA(context, SCS_SETSTR, ime.savedComposition,
                                               GetStringLength(ime.savedComposition), nullptr, 0);
    }
    if (gPlatformDlls.ImmReleaseContext != nullptr)
        gPlatformDlls.ImmReleaseContext(window, context);
}

}  // namespace

int SetupCharCodeBuffer() {
    AppendLogText("文字コードバッファの初期化を行います... ");
    FreeCandidates();
    int32_t checkCounter = gTextInput.checkCounter;
    gTextInput = TextInputState{};
    gTextInput.checkCounter = checkCounter;
    ScreenColor* c = gTextInput.draw.colours;
    c[0] = PackScreenColor(-1, -1, -1);
    c[1] = PackScreenColor(-1, -1, -1);
    c[2] = PackScreenColor(-1, -1, 0);
    c[3] = PackScreenColor(0, -1, -1);
    c[4] = PackScreenColor(-1, -1, -1);
    c[5] = PackScreenColor(-1, 0, 0);
    c[6] = PackScreenColor(-1, -1, 20);
    c[7] = PackScreenColor(0, 0, 0);
    c[8] = PackScreenColor(0, 0, 0);
    c[9] = PackScreenColor(0, 0, 0);
    c[10] = c[2];
    c[11] = PackScreenColor(0, 0, 0);
    c[12] = PackScreenColor(-1, -1, -1);
    c[13] = PackScreenColor(0, 0, 0);
    c[14] = PackScreenColor(-128, -128, -128);
    gTextInput.draw.caretBlinkPeriod = 500;
    gTextInput.draw.caretShown = 1;
    gTextInput.draw.active = -1;
    gTextInput.draw.further = -1;
    SetPumpService(kPumpKeyInput, ProcessKeyInput);
    AppendLogText("完了しました\n");
    return 0;
}

int PushCharCode(uint8_t code) {
    CharCodeBuffer& b = gTextInput.buffer;
    if ((b.write + 1) % kRingSize == b.read) return -1;
    b.bytes[b.write] = code;
    b.write = (b.write + 1) % kRingSize;
    return 0;
}

int GetCharCode(char out[2], int32_t take) {
    CharCodeBuffer& b = gTextInput.buffer;
    int32_t stored = BufferedBytes();
    if (stored == 0) return 0;
    uint8_t first = b.bytes[b.read];
    int32_t size = IsControlCharCode(first) == 0 && IsLeadByte(first, GetCharSet()) != 0 ? 2 : 1;
    if (stored < size) return 0;
    out[0] = static_cast<char>(first);
    if (size == 2) out[1] = static_cast<char>(b.bytes[(b.read + 1) % kRingSize]);
    if (take != 0) b.read = (b.read + size) % kRingSize;
    return size;
}

int IsControlCharCode(uint8_t code) {
    switch (code) {
        case kCharCodeDelete:
        case kCharCodeLeft:
        case kCharCodeRight:
        case kCharCodeUp:
        case kCharCodeDown:
        case kCharCodeHome:
        case kCharCodeEnd:
        case kCharCodePageUp:
        case kCharCodePageDown:
            return 1;
        default:
            return 0;
    }
}

int CountCharsInBytes(const char* s, int32_t bytes) {
    int32_t count = 0;
    for (int32_t i = 0; i < bytes && s[i] != '\0'; ++count) {
        i += IsLeadByte(static_cast<uint8_t>(s[i]), GetCharSet()) != 0 && s[i + 1] != '\0' ? 2 : 1;
    }
    return count;
}

int SwitchImeUse(int32_t use) {
    ImeState& ime = gTextInput.ime;
    if (ime.inUse == use) return 0;
    if (gPlatformDlls.WINNLSEnableIME != nullptr) {
        gPlatformDlls.WINNLSEnableIME(GetMainHwnd(), use != 0 ? TRUE : FALSE);
    }
    ime.inUse = use;
    if (use == 0) {
        FreeCandidates();
        ime.composition[0] = '\0';
        ime.compositionCursor = 0;
    }
    return 0;
}

KeyInputRecord* FindKeyInputRecord(Handle handle) {
    if (handle < 0 || (handle & kHandleKindBitsMask) != HandleKindBits(kHandleKindKeyInput)) {
        return nullptr;
    }
    int32_t index = handle & kHandleSlotBitsMask;
    if (index >= kKeyInputStringCount) return nullptr;
    KeyInputRecord& r = gTextInput.records[index];
    int32_t check = (handle & kHandleCheckBitsMask) >> kHandleCheckShift;
    return r.inUse != 0 && r.checkNumber == check ? &r : nullptr;
}

Handle MakeKeyInputString(int32_t maxLength, int32_t escCancels, int32_t singleByteOnly,
                          int32_t digitsOnly, int32_t doubleByteOnly) {
    if (maxLength <= 0) return -1;
    int32_t index = 0;
    while (index < kKeyInputStringCount && gTextInput.records[index].inUse != 0) ++index;
    if (index == kKeyInputStringCount) return -1;
    auto* text = static_cast<char*>(
        AllocClearedMemory(static_cast<uint32_t>(maxLength) + 1, __FILE__, __LINE__));
    if (text == nullptr) return -1;
    gTextInput.checkCounter = (gTextInput.checkCounter + 1) % kCheckNumberLimit;
    KeyInputRecord& r = gTextInput.records[index];
    r = KeyInputRecord{};
    r.inUse = 1;
    r.checkNumber = gTextInput.checkCounter;
    r.maxLength = maxLength;
    r.text = text;
    r.escCancels = escCancels;
    r.singleByteOnly = singleByteOnly;
    r.digitsOnly = digitsOnly;
    r.doubleByteOnly = doubleByteOnly;
    DropSelection(&r);
    return r.checkNumber << kHandleCheckShift | HandleKindBits(kHandleKindKeyInput) | index;
}

int ActivateKeyInputString(Handle handle) {
    KeyInputRecord* r = FindKeyInputRecord(handle);
    if (r == nullptr) return -1;
    r->ended = r->cancelled = 0;
    gTextInput.draw.active = handle;
    ResetCaretBlink();
    return 0;
}

int DeleteKeyInputString(Handle handle) {
    KeyInputRecord* r = FindKeyInputRecord(handle);
    if (r == nullptr) return -1;
    FreeMemory(r->text);
    *r = KeyInputRecord{};
    if (gTextInput.draw.active == handle) gTextInput.draw.active = -1;
    bool anyLeft = std::any_of(std::begin(gTextInput.records), std::end(gTextInput.records),
                               [](const KeyInputRecord& k) { return k.inUse != 0; });
    if (!anyLeft) SwitchImeUse(0);
    return 0;
}

int DeleteKeyInputSelection(KeyInputRecord* record) {
    if (record->selectionStart >= 0 && record->selectionEnd >= 0) {
        int32_t from =
            std::clamp(std::min(record->selectionStart, record->selectionEnd), 0, record->length);
        int32_t to =
            std::clamp(std::max(record->selectionStart, record->selectionEnd), 0, record->length);
        RemoveBytes(record, from, to - from);
        record->cursor = from;
    }
    DropSelection(record);
    return 0;
}

int ResetCaretBlink() {
    gTextInput.draw.caretBlinkStart = GetMillisecondCount();
    gTextInput.draw.caretShown = 1;
    return 0;
}

LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ImeState& ime = gTextInput.ime;
    ime.inUse = 1;
    ResetCaretBlink();
    bool vistaOrLater = gSystemInfo.osCode >= kOsCodeWindowsVista;
    switch (message) {
        case WM_IME_STARTCOMPOSITION:
            ime.compositionCursor = 0;
            ime.composing = 1;
            if (vistaOrLater) ime.open = 1;
            return 0;
        case WM_IME_ENDCOMPOSITION:
            ime.composition[0] = '\0';
            ime.composing = 0;
            if (vistaOrLater) ime.open = 0;
            return 0;
        case WM_IME_COMPOSITION: {
            if (gPlatformDlls.ImmGetContext == nullptr ||
                gPlatformDlls.ImmGetCompositionStringA == nullptr) {
                return 0;
            }
            HIMC context = gPlatformDlls.ImmGetContext(window);
            ReadComposition(context, lParam);
            if (gPlatformDlls.ImmReleaseContext != nullptr) {
                gPlatformDlls.ImmReleaseContext(window, context);
            }
            return 0;
        }
        case WM_IME_SETCONTEXT:
            return DefWindowProcA(window, message, wParam, 0);
        case WM_IME_NOTIFY:
            return HandleImeNotify(window, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

int ProcessKeyInput() {
    if (gTextInput.processing != 0) return 0;
    gTextInput.processing = 1;
    if (gTextInput.ime.restoreStep != 0) RestoreImeComposition();
    int result = 0;
    Handle active = gTextInput.draw.active;
    KeyInputRecord* r = active == -1 ? nullptr : FindKeyInputRecord(active);
    if (active != -1 && r == nullptr) result = -1;
    char c[2];
    while (r != nullptr && r->ended == 0) {
        int32_t size = GetCharCode(c, 1);
        if (size == 0) break;
        ResetCaretBlink();
        EditKeyInput(r, c, size);
    }
    gTextInput.processing = 0;
    return result;
}

int ShutdownKeyInput() {
    for (int32_t i = 0; i < kKeyInputStringCount; ++i) {
        KeyInputRecord& r = gTextInput.records[i];
        if (r.inUse != 0) {
            DeleteKeyInputString(r.checkNumber << kHandleCheckShift |
                                 HandleKindBits(kHandleKindKeyInput) | i);
        }
    }
    FreeCandidates();
    gTextInput.draw.active = -1;
    SetPumpService(kPumpKeyInput, nullptr);
    return 0;
}

int IsImeInUse() {
    return gTextInput.ime.inUse;
}

int MarkImeCompositionForRestore() {
    ImeState& ime = gTextInput.ime;
    if (ime.inUse != 0 && ime.composing != 0) ime.restoreStep = 1;
    return 0;
}

ImeComposition GetImeComposition() {
    const ImeState& ime = gTextInput.ime;
    return {ime.composition, ime.compositionCursor, ime.composing,
            ime.open,        ime.clauseEntries,     ime.attributeCount};
}
