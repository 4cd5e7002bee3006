// The desktop composition switch of dwmapi.dll, remembered so that it is only called on a
// change: the full-screen device turns composition off, window mode and deactivation back on.
#pragma once

#include <cstdint>

// Calls DwmEnableComposition when the state changes and the export is present; 0.
int EnableDesktopComposition(int32_t enable);
// 1 while this framework has switched composition off.
int IsDesktopCompositionOff();
