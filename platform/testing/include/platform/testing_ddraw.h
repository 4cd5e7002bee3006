// Hooks for tests only: the vertical blanks that DirectDraw waits for. Initialize can be made
// to fail with TestFailNthCall("IDirectDraw7::Initialize", n) (testing.h).
#pragma once

#include <vector>

// From the next wait on, blanks come at these intervals (microseconds, repeated in turn)
// instead of at the display's refresh rate; empty goes back to the refresh rate.
void TestSetVerticalBlankIntervals(const std::vector<unsigned>& microseconds);
// Blanks DirectDraw's WaitForVerticalBlank waited for since the intervals were last set (the
// Direct3D device's presents wait on the same blanks but are not counted).
int TestCountVerticalBlankWaits();
// DirectDraw objects made and not yet released.
int TestCountDirectDrawObjects();
