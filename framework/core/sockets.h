// The message-driven socket layer: network handles whose sockets report their events to a
// window of the layer as message 0x505, and a framing of the framework's own, each message
// preceded by its 32-bit little-endian byte count. Nothing in the program sets it up; the
// set-up, listen, connect, close, send and read calls below are the smallest that let a user
// (and the tests) open connections on it.
#pragma once

#include <orbek/orbek.h>
#include <platform/win32_user.h>
#include <platform/winsock.h>

#include <cstdint>

#include "core/ring_buffer.h"

constexpr UINT kSocketMessage = 0x505;
// The largest framed message a handle accepts; a longer length field is refused and the
// connection dropped.
constexpr int32_t kMaxNetworkMessageBytes = 64 * 1024 * 1024;

// -1 always: formats at most 2,048 bytes and logs them with WSAGetLastError.
int NetworkLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Message 0x505: wParam the socket, lParam the event and error words.
int HandleSocketMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int PumpNetworkMessages(int32_t retireFinished);
int AcceptNetWork();
int RecvSocket(Handle handle);
int SendSocket(Handle handle);
int TerminateNetwork();

// Starts Winsock, the network handles, the window that receives their messages and the
// pump's service; -1 when set up already or a step fails.
int SetupNetwork();
// Opens the listening socket on the IPv4 address and port (one at a time); its handle or -1.
Handle ListenNetWork(const char* address, int32_t port);
// Starts a connection to the IPv4 address and port; the handle, connected once the connect
// event arrives, or -1. A connect that fails later is logged and ends the handle as a lost
// connection: not connected, sends refused, retired once closed.
Handle ConnectNetWork(const char* address, int32_t port);
// The oldest accepted handle not handed out yet, or -1.
Handle GetNewAcceptNetWork();
// Closes the socket; the pump retires the handle (with auto-close). 0 / -1.
int CloseNetWork(Handle handle);
// 1 while connected, 0 not, -1 for a bad handle.
int IsNetWorkConnected(Handle handle);
// Queues the bytes as one message and sends what can go now. 0 / -1.
int NetWorkSend(Handle handle, const void* data, int32_t size);
// Bytes of completed messages waiting to be read, or -1.
int GetNetWorkDataLength(Handle handle);
// Takes size bytes of completed messages; -1 when fewer are waiting.
int NetWorkRecv(Handle handle, void* dst, int32_t size);
