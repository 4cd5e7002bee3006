// The message-driven socket layer. Nothing in this system sets it up; its set-up would put
// PumpNetworkMessages(1) in the pump's table.
#pragma once

#include <platform/win32_user.h>

#include <cstdint>

// Message 0x505 of the main window: wParam the socket, lParam the event and error words.
int HandleSocketMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int PumpNetworkMessages(int32_t retireFinished);
int TerminateNetwork();
