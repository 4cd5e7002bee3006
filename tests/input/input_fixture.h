// A fixture for the input tests: the framework started on the headless host without sound and
// with its input left to the test (which sets pads and switches first, then calls SetupInput),
// the DirectInput objects counted so that none outlives the test.
#pragma once

#include <gtest/gtest.h>
#include <platform/testing_dinput.h>
#include <platform/testing_host.h>

#include <vector>

#include "app/library_fixture.h"
#include "app/message_pump.h"
#include "input/input.h"

class InputFixture : public LibraryFixture {
protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        gInput = InputState{};
        gLibrary.noInput = 1;
        gLibrary.noSound = 1;
        ASSERT_EQ(SetupLibrary(), 0);
        while (PumpMessages() == 0 && PendingMessages()) {
        }
    }

    void TearDown() override {
        ShutdownInput();
        TestRecordDirectInputCalls(false);
        EXPECT_EQ(TestCountDirectInputObjects(), 0);
        LibraryFixture::TearDown();
    }

    static bool PendingMessages() {
        MSG msg;
        return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
    }

    // A pad with force feedback, `axes` axes at rest and `buttons` buttons.
    static TestHostJoystick Pad(int axes = 2, int buttons = 32, bool forceFeedback = true) {
        TestHostJoystick pad;
        pad.info.name = "Pad";
        pad.info.product = "Pad Product";
        pad.info.axisCount = axes;
        pad.info.buttonCount = buttons;
        pad.info.forceFeedback = forceFeedback;
        return pad;
    }

    // The key's scan code comes from the keyboard table unless given.
    static void Key(BYTE virtualKey, bool down, BYTE scanCode = 0) {
        HostEvent event;
        event.kind = down ? HostEventKind::KeyDown : HostEventKind::KeyUp;
        event.virtualKey = virtualKey;
        event.scanCode = scanCode;
        TestHostPushEvent(GetMainHwnd(), event);
    }

    static void Focus(bool gained) {
        HostEvent event;
        event.kind = gained ? HostEventKind::FocusGained : HostEventKind::FocusLost;
        TestHostPushEvent(GetMainHwnd(), event);
        PumpMessages();
    }

    // The clock stops between reads, so that calls fall into the same millisecond until told.
    static void HoldClock() { TestSetClockStepPerRead(0); }
    static void NextMillisecond() { TestAdvanceClockMicroseconds(1000); }

    static std::vector<uint8_t> Keys() {
        std::vector<uint8_t> keys(256, 0xEE);
        EXPECT_EQ(CopyAllKeyStates(keys.data()), 0);
        return keys;
    }
};
