// The per-thread message queues: posting, sending (across threads too), retrieval in Windows'
// order (sent, posted, quit, paint, timers), dispatch, key translation into CP932 characters,
// the default window procedure, timers, and the conversion of host events into the messages
// Windows would deliver for them.
#include <platform/mmsystem.h>

#include <algorithm>

#include "../../keyboard/keyboard.h"
#include "user_state.h"

namespace {

constexpr UINT kTimerMinimum = 10;
constexpr WPARAM kMkLButton = 0x1, kMkRButton = 0x2, kMkShift = 0x4, kMkControl = 0x8,
                 kMkMButton = 0x10;
// The bits of a key message's lParam.
constexpr DWORD kKeyRepeatOnce = 1;  // the repeat count, bits 0 to 15
constexpr int kKeyScanCodeShift = 16;
constexpr DWORD kKeyExtended = 1u << 24;
constexpr DWORD kKeyAltDown = 1u << 29;
constexpr DWORD kKeyWasDown = 1u << 30;
constexpr DWORD kKeyReleased = 1u << 31;

bool Held(BYTE key) {
    return (gUser.keys[key] & 0x80) != 0;
}

bool Matches(const MSG& msg, HWND filter, UINT filterMin, UINT filterMax) {
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        if (msg.hwnd != nullptr) return false;
    } else if (filter != nullptr && msg.hwnd != filter) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{window, message, wParam, lParam, timeGetTime(), gUser.cursor};
    return msg;
}

// Runs the messages that other threads sent to this thread's windows.
void RunSentMessages(DWORD thread) {
    std::unique_lock<std::recursive_mutex> guard(gUser.lock);
    ThreadQueue& queue = QueueOf(thread);
    while (!queue.sent.empty()) {
        SentMessage* sent = queue.sent.front();
        queue.sent.pop_front();
        guard.unlock();
        LRESULT result =
            CallWindowProcedure(sent->window, sent->message, sent->wParam, sent->lParam);
        guard.lock();
        sent->result = result;
        sent->done = true;
        gUser.sentDone.notify_all();
    }
}

WPARAM MouseKeyFlags() {
    return (IsHostKeyHeld(VK_LBUTTON) ? kMkLButton : 0) |
           (IsHostKeyHeld(VK_RBUTTON) ? kMkRButton : 0) | (IsHostKeyHeld(VK_SHIFT) ? kMkShift : 0) |
           (IsHostKeyHeld(VK_CONTROL) ? kMkControl : 0) |
           (IsHostKeyHeld(VK_MBUTTON) ? kMkMButton : 0);
}

// The window that receives input: the active one, else the event's own.
HWND InputWindow(HWND eventWindow) {
    return gUser.appActive && gUser.activeWindow != nullptr ? gUser.activeWindow : eventWindow;
}

void PostKey(HWND window, const HostEvent& event, size_t* lastKeyIndex) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    bool down = event.kind == HostEventKind::KeyDown;
    BYTE key = RecordHostKey(event.virtualKey, event.scanCode, down);
    bool alt = IsHostKeyHeld(VK_MENU) && !IsHostKeyHeld(VK_CONTROL);
    bool system = alt || key == VK_F10;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    DWORD lParam = kKeyRepeatOnce |
                   static_cast<DWORD>(event.scanCode & ~kScanCodeExtended) << kKeyScanCodeShift |
                   ((event.scanCode & kScanCodeExtended) != 0 ? kKeyExtended : 0) |
                   (alt ? kKeyAltDown : 0) | (event.repeat || !down ? kKeyWasDown : 0) |
                   (down ? 0 : kKeyReleased);
    ThreadQueue& queue = QueueOf(GetCurrentThreadId());
    queue.posted.push_back({MakeMessage(window, message, key, static_cast<LPARAM>(lParam)), "",
                            event.virtualKey, down});
    if (down) *lastKeyIndex = queue.posted.size();
}

