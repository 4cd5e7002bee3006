// The message pump and the window procedure behind it, on the headless host: the five-message
// limit, the end of the program, activation deferred through the ring, waiting while
// minimised, Alt+Enter, and the messages the procedure answers itself.
#include "app/message_pump.h"

#include <gtest/gtest.h>
#include <platform/mmsystem.h>
#include <platform/testing_host.h>
#include <platform/win32.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "core/clocks.h"
#include "graphics/screen_state.h"
#include "library_fixture.h"

namespace {

struct Observed {
    std::vector<int32_t> callbacks;            // the active value of each activation callback
    std::vector<int32_t> ringAtCallback;       // the ring's count at each callback
    std::vector<int32_t> activeAtUserMessage;  // the active flag when WM_USER arrived
    std::vector<int32_t> ringAtUserMessage;
    std::vector<int32_t> inPumpAfterNestedPump;
    bool nestPump = false;
};

Observed gObserved;

void RecordActivation(int32_t active, void* data) {
    gObserved.callbacks.push_back(active);
    gObserved.ringAtCallback.push_back(CountQueuedActivations());
}

LRESULT ObserveUserMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            int32_t* handled) {
    if (message == WM_USER) {
        gObserved.activeAtUserMessage.push_back(gShell.active);
        gObserved.ringAtUserMessage.push_back(CountQueuedActivations());
        if (gObserved.nestPump) {
            PumpMessagesUnlocked();
            gObserved.inPumpAfterNestedPump.push_back(gMainWindow.inPump);
        }
    }
    return 0;
}

class MessagePumpTest : public LibraryFixture {
protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        gObserved = Observed{};
        gMainWindow.settings.activationCallback = RecordActivation;
        gMainWindow.settings.messageHook = ObserveUserMessages;
        ASSERT_EQ(SetupLibrary(), 0);
        // Start-up leaves paint and cursor messages behind; the tests begin with a quiet queue.
        while (PumpMessages() == 0 && PendingMessages()) {
        }
        TestRecordWindowCalls(true);
    }

    static bool PendingMessages() {
        MSG msg;
        return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
    }

    static int CountCalls(const std::vector<TestWindowCall>& calls, UINT message) {
        int count = 0;
        for (const TestWindowCall& call : calls) count += call.message == message ? 1 : 0;
        return count;
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
};

TEST_F(MessagePumpTest, DispatchesAtMostFiveMessagesACall) {
    for (int i = 0; i < 10; i++) PostMessageA(GetMainHwnd(), WM_USER, i, 0);
    EXPECT_EQ(PumpMessages(), 0);
    std::vector<TestWindowCall> calls = TestTakeWindowCalls();
    ASSERT_EQ(CountCalls(calls, WM_USER), 5);
    EXPECT_EQ(PumpMessages(), 0);
    calls = TestTakeWindowCalls();
    ASSERT_EQ(CountCalls(calls, WM_USER), 5);
    EXPECT_EQ(calls.back().wParam, 9u);
    EXPECT_FALSE(PendingMessages());
}

TEST_F(MessagePumpTest, AFewMessagesAreAllDispatchedInOneCall) {
    for (int i = 0; i < 3; i++) PostMessageA(GetMainHwnd(), WM_USER, i, 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(CountCalls(TestTakeWindowCalls(), WM_USER), 3);
}

TEST_F(MessagePumpTest, ReturnsMinusOneOnceTheProgramMustEnd) {
    PostQuitMessage(0);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(gMainWindow.quit, 1);
    EXPECT_EQ(IsQuitting(), 1);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(PumpMessages(), -1);
}

TEST_F(MessagePumpTest, TheCloseButtonEndsTheProgram) {
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::Close));
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(gMainWindow.windowDestroyed, 1);
    EXPECT_EQ(gShell.ending, 4);
    EXPECT_FALSE(IsWindow(GetMainHwnd()));
    EXPECT_TRUE(InOrder(ReadLog(), {"ウインドウを閉じようとしています\r\n",
                                    "ウインドウが破棄されようとしています\r\n"}));
}

