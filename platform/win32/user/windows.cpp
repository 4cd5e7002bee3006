// Window classes and window records: creation and destruction, showing, moving and sizing
// with the messages Windows sends for each (only when something changed), activation, and the
// class lock files through which FindWindowA sees the windows of other processes.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "../../base/test_overrides.h"
#include "user_state.h"

UserState gUser;

namespace {

// Stands for a window of our class that another process shows.
HWND const kForeignWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xF0F0F0F0));

std::string UpperCase(const char* text) {
    std::string out = text != nullptr ? text : "";
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string LockFilePath(const std::string& classKey) {
    std::string directory = gUser.lockDirectory;
    if (directory.empty()) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        directory = runtime != nullptr && runtime[0] != '\0' ? runtime : "/tmp";
    }
    static const char kHex[] = "0123456789abcdef";
    std::string name = directory + "/orbek-window-";
    for (unsigned char c : classKey) {
        name += kHex[c >> 4];
        name += kHex[c & 15];
    }
    return name + ".lock";
}

// A shared lock on the class's file while one of our windows of that class lives.
int TakeClassLock(const std::string& classKey) {
    int fd = open(LockFilePath(classKey).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool AnotherProcessHoldsClass(const std::string& classKey) {
    int fd = open(LockFilePath(classKey).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

LPARAM PackPoint(LONG x, LONG y) {
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

}  // namespace

void PlaceWindow(HWND window, const RECT& rect) {
    bool moved = false;
    bool sized = false;
    bool minimised = false;
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) return;
        moved = record->rect.left != rect.left || record->rect.top != rect.top;
        sized = record->rect.right - record->rect.left != rect.right - rect.left ||
                record->rect.bottom - record->rect.top != rect.bottom - rect.top;
        record->rect = rect;
        minimised = record->minimised;
        if (sized) InvalidateRect(window, nullptr, TRUE);
    }
    if (moved) SendMessageA(window, WM_MOVE, 0, PackPoint(rect.left, rect.top));
    if (sized && !minimised) {
        SendMessageA(window, WM_SIZE, SIZE_RESTORED,
                     PackPoint(rect.right - rect.left, rect.bottom - rect.top));
    }
}

namespace {

// Shows or hides; WM_SHOWWINDOW only when the visibility changes.
void SetVisible(HWND window, bool visible) {
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr || record->visible == visible) return;
        record->visible = visible;
        if (visible) InvalidateRect(window, nullptr, TRUE);
    }
    SendMessageA(window, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
}

bool IsActiveWindow(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    return gUser.appActive && gUser.activeWindow == window;
}

}  // namespace

void ApplyMinimised(HWND window, bool minimised) {
    RECT rect{};
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr || record->minimised == minimised) return;
        record->minimised = minimised;
        rect = record->rect;
        if (record->hostWindow != 0) {
            if (minimised) {
                Host().minimiseWindow(record->hostWindow);
            } else {
                Host().restoreWindow(record->hostWindow);
            }
        }
    }
    if (minimised) {
        SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, 0);
    } else {
        SendMessageA(window, WM_SIZE, SIZE_RESTORED,
                     PackPoint(rect.right - rect.left, rect.bottom - rect.top));
    }
}

WindowRecord* FindWindowRecord(HWND window) {
    auto found = gUser.windows.find(reinterpret_cast<uintptr_t>(window));
    return found == gUser.windows.end() ? nullptr : &found->second;
}

bool EnsureHostStarted() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (!gUser.hostStarted) gUser.hostStarted = Host().start();
    return gUser.hostStarted;
}

void SyncHostWindow(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr || record->hostWindow == 0) return;
    // The framework's full-screen window: a captionless topmost popup at the desktop's origin.
    bool fullScreen = record->visible && (record->style & WS_POPUP) != 0 &&
                      (record->style & WS_CAPTION) == 0 && (record->exStyle & WS_EX_TOPMOST) != 0 &&
                      record->rect.left == 0 && record->rect.top == 0;
    const HostDriver& host = Host();
    if (fullScreen != record->fullScreen) {
        record->fullScreen = fullScreen;
        host.setFullScreen(record->hostWindow, fullScreen);
    }
    host.placeWindow(record->hostWindow, record->rect.left, record->rect.top,
                     record->rect.right - record->rect.left,
                     record->rect.bottom - record->rect.top);
    host.showWindow(record->hostWindow, record->visible);
}

void SetApplicationActive(HWND window, bool active, bool minimised) {
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        if (gUser.appActive == active) return;
        gUser.appActive = active;
        gUser.activeWindow = active ? window : nullptr;
    }
    WPARAM state = MAKEWPARAM(active ? WA_ACTIVE : WA_INACTIVE, minimised ? 1 : 0);
    if (active) {
        SendMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
        SendMessageA(window, WM_ACTIVATE, state, 0);
    } else {
        SendMessageA(window, WM_ACTIVATE, state, 0);
        SendMessageA(window, WM_ACTIVATEAPP, FALSE, 0);
    }
}