void PostMouse(HWND window, const HostEvent& event) {
    static const BYTE kButtonKeys[] = {0, VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    static const UINT kButtonDown[] = {0, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    UINT message = WM_MOUSEMOVE;
    WPARAM wParam = 0;
    LPARAM lParam = MAKELPARAM(static_cast<WORD>(event.x), static_cast<WORD>(event.y));
    LPARAM screenPoint = 0;
    BYTE buttonKey = 0;
    bool buttonDown = false;
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        RECT rect{};
        GetWindowRect(window, &rect);
        gUser.cursor = {rect.left + event.x, rect.top + event.y};
        screenPoint =
            MAKELPARAM(static_cast<WORD>(gUser.cursor.x), static_cast<WORD>(gUser.cursor.y));
        int button = std::clamp(event.button, 0, 3);
        if (event.kind == HostEventKind::MouseButtonDown ||
            event.kind == HostEventKind::MouseButtonUp) {
            if (button == 0) return;
            buttonDown = event.kind == HostEventKind::MouseButtonDown;
            buttonKey = kButtonKeys[button];
            RecordHostKey(buttonKey, 0, buttonDown);
            message = kButtonDown[button] + (buttonDown ? 0 : 1);
        } else if (event.kind == HostEventKind::MouseWheel) {
            message = event.y != 0 ? WM_MOUSEWHEEL : WM_MOUSEHWHEEL;
            int steps = event.y != 0 ? event.y : event.x;
            wParam = MAKEWPARAM(0, static_cast<WORD>(steps * WHEEL_DELTA));
            lParam = screenPoint;
        }
        wParam |= MouseKeyFlags();
    }
    LRESULT hit = SendMessageA(window, WM_NCHITTEST, 0, screenPoint);
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(message)));
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    QueueOf(GetCurrentThreadId())
        .posted.push_back(
            {MakeMessage(window, message, wParam, lParam), "", buttonKey, buttonDown});
}

void PostCharacters(HWND window, UINT message, const std::string& bytes, bool front) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    std::vector<QueuedMessage> characters;
    for (char c : bytes) {
        characters.push_back({MakeMessage(window, message, static_cast<BYTE>(c), 1), ""});
    }
    ThreadQueue& queue = QueueOf(GetCurrentThreadId());
    queue.posted.insert(front ? queue.posted.begin() : queue.posted.end(), characters.begin(),
                        characters.end());
}

// The character a key gives without typed text: control codes, letters, digits, space.
std::string KeyCharacters(BYTE key, bool control, bool shift) {
    if (control && key >= 'A' && key <= 'Z') return std::string(1, static_cast<char>(key - 0x40));
    if (control && key == VK_RETURN) return "\n";
    switch (key) {
        case VK_BACK:
        case VK_TAB:
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_SPACE:
            return std::string(1, static_cast<char>(key));
        default:
            break;
    }
    if (key >= 'A' && key <= 'Z') return std::string(1, static_cast<char>(shift ? key : key + 32));
    if (key >= '0' && key <= '9' && !shift) return std::string(1, static_cast<char>(key));
    return "";
}

}  // namespace

ThreadQueue& QueueOf(DWORD threadId) {
    return gUser.queues[threadId];
}

void PostLayerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool ime) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return;
    QueuedMessage queued{MakeMessage(window, message, wParam, lParam), ""};
    queued.ime = ime;
    QueueOf(record->threadId).posted.push_back(queued);
}

LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) return 0;
        procedure = record->procedure;
        if (gUser.recordCalls) gUser.calls.push_back({window, message, wParam, lParam});
    }
    return procedure(window, message, wParam, lParam);
}

