// Stands in for text input until it exists: typed characters are dropped, no input method.
#include "core/text_input.h"

#include "core/pump_services.h"

int SetupCharCodeBuffer() {
    SetPumpService(kPumpKeyInput, ProcessKeyInput);
    return 0;
}

int PushCharCode(uint8_t code) {
    return 0;
}

LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

int ProcessKeyInput() {
    return 0;
}

int ShutdownKeyInput() {
    SetPumpService(kPumpKeyInput, nullptr);
    return 0;
}

int IsImeInUse() {
    return 0;
}

int MarkImeCompositionForRestore() {
    return 0;
}
