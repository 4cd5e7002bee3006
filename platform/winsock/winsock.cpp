// ws2_32: the socket table, the Winsock calls over host sockets, and WSAAsyncSelect's events,
// found by PollSocketEvents whenever a thread retrieves messages.
#include <platform/win32_user.h>
#include <platform/winsock.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "host_sockets.h"
#include "socket_events.h"

namespace {

struct SocketRecord {
    int fd = -1;
    bool listening = false;
    bool connecting = false;  // a non-blocking connect is under way
    bool connected = false;
    // WSAAsyncSelect: where to post, which events, and which may be posted now.
    HWND window = nullptr;
    UINT message = 0;
    LONG events = 0;
    bool readEnabled = false;
    bool writeEnabled = false;
    bool acceptEnabled = false;
    bool closeReported = false;
    // The unread bytes when FD_READ was last posted; a peek that leaves them unchanged does
    // not bring the event back, so a reader waiting for more is not called in a loop.
    int reportedUnread = -1;
};

struct WinsockState {
    std::mutex lock;
    int startups = 0;
    std::map<SOCKET, SocketRecord> sockets;
    SOCKET next = 0x100;
    std::atomic<int> selected{0};  // sockets with events to post, so an idle poll is cheap
};

WinsockState gWinsock;

constexpr SOCKET kSocketStep = 4;

int Fail(int error) {
    SetLastError(static_cast<DWORD>(error));
    return SOCKET_ERROR;
}

// The record of a socket of the layer, or null with the error set. Call with the lock held.
SocketRecord* Find(SOCKET s) {
    if (gWinsock.startups == 0) {
        SetLastError(WSANOTINITIALISED);
        return nullptr;
    }
    auto found = gWinsock.sockets.find(s);
    if (found == gWinsock.sockets.end()) {
        SetLastError(WSAENOTSOCK);
        return nullptr;
    }
    return &found->second;
}

SOCKET Register(SocketRecord record) {
    SOCKET s = gWinsock.next;
    gWinsock.next += kSocketStep;
    gWinsock.sockets[s] = record;
    if (record.events != 0) ++gWinsock.selected;
    return s;
}

void Forget(SOCKET s) {
    auto found = gWinsock.sockets.find(s);
    if (found == gWinsock.sockets.end()) return;
    if (found->second.events != 0) --gWinsock.selected;
    host_sockets::Close(found->second.fd);
    gWinsock.sockets.erase(found);
}

struct PendingPost {
    HWND window;
    UINT message;
    SOCKET s;
    LONG event;
    int error;
};

// The events a socket has to report now; they are disabled until the call that re-enables
// them. Call with the lock held.
void CollectEvents(SOCKET s, SocketRecord& record, std::vector<PendingPost>* posts) {
    host_sockets::Readiness ready = host_sockets::Poll(record.fd);
    auto post = [&](LONG event, int error) {
        if ((record.events & event) != 0) {
            posts->push_back({record.window, record.message, s, event, error});
        }
    };
    if (record.listening) {
        if (record.acceptEnabled && ready.readable) {
            record.acceptEnabled = false;
            post(FD_ACCEPT, 0);
        }
        return;
    }
    if (record.connecting) {
        if (!ready.writable && !ready.hangUp) return;
        record.connecting = false;
        int error = host_sockets::ConnectResult(record.fd);
        record.connected = error == 0;
        post(FD_CONNECT, error);
        if (error != 0) return;
    }
    if (!record.connected) return;
    if (record.readEnabled && ready.unread > 0 && ready.unread != record.reportedUnread) {
        record.readEnabled = false;
        record.reportedUnread = ready.unread;
        post(FD_READ, 0);
    }
    if (record.writeEnabled && ready.writable) {
        record.writeEnabled = false;
        post(FD_WRITE, 0);
    }
    if (!record.closeReported && ready.hangUp) {
        record.closeReported = true;
        post(FD_CLOSE, 0);
    }
}

USHORT SwapBytes(USHORT value) {
    return static_cast<USHORT>((value >> 8) | (value << 8));
}

}  // namespace

void PollSocketEvents() {
    if (gWinsock.selected.load() == 0) return;
    std::vector<PendingPost> posts;
    {
        std::lock_guard<std::mutex> guard(gWinsock.lock);
        for (auto& [s, record] : gWinsock.sockets) {
            if (record.events != 0) CollectEvents(s, record, &posts);
        }
    }
    for (const PendingPost& post : posts) {
        PostMessageA(post.window, post.message, post.s,
                     MAKELONG(static_cast<WORD>(post.event), static_cast<WORD>(post.error)));
    }
}

void ResetSockets() {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    while (!gWinsock.sockets.empty()) Forget(gWinsock.sockets.begin()->first);
    gWinsock.startups = 0;
}

int WSAStartup(WORD version, LPWSADATA data) {
    if (data == nullptr) return WSAEFAULT;
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    ++gWinsock.startups;
    std::memset(data, 0, sizeof *data);
    data->wVersion = version;
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
    return 0;
}

