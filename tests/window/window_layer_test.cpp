// The window layer on the headless host: the messages that window calls send and when, host
// events turned into messages in Windows' order, the queue's retrieval order, key translation
// into CP932 characters, timers, painting, display settings, the double-start check across
// processes, and how much the headless host's audio output mixes after a wait.
#include <gtest/gtest.h>
#include <platform/mmsystem.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <platform/win32.h>
#include <platform/win32_user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "host/host.h"

namespace {

struct Call {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Call> gCalls;
LRESULT gCreateResult = 0;

LRESULT RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    gCalls.push_back({message, wParam, lParam});
    if (message == WM_CREATE) return gCreateResult;
    if (message == WM_USER + 1) return 42;
    return DefWindowProcA(window, message, wParam, lParam);
}

class WindowLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        TestUseHeadlessHost(true);
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(1'000'000);
        gCalls.clear();
        gCreateResult = 0;
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = RecordingProcedure;
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        windowClass.lpszClassName = "TestWindow";
        ASSERT_NE(RegisterClassExA(&windowClass), 0);
    }

    void TearDown() override {
        TestUseHeadlessHost(true);
        TestResetPlatform();
    }

    static HWND Create(DWORD style = 0, DWORD exStyle = 0, int x = 10, int y = 20) {
        return CreateWindowExA(exStyle, "TestWindow", "テスト", style, x, y, 320, 240, nullptr,
                               nullptr, nullptr, nullptr);
    }

    // Creates, shows and forgets the calls so far.
    static HWND CreateShown() {
        HWND window = Create();
        ShowWindow(window, SW_SHOW);
        Drain();
        gCalls.clear();
        return window;
    }

    static void Drain() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    static std::vector<UINT> Messages() {
        std::vector<UINT> messages;
        for (const Call& call : gCalls) messages.push_back(call.message);
        return messages;
    }

    static HostEvent Event(HostEventKind kind) {
        HostEvent event;
        event.kind = kind;
        return event;
    }

    static HostEvent Key(HostEventKind kind, BYTE key) {
        HostEvent event = Event(kind);
        event.virtualKey = key;
        return event;
    }

    // The characters that the queue holds, in order, as bytes.
    static std::string TakeCharacters(UINT message) {
        std::string out;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == message) out += static_cast<char>(msg.wParam);
            TranslateMessage(&msg);
        }
        return out;
    }
};

TEST_F(WindowLayerTest, CreationSendsItsMessagesDuringTheCall) {
    HWND window = Create();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(gCalls[2].lParam, MAKELPARAM(320, 240));
    EXPECT_EQ(gCalls[3].lParam, MAKELPARAM(10, 20));
    TestHostWindow shown = TestHostReadWindow(window);
    EXPECT_TRUE(shown.exists);
    EXPECT_FALSE(shown.visible);
    EXPECT_EQ(shown.titleUtf8, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");
}

TEST_F(WindowLayerTest, CreationFailsWhenTheProcedureRefusesOrTheClassIsUnknown) {
    gCreateResult = -1;
    EXPECT_EQ(Create(), nullptr);
    EXPECT_EQ(Messages().back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    // A class with windows cannot go; without them it can.
    gCreateResult = 0;
    HWND window = Create();
    EXPECT_FALSE(UnregisterClassA("testwindow", nullptr));
    DestroyWindow(window);
    EXPECT_TRUE(UnregisterClassA("testwindow", nullptr));
}

TEST_F(WindowLayerTest, MovingAndSizingSendOnlyWhatChanged) {
    HWND window = Create();
    gCalls.clear();
    EXPECT_TRUE(MoveWindow(window, 10, 20, 320, 240, TRUE));
    EXPECT_TRUE(gCalls.empty());
    MoveWindow(window, 50, 20, 320, 240, TRUE);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_MOVE});
    gCalls.clear();
    SetWindowPos(window, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_EQ(Messages(), std::vector<UINT>{WM_SIZE});
    EXPECT_EQ(gCalls[0].lParam, MAKELPARAM(400, 300));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 50);
    EXPECT_EQ(rect.right, 450);
    TestHostWindow shown = TestHostReadWindow(window);
    EXPECT_EQ(shown.x, 50);
    EXPECT_EQ(shown.width, 400);
}

