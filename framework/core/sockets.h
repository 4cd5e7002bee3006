// The message-driven socket layer.
#pragma once

#include <platform/win32_user.h>

#include <cstdint>

// Message 0x505 of the main window: wParam the socket, lParam the event and error words.
int HandleSocketMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int PumpNetworkMessages(int32_t retireFinished);
int TerminateNetwork();