void ResetWindowRecords() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    for (auto& entry : gUser.windows) {
        if (entry.second.hostWindow != 0) Host().destroyWindow(entry.second.hostWindow);
        if (entry.second.lockFile >= 0) close(entry.second.lockFile);
    }
    gUser.windows.clear();
    gUser.classes.clear();
    gUser.activeWindow = nullptr;
    gUser.appActive = false;
    gUser.hostThread = 0;
    if (gUser.hostStarted) Host().stop();
    gUser.hostStarted = false;
}

void TestSetWindowLockDirectory(const char* path) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gUser.lockDirectory = path != nullptr ? path : "";
}

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) ||
        windowClass->lpszClassName == nullptr || windowClass->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (InjectedFailure("RegisterClassExA")) return 0;
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    std::string key = UpperCase(windowClass->lpszClassName);
    if (gUser.classes.count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    gUser.classes[key] = {windowClass->lpszClassName, windowClass->lpfnWndProc,
                          windowClass->style,         windowClass->hInstance,
                          windowClass->hIcon,         windowClass->hCursor,
                          windowClass->hbrBackground};
    return static_cast<ATOM>(0xC000 + gUser.classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    std::string key = UpperCase(className);
    auto found = gUser.classes.find(key);
    if (found == gUser.classes.end()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    for (const auto& entry : gUser.windows) {
        if (entry.second.classKey == key) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    }
    gUser.classes.erase(found);
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    if (InjectedFailure("CreateWindowExA")) return nullptr;
    HWND window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        std::string key = UpperCase(className);
        auto found = gUser.classes.find(key);
        if (found == gUser.classes.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (!EnsureHostStarted()) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return nullptr;
        }
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) {
            width = 640;
            height = 480;
        }
        WindowRecord record;
        record.handle = reinterpret_cast<HWND>(gUser.nextWindow);
        gUser.nextWindow += 0x10;
        record.classKey = key;
        record.procedure = found->second.procedure;
        record.style = style & ~(WS_VISIBLE | WS_MINIMIZE);
        record.exStyle = exStyle;
        record.title = title != nullptr ? title : "";
        record.rect = {x, y, x + (width > 0 ? width : 0), y + (height > 0 ? height : 0)};
        record.threadId = GetCurrentThreadId();
        record.hostWindow = Host().createWindow(ConvertCp932ToUtf8(record.title.c_str()).c_str(), x,
                                                y, record.rect.right - x, record.rect.bottom - y);
        if (record.hostWindow == 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        record.lockFile = TakeClassLock(key);
        if (gUser.hostThread == 0) gUser.hostThread = record.threadId;
        window = record.handle;
        gUser.windows[reinterpret_cast<uintptr_t>(window)] = std::move(record);
    }
    if (SendMessageA(window, WM_NCCREATE, 0, 0) == FALSE ||
        SendMessageA(window, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    SendMessageA(window, WM_SIZE, SIZE_RESTORED,
                 PackPoint(rect.right - rect.left, rect.bottom - rect.top));
    SendMessageA(window, WM_MOVE, 0, PackPoint(rect.left, rect.top));
    if ((style & WS_VISIBLE) != 0) ShowWindow(window, SW_SHOW);
    return window;
}

BOOL DestroyWindow(HWND window) {
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr || record->destroying) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (record->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        record->destroying = true;
    }
    SetVisible(window, false);
    if (IsActiveWindow(window)) SetApplicationActive(window, false, false);
    SendMessageA(window, WM_DESTROY, 0, 0);
    SendMessageA(window, WM_NCDESTROY, 0, 0);
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record->hostWindow != 0) Host().destroyWindow(record->hostWindow);
    if (record->lockFile >= 0) close(record->lockFile);
    gUser.windows.erase(reinterpret_cast<uintptr_t>(window));
    std::erase_if(gUser.timers, [window](const TimerRecord& t) { return t.window == window; });
    for (auto& entry : gUser.queues) {
        std::erase_if(entry.second.posted,
                      [window](const QueuedMessage& m) { return m.msg.hwnd == window; });
    }
    return TRUE;
}

BOOL IsWindow(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    return window == kForeignWindow || FindWindowRecord(window) != nullptr;
}

bool IsLayerWindow(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    return FindWindowRecord(window) != nullptr;
}

BOOL IsWindowVisible(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    return record != nullptr && record->visible;
}

BOOL IsIconic(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    return record != nullptr && record->minimised;
}

HWND FindWindowA(LPCSTR className, LPCSTR title) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    std::string key = UpperCase(className);
    for (const auto& entry : gUser.windows) {
        const WindowRecord& record = entry.second;
        if (className != nullptr && record.classKey != key) continue;
        if (title != nullptr && record.title != title) continue;
        return record.handle;
    }
    if (className != nullptr && title == nullptr && AnotherProcessHoldsClass(key)) {
        return kForeignWindow;
    }
    return nullptr;
}