TEST_F(WindowLayerTest, ShowingActivatesAndActivationMessagesComeInWindowsOrder) {
    HWND window = Create();
    gCalls.clear();
    ShowWindow(window, SW_SHOW);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_SHOWWINDOW, WM_ACTIVATEAPP, WM_ACTIVATE}));
    EXPECT_EQ(gCalls[2].wParam, static_cast<WPARAM>(WA_ACTIVE));
    EXPECT_TRUE(TestHostReadWindow(window).visible);
    EXPECT_EQ(GetForegroundWindow(), window);

    gCalls.clear();
    TestHostPushEvent(window, Event(HostEventKind::FocusLost));
    TestHostPushEvent(window, Event(HostEventKind::FocusLost));
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    // Delivered during the peek, deactivation first WM_ACTIVATE, and only once.
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_ACTIVATE, WM_ACTIVATEAPP}));
    EXPECT_EQ(gCalls[0].wParam, static_cast<WPARAM>(WA_INACTIVE));
    EXPECT_EQ(gCalls[1].wParam, static_cast<WPARAM>(FALSE));
    EXPECT_EQ(GetForegroundWindow(), nullptr);

    gCalls.clear();
    TestHostPushEvent(window, Event(HostEventKind::FocusGained));
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_ACTIVATEAPP, WM_ACTIVATE}));
}

TEST_F(WindowLayerTest, MinimisingSaysSoInSizeAndActivation) {
    HWND window = CreateShown();
    TestHostPushEvent(window, Event(HostEventKind::Minimised));
    Drain();
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_SIZE, WM_ACTIVATE, WM_ACTIVATEAPP}));
    EXPECT_EQ(gCalls[0].wParam, SIZE_MINIMIZED);
    EXPECT_EQ(gCalls[1].wParam, MAKEWPARAM(WA_INACTIVE, 1));
    EXPECT_TRUE(IsIconic(window));
    gCalls.clear();
    TestHostPushEvent(window, Event(HostEventKind::Restored));
    Drain();
    ASSERT_EQ(Messages().size(), 3u);
    EXPECT_EQ(gCalls[0].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(gCalls[0].lParam, MAKELPARAM(320, 240));
    EXPECT_FALSE(IsIconic(window));
}

// The orders in which SDL reports a window manager minimising and restoring a window. A
// restore that maps the window again is reported shown, without restored.
const std::vector<std::vector<HostEventKind>> kMinimiseOrders = {
    {HostEventKind::FocusLost, HostEventKind::Minimised},
    {HostEventKind::Minimised, HostEventKind::FocusLost},
};
const std::vector<std::vector<HostEventKind>> kRestoreOrders = {
    {HostEventKind::Restored, HostEventKind::FocusGained},
    {HostEventKind::Shown, HostEventKind::Exposed, HostEventKind::FocusGained},
    {HostEventKind::FocusGained, HostEventKind::Shown, HostEventKind::Exposed},
};

