// The window module's shared state: window classes, window records, the per-thread message
// queues, timers and the input state that host events update. One lock guards all of it; it is
// never held while a window procedure runs.
#pragma once

#include <platform/testing_host.h>
#include <platform/win32_user.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "../../host/host.h"
#include "message_hooks.h"
#include "text_conversion.h"

struct WindowClassRecord {
    std::string name;
    WNDPROC procedure;
    UINT style;
    HINSTANCE instance;
    HICON icon;
    HCURSOR cursor;
    HBRUSH background;
};

struct WindowRecord {
    HWND handle = nullptr;
    std::string classKey;  // the class name folded to upper case
    WNDPROC procedure = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string title;
    RECT rect{};  // screen coordinates; with no frame the client area is the whole window
    DWORD threadId = 0;
    uint32_t hostWindow = 0;
    bool visible = false;
    bool minimised = false;
    bool fullScreen = false;  // as last told to the host
    bool destroying = false;
    bool needsPaint = false;
    RECT update{};  // client coordinates of what must be painted
    bool acceptFiles = false;
    bool imeEnabled = true;
    int lockFile = -1;  // the class's lock file, held while the window lives
};

struct QueuedMessage {
    MSG msg;
    std::string text;  // CP932 bytes typed with a key-down, for TranslateMessage
    BYTE key = 0;      // the (sided) key this input message presses or releases
    bool down = false;
    bool ime = false;  // an IME message whose state the window's input context takes on
};

// A message sent from another thread, waiting for the window's thread to run it.
struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

struct ThreadQueue {
    std::deque<QueuedMessage> posted;
    std::deque<SentMessage*> sent;
    bool quit = false;
    int quitCode = 0;
    MSG lastKey{};  // the last key-down removed from the queue, and what it typed
    std::string lastKeyText;
};

struct TimerRecord {
    HWND window;
    UINT_PTR id;
    UINT interval;
    DWORD due;
    TIMERPROC procedure;
    DWORD threadId;
};

struct UserState {
    std::recursive_mutex lock;
    std::condition_variable_any sentDone;
    std::map<std::string, WindowClassRecord> classes;  // by upper-case name
    std::map<uintptr_t, WindowRecord> windows;
    uintptr_t nextWindow = 0x10010;
    std::map<DWORD, ThreadQueue> queues;
    std::vector<TimerRecord> timers;
    UINT_PTR nextTimerId = 1;
    DWORD hostThread = 0;  // the thread that created the first host window; it polls events
    bool hostStarted = false;
    HWND activeWindow = nullptr;
    bool appActive = false;
    BYTE keys[256] = {};  // as the retrieved input messages left them; the keyboard module
                          // keeps what the host reports
    POINT cursor{};
    std::string lockDirectory;  // empty: $XDG_RUNTIME_DIR, else /tmp
    bool recordCalls = false;
    std::vector<TestWindowCall> calls;
};
extern UserState gUser;

// The record behind a handle, or null. Call with the lock held.
WindowRecord* FindWindowRecord(HWND window);
// Calls the window's procedure on this thread (nothing for a window that is gone).
LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Starts the host once; false when there is no display.
bool EnsureHostStarted();
// Tells the host where the window is, whether it shows and whether it covers the display.
void SyncHostWindow(HWND window);
// Applies a new window rectangle, sending WM_MOVE and WM_SIZE for what changed.
void PlaceWindow(HWND window, const RECT& rect);
// Minimises or restores, with the WM_SIZE that says so.
void ApplyMinimised(HWND window, bool minimised);
// A dropped-file list for WM_DROPFILES, paths in CP932.
HDROP MakeDropHandle(const std::vector<std::string>& paths);
// Deactivates or activates the application through the messages Windows sends for it.
void SetApplicationActive(HWND window, bool active, bool minimised);
// Turns the pending host events into messages; only on the host's thread.
void ProcessHostEvents();
// The message queue of a thread, made on first use. Call with the lock held.
ThreadQueue& QueueOf(DWORD threadId);

// The display mode in force: the desktop's unless ChangeDisplaySettingsA set another.
HostDisplayMode CurrentDisplayMode();

// Each file's own state back to its start.
void ResetWindowRecords();
void ResetMessageQueues();
void ResetCursorAndKeys();
void ResetSystemSettings();
void ResetClipboard();
