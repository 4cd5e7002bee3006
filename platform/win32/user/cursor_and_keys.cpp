// The cursor (display counter, shape, position, clip rectangle) and the keyboard state that
// host events keep up to date.
#include <algorithm>

#include "../../keyboard/keyboard.h"
#include "user_state.h"

// The stock arrow; the only cursor or icon resource the layer has.
static HCURSOR const kArrowCursor = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x7F00));

struct CursorState {
    int displayCount = 0;  // shown while 0 or more
    HCURSOR cursor = kArrowCursor;
    bool clipped = false;
    RECT clip{};
    bool hostShown = true;
};

static CursorState gCursor;

static void ShowHostCursor() {
    bool shown = gCursor.displayCount >= 0 && gCursor.cursor != nullptr;
    if (shown != gCursor.hostShown) {
        gCursor.hostShown = shown;
        Host().showCursor(shown);
    }
}

void ResetCursorAndKeys() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gCursor = CursorState{};
    std::fill(std::begin(gUser.keys), std::end(gUser.keys), 0);
    ResetHostKeys();
    gUser.cursor = {};
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && name == IDC_ARROW ? kArrowCursor : nullptr;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && name == IDI_APPLICATION
               ? reinterpret_cast<HICON>(static_cast<uintptr_t>(0x7F00))
               : nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    HCURSOR previous = gCursor.cursor;
    gCursor.cursor = cursor;
    ShowHostCursor();
    return previous;
}

int ShowCursor(BOOL show) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gCursor.displayCount += show ? 1 : -1;
    ShowHostCursor();
    return gCursor.displayCount;
}

// The host's pointer wherever it is, off the program's windows too; where the host cannot
// tell, the place of the last mouse event.
BOOL GetCursorPos(POINT* point) {
    if (point == nullptr) return FALSE;
    int x = 0, y = 0;
    bool known = Host().pointerPosition(&x, &y);
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    *point = known ? POINT{x, y} : gUser.cursor;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    Host().placePointer(x, y);
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gUser.cursor = {x, y};
    return TRUE;
}

BOOL ClipCursor(const RECT* rect) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gCursor.clipped = rect != nullptr;
    gCursor.clip = rect != nullptr ? *rect : RECT{};
    return TRUE;
}

BOOL GetKeyboardState(BYTE* keys) {
    if (keys == nullptr) return FALSE;
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    std::copy(std::begin(gUser.keys), std::end(gUser.keys), keys);
    return TRUE;
}

SHORT GetKeyState(int key) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    BYTE state = gUser.keys[key & 0xFF];
    return static_cast<SHORT>(((state & 0x80) != 0 ? 0x8000 : 0) | (state & 0x01));
}

SHORT GetAsyncKeyState(int key) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    return static_cast<SHORT>(IsHostKeyHeld(static_cast<BYTE>(key)) ? 0x8000 : 0);
}
