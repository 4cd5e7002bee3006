// Desktop composition stays as it is: the switch is accepted and does nothing.
#include "platform/dwmapi.h"

HRESULT DwmEnableComposition(UINT compositionAction) {
    return S_OK;
}
