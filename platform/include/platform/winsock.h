// Windows Sockets (ws2_32) over the host's TCP/IP sockets: stream sockets for IPv4 and IPv6,
// and WSAAsyncSelect, whose events the layer finds by polling whenever a thread retrieves
// messages and posts to the window as Windows would: FD_READ while unread data waits (again
// after each recv), FD_WRITE once connected and again after a send that would block (or sent only
// part), FD_ACCEPT while a connection waits (again after each accept), FD_CONNECT when a connect
// ends, FD_CLOSE once when the peer closes. Errors are Windows' numbers, read through
// WSAGetLastError. Socket values are the layer's own; a value it did not issue is refused.
#pragma once

#include "platform/win32_types.h"

typedef UINT_PTR SOCKET;
constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int AF_INET6 = 23;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;
constexpr int MSG_PEEK = 2;
constexpr int SD_RECEIVE = 0, SD_SEND = 1, SD_BOTH = 2;
constexpr int SOMAXCONN = 0x7FFFFFFF;
constexpr ULONG INADDR_ANY = 0;
constexpr ULONG INADDR_NONE = 0xFFFFFFFF;

// WSAAsyncSelect's events: the low word of the message's lParam (the error is the high word).
constexpr LONG FD_READ = 0x01;
constexpr LONG FD_WRITE = 0x02;
constexpr LONG FD_ACCEPT = 0x08;
constexpr LONG FD_CONNECT = 0x10;
constexpr LONG FD_CLOSE = 0x20;

constexpr int WSAEBADF = 10009;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSANOTINITIALISED = 10093;

struct in_addr {
    ULONG s_addr;  // network byte order
};

struct in6_addr {
    UCHAR s6_addr[16];
};

struct sockaddr {
    USHORT sa_family;
    CHAR sa_data[14];
};

struct sockaddr_in {  // 16 bytes
    SHORT sin_family;
    USHORT sin_port;  // network byte order
    in_addr sin_addr;
    CHAR sin_zero[8];
};

struct sockaddr_in6 {  // 28 bytes
    SHORT sin6_family;
    USHORT sin6_port;
    ULONG sin6_flowinfo;
    in6_addr sin6_addr;
    ULONG sin6_scope_id;
};

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    CHAR szDescription[257];
    CHAR szSystemStatus[129];
    USHORT iMaxSockets;
    USHORT iMaxUdpDg;
    CHAR* lpVendorInfo;
};
typedef WSADATA* LPWSADATA;

// Exported by "ws2_32.dll" and reached through GetProcAddress. Every call but the first two
// fails with WSANOTINITIALISED until WSAStartup succeeded; the last WSACleanup closes every
// socket still open.
int WSAStartup(WORD version, LPWSADATA data);
int WSACleanup();
int WSAGetLastError();
// Makes the socket non-blocking and has the events in `events` posted to the window as
// `message` with wParam the socket; events 0 stops the posting.
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG events);
SOCKET socket(int family, int type, int protocol);
int bind(SOCKET s, const sockaddr* address, int length);
int listen(SOCKET s, int backlog);
// The new socket inherits the listener's blocking mode and WSAAsyncSelect events.
SOCKET accept(SOCKET s, sockaddr* address, int* length);
// On a non-blocking socket: SOCKET_ERROR with WSAEWOULDBLOCK, then FD_CONNECT.
int connect(SOCKET s, const sockaddr* address, int length);
// 0: the peer closed. SOCKET_ERROR with WSAEWOULDBLOCK: nothing to read yet.
int recv(SOCKET s, char* buffer, int length, int flags);
int send(SOCKET s, const char* buffer, int length, int flags);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
USHORT htons(USHORT value);
USHORT ntohs(USHORT value);
// A dotted IPv4 address in network byte order; INADDR_NONE when it is not one.
ULONG inet_addr(const char* text);