TEST_F(MessagePumpTest, ActivationChangesWaitInTheRingUntilTheMessagesAreDispatched) {
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::FocusLost));
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::FocusGained));
    PostMessageA(GetMainHwnd(), WM_USER, 0, 0);
    EXPECT_EQ(PumpMessages(), 0);
    // Deactivation queued WM_ACTIVATE and WM_ACTIVATEAPP(0), activation WM_ACTIVATE; none of
    // them had been handled when WM_USER was dispatched.
    ASSERT_EQ(gObserved.ringAtUserMessage, std::vector<int32_t>{3});
    EXPECT_EQ(gObserved.activeAtUserMessage, std::vector<int32_t>{1});
    // Then, in order: deactivation, activation (WM_ACTIVATEAPP calls back nobody).
    EXPECT_EQ(gObserved.callbacks, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(CountQueuedActivations(), 0);
    EXPECT_EQ(IsAppActive(), 1);
}

TEST_F(MessagePumpTest, TheActivationAfterAFullRingIsHandledAtOnce) {
    for (int i = 0; i < kActivationRingSize; i++) ASSERT_EQ(QueueActivation(WA_ACTIVE, 0), 0);
    EXPECT_EQ(QueueActivation(WA_ACTIVE, 0), -1);
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::FocusLost));
    EXPECT_EQ(PumpMessages(), 0);
    // The deactivation found the ring full and was handled during the dispatch; the queued
    // activations then made the window active again.
    ASSERT_EQ(gObserved.callbacks, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(gObserved.ringAtCallback[0], kActivationRingSize);
    EXPECT_LT(gObserved.ringAtCallback[1], kActivationRingSize);
    EXPECT_EQ(CountQueuedActivations(), 0);
}

TEST_F(MessagePumpTest, AMinimisedWindowHoldsThePumpUntilRestored) {
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::Minimised));
    // This call handles the minimising and the deactivation it brings.
    EXPECT_EQ(PumpMessages(), 0);
    ASSERT_EQ(gMainWindow.minimised, 1);
    ASSERT_EQ(IsAppActive(), 0);
    uint32_t start = GetMillisecondCount(0);
    TestHostScheduleEvent(GetMainHwnd(), Event(HostEventKind::Restored), timeGetTime() + 500);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_GE(GetMillisecondCount(0) - start, 500u);
    EXPECT_EQ(gMainWindow.minimised, 0);
    EXPECT_EQ(IsAppActive(), 1);
    EXPECT_EQ(gObserved.callbacks, (std::vector<int32_t>{0, 1}));
    EXPECT_NE(gMainWindow.inactiveStart, 0xFFFFFFFFu);
}