TEST_F(WindowLayerTest, AWindowManagersMinimiseAndRestoreInEachOrderSayItAsWindowsWould) {
    using Seen = std::vector<std::pair<UINT, WPARAM>>;
    // The size and activation messages since the last look, as {message, wParam}.
    auto sizeAndActivation = [] {
        Seen seen;
        for (const Call& call : gCalls) {
            if (call.message == WM_SIZE || call.message == WM_ACTIVATE ||
                call.message == WM_ACTIVATEAPP) {
                seen.emplace_back(call.message, call.wParam);
            }
        }
        gCalls.clear();
        return seen;
    };
    const Seen deactivated[] = {
        {{WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, FALSE}, {WM_SIZE, SIZE_MINIMIZED}},
        {{WM_SIZE, SIZE_MINIMIZED},
         {WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1)},
         {WM_ACTIVATEAPP, FALSE}},
    };
    HWND window = CreateShown();
    for (size_t m = 0; m < kMinimiseOrders.size(); m++) {
        for (size_t r = 0; r < kRestoreOrders.size(); r++) {
            SCOPED_TRACE(testing::Message() << "minimise order " << m << ", restore order " << r);
            for (HostEventKind kind : kMinimiseOrders[m]) TestHostPushEvent(window, Event(kind));
            Drain();
            EXPECT_EQ(sizeAndActivation(), deactivated[m]);
            EXPECT_TRUE(IsIconic(window));
            EXPECT_EQ(GetActiveWindow(), nullptr);
            for (HostEventKind kind : kRestoreOrders[r]) TestHostPushEvent(window, Event(kind));
            Drain();
            EXPECT_EQ(
                sizeAndActivation(),
                (Seen{{WM_SIZE, SIZE_RESTORED}, {WM_ACTIVATEAPP, TRUE}, {WM_ACTIVATE, WA_ACTIVE}}));
            EXPECT_FALSE(IsIconic(window));
            EXPECT_EQ(GetActiveWindow(), window);
        }
    }
    // Shown while not minimised (as after the layer's own showing) changes nothing.
    TestHostPushEvent(window, Event(HostEventKind::FocusLost));
    Drain();
    gCalls.clear();
    TestHostPushEvent(window, Event(HostEventKind::Shown));
    Drain();
    EXPECT_EQ(sizeAndActivation(), Seen{});
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(WindowLayerTest, TheCloseButtonClosesThroughTheSystemCommand) {
    HWND window = CreateShown();
    TestHostPushEvent(window, Event(HostEventKind::Close));
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    std::vector<UINT> messages = Messages();
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages[0], static_cast<UINT>(WM_SYSCOMMAND));
    EXPECT_EQ(gCalls[0].wParam, SC_CLOSE);
    EXPECT_EQ(messages[1], static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(messages[messages.size() - 2], static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(TestHostReadWindow(window).exists);
}

TEST_F(WindowLayerTest, TheQueueAnswersInWindowsOrderAndByFilter) {
    HWND window = CreateShown();
    PostMessageA(nullptr, WM_USER + 2, 0, 0);
    PostMessageA(window, WM_USER, 1, 0);
    PostQuitMessage(7);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(msg.hwnd, nullptr);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    // The quit message comes once the posted ones are gone.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowLayerTest, AMessageSentFromAnotherThreadRunsOnTheWindowsThread) {
    HWND window = CreateShown();
    std::atomic<LRESULT> result{0};
    std::atomic<bool> done{false};
    std::thread sender([&] {
        result = SendMessageA(window, WM_USER + 1, 0, 0);
        done = true;
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    MSG msg;
    while (!done && std::chrono::steady_clock::now() < deadline) {
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        std::this_thread::yield();
    }
    sender.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_USER + 1});
}

TEST_F(WindowLayerTest, TypedTextBecomesCp932CharactersLeadByteFirst) {
    HWND window = CreateShown();
    HostEvent down = Key(HostEventKind::KeyDown, 'A');
    TestHostPushEvent(window, down);
    HostEvent text = Event(HostEventKind::Text);
    text.text = "\xE3\x81\x82";  // the kana A, typed through an input method
    TestHostPushEvent(window, text);
    TestHostPushEvent(window, Key(HostEventKind::KeyUp, 'A'));
    EXPECT_EQ(TakeCharacters(WM_CHAR), "\x82\xA0");
}

TEST_F(WindowLayerTest, ControlKeysGiveControlCodes) {
    HWND window = CreateShown();
    for (BYTE key : {VK_LCONTROL, BYTE('C')})
        TestHostPushEvent(window, Key(HostEventKind::KeyDown, key));
    TestHostPushEvent(window, Key(HostEventKind::KeyDown, VK_RETURN));
    TestHostPushEvent(window, Key(HostEventKind::KeyUp, VK_LCONTROL));
    for (BYTE key : {VK_BACK, VK_TAB, VK_ESCAPE})
        TestHostPushEvent(window, Key(HostEventKind::KeyDown, key));
    EXPECT_EQ(TakeCharacters(WM_CHAR), std::string("\x03\n\x08\x09\x1B"));
}

TEST_F(WindowLayerTest, KeyMessagesCarryTheScanCodeAndTellTheTwoEntersApart) {
    HWND window = CreateShown();
    TestHostPushEvent(window, Key(HostEventKind::KeyDown, VK_RETURN));
    HostEvent numericPadEnter = Key(HostEventKind::KeyDown, VK_RETURN);
    numericPadEnter.scanCode = 0x9C;
    TestHostPushEvent(window, numericPadEnter);
    TestHostPushEvent(window, Key(HostEventKind::KeyUp, VK_UP));
    std::vector<DWORD> lParams;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) {
            lParams.push_back(static_cast<DWORD>(msg.lParam));
        }
    }
    // Scan code in bits 16 to 23, the extended flag in bit 24, a release in bits 30 and 31.
    EXPECT_EQ(lParams, (std::vector<DWORD>{0x001C0001, 0x011C0001, 0xC1480001}));
}

