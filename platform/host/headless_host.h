// The headless host's own reset, for the tests' reset of the window layer.
#pragma once

void ResetHeadlessHost();
