// Stands in for the socket layer until it exists: never set up, so every entry returns at once.
#include "core/sockets.h"

int HandleSocketMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return 0;
}

int PumpNetworkMessages(int32_t retireFinished) {
    return 0;
}

int TerminateNetwork() {
    return 0;
}