TEST_F(WindowLayerTest, AltEnterGivesASystemCharacterAndSidedKeysAreKept) {
    HWND window = CreateShown();
    TestHostPushEvent(window, Key(HostEventKind::KeyDown, VK_RSHIFT));
    TestHostPushEvent(window, Key(HostEventKind::KeyDown, VK_LMENU));
    TestHostPushEvent(window, Key(HostEventKind::KeyDown, VK_RETURN));
    MSG msg;
    std::vector<UINT> keyMessages;
    std::string system;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        keyMessages.push_back(msg.message);
        if (msg.message == WM_SYSCHAR) system += static_cast<char>(msg.wParam);
        TranslateMessage(&msg);
    }
    EXPECT_EQ(keyMessages,
              (std::vector<UINT>{WM_KEYDOWN, WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSCHAR}));
    EXPECT_EQ(system, "\r");
    BYTE keys[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_NE(keys[VK_RSHIFT] & 0x80, 0);
    EXPECT_EQ(keys[VK_LSHIFT] & 0x80, 0);
    EXPECT_NE(keys[VK_SHIFT] & 0x80, 0);
    EXPECT_NE(keys[VK_MENU] & 0x80, 0);
    EXPECT_LT(GetKeyState(VK_RSHIFT), 0);
}

TEST_F(WindowLayerTest, TimersFireWhenTheirTimeComes) {
    HWND window = CreateShown();
    static int fired = 0;
    fired = 0;
    SetTimer(window, 5, 100, nullptr);
    UINT_PTR threadTimer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { fired++; });
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    TestAdvanceClockMicroseconds(60'000);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    DispatchMessageA(&msg);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    TestAdvanceClockMicroseconds(45'000);
    ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    DispatchMessageA(&msg);
    EXPECT_EQ(gCalls.back().message, static_cast<UINT>(WM_TIMER));
    EXPECT_TRUE(KillTimer(window, 5));
    EXPECT_TRUE(KillTimer(nullptr, threadTimer));
    TestAdvanceClockMicroseconds(500'000);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowLayerTest, PaintingCoversTheInvalidAreaAndFillsTheSurface) {
    HWND window = CreateShown();
    RECT part = {10, 10, 20, 30};
    InvalidateRect(window, &part, FALSE);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    // A paint message stays until the window is painted.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    EXPECT_EQ(paint.rcPaint.left, 10);
    EXPECT_EQ(paint.rcPaint.bottom, 30);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    EXPECT_EQ(FillRect(dc, &paint.rcPaint, red), 1);
    DeleteObject(red);
    EndPaint(window, &paint);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    int width = 0, height = 0;
    std::vector<uint32_t> pixels = TestHostReadSurface(window, &width, &height);
    ASSERT_EQ(width, 320);
    EXPECT_EQ(pixels[15 * 320 + 12], 0xFF0000u);
    EXPECT_EQ(pixels[15 * 320 + 25], 0u);
}

TEST_F(WindowLayerTest, DisplayModesAlwaysOfferTheSmallModes) {
    TestHostSetDisplayModes({{1920, 1080, 32, 60}, {800, 600, 8, 60}});
    std::vector<std::string> modes;
    DEVMODEA mode{};
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); i++) {
        modes.push_back(std::to_string(mode.dmPelsWidth) + "x" + std::to_string(mode.dmPelsHeight) +
                        "x" + std::to_string(mode.dmBitsPerPel));
    }
    EXPECT_EQ(modes, (std::vector<std::string>{"1920x1080x32", "640x480x16", "320x240x16",
                                               "640x480x32", "320x240x32"}));
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    mode.dmPelsWidth = 800;
    mode.dmPelsHeight = 600;
    mode.dmBitsPerPel = 32;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    mode.dmPelsWidth = 640;
    mode.dmPelsHeight = 480;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
    ReleaseDC(nullptr, screen);
}

TEST_F(WindowLayerTest, ACaptionlessTopmostPopupAtTheOriginIsFullScreen) {
    HWND window = Create(WS_POPUP, WS_EX_TOPMOST, 0, 0);
    ShowWindow(window, SW_SHOW);
    EXPECT_TRUE(TestHostReadWindow(window).fullScreen);
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_CAPTION));
    EXPECT_FALSE(TestHostReadWindow(window).fullScreen);
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WS_POPUP));
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_FALSE(TestHostReadWindow(window).fullScreen);
}

TEST_F(WindowLayerTest, TheCursorShowsWhileItsCounterIsNotNegative) {
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(TestHostCursorShown());
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_TRUE(TestHostCursorShown());
    SetCursor(nullptr);
    EXPECT_FALSE(TestHostCursorShown());
}

TEST_F(WindowLayerTest, WithoutADisplayNoWindowIsMade) {
    TestHostFailStart(true);
    EXPECT_EQ(Create(), nullptr);
}

