// TestResetPlatform: every hook of the layer back to its default. It stands above the modules
// whose hooks it resets.
#include "platform/testing.h"
#include "test_overrides.h"

void TestResetPlatform() {
    ResetTestOverrides();
    TestUseVirtualClock(false);
    TestSetClockMicroseconds(0);
    TestSetClockStepPerRead(0);
    TestSetPerformanceFrequency(1000000);
    TestCaptureDebugOutput(false);
    TestTakeDebugOutput();
}
