// Desktop composition (dwmapi): the switch the framework turns off and on again. Composition
// cannot be switched here, as on systems from Windows 8 on: the call is accepted and changes
// nothing.
#pragma once

#include "platform/com.h"

constexpr UINT DWM_EC_DISABLECOMPOSITION = 0;
constexpr UINT DWM_EC_ENABLECOMPOSITION = 1;

// Exported by "dwmapi.dll" and reached through GetProcAddress.
HRESULT DwmEnableComposition(UINT compositionAction);