TEST_F(WindowLayerTest, AWindowOfAnotherProcessIsFoundByItsClass) {
    char pattern[] = "/tmp/orbek_locks_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    TestSetWindowLockDirectory(pattern);
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "SharedClass";
        RegisterClassExA(&windowClass);
        HWND window = CreateWindowExA(0, "SharedClass", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
        char byte = window != nullptr ? 1 : 0;
        (void)!write(toParent[1], &byte, 1);
        (void)!read(toChild[0], &byte, 1);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(toParent[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    HWND found = FindWindowA("sharedclass", nullptr);
    EXPECT_NE(found, nullptr);
    EXPECT_FALSE(DestroyWindow(found));
    (void)!write(toChild[1], &byte, 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(FindWindowA("SharedClass", nullptr), nullptr);
    std::string lockFile = std::string(pattern) + "/orbek-window-534841524544434c415353.lock";
    unlink(lockFile.c_str());
    rmdir(pattern);
}

TEST_F(WindowLayerTest, OnlyTheWindowsThreadMayDestroyIt) {
    HWND window = CreateShown();
    BOOL destroyed = TRUE;
    std::thread other([&] { destroyed = DestroyWindow(window); });
    other.join();
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
}

TEST_F(WindowLayerTest, TheClipboardIsOnlyReadWhileOpen) {
    TestHostSetClipboardText("abc");
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_TEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(GlobalSize(data), 4u);
    EXPECT_STREQ(static_cast<const char*>(GlobalLock(data)), "abc");
    std::thread other([] { EXPECT_FALSE(OpenClipboard(nullptr)); });
    other.join();
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());
}

TEST_F(WindowLayerTest, SystemParametersKeepWhatTheFrameworkSets) {
    DWORD timeout = 0;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0));
    EXPECT_EQ(timeout, 200000u);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<LPVOID>(5), 0);
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    EXPECT_EQ(timeout, 5u);
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, SPIF_SENDCHANGE));
    EXPECT_FALSE(TestHostScreenSaverEnabled());
    BOOL active = TRUE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    EXPECT_FALSE(active);
    // A switch that only Windows 9x had is refused.
    EXPECT_FALSE(SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 1, &active, 0));
}

TEST_F(WindowLayerTest, DroppedFilesReachOnlyWindowsThatAcceptThem) {
    HWND window = CreateShown();
    HostEvent drop = Event(HostEventKind::DropFile);
    drop.text = "/tmp/\xE3\x81\x82.txt";
    TestHostPushEvent(window, drop);
    Drain();
    EXPECT_TRUE(gCalls.empty());
    DragAcceptFiles(window, TRUE);
    TestHostPushEvent(window, drop);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    ASSERT_EQ(msg.message, static_cast<UINT>(WM_DROPFILES));
    HDROP files = reinterpret_cast<HDROP>(msg.wParam);
    EXPECT_EQ(DragQueryFileA(files, 0xFFFFFFFF, nullptr, 0), 1u);
    EXPECT_EQ(DragQueryFileA(files, 0, nullptr, 0), 11u);
    char path[8];
    EXPECT_EQ(DragQueryFileA(files, 0, path, sizeof path), 7u);
    EXPECT_STREQ(path, "/tmp/\x82\xA0");
    DragFinish(files);
}

// The headless output mixes what the clock says is due, but after a wait of seconds at most a
// second of it, as a device that resumes after a stall: the rest is dropped, not mixed.
int64_t gMixedFrames = 0;

void CountMixedFrames(void*, int16_t*, int32_t frames) {
    gMixedFrames += frames;
}

TEST_F(WindowLayerTest, TheHeadlessOutputMixesAtMostASecondAfterAWait) {
    gMixedFrames = 0;
    ASSERT_TRUE(kHeadlessHost.openAudio(44100, CountMixedFrames, nullptr));
    TestAdvanceClockMicroseconds(500'000);
    kHeadlessHost.serviceAudio();
    EXPECT_EQ(gMixedFrames, 22050);
    TestAdvanceClockMicroseconds(30'000'000);
    kHeadlessHost.serviceAudio();
    EXPECT_EQ(gMixedFrames, 22050 + 44100);
    // The output goes on from now, the dropped span counted as played.
    TestAdvanceClockMicroseconds(10'000);
    kHeadlessHost.closeAudio();
    EXPECT_EQ(gMixedFrames, 22050 + 44100 + 441);
    EXPECT_EQ(TestHostAudioFrames(), 22050u + 30u * 44100 + 441);
}

}  // namespace
