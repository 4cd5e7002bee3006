// The key table: host keys reaching CopyAllKeyStates and TestKeyDown by DirectInput key code
// on both paths (the Win32 keyboard state of Windows Vista and later, the DirectInput keyboard
// before), the refresh at most once per millisecond, the re-entry guard, the mouse buttons,
// and the lazy set-up and activation wait of the public queries.
#include <platform/mmsystem.h>

#include <algorithm>
#include <map>
#include <thread>

#include "app/main_window.h"
#include "core/system_info.h"
#include "input/input.h"
#include "input_fixture.h"

namespace {

class KeyboardTest : public InputFixture {};

struct GameKey {
    BYTE virtualKey;
    int dik;
};

// The game's keys: arrows, the numeric pad's directions, Z, P, F5 and Esc.
const GameKey kGameKeys[] = {
    {VK_LEFT, 0xCB},
    {VK_RIGHT, 0xCD},
    {VK_UP, 0xC8},
    {VK_DOWN, 0xD0},
    {VK_NUMPAD0 + 2, 0x50},
    {VK_NUMPAD0 + 4, 0x4B},
    {VK_NUMPAD0 + 6, 0x4D},
    {VK_NUMPAD0 + 8, 0x48},
    {'Z', 0x2C},
    {'P', 0x19},
    {VK_F1 + 4, 0x3F},
    {VK_ESCAPE, 0x01},
};

void ExpectOnlyDown(const std::vector<uint8_t>& keys, std::vector<int> down) {
    for (int dik = 0; dik < 256; ++dik) {
        bool expected = std::find(down.begin(), down.end(), dik) != down.end();
        EXPECT_EQ(keys[dik], expected ? 1 : 0) << "key code " << dik;
    }
}

TEST_F(KeyboardTest, TheGamesKeysReachTheTableUnderTheirCodesOnBothPaths) {
    for (int32_t osCode : {kOsCodeWindows7, kOsCodeWindowsXp}) {
        SCOPED_TRACE(osCode);
        gSystemInfo.osCode = osCode;
        ASSERT_EQ(SetupInput(), 0);
        for (const GameKey& key : kGameKeys) {
            Key(key.virtualKey, true);
            NextMillisecond();
            ExpectOnlyDown(Keys(), {key.dik});
            EXPECT_EQ(TestKeyDown(key.dik), 1);
            Key(key.virtualKey, false);
            NextMillisecond();
            EXPECT_EQ(TestKeyDown(key.dik), 0);
        }
        ShutdownInput();
    }
}

// The framework's table from virtual keys to key codes and the layer's from virtual keys to scan
// codes (which the DirectInput keyboard reports) must name the same key: every key of the
// framework's table, pressed through the host, is that key on both paths.
TEST_F(KeyboardTest, EveryKeyOfTheTableIsTheSameKeyOnBothPaths) {
    std::map<BYTE, std::vector<int>> codesOfKey;
    for (const VkToDikRow* row = VkToDikTable; row->virtualKey != 0xFFFF; ++row) {
        codesOfKey[static_cast<BYTE>(row->virtualKey)].push_back(row->dik);
    }
    for (int32_t osCode : {kOsCodeWindows7, kOsCodeWindowsXp}) {
        SCOPED_TRACE(osCode);
        gSystemInfo.osCode = osCode;
        ASSERT_EQ(SetupInput(), 0);
        for (const auto& [virtualKey, codes] : codesOfKey) {
            Key(virtualKey, true);
            NextMillisecond();
            const std::vector<uint8_t> keys = Keys();
            std::vector<int> down;
            for (int dik = 0; dik < 256; ++dik) {
                if (keys[dik] != 0) down.push_back(dik);
            }
            if (osCode == kOsCodeWindows7) {
                // Return stands for both Enter keys in the Win32 state.
                EXPECT_EQ(down, codes) << "virtual key " << int(virtualKey);
            } else {
                ASSERT_EQ(down.size(), 1u) << "virtual key " << int(virtualKey);
                EXPECT_NE(std::find(codes.begin(), codes.end(), down[0]), codes.end())
                    << "virtual key " << int(virtualKey) << " read as " << down[0];
            }
            Key(virtualKey, false);
            NextMillisecond();
        }
        ShutdownInput();
    }
}

// The public header's key names against the framework's table of keys: each name is the code of
// the key it names.
TEST(KeyCodeNames, EachNameIsTheCodeOfItsKey) {
    struct Named {
        int32_t code;
        int virtualKey;
    };
    // clang-format off
    const Named names[] = {
        {kKeyA, 'A'}, {kKeyB, 'B'}, {kKeyC, 'C'}, {kKeyD, 'D'}, {kKeyE, 'E'}, {kKeyF, 'F'},
        {kKeyG, 'G'}, {kKeyH, 'H'}, {kKeyI, 'I'}, {kKeyJ, 'J'}, {kKeyK, 'K'}, {kKeyL, 'L'},
        {kKeyM, 'M'}, {kKeyN, 'N'}, {kKeyO, 'O'}, {kKeyP, 'P'}, {kKeyQ, 'Q'}, {kKeyR, 'R'},
        {kKeyS, 'S'}, {kKeyT, 'T'}, {kKeyU, 'U'}, {kKeyV, 'V'}, {kKeyW, 'W'}, {kKeyX, 'X'},
        {kKeyY, 'Y'}, {kKeyZ, 'Z'},
        {kKey0, '0'}, {kKey1, '1'}, {kKey2, '2'}, {kKey3, '3'}, {kKey4, '4'}, {kKey5, '5'},
        {kKey6, '6'}, {kKey7, '7'}, {kKey8, '8'}, {kKey9, '9'},
        {kKeyF1, VK_F1}, {kKeyF2, VK_F1 + 1}, {kKeyF3, VK_F1 + 2}, {kKeyF4, VK_F1 + 3},
        {kKeyF5, VK_F1 + 4}, {kKeyF6, VK_F1 + 5}, {kKeyF7, VK_F1 + 6}, {kKeyF8, VK_F1 + 7},
        {kKeyF9, VK_F1 + 8}, {kKeyF10, VK_F1 + 9}, {kKeyF11, VK_F1 + 10}, {kKeyF12, VK_F1 + 11},
        {kKeyNumPad0, VK_NUMPAD0}, {kKeyNumPad1, VK_NUMPAD0 + 1}, {kKeyNumPad2, VK_NUMPAD0 + 2},
        {kKeyNumPad3, VK_NUMPAD0 + 3}, {kKeyNumPad4, VK_NUMPAD0 + 4}, {kKeyNumPad5, VK_NUMPAD0 + 5},
        {kKeyNumPad6, VK_NUMPAD0 + 6}, {kKeyNumPad7, VK_NUMPAD0 + 7}, {kKeyNumPad8, VK_NUMPAD0 + 8},
        {kKeyNumPad9, VK_NUMPAD0 + 9}, {kKeyNumPadMultiply, VK_MULTIPLY}, {kKeyNumPadPlus, VK_ADD},
        {kKeyNumPadMinus, VK_SUBTRACT}, {kKeyNumPadPeriod, VK_DECIMAL},
        {kKeyNumPadDivide, VK_DIVIDE}, {kKeyNumPadEnter, VK_RETURN},
        {kKeyEscape, VK_ESCAPE}, {kKeyBackspace, VK_BACK}, {kKeyTab, VK_TAB},
        {kKeyReturn, VK_RETURN}, {kKeySpace, VK_SPACE}, {kKeyCapsLock, VK_CAPITAL},
        {kKeyScrollLock, VK_SCROLL}, {kKeyPause, VK_PAUSE},
        {kKeyLeftShift, VK_LSHIFT}, {kKeyRightShift, VK_RSHIFT}, {kKeyLeftControl, VK_LCONTROL},
        {kKeyRightControl, VK_RCONTROL}, {kKeyLeftAlt, VK_LMENU}, {kKeyRightAlt, VK_RMENU},
        {kKeyMinus, VK_OEM_MINUS}, {kKeyCaret, VK_OEM_7}, {kKeyYen, VK_OEM_5}, {kKeyAt, VK_OEM_3},
        {kKeyLeftBracket, VK_OEM_4}, {kKeySemicolon, VK_OEM_PLUS}, {kKeyColon, VK_OEM_1},
        {kKeyRightBracket, VK_OEM_6}, {kKeyComma, VK_OEM_COMMA}, {kKeyPeriod, VK_OEM_PERIOD},
        {kKeySlash, VK_OEM_2}, {kKeyBackslash, VK_OEM_102},
        {kKeyInsert, VK_INSERT}, {kKeyDelete, VK_DELETE}, {kKeyHome, VK_HOME}, {kKeyEnd, VK_END},
        {kKeyPageUp, VK_PRIOR}, {kKeyPageDown, VK_NEXT},
        {kKeyLeft, VK_LEFT}, {kKeyRight, VK_RIGHT}, {kKeyUp, VK_UP}, {kKeyDown, VK_DOWN},
    };
    // clang-format on
    for (const Named& name : names) {
        bool found = false;
        for (const VkToDikRow* row = VkToDikTable; row->virtualKey != 0xFFFF; ++row) {
            found = found || (row->virtualKey == name.virtualKey && row->dik == name.code);
        }
        EXPECT_TRUE(found) << "key code " << name.code << " for virtual key " << name.virtualKey;
    }
}

TEST_F(KeyboardTest, TheWin32PathSetsBothReturnCodesAndTheSidedShifts) {
    ASSERT_EQ(SetupInput(), 0);
    Key(VK_RETURN, true);
    Key(VK_RSHIFT, true);
    NextMillisecond();
    ExpectOnlyDown(Keys(), {0x1C, 0x9C, 0x36});
    EXPECT_EQ(TestKeyDown(-1), 0);
    EXPECT_EQ(TestKeyDown(256), 0);
    EXPECT_EQ(CopyAllKeyStates(nullptr), -1);
}

TEST_F(KeyboardTest, TheDirectInputKeyboardTellsTheNumericPadsEnterFromReturn) {
    gSystemInfo.osCode = kOsCodeWindowsXp;
    ASSERT_EQ(SetupInput(), 0);
    Key(VK_RETURN, true, 0x9C);
    NextMillisecond();
    ExpectOnlyDown(Keys(), {0x9C});
    Key(VK_RETURN, false, 0x9C);
    Key(VK_RETURN, true);
    NextMillisecond();
    ExpectOnlyDown(Keys(), {0x1C});
}

TEST_F(KeyboardTest, TheTableIsReadAtMostOncePerMillisecond) {
    ASSERT_EQ(SetupInput(), 0);
    HoldClock();
    Keys();
    Key('Z', true);
    EXPECT_EQ(Keys()[0x2C], 0);
    EXPECT_EQ(UpdateKeyboardState(1), 0);
    NextMillisecond();
    EXPECT_EQ(Keys()[0x2C], 1);
}

TEST_F(KeyboardTest, TheDirectInputKeyboardIsReadAgainWhenItsEventIsSignalled) {
    gSystemInfo.osCode = kOsCodeWindowsXp;
    ASSERT_EQ(SetupInput(), 0);
    HoldClock();
    NextMillisecond();
    TestRecordDirectInputCalls(true);
    EXPECT_EQ(UpdateKeyboardState(0), 1);
    EXPECT_EQ(UpdateKeyboardState(0), 0);
    ASSERT_NE(gInput.keyboardEvent, nullptr);
    SetEvent(gInput.keyboardEvent);
    EXPECT_EQ(UpdateKeyboardState(0), 1);
    EXPECT_EQ(WaitForSingleObject(gInput.keyboardEvent, 0), WAIT_TIMEOUT);
    EXPECT_EQ(TestTakeDirectInputCalls(), (std::vector<std::string>{
                                              "keyboard GetDeviceState 256",
                                              "keyboard GetDeviceState 256",
                                          }));
}

TEST_F(KeyboardTest, ALostDirectInputKeyboardIsAcquiredAndReadAgain) {
    gSystemInfo.osCode = kOsCodeWindowsXp;
    ASSERT_EQ(SetupInput(), 0);
    Key('P', true);
    NextMillisecond();
    TestRecordDirectInputCalls(true);
    TestFailNthCall("IDirectInputDevice::GetDeviceState", 1);
    EXPECT_EQ(UpdateKeyboardState(1), 1);
    EXPECT_EQ(TestTakeDirectInputCalls(),
              (std::vector<std::string>{"keyboard GetDeviceState 256", "keyboard Acquire",
                                        "keyboard GetDeviceState 256"}));
    EXPECT_EQ(TestKeyDown(0x19), 1);
    // When the second read fails too, the table stays as it was.
    Key('P', false);
    NextMillisecond();
    TestFailNthCall("IDirectInputDevice::GetDeviceState", 1);
    TestFailNthCall("IDirectInputDevice::Acquire", 1);
    EXPECT_EQ(UpdateKeyboardState(1), 0);
    EXPECT_EQ(gInput.keys[0x19], 0x80);
}

// A message handled inside the pump that UpdateKeyboardState runs asks for the keyboard again.
std::vector<int> gNestedResults;
LRESULT AskForTheKeyboard(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                          int32_t* handled) {
    if (message == WM_USER) gNestedResults.push_back(UpdateKeyboardState(1));
    return 0;
}

TEST_F(KeyboardTest, ARefreshIsNotReenteredFromThePumpItRuns) {
    ASSERT_EQ(SetupInput(), 0);
    gNestedResults.clear();
    gMainWindow.settings.messageHook = AskForTheKeyboard;
    PostMessageA(GetMainHwnd(), WM_USER, 0, 0);
    NextMillisecond();
    EXPECT_EQ(UpdateKeyboardState(1), 1);
    gMainWindow.settings.messageHook = nullptr;
    EXPECT_EQ(gNestedResults, std::vector<int>{0});
}

TEST_F(KeyboardTest, TheWin32KeyboardIsReadOnTheMainThreadOnly) {
    ASSERT_EQ(SetupInput(), 0);
    NextMillisecond();
    int result = -1;
    std::thread other([&result] { result = UpdateKeyboardState(0); });
    other.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(UpdateKeyboardState(0), 1);
}

TEST_F(KeyboardTest, TheWin32PathKeepsTheMouseButtons) {
    ASSERT_EQ(SetupInput(), 0);
    HostEvent click;
    click.kind = HostEventKind::MouseButtonDown;
    click.button = 2;
    TestHostPushEvent(GetMainHwnd(), click);
    NextMillisecond();
    Keys();
    EXPECT_EQ(gInput.mouseButtons[0], 0);
    EXPECT_EQ(gInput.mouseButtons[1], 1);
    EXPECT_EQ(gInput.mouseButtons[2], 0);
}

TEST_F(KeyboardTest, AQueryWithoutInputSetsItUpInsteadOfAnswering) {
    Key('Z', true);
    EXPECT_EQ(TestKeyDown(0x2C), 0);
    EXPECT_EQ(gInput.setUp, 1);
    NextMillisecond();
    EXPECT_EQ(TestKeyDown(0x2C), 1);
    // Once a close was asked for, queries answer from what there is.
    ShutdownInput();
    gShell.closePosted = 1;
    EXPECT_EQ(CountJoypads(), 0);
    EXPECT_EQ(gInput.setUp, 0);
    gShell.closePosted = 0;
}

TEST_F(KeyboardTest, AQueryWaitsForTheApplicationToBecomeActive) {
    ASSERT_EQ(SetupInput(), 0);
    Focus(false);
    ASSERT_EQ(IsAppActive(), 0);
    HostEvent gained;
    gained.kind = HostEventKind::FocusGained;
    TestHostScheduleEvent(GetMainHwnd(), gained, timeGetTime() + 200);
    Key('Z', true);
    EXPECT_EQ(TestKeyDown(0x2C), 1);
    EXPECT_EQ(IsAppActive(), 1);
}

TEST_F(KeyboardTest, TheKeyboardsBufferSizeMayFailButItsEventMayNot) {
    TestFailNthCall("IDirectInputDevice::SetProperty", 1);
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_NE(gInput.keyboard, nullptr);
    ShutdownInput();
    TestFailNthCall("IDirectInputDevice::SetEventNotification", 1);
    EXPECT_EQ(SetupInput(), -1);
    EXPECT_EQ(gInput.setUp, 0);
    EXPECT_EQ(TestCountDirectInputObjects(), 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"キーボードのプロパティ設定に失敗しました\r\n",
                                    "入力関連の初期化をしました\r\n",
                                    "キーボードイベントのセットアップが失敗しました\r\n"}));
}

TEST_F(KeyboardTest, AMouseOrKeyboardThatCannotBeSetUpEndsTheProgram) {
    const struct {
        const char* function;
        int call;
        const char* message;
    } kFailures[] = {
        {"IDirectInput::CreateDevice", 1, "マウスデバイスの取得に失敗しました\r\n"},
        {"IDirectInputDevice::SetCooperativeLevel", 1,
         "マウスデバイスの協調レベルの設定に失敗しました\r\n"},
        {"IDirectInputDevice::SetDataFormat", 2,
         "キーボードデバイスのデータ形式の設定に失敗しました\r\n"},
    };
    EndWorkersBeforeFork();
    for (const auto& failure : kFailures) {
        EXPECT_EXIT(
            {
                TestFailNthCall(failure.function, failure.call);
                SetupInput();
            },
            ::testing::ExitedWithCode(255), "");
        EXPECT_TRUE(InOrder(ReadLog(), {failure.message, "Alloc memory dump"})) << failure.message;
    }
}

}  // namespace