void ProcessHostEvents() {
    size_t lastKeyIndex = 0;  // one past the key-down posted by this batch, 0 for none
    std::vector<std::string> dropped;
    HWND dropWindow = nullptr;
    HostEvent event;
    while (Host().pollEvent(&event)) {
        HWND window = nullptr;
        RECT rect{};
        bool minimised = false;
        bool acceptFiles = false;
        HWND input = nullptr;
        bool imeEnabled = false;
        {
            std::lock_guard<std::recursive_mutex> guard(gUser.lock);
            for (const auto& entry : gUser.windows) {
                if (entry.second.hostWindow != event.window) continue;
                window = entry.second.handle;
                rect = entry.second.rect;
                minimised = entry.second.minimised;
                acceptFiles = entry.second.acceptFiles;
            }
            input = InputWindow(window);
            const WindowRecord* inputRecord = FindWindowRecord(input);
            imeEnabled = inputRecord != nullptr && inputRecord->imeEnabled;
        }
        if (window == nullptr) continue;
        switch (event.kind) {
            case HostEventKind::Close:
                SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
            case HostEventKind::FocusGained:
                if (!minimised) SetApplicationActive(window, true, false);
                break;
            case HostEventKind::FocusLost:
                SetApplicationActive(window, false, minimised);
                break;
            case HostEventKind::Minimised:
                ApplyMinimised(window, true);
                SetApplicationActive(window, false, true);
                break;
            case HostEventKind::Shown:
                // Back on the screen while minimised: the window manager restored it. Its
                // focus may have come first and been passed over, so this activates too.
                if (!minimised) break;
                [[fallthrough]];
            case HostEventKind::Restored:
                ApplyMinimised(window, false);
                SetApplicationActive(window, true, false);
                break;
            case HostEventKind::Resized:
                PlaceWindow(window, {rect.left, rect.top, rect.left + event.x, rect.top + event.y});
                break;
            case HostEventKind::Moved:
                PlaceWindow(window, {event.x, event.y, event.x + rect.right - rect.left,
                                     event.y + rect.bottom - rect.top});
                break;
            case HostEventKind::Exposed:
                InvalidateRect(window, nullptr, FALSE);
                break;
            case HostEventKind::DisplayChanged: {
                HostDisplayMode mode = Host().desktopMode();
                SendMessageA(
                    window, WM_DISPLAYCHANGE, 32,
                    MAKELPARAM(static_cast<WORD>(mode.width), static_cast<WORD>(mode.height)));
                break;
            }
            case HostEventKind::KeyDown:
            case HostEventKind::KeyUp:
                PostKey(input, event, &lastKeyIndex);
                break;
            case HostEventKind::TextEditing:
                if (imeEnabled) {
                    kMessageQueueHooks.imeHostEditing(input, event.text, event.x, event.y);
                }
                break;
            case HostEventKind::Text: {
                std::string bytes = ConvertUtf8ToCp932(event.text.c_str());
                if (imeEnabled && kMessageQueueHooks.imeHostCommit(input, bytes)) break;
                std::lock_guard<std::recursive_mutex> guard(gUser.lock);
                ThreadQueue& queue = QueueOf(GetCurrentThreadId());
                if (lastKeyIndex != 0 && lastKeyIndex <= queue.posted.size()) {
                    queue.posted[lastKeyIndex - 1].text += bytes;
                } else {
                    PostCharacters(input, WM_CHAR, bytes, false);
                }
                break;
            }
            case HostEventKind::MouseMove:
            case HostEventKind::MouseButtonDown:
            case HostEventKind::MouseButtonUp:
            case HostEventKind::MouseWheel:
                PostMouse(window, event);
                break;
            case HostEventKind::DropFile:
                if (acceptFiles) {
                    dropped.push_back(ConvertUtf8ToCp932(event.text.c_str()));
                    dropWindow = window;
                }
                break;
        }
    }
    if (!dropped.empty()) {
        PostMessageA(dropWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropHandle(dropped)),
                     0);
    }
}

void ResetMessageQueues() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gUser.queues.clear();
    gUser.timers.clear();
    gUser.nextTimerId = 1;
    gUser.recordCalls = false;
    gUser.calls.clear();
}

void TestRecordWindowCalls(bool on) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gUser.recordCalls = on;
}