// A window manager's minimise and restore, in the orders SDL is known to report them: {focus
// lost, minimised} either way round; then restored and focused, or shown again without being
// said restored, with the focus after or before.
class WindowManagerRestoreTest : public MessagePumpTest,
                                 public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(WindowManagerRestoreTest, WaitingForActivationEndsOnceTheWindowIsBack) {
    static const std::vector<HostEventKind> kMinimise[] = {
        {HostEventKind::FocusLost, HostEventKind::Minimised},
        {HostEventKind::Minimised, HostEventKind::FocusLost},
    };
    static const std::vector<HostEventKind> kRestore[] = {
        {HostEventKind::Restored, HostEventKind::FocusGained},
        {HostEventKind::Shown, HostEventKind::Exposed, HostEventKind::FocusGained},
        {HostEventKind::FocusGained, HostEventKind::Shown, HostEventKind::Exposed},
    };
    HWND window = GetMainHwnd();
    for (HostEventKind kind : kMinimise[std::get<0>(GetParam())]) {
        TestHostPushEvent(window, Event(kind));
    }
    EXPECT_EQ(PumpMessages(), 0);
    ASSERT_EQ(gMainWindow.minimised, 1);
    ASSERT_EQ(IsAppActive(), 0);
    ASSERT_EQ(ShouldWaitWhileInactive(), 1);
    uint32_t now = timeGetTime();
    for (HostEventKind kind : kRestore[std::get<1>(GetParam())]) {
        TestHostScheduleEvent(window, Event(kind), now + 500);
    }
    // The bound: a window never seen back waits until the close and fails below.
    TestHostScheduleEvent(window, Event(HostEventKind::Close), now + 60'000);
    EXPECT_EQ(WaitForActivation(), 0);
    EXPECT_EQ(gMainWindow.minimised, 0);
    EXPECT_EQ(IsAppActive(), 1);
    EXPECT_EQ(ShouldWaitWhileInactive(), 0);
    EXPECT_EQ(gObserved.callbacks, (std::vector<int32_t>{0, 1}));
}

INSTANTIATE_TEST_SUITE_P(EachOrder, WindowManagerRestoreTest,
                         ::testing::Combine(::testing::Range(0, 2), ::testing::Range(0, 3)));

TEST_F(MessagePumpTest, WithBackgroundRunAMinimisedWindowDoesNotHoldThePump) {
    gShell.backgroundRun = 1;
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::Minimised));
    EXPECT_EQ(PumpMessages(), 0);
    uint32_t start = GetMillisecondCount(0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_LT(GetMillisecondCount(0) - start, 24u);
    EXPECT_EQ(gMainWindow.minimised, 1);
    EXPECT_EQ(IsAppActive(), 0);
    EXPECT_EQ(ShouldWaitWhileInactive(), 0);
}

TEST_F(MessagePumpTest, WaitForActivationPumpsUntilTheWindowIsActive) {
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::FocusLost));
    EXPECT_EQ(PumpMessages(), 0);
    ASSERT_EQ(IsAppActive(), 0);
    EXPECT_EQ(ShouldWaitWhileInactive(), 1);
    TestHostScheduleEvent(GetMainHwnd(), Event(HostEventKind::FocusGained), timeGetTime() + 100);
    EXPECT_EQ(WaitForActivation(), 0);
    EXPECT_EQ(IsAppActive(), 1);
    EXPECT_EQ(ShouldWaitWhileInactive(), 0);
}

TEST_F(MessagePumpTest, NoWaitForTheActivationOfAWindowThatIsGone) {
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::FocusLost));
    EXPECT_EQ(PumpMessages(), 0);
    ASSERT_EQ(ShouldWaitWhileInactive(), 1);
    HWND window = gShell.window;
    // A handle no window has: as one left behind by a window since destroyed.
    gShell.window = reinterpret_cast<HWND>(uintptr_t{0x7FFFFFF0});
    ASSERT_FALSE(IsWindow(gShell.window));
    EXPECT_EQ(WaitWhileInactive(), 0);
    gShell.window = window;
}

TEST_F(MessagePumpTest, AltEnterSwitchesBetweenWindowAndFullScreen) {
    gMainWindow.settings.altEnterToggle = 1;
    auto pressAltEnter = [] {
        HWND window = GetMainHwnd();
        TestHostPushEvent(window, Key(HostEventKind::KeyDown, VK_LMENU));
        TestHostPushEvent(window, Key(HostEventKind::KeyDown, VK_RETURN));
        TestHostPushEvent(window, Key(HostEventKind::KeyUp, VK_RETURN));
        TestHostPushEvent(window, Key(HostEventKind::KeyUp, VK_LMENU));
    };
    pressAltEnter();
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(gMainWindow.toggleRequested, 1);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(IsWindowedMode(), 0);
    EXPECT_TRUE(TestHostReadWindow(GetMainHwnd()).fullScreen);

    pressAltEnter();
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(IsWindowedMode(), 1);
    TestHostWindow shown = TestHostReadWindow(GetMainHwnd());
    EXPECT_FALSE(shown.fullScreen);
    EXPECT_EQ(shown.width, 640);
    EXPECT_TRUE(InOrder(ReadLog(), {"ウインドウスタイルをフルスクリーンモード用に変更します... ",
                                    "ウインドウスタイルをウインドウモード用に変更します... 完了"}));
}

