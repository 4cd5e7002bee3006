// Joypads: the key map and its defaults, pads through DirectInput (axes with range and dead
// zone, buttons to bits 4 to 27, each set-up step's failure), the fall-backs from DirectInput 7
// to 8 to winmm with winmm's axis mapping, and the set-up's log.
#include <platform/mmsystem.h>
#include <platform/testing.h>

#include "core/platform_dlls.h"
#include "input_fixture.h"

namespace {

class JoypadTest : public InputFixture {
protected:
    static HostJoystickState Axes(int32_t x, int32_t y, uint32_t buttons = 0) {
        HostJoystickState state;
        state.axes[0] = x;
        state.axes[1] = y;
        state.buttons = buttons;
        return state;
    }

    // The pad after the next read of `state`.
    static JoypadBits Read(const HostJoystickState& state, int32_t pad = 1) {
        TestHostSetJoystickState(pad - 1, state);
        NextMillisecond();
        return GetJoypadBits(pad);
    }
};

TEST_F(JoypadTest, TheKeyMapStartsWithPadOnesDefaultsAndSurvivesLaterSetUps) {
    ASSERT_EQ(SetupInput(), 0);
    const int32_t expected[14][2] = {{80, 208}, {75, 203}, {77, 205}, {72, 200}, {44, -1},
                                     {45, -1},  {46, -1},  {30, -1},  {31, -1},  {32, -1},
                                     {16, -1},  {17, -1},  {1, -1},   {57, -1}};
    const auto& map = gInput.settings.keyMap;
    for (int bit = 0; bit < 32; ++bit) {
        int32_t first = bit < 14 ? expected[bit][0] : -1;
        int32_t second = bit < 14 ? expected[bit][1] : -1;
        EXPECT_EQ(map[0][bit][0], first) << bit;
        EXPECT_EQ(map[0][bit][1], second) << bit;
        EXPECT_EQ(map[0][bit][2], 0);
        EXPECT_EQ(map[15][bit][0], -1);
        EXPECT_EQ(map[15][bit][1], -1);
    }
    gInput.settings.keyMap[0][4][0] = 0x2D;  // button 0 on X
    ShutdownInput();
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(gInput.settings.keyMap[0][4][0], 0x2D);
}

TEST_F(JoypadTest, WithoutAPadOnlyTheKeyboardAssignmentAnswers) {
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(CountJoypads(), 0);
    Key(VK_LEFT, true, true);
    Key('Z', true);
    Key(VK_ESCAPE, true);
    Key(VK_NUMPAD0 + 8, true);
    while (PumpMessages() == 0 && PendingMessages()) {
    }
    EXPECT_EQ(GetJoypadBits(1), 0u);
    NextMillisecond();
    JoypadBits expected = kJoypadLeft | kJoypadUp | 1u << 4 | 1u << 12;
    EXPECT_EQ(GetJoypadBits(kJoypadWithKeys | 1), expected);
    EXPECT_EQ(GetJoypadBits(kJoypadWithKeys), expected);
    // Pad 2 has no keys of its own, pads beyond 16 none at all.
    EXPECT_EQ(GetJoypadBits(kJoypadWithKeys | 2), 0u);
    EXPECT_EQ(GetJoypadBits(kJoypadWithKeys | 17), 0u);
}

TEST_F(JoypadTest, AxesPassTheRangeAndDeadZoneAndButtonsBecomeBitsFourToTwentySeven) {
    TestHostSetJoysticks({Pad()});
    ASSERT_EQ(SetupInput(), 0);
    ASSERT_EQ(CountJoypads(), 1);
    const DIJOYSTATE& state = gInput.joypads[0].state;
    EXPECT_EQ(Read(Axes(-32768, 0)), kJoypadLeft);
    EXPECT_EQ(state.lX, -1000);
    EXPECT_EQ(Read(Axes(32767, -32768)), kJoypadRight | kJoypadUp);
    EXPECT_EQ(state.lX, 1000);
    // Within 35 % of the travel nothing moves; beyond it the rest is spread over the range.
    EXPECT_EQ(Read(Axes(11468, -11468)), 0u);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(Read(Axes(0, 22118)), kJoypadDown);
    EXPECT_EQ(state.lY, 500);
    EXPECT_EQ(Read(Axes(0, 0, 0xFFFFFFFF)), 0x0FFFFFF0u);
    EXPECT_EQ(Read(Axes(0, 0, 1u << 23 | 1u << 24)), 1u << 27);
    // Pad 2 does not exist.
    EXPECT_EQ(GetJoypadBits(2), 0u);
    EXPECT_EQ(UpdateJoypadState(16), -1);
}

TEST_F(JoypadTest, APadIsPolledOncePerMillisecondUnlessItsEventIsSignalled) {
    TestHostSetJoysticks({Pad()});
    ASSERT_EQ(SetupInput(), 0);
    HoldClock();
    TestRecordDirectInputCalls(true);
    // The first read finds the pad not acquired: one pump, Acquire, and the second read.
    EXPECT_EQ(UpdateJoypadState(0), 0);
    EXPECT_EQ(TestTakeDirectInputCalls(),
              (std::vector<std::string>{"pad 0 Poll", "pad 0 GetDeviceState 80", "pad 0 Acquire",
                                        "pad 0 GetDeviceState 80"}));
    TestHostSetJoystickState(0, Axes(32767, 0));
    EXPECT_EQ(UpdateJoypadState(0), 0);
    EXPECT_EQ(gInput.joypads[0].state.lX, 0);
    SetEvent(gInput.joypads[0].event);
    EXPECT_EQ(UpdateJoypadState(0), 0);
    EXPECT_EQ(gInput.joypads[0].state.lX, 1000);
    EXPECT_EQ(WaitForSingleObject(gInput.joypads[0].event, 0), WAIT_TIMEOUT);
    // A pad that cannot be read keeps its last state.
    NextMillisecond();
    TestHostSetJoysticks({});
    EXPECT_EQ(UpdateJoypadState(0), 0);
    EXPECT_EQ(GetJoypadBits(1), kJoypadRight);
}

TEST_F(JoypadTest, EachFailingSetUpStepDropsThePadWithItsMessage) {
    struct Step {
        const char* function;
        int call;
        const char* message;
    };
    const Step steps[] = {
        {"IDirectInput::CreateDevice", 1, "入力装置の取得に失敗しました\r\n"},
        {"IDirectInputDevice::SetDataFormat", 1,
         "ジョイパッドデバイスではありませんでした、又は設定に失敗しました\r\n"},
        {"IDirectInputDevice::SetCooperativeLevel", 1,
         "ジョイパッドデバイスの協調レベルの設定に失敗しました\r\n"},
        {"IDirectInputDevice::SetProperty", 1,
         "ジョイパッドデバイスのＸ軸関係の設定に失敗しました\r\n"},
        {"IDirectInputDevice::SetProperty", 2,
         "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\r\n"},
        {"IDirectInputDevice::SetProperty", 3,
         "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\r\n"},
        {"IDirectInputDevice::SetProperty", 4,
         "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\r\n"},
        {"IDirectInputDevice::SetEventNotification", 1,
         "ジョイパッドイベントのセットアップが失敗しました\r\n"},
    };
    TestHostSetJoysticks({Pad()});
    for (const Step& step : steps) {
        SCOPED_TRACE(step.message);
        StartLog();
        TestFailNthCall(step.function, step.call);
        ASSERT_EQ(SetupInput(), 0);
        EXPECT_EQ(CountJoypads(), 0);
        std::string log = ReadLog();
        EXPECT_TRUE(InOrder(log, {"入力装置を見つけました\r\n", step.message,
                                  "ジョイパッドの初期化は正常に終了しました\r\n"}));
        EXPECT_EQ(log.find("ジョイパッドの追加は正常に終了しました"), std::string::npos);
        ShutdownInput();
        EXPECT_EQ(TestCountDirectInputObjects(), 0);
    }
}

TEST_F(JoypadTest, APadWithoutForceFeedbackIsKeptWithoutEffects) {
    TestHostSetJoysticks({Pad(2, 4, false), Pad()});
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(CountJoypads(), 2);
    EXPECT_EQ(gInput.joypads[0].effects[0], nullptr);
    EXPECT_NE(gInput.joypads[1].effects[0], nullptr);
    EXPECT_NE(gInput.joypads[1].effects[1], nullptr);
    EXPECT_TRUE(InOrder(
        ReadLog(),
        {"ジョイパッドの初期化... \r\n", "入力装置を見つけました\r\n", "デバイスの登録名:Pad\r\n",
         "デバイスの製品登録名:Pad Product\r\n", "周期的エフェクトの作成に失敗しました。\r\n",
         "ジョイパッドの追加は正常に終了しました\r\n", "入力装置を見つけました\r\n",
         "ジョイパッドの追加は正常に終了しました\r\n"}));
    EXPECT_STREQ(gInput.joypads[1].productName, "Pad Product");
}

TEST_F(JoypadTest, AtMostSixteenPadsAreHeld) {
    TestHostSetJoysticks(std::vector<TestHostJoystick>(18, Pad()));
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(CountJoypads(), 16);
}

TEST_F(JoypadTest, DirectInputSevenIsPreferred) {
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_NE(gInput.directInput7, nullptr);
    EXPECT_EQ(gInput.directInput8, nullptr);
    EXPECT_TRUE(InOrder(
        ReadLog(),
        {"DirectInput関係初期化処理\r\n", "DirectInput7 の取得中... 成功\r\n",
         "引き続き初期化処理... ", "初期化成功\r\n", "マウスデバイスの初期化... ",
         "キーボードデバイスの初期化... ", "DirectInput 関連の初期化は正常に終了しました\r\n",
         "入力関連の初期化をしました\r\n"}));
    ShutdownInput();
    EXPECT_TRUE(InOrder(ReadLog(), {"DirectInput 関連の終了処理... 完了\r\n"}));
}

TEST_F(JoypadTest, DirectInputEightStandsInWhenSevenCannotBeHadOrInitialised) {
    TestHostSetJoysticks({Pad()});
    TestFailNthCall("CoCreateInstance", 1);
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(gInput.directInput7, nullptr);
    EXPECT_NE(gInput.directInput8, nullptr);
    EXPECT_EQ(CountJoypads(), 1);
    EXPECT_TRUE(InOrder(ReadLog(),
                        {"DirectInput7 の取得中... 取得に失敗。\r\n", "エラーコード 0x80004005\r\n",
                         "DirectInput8 の取得を試みます...初期化成功\r\n"}));
    ShutdownInput();

    TestFailNthCall("IDirectInput7A::Initialize", 1);
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_NE(gInput.directInput8, nullptr);
    EXPECT_TRUE(InOrder(ReadLog(), {"引き続き初期化処理... 初期化に失敗。DirectInput8 の取得"}));
    EXPECT_EQ(Read(Axes(0, 32767)), kJoypadDown);
}

TEST_F(JoypadTest, WithoutDirectInputThePadsComeFromWinmm) {
    TestHostJoystick withZAndR = Pad(4);
    TestHostSetJoysticks({Pad(3), withZAndR, Pad()});
    TestFailNthCall("IDirectInput7A::Initialize", 1);
    TestFailNthCall("IDirectInput8A::Initialize", 1);
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(gInput.multimediaFallback, 1);
    EXPECT_EQ(gInput.settings.NoDirectInputSwitch, 1);
    EXPECT_EQ(CountJoypads(), 3);
    EXPECT_EQ(gInput.joypads[0].hasZAndR, 0);
    EXPECT_EQ(gInput.joypads[1].hasZAndR, 1);
    EXPECT_TRUE(
        InOrder(ReadLog(), {"DirectInput8 の取得を試みます...取得に失敗。DirectInput "
                            "を使用しません。\r\n",
                            "パッドの数は 3 個です\r\n", "入力関連の初期化をしました\r\n"}));

    // The switch stays on: the next set-up goes to winmm at once.
    ShutdownInput();
    EXPECT_TRUE(InOrder(ReadLog(), {"入力関連の終了処理... 完了\r\n"}));
    StartLog();
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(ReadLog().find("DirectInput"), std::string::npos);
    EXPECT_EQ(CountJoypads(), 3);
}

TEST_F(JoypadTest, WinmmAxesMapToThousandthsWithTheMiddleHalfAtRest) {
    TestHostSetJoysticks({Pad(4)});
    gInput.settings.NoDirectInputSwitch = 1;
    ASSERT_EQ(SetupInput(), 0);
    const DIJOYSTATE& state = gInput.joypads[0].state;
    const struct {
        int32_t position;
        LONG mapped;
    } kPositions[] = {{0, -1000}, {1, -999},    {8192, -500}, {16383, 0},
                      {16384, 0}, {20000, 0},   {32767, 0},   {49152, 0},
                      {49153, 0}, {57344, 500}, {65534, 999}, {65535, 1000}};
    for (const auto& entry : kPositions) {
        SCOPED_TRACE(entry.position);
        HostJoystickState raw;
        // The host's axis runs from -32768; winmm reports it from 0.
        for (int axis = 0; axis < 4; ++axis) raw.axes[axis] = entry.position - 32768;
        Read(raw);
        EXPECT_EQ(state.lX, entry.mapped);
        EXPECT_EQ(state.lY, entry.mapped);
        EXPECT_EQ(state.lZ, entry.mapped);
        EXPECT_EQ(state.lRz, entry.mapped);
        EXPECT_EQ(state.lRx, 0);
    }
    EXPECT_EQ(Read(Axes(-32768, 32767, 1u << 0 | 1u << 23 | 1u << 24)),
              kJoypadLeft | kJoypadDown | 1u << 4 | 1u << 27);
    // A failed read leaves nothing held.
    NextMillisecond();
    TestFailNthCall("joyGetPosEx", 1);
    EXPECT_EQ(UpdateJoypadState(0), -1);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.rgbButtons[0], 0);
}

TEST_F(JoypadTest, WinmmCountsPadsUpToTheFirstThatDoesNotAnswer) {
    TestHostSetJoysticks({Pad(), Pad(), Pad()});
    gInput.settings.NoDirectInputSwitch = 1;
    TestFailNthCall("joyGetDevCapsA", 2);
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(CountJoypads(), 1);
    EXPECT_EQ(SetupJoypads(), -1);
    EXPECT_EQ(ReleaseJoypads(), -1);
}

TEST_F(JoypadTest, WithoutOle32NoDirectInputIsTried) {
    TestSetExportMissing("ole32.dll", "CoCreateInstance", true);
    FreePlatformDlls();
    LoadPlatformDlls();
    TestHostSetJoysticks({Pad()});
    ASSERT_EQ(SetupInput(), 0);
    EXPECT_EQ(gInput.multimediaFallback, 1);
    EXPECT_EQ(Read(Axes(32767, 0)), kJoypadRight);
}

}  // namespace
