// TestResetPlatform: every hook of the layer back to its default. It stands above the modules
// whose hooks it resets.
#include "../base/test_overrides.h"
#include "platform/testing.h"

void TestResetPlatform() {
    ResetTestOverrides();
    TestUseVirtualClock(false);
    TestSetClockMicroseconds(0);
    TestSetClockStepPerRead(0);
    TestSetPerformanceFrequency(1000000);
    TestCaptureDebugOutput(false);
    TestTakeDebugOutput();
}