TEST_F(MessagePumpTest, WithoutTheOptionAltEnterChangesNothing) {
    TestHostPushEvent(GetMainHwnd(), Key(HostEventKind::KeyDown, VK_LMENU));
    TestHostPushEvent(GetMainHwnd(), Key(HostEventKind::KeyDown, VK_RETURN));
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(IsWindowedMode(), 1);
    EXPECT_EQ(gMainWindow.toggleRequested, 0);
}

TEST_F(MessagePumpTest, ANestedPumpGivesBackTheInPumpFlag) {
    gObserved.nestPump = true;
    PostMessageA(GetMainHwnd(), WM_USER, 0, 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(gObserved.inPumpAfterNestedPump, std::vector<int32_t>{1});
    EXPECT_EQ(gMainWindow.inPump, 0);
}

TEST_F(MessagePumpTest, TheProcedureAnswersWhatItHandlesItself) {
    HWND window = GetMainHwnd();
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 1);
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 1);
    EXPECT_EQ(SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(10, 3)), HTCLIENT);
    SendMessageA(window, WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<WORD>(-240)) << 16, 0);
    SendMessageA(window, WM_MOUSEWHEEL, static_cast<WPARAM>(120) << 16, 0);
    EXPECT_EQ(gMainWindow.wheel, -120);
}

TEST_F(MessagePumpTest, MouseClicksAreLoggedWithTheirClientPosition) {
    HostEvent click = Event(HostEventKind::MouseButtonDown);
    click.button = 1;
    click.x = 30;
    click.y = 40;
    TestHostPushEvent(GetMainHwnd(), click);
    click.button = 2;
    TestHostPushEvent(GetMainHwnd(), click);
    EXPECT_EQ(PumpMessages(), 0);
    ASSERT_EQ(gMainWindow.clickCount, 2);
    EXPECT_EQ(gMainWindow.clicks[0].button, 1);
    EXPECT_EQ(gMainWindow.clicks[0].x, 30);
    EXPECT_EQ(gMainWindow.clicks[0].y, 40);
    EXPECT_EQ(gMainWindow.clicks[1].button, 2);
}

TEST_F(MessagePumpTest, DroppingMoreThanAThousandFilesKeepsTheFirstThousand) {
    DragAcceptFiles(GetMainHwnd(), TRUE);
    for (int i = 0; i < 1001; i++) {
        HostEvent drop = Event(HostEventKind::DropFile);
        drop.text = "/data/file" + std::to_string(i);
        TestHostPushEvent(GetMainHwnd(), drop);
    }
    EXPECT_EQ(PumpMessages(), 0);
    ASSERT_EQ(gMainWindow.droppedFileCount, 1000);
    EXPECT_STREQ(gMainWindow.droppedFiles[0], "/data/file0");
    EXPECT_STREQ(gMainWindow.droppedFiles[999], "/data/file999");
    FreeDroppedFiles();
    EXPECT_EQ(gMainWindow.droppedFileCount, 0);
}

TEST_F(MessagePumpTest, ClipboardTextCrossesTheHostAsUtf8) {
    EXPECT_EQ(WriteClipboardText("日本語"), 0);
    EXPECT_EQ(TestHostClipboardText(), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
    TestHostSetClipboardText("\xE3\x81\x82");  // UTF-8 for the kana A
    EXPECT_EQ(ReadClipboardText(nullptr, 0), 4);
    char text[8];
    EXPECT_EQ(ReadClipboardText(text, sizeof text), 0);
    EXPECT_STREQ(text, "あ");
    char small[2];
    EXPECT_EQ(ReadClipboardText(small, sizeof small), 0);
    EXPECT_EQ(small[1], '\0');
}

}  // namespace