std::vector<TestWindowCall> TestTakeWindowCalls() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    std::vector<TestWindowCall> calls;
    calls.swap(gUser.calls);
    return calls;
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    DWORD self = GetCurrentThreadId();
    bool hostThread;
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        hostThread = gUser.hostThread == self;
    }
    if (hostThread) ProcessHostEvents();
    kMessageQueueHooks.pollSockets();
    RunSentMessages(self);
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    bool remove = (removeFlags & PM_REMOVE) != 0;
    ThreadQueue& queue = QueueOf(self);
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (!Matches(it->msg, window, filterMin, filterMax)) continue;
        *msg = it->msg;
        if (remove) {
            if (it->key != 0) UpdateKeyTable(gUser.keys, it->key, it->down);
            if (it->ime) kMessageQueueHooks.imeApplyRetrieved(msg->hwnd);
            if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) {
                queue.lastKey = *msg;
                queue.lastKeyText = it->text;
            }
            queue.posted.erase(it);
        }
        return TRUE;
    }
    if (queue.quit) {
        *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
        if (remove) queue.quit = false;
        return TRUE;
    }
    for (const auto& entry : gUser.windows) {
        const WindowRecord& record = entry.second;
        if (record.threadId != self || !record.needsPaint || !record.visible) continue;
        MSG paint = MakeMessage(record.handle, WM_PAINT, 0, 0);
        if (!Matches(paint, window, filterMin, filterMax)) continue;
        *msg = paint;
        return TRUE;
    }
    DWORD now = timeGetTime();
    for (TimerRecord& timer : gUser.timers) {
        if (timer.threadId != self || static_cast<int32_t>(now - timer.due) < 0) continue;
        MSG tick = MakeMessage(timer.window, WM_TIMER, timer.id,
                               reinterpret_cast<LPARAM>(timer.procedure));
        if (!Matches(tick, window, filterMin, filterMax)) continue;
        *msg = tick;
        if (remove) timer.due = now + timer.interval;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
    while (!PeekMessageA(msg, window, filterMin, filterMax, PM_REMOVE)) Sleep(1);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    DWORD thread = GetCurrentThreadId();
    if (window != nullptr) {
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        thread = record->threadId;
    }
    QueueOf(thread).posted.push_back({MakeMessage(window, message, wParam, lParam), ""});
    return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    QueueOf(threadId).posted.push_back({MakeMessage(nullptr, message, wParam, lParam), ""});
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD self = GetCurrentThreadId();
    std::unique_lock<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (record->threadId == self) {
        guard.unlock();
        return CallWindowProcedure(window, message, wParam, lParam);
    }
    // The window's thread runs it on its next message retrieval; meanwhile this thread
    // answers what is sent to it, as Windows lets a sending thread do.
    SentMessage sent{window, message, wParam, lParam};
    QueueOf(record->threadId).sent.push_back(&sent);
    while (!sent.done) {
        gUser.sentDone.wait_for(guard, std::chrono::milliseconds(1));
        guard.unlock();
        RunSentMessages(self);
        guard.lock();
    }
    return sent.result;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr) return 0;
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, timeGetTime());
        return 0;
    }
    if (msg->hwnd == nullptr) return 0;
    return CallWindowProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    ThreadQueue& queue = QueueOf(GetCurrentThreadId());
    bool control = Held(VK_CONTROL);
    BYTE key = static_cast<BYTE>(msg->wParam);
    std::string text = KeyCharacters(key, control, Held(VK_SHIFT));
    bool typed = queue.lastKey.hwnd == msg->hwnd && queue.lastKey.wParam == msg->wParam &&
                 queue.lastKey.lParam == msg->lParam && queue.lastKey.time == msg->time &&
                 !queue.lastKeyText.empty();
    if (typed && !control && key != VK_RETURN && key != VK_BACK && key != VK_TAB &&
        key != VK_ESCAPE) {
        text = queue.lastKeyText;
    }
    if (text.empty()) return FALSE;
    PostCharacters(msg->hwnd, msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR, text, true);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    ThreadQueue& queue = QueueOf(GetCurrentThreadId());
    queue.quit = true;
    queue.quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & kSysCommandMask) {
                case SC_CLOSE:
                    SendMessageA(window, WM_CLOSE, 0, 0);
                    break;
                case SC_MINIMIZE:
                    ShowWindow(window, SW_MINIMIZE);
                    break;
                case SC_RESTORE:
                    ShowWindow(window, SW_RESTORE);
                    break;
                default:  // no menu loop, no screen saver, no monitor power-down
                    break;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4 && (lParam & (1 << 29)) != 0) {
                SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_SIZING:
        case WM_MOVING:
            return TRUE;
        default:
            return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    DWORD thread = GetCurrentThreadId();
    if (window != nullptr) {
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) return 0;
        thread = record->threadId;
    } else {
        id = gUser.nextTimerId++;
    }
    UINT interval = std::max(elapse, kTimerMinimum);
    std::erase_if(gUser.timers,
                  [&](const TimerRecord& t) { return t.window == window && t.id == id; });
    gUser.timers.push_back({window, id, interval, timeGetTime() + interval, procedure, thread});
    return window != nullptr ? 1 : id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    return std::erase_if(gUser.timers,
                         [&](const TimerRecord& t) { return t.window == window && t.id == id; }) !=
                   0
               ? TRUE
               : FALSE;
}