BOOL ShowWindow(HWND window, int command) {
    bool wasVisible = false;
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        wasVisible = record->visible;
    }
    switch (command) {
        case SW_HIDE:
            SetVisible(window, false);
            if (IsActiveWindow(window)) SetApplicationActive(window, false, false);
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
            SetVisible(window, true);
            ApplyMinimised(window, true);
            if (IsActiveWindow(window)) SetApplicationActive(window, false, true);
            break;
        default:
            if (command == SW_RESTORE || command == SW_SHOWNORMAL) ApplyMinimised(window, false);
            SetVisible(window, true);
            if (command != SW_SHOWNA && command != SW_SHOWNOACTIVATE && !IsIconic(window)) {
                SetApplicationActive(window, true, false);
            }
            break;
    }
    SyncHostWindow(window);
    return wasVisible ? TRUE : FALSE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    RECT rect{};
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        rect = record->rect;
        if ((flags & SWP_NOZORDER) == 0) {
            if (insertAfter == HWND_TOPMOST) record->exStyle |= WS_EX_TOPMOST;
            if (insertAfter == HWND_NOTOPMOST) record->exStyle &= ~WS_EX_TOPMOST;
        }
    }
    if ((flags & SWP_NOMOVE) == 0) {
        rect.right += x - rect.left;
        rect.bottom += y - rect.top;
        rect.left = x;
        rect.top = y;
    }
    if ((flags & SWP_NOSIZE) == 0) {
        rect.right = rect.left + (width > 0 ? width : 0);
        rect.bottom = rect.top + (height > 0 ? height : 0);
    }
    PlaceWindow(window, rect);
    if ((flags & SWP_SHOWWINDOW) != 0) SetVisible(window, true);
    if ((flags & SWP_HIDEWINDOW) != 0) SetVisible(window, false);
    SyncHostWindow(window);
    return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr || rect == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = record->rect;
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    RECT windowRect{};
    if (!GetWindowRect(window, &windowRect)) return FALSE;
    *rect = {0, 0, windowRect.right - windowRect.left, windowRect.bottom - windowRect.top};
    return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
    RECT rect{};
    if (point == nullptr || !GetWindowRect(window, &rect)) return FALSE;
    point->x += rect.left;
    point->y += rect.top;
    return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
    RECT rect{};
    if (point == nullptr || !GetWindowRect(window, &rect)) return FALSE;
    point->x -= rect.left;
    point->y -= rect.top;
    return TRUE;
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
    return rect != nullptr ? TRUE : FALSE;
}

LONG GetWindowLongA(HWND window, int index) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index == GWL_STYLE) {
        return static_cast<LONG>(record->style | (record->visible ? WS_VISIBLE : 0) |
                                 (record->minimised ? WS_MINIMIZE : 0));
    }
    if (index == GWL_EXSTYLE) return static_cast<LONG>(record->exStyle);
    // A procedure address does not fit in 32 bits.
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    LONG previous = GetWindowLongA(window, index);
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) return 0;
        if (index == GWL_STYLE) {
            record->style = static_cast<DWORD>(value) & ~(WS_VISIBLE | WS_MINIMIZE);
        } else if (index == GWL_EXSTYLE) {
            record->exStyle = static_cast<DWORD>(value);
        } else {
            return 0;
        }
    }
    SyncHostWindow(window);
    return previous;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return FALSE;
    record->title = text != nullptr ? text : "";
    if (record->hostWindow != 0) {
        Host().setTitle(record->hostWindow, ConvertCp932ToUtf8(record->title.c_str()).c_str());
    }
    return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr || text == nullptr || maxCount <= 0) return 0;
    size_t count = std::min(record->title.size(), static_cast<size_t>(maxCount - 1));
    std::memcpy(text, record->title.data(), count);
    text[count] = '\0';
    return static_cast<int>(count);
}

BOOL BringWindowToTop(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return FALSE;
    if (record->hostWindow != 0 && record->visible) Host().raiseWindow(record->hostWindow);
    return TRUE;
}

HWND SetActiveWindow(HWND window) {
    HWND previous = GetActiveWindow();
    if (!IsWindow(window) || IsIconic(window)) return previous;
    SetApplicationActive(window, true, false);
    return previous;
}

HWND GetActiveWindow() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    return gUser.appActive ? gUser.activeWindow : nullptr;
}

BOOL SetForegroundWindow(HWND window) {
    if (!IsWindow(window) || window == kForeignWindow) return FALSE;
    BringWindowToTop(window);
    SetActiveWindow(window);
    return TRUE;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return 0;
    if (processId != nullptr) *processId = static_cast<DWORD>(getpid());
    return record->threadId;
}

BOOL AttachThreadInput(DWORD attachThread, DWORD toThread, BOOL attach) {
    return attachThread != 0 && toThread != 0 && attachThread != toThread ? TRUE : FALSE;
}

BOOL WINNLSEnableIME(HWND window, BOOL enable) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return FALSE;
    BOOL previous = record->imeEnabled ? TRUE : FALSE;
    record->imeEnabled = enable != FALSE;
    return previous;
}