int WSACleanup() {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    if (gWinsock.startups == 0) return Fail(WSANOTINITIALISED);
    if (--gWinsock.startups == 0) {
        while (!gWinsock.sockets.empty()) Forget(gWinsock.sockets.begin()->first);
    }
    return 0;
}

int WSAGetLastError() {
    return static_cast<int>(GetLastError());
}

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG events) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    SocketRecord* record = Find(s);
    if (record == nullptr) return SOCKET_ERROR;
    int error = 0;
    if (host_sockets::SetNonBlocking(record->fd, true, &error) != 0) return Fail(error);
    if (record->events != 0) --gWinsock.selected;
    if (events != 0) ++gWinsock.selected;
    record->window = window;
    record->message = message;
    record->events = events;
    record->readEnabled = record->writeEnabled = record->acceptEnabled = true;
    record->closeReported = false;
    return 0;
}

SOCKET socket(int family, int type, int protocol) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    if (gWinsock.startups == 0) {
        SetLastError(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    int error = 0;
    int fd = host_sockets::Open(family, type, protocol, &error);
    if (fd < 0) {
        SetLastError(static_cast<DWORD>(error));
        return INVALID_SOCKET;
    }
    SocketRecord record;
    record.fd = fd;
    return Register(record);
}

int bind(SOCKET s, const sockaddr* address, int length) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    SocketRecord* record = Find(s);
    if (record == nullptr) return SOCKET_ERROR;
    int error = 0;
    return host_sockets::Bind(record->fd, address, length, &error) == 0 ? 0 : Fail(error);
}

int listen(SOCKET s, int backlog) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    SocketRecord* record = Find(s);
    if (record == nullptr) return SOCKET_ERROR;
    int error = 0;
    if (host_sockets::Listen(record->fd, backlog, &error) != 0) return Fail(error);
    record->listening = true;
    return 0;
}

SOCKET accept(SOCKET s, sockaddr* address, int* length) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    SocketRecord* listener = Find(s);
    if (listener == nullptr) return INVALID_SOCKET;
    listener->acceptEnabled = true;
    int error = 0;
    int fd = host_sockets::Accept(listener->fd, address, length, &error);
    if (fd < 0) {
        SetLastError(static_cast<DWORD>(error));
        return INVALID_SOCKET;
    }
    SocketRecord record;
    record.fd = fd;
    record.connected = true;
    record.window = listener->window;
    record.message = listener->message;
    record.events = listener->events;
    record.readEnabled = record.writeEnabled = true;
    return Register(record);
}

int connect(SOCKET s, const sockaddr* address, int length) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    SocketRecord* record = Find(s);
    if (record == nullptr) return SOCKET_ERROR;
    if (record->connected || record->connecting)
        return Fail(record->connected ? WSAEISCONN : WSAEALREADY);
    int error = 0;
    if (host_sockets::Connect(record->fd, address, length, &error) == 0) {
        record->connected = true;
        return 0;
    }
    if (error == WSAEWOULDBLOCK) record->connecting = true;
    return Fail(error);
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    SocketRecord* record = Find(s);
    if (record == nullptr) return SOCKET_ERROR;
    if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
    record->readEnabled = true;
    if (!record->connected) return Fail(WSAENOTCONN);
    int error = 0;
    bool peek = (flags & MSG_PEEK) != 0;
    int got = host_sockets::Receive(record->fd, buffer, length, peek, &error);
    if (got > 0 && !peek) record->reportedUnread = -1;
    return got >= 0 ? got : Fail(error);
}

int send(SOCKET s, const char* buffer, int length, int flags) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    SocketRecord* record = Find(s);
    if (record == nullptr) return SOCKET_ERROR;
    if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
    if (!record->connected) return Fail(WSAENOTCONN);
    int error = 0;
    int sent = host_sockets::Send(record->fd, buffer, length, &error);
    // What did not fit waits for room, as after a send that would block.
    if (sent >= 0 && sent < length) record->writeEnabled = true;
    if (sent >= 0) return sent;
    if (error == WSAEWOULDBLOCK) record->writeEnabled = true;
    return Fail(error);
}

int shutdown(SOCKET s, int how) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    SocketRecord* record = Find(s);
    if (record == nullptr) return SOCKET_ERROR;
    if (how < SD_RECEIVE || how > SD_BOTH) return Fail(WSAEINVAL);
    int error = 0;
    return host_sockets::Shutdown(record->fd, how, &error) == 0 ? 0 : Fail(error);
}

int closesocket(SOCKET s) {
    std::lock_guard<std::mutex> guard(gWinsock.lock);
    if (Find(s) == nullptr) return SOCKET_ERROR;
    Forget(s);
    return 0;
}

USHORT htons(USHORT value) {
    return SwapBytes(value);
}

USHORT ntohs(USHORT value) {
    return SwapBytes(value);
}

ULONG inet_addr(const char* text) {
    bool ok = false;
    ULONG address = host_sockets::ParseIPv4(text, &ok);
    return ok ? address : INADDR_NONE;
}
