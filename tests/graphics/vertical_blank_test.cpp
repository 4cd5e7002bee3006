#include "graphics/vertical_blank.h"

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_ddraw.h>
#include <platform/testing_host.h>

#include "core/clocks.h"
#include "core/platform_dlls.h"

namespace {

constexpr unsigned long long kStart = 10'000'000;
constexpr int64_t kPeriod60Hz = 16666;

// DirectDraw through COM on the virtual clock, with nothing else of the framework started.
class VerticalBlankTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        TestUseHeadlessHost(true);
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(kStart);
        TestSetVerticalBlankIntervals({});
        LoadPlatformDlls();
        ProbePerformanceCounter();
        ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
        gVerticalBlank = {nullptr, -1, 0};
    }

    void TearDown() override {
        ReleaseDirectDraw7();
        CoUninitialize();
        FreePlatformDlls();
        TestSetVerticalBlankIntervals({});
        TestResetPlatform();
    }
};

TEST(DirectDrawTest, TheObjectWaitsForBlanksOnlyOnceInitialised) {
    TestResetPlatform();
    TestUseHeadlessHost(true);
    TestUseVirtualClock(true);
    TestSetClockMicroseconds(1'000'000);
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    IDirectDraw7* directDraw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7,
                               reinterpret_cast<void**>(&directDraw)),
              S_OK);
    EXPECT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DDERR_NOTINITIALIZED);
    EXPECT_EQ(directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DDERR_NOTINITIALIZED);
    ASSERT_EQ(directDraw->Initialize(nullptr), DD_OK);
    EXPECT_EQ(directDraw->Initialize(nullptr), DDERR_ALREADYINITIALIZED);
    EXPECT_EQ(directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(directDraw->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGINEVENT, nullptr),
              DDERR_UNSUPPORTED);

    // Blanks fall on whole 60 Hz periods of the clock: 61 x 16,666 us, then 62 x.
    ASSERT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
    EXPECT_EQ(timeGetTime(), 1'016u);
    directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    EXPECT_EQ(now.QuadPart, 62 * 16'666);

    IUnknown* unknown = nullptr;
    EXPECT_EQ(directDraw->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    void* other = nullptr;
    EXPECT_EQ(directDraw->QueryInterface(CLSID_DirectDraw7, &other), E_NOINTERFACE);
    EXPECT_EQ(directDraw->Release(), 0u);
    CoUninitialize();
    TestResetPlatform();
}

TEST_F(VerticalBlankTest, TheSteadyRefreshPeriodIsMeasured) {
    ASSERT_EQ(SetupDirectDraw7(), 0);
    MeasureVerticalBlankPeriod();
    EXPECT_EQ(gVerticalBlank.periodUs, kPeriod60Hz);
    // The measurement ends on a paced wait, whose blank is the last one seen.
    EXPECT_EQ(gVerticalBlank.lastBlankUs % kPeriod60Hz, 0);
    // A first blank, ten agreeing intervals after a first unmatched one, and the final wait.
    EXPECT_EQ(TestCountVerticalBlankWaits(), 1 + 11 + 1);
}

TEST_F(VerticalBlankTest, IntervalsWithinAMillisecondStillAgree) {
    ASSERT_EQ(SetupDirectDraw7(), 0);
    TestSetVerticalBlankIntervals({16000, 16900});
    MeasureVerticalBlankPeriod();
    // Ten intervals from the second on, five of each length.
    EXPECT_EQ(gVerticalBlank.periodUs, (5 * 16000 + 5 * 16900) / 10);
}

TEST_F(VerticalBlankTest, IntervalsThatNeverAgreeLeaveThePeriodUnknown) {
    ASSERT_EQ(SetupDirectDraw7(), 0);
    TestSetVerticalBlankIntervals({15000, 18000});
    MeasureVerticalBlankPeriod();
    EXPECT_EQ(gVerticalBlank.periodUs, -1);
    EXPECT_EQ(TestCountVerticalBlankWaits(), 1 + 60 + 1);

    // Unknown: the wait sleeps until 4 ms after the last blank, then takes the next one.
    TestSetVerticalBlankIntervals({20000});
    int64_t last = gVerticalBlank.lastBlankUs;
    WaitVerticalBlankPaced();
    EXPECT_EQ(gVerticalBlank.lastBlankUs, last + 4000 + 20000);
}

TEST_F(VerticalBlankTest, APacedWaitSleepsUntilShortlyBeforeTheBlank) {
    ASSERT_EQ(SetupDirectDraw7(), 0);
    MeasureVerticalBlankPeriod();
    int64_t last = gVerticalBlank.lastBlankUs;
    int waits = TestCountVerticalBlankWaits();
    WaitVerticalBlankPaced();
    EXPECT_EQ(gVerticalBlank.lastBlankUs, last + kPeriod60Hz);
    EXPECT_EQ(TestCountVerticalBlankWaits(), waits + 1);

    // Past the threshold it waits for the blank at once.
    TestAdvanceClockMicroseconds(15000);
    WaitVerticalBlankPaced();
    EXPECT_EQ(gVerticalBlank.lastBlankUs, last + 2 * kPeriod60Hz);
    // A frame that overran a blank waits for the next one.
    TestAdvanceClockMicroseconds(20000);
    WaitVerticalBlankPaced();
    EXPECT_EQ(gVerticalBlank.lastBlankUs, last + 4 * kPeriod60Hz);
}

TEST_F(VerticalBlankTest, ReleasingForgetsThePeriodAndTheLastBlank) {
    ASSERT_EQ(SetupDirectDraw7(), 0);
    MeasureVerticalBlankPeriod();
    ASSERT_GT(gVerticalBlank.lastBlankUs, 0);
    ReleaseDirectDraw7();
    EXPECT_EQ(gVerticalBlank.periodUs, -1);
    EXPECT_EQ(gVerticalBlank.lastBlankUs, 0);
}

TEST_F(VerticalBlankTest, WithoutDirectDrawThereIsNothingToMeasure) {
    MeasureVerticalBlankPeriod();
    EXPECT_EQ(gVerticalBlank.periodUs, -1);
    EXPECT_EQ(TestCountVerticalBlankWaits(), 0);
    EXPECT_EQ(GetMicrosecondCount(), static_cast<int64_t>(kStart));
}

TEST_F(VerticalBlankTest, WithoutTheMultimediaClockWaitsAreNotPaced) {
    ASSERT_EQ(SetupDirectDraw7(), 0);
    gPlatformDlls.timeGetTime = nullptr;
    MeasureVerticalBlankPeriod();
    EXPECT_EQ(gVerticalBlank.periodUs, -1);
    int waits = TestCountVerticalBlankWaits();
    WaitVerticalBlankPaced();
    WaitVerticalBlankPaced();
    EXPECT_EQ(TestCountVerticalBlankWaits(), waits + 2);
}

TEST_F(VerticalBlankTest, WithoutCoCreateInstanceDirectDrawIsMissing) {
    gPlatformDlls.CoCreateInstance = nullptr;
    EXPECT_EQ(SetupDirectDraw7(), -1);
    EXPECT_EQ(GetDirectDraw7Object(), nullptr);
}

}  // namespace
