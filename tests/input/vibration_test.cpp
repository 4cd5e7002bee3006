// Vibration and activation: the two effects started and stopped as the vibration and its
// power say, expiry through TickJoypadRumble, effects stopped while the application is
// inactive, devices re-acquired on every activation change, and the release of everything
// at shutdown.
#include "input_fixture.h"

namespace {

class VibrationTest : public InputFixture {
protected:
    void SetUp() override {
        InputFixture::SetUp();
        TestHostSetJoysticks({Pad(), Pad(2, 4, false)});
        ASSERT_EQ(SetupInput(), 0);
        ASSERT_EQ(CountJoypads(), 2);
        TestHostTakeJoystickEffects();
    }

    // The effects started (+slot) and stopped (-slot - 1) on pad 0 since the last call.
    static std::vector<int> EffectCalls() {
        std::vector<int> calls;
        for (const TestHostEffectCall& call : TestHostTakeJoystickEffects()) {
            EXPECT_EQ(call.index, 0);
            calls.push_back(call.start ? call.slot : -call.slot - 1);
        }
        return calls;
    }
};

TEST_F(VibrationTest, StrongVibrationAddsTheSineAndEndsAfterItsDuration) {
    HoldClock();
    ASSERT_EQ(StartJoypadRumble(1, 8000, 100), 0);
    std::vector<TestHostEffectCall> started = TestHostTakeJoystickEffects();
    ASSERT_EQ(started.size(), 2u);
    const HostJoystickEffect& push = started[0].effect;
    EXPECT_FALSE(push.sine);
    EXPECT_EQ(push.magnitude, 10000);
    EXPECT_EQ(push.lengthMs, 0u);
    const HostJoystickEffect& wave = started[1].effect;
    EXPECT_TRUE(wave.sine);
    EXPECT_EQ(wave.magnitude, 10000);
    EXPECT_EQ(wave.periodMs, 1500u);
    EXPECT_EQ(wave.attackLevel, 0);
    EXPECT_EQ(wave.attackMs, 500u);
    EXPECT_EQ(wave.fadeLevel, 0);
    EXPECT_EQ(wave.fadeMs, 1000u);
    EXPECT_EQ(wave.lengthMs, 0u);

    TestAdvanceClockMicroseconds(99'000);
    TickJoypadRumble();
    EXPECT_EQ(EffectCalls(), std::vector<int>{});
    EXPECT_EQ(gInput.joypads[0].vibrationElapsed, 99);
    NextMillisecond();
    TickJoypadRumble();
    EXPECT_EQ(EffectCalls(), (std::vector<int>{-1, -2}));
    EXPECT_EQ(gInput.joypads[0].vibrationOn, 0);
    EXPECT_EQ(gInput.joypads[0].vibrationPower, 10000);
}

TEST_F(VibrationTest, GentleVibrationRunsOnlyTheConstantForceUntilStopped) {
    ASSERT_EQ(StartJoypadRumble(1, 5000, -1), 0);
    EXPECT_EQ(EffectCalls(), std::vector<int>{0});
    TestAdvanceClockMicroseconds(60'000'000);
    TickJoypadRumble();
    EXPECT_EQ(EffectCalls(), std::vector<int>{});
    EXPECT_EQ(StopJoypadRumble(1), 0);
    EXPECT_EQ(EffectCalls(), std::vector<int>{-1});
    EXPECT_EQ(StopJoypadRumble(1), 0);
    EXPECT_EQ(EffectCalls(), std::vector<int>{});
}

TEST_F(VibrationTest, OnlyPadsWithEffectsVibrate) {
    EXPECT_EQ(StartJoypadRumble(2, 10000, -1), -1);
    EXPECT_EQ(StartJoypadRumble(3, 10000, -1), -1);
    EXPECT_EQ(StartJoypadRumble(0, 10000, -1), -1);
    EXPECT_EQ(StopJoypadRumble(3), 0);
    EXPECT_EQ(EffectCalls(), std::vector<int>{});
}

TEST_F(VibrationTest, EffectsStopWhileInactiveAndResumeOnActivation) {
    ASSERT_EQ(StartJoypadRumble(1, 10000, -1), 0);
    EXPECT_EQ(EffectCalls(), (std::vector<int>{0, 1}));
    Focus(false);
    EXPECT_EQ(EffectCalls(), (std::vector<int>{-1, -2}));
    EXPECT_EQ(gInput.joypads[0].effectPlaying[0], 0);
    EXPECT_EQ(gInput.joypads[0].effectPlaying[1], 0);
    Focus(true);
    EXPECT_EQ(EffectCalls(), (std::vector<int>{0, 1}));
}

// The device calls recorded since the last take, without the effects'.
std::vector<std::string> DeviceCalls() {
    std::vector<std::string> calls = TestTakeDirectInputCalls();
    std::erase_if(calls,
                  [](const std::string& call) { return call.find("effect") != std::string::npos; });
    return calls;
}

TEST_F(VibrationTest, ActivationChangesReacquireTheDevices) {
    TestRecordDirectInputCalls(true);
    Focus(false);
    const std::vector<std::string> inactive = {"pad 0 Unacquire",
                                               "pad 0 SetCooperativeLevel 10",
                                               "pad 0 Acquire",
                                               "pad 1 Unacquire",
                                               "pad 1 SetCooperativeLevel 10",
                                               "pad 1 Acquire",
                                               "keyboard Unacquire",
                                               "keyboard Acquire"};
    EXPECT_EQ(DeviceCalls(), inactive);
    Focus(true);
    const std::vector<std::string> active = {"pad 0 Unacquire",
                                             "pad 0 SetCooperativeLevel 5",
                                             "pad 0 Acquire",
                                             "pad 1 Unacquire",
                                             "pad 1 SetCooperativeLevel 5",
                                             "pad 1 Acquire",
                                             "keyboard Unacquire",
                                             "keyboard Acquire"};
    EXPECT_EQ(DeviceCalls(), active);
}

TEST_F(VibrationTest, ShutdownStopsAndReleasesEverything) {
    ASSERT_EQ(StartJoypadRumble(1, 10000, -1), 0);
    TestHostTakeJoystickEffects();
    EXPECT_GT(TestCountDirectInputObjects(), 0);
    EXPECT_EQ(ShutdownInput(), 0);
    EXPECT_EQ(EffectCalls(), (std::vector<int>{-1, -2}));
    EXPECT_EQ(TestCountDirectInputObjects(), 0);
    EXPECT_EQ(gInput.setUp, 0);
    EXPECT_EQ(gInput.joypadCount, 0);
    EXPECT_EQ(ShutdownInput(), 0);
}

}  // namespace
