// POSIX sockets in Winsock's terms: families, address layouts and error numbers translated.
// Winsock's blocking calls are never cut short by a signal, so the host's are carried on
// through one: a timer, a profiler or a child's end must not fail a connect or lose a byte.
#include "host_sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../base/interrupted_calls.h"

namespace host_sockets {
namespace {

constexpr int kWinsockInet6 = 23;
constexpr int kWinsockInet4Size = 16, kWinsockInet6Size = 28;

int WinsockError(int error) {
    switch (error) {
        case EINTR:
            return 10004;  // WSAEINTR: only a call cancelled on purpose; signals are retried
        case EAGAIN:
        case EINPROGRESS:
            return 10035;  // WSAEWOULDBLOCK
        case EALREADY:
            return 10037;
        case EBADF:
        case ENOTSOCK:
            return 10038;
        case EFAULT:
            return 10014;
        case EMFILE:
        case ENFILE:
            return 10024;
        case EPROTONOSUPPORT:
            return 10043;
        case EOPNOTSUPP:
            return 10045;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETUNREACH:
            return 10051;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
        case EPIPE:
            return 10054;
        case ENOBUFS:
        case ENOMEM:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case EHOSTUNREACH:
            return 10065;
        default:
            return 10022;  // WSAEINVAL
    }
}

int Fail(int* error) {
    *error = WinsockError(errno);
    return -1;
}

// A Winsock address as the system's; false when its family or length is not one of ours.
bool ToSystem(const void* address, int length, sockaddr_storage* out, socklen_t* outLength) {
    if (address == nullptr) return false;
    unsigned short family;
    std::memcpy(&family, address, sizeof family);
    std::memset(out, 0, sizeof *out);
    if (family == AF_INET && length >= kWinsockInet4Size) {
        std::memcpy(out, address, sizeof(sockaddr_in));
        out->ss_family = AF_INET;
        *outLength = sizeof(sockaddr_in);
        return true;
    }
    if (family == kWinsockInet6 && length >= kWinsockInet6Size) {
        std::memcpy(out, address, sizeof(sockaddr_in6));
        out->ss_family = AF_INET6;
        *outLength = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

void ToWinsock(const sockaddr_storage& address, void* out, int* length) {
    if (out == nullptr || length == nullptr) return;
    int size = address.ss_family == AF_INET6 ? kWinsockInet6Size : kWinsockInet4Size;
    if (*length < size) return;
    std::memcpy(out, &address, static_cast<size_t>(size));
    unsigned short family = address.ss_family == AF_INET6 ? kWinsockInet6 : AF_INET;
    std::memcpy(out, &family, sizeof family);
    *length = size;
}

}  // namespace

int Open(int family, int type, int protocol, int* error) {
    int systemFamily = family == AF_INET ? AF_INET : family == kWinsockInet6 ? AF_INET6 : -1;
    if (systemFamily < 0 || type != SOCK_STREAM) {
        *error = systemFamily < 0 ? 10047 : 10043;
        return -1;
    }
    int fd = ::socket(systemFamily, SOCK_STREAM | SOCK_CLOEXEC, protocol);
    return fd >= 0 ? fd : Fail(error);
}

void Close(int fd) {
    ::close(fd);
}

int SetNonBlocking(int fd, bool on, int* error) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return Fail(error);
    flags = on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return fcntl(fd, F_SETFL, flags) == 0 ? 0 : Fail(error);
}

bool IsNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_NONBLOCK) != 0;
}

int Bind(int fd, const void* address, int length, int* error) {
    sockaddr_storage system;
    socklen_t systemLength;
    if (!ToSystem(address, length, &system, &systemLength)) {
        *error = 10014;  // WSAEFAULT
        return -1;
    }
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    return ::bind(fd, reinterpret_cast<sockaddr*>(&system), systemLength) == 0 ? 0 : Fail(error);
}

int Listen(int fd, int backlog, int* error) {
    return ::listen(fd, backlog) == 0 ? 0 : Fail(error);
}

int Accept(int fd, void* address, int* length, int* error) {
    sockaddr_storage peer;
    socklen_t peerLength = sizeof peer;
    int flags = SOCK_CLOEXEC | (IsNonBlocking(fd) ? SOCK_NONBLOCK : 0);
    int accepted = RetriedThroughSignals(
        [&] { return ::accept4(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength, flags); });
    if (accepted < 0) return Fail(error);
    ToWinsock(peer, address, length);
    return accepted;
}

int Connect(int fd, const void* address, int length, int* error) {
    sockaddr_storage system;
    socklen_t systemLength;
    if (!ToSystem(address, length, &system, &systemLength)) {
        *error = 10014;
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&system), systemLength) == 0) return 0;
    if (errno != EINTR) return Fail(error);
    // The interrupted connect goes on without the caller (connecting again would only answer
    // that it is under way): wait for its end as the blocking call would have.
    pollfd entry{fd, POLLOUT, 0};
    if (RetriedThroughSignals([&] { return ::poll(&entry, 1, -1); }) < 0) return Fail(error);
    *error = ConnectResult(fd);
    return *error == 0 ? 0 : -1;
}

int ConnectResult(int fd) {
    int result = 0;
    socklen_t size = sizeof result;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
    return result == 0 ? 0 : WinsockError(result);
}

int Receive(int fd, void* buffer, int length, bool peek, int* error) {
    ssize_t got = RetriedThroughSignals(
        [&] { return ::recv(fd, buffer, static_cast<size_t>(length), peek ? MSG_PEEK : 0); });
    return got >= 0 ? static_cast<int>(got) : Fail(error);
}

int Send(int fd, const void* buffer, int length, int* error) {
    // A blocking send hands over every byte, though a signal may end the host's call after
    // part of them; a non-blocking one stops where the buffer is full.
    const bool whole = !IsNonBlocking(fd);
    const char* bytes = static_cast<const char*>(buffer);
    int total = 0;
    do {
        ssize_t sent = RetriedThroughSignals([&] {
            return ::send(fd, bytes + total, static_cast<size_t>(length - total), MSG_NOSIGNAL);
        });
        if (sent < 0) return total > 0 ? total : Fail(error);
        total += static_cast<int>(sent);
    } while (whole && total < length);
    return total;
}

int Shutdown(int fd, int how, int* error) {
    return ::shutdown(fd, how) == 0 ? 0 : Fail(error);
}

Readiness Poll(int fd) {
    pollfd entry{fd, POLLIN | POLLOUT | POLLRDHUP, 0};
    Readiness readiness{};
    if (::poll(&entry, 1, 0) <= 0) return readiness;
    readiness.readable = (entry.revents & POLLIN) != 0;
    readiness.writable = (entry.revents & POLLOUT) != 0;
    readiness.hangUp = (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    int unread = 0;
    if (readiness.readable && ioctl(fd, FIONREAD, &unread) == 0) readiness.unread = unread;
    return readiness;
}

unsigned ParseIPv4(const char* text, bool* ok) {
    in_addr address{};
    *ok = text != nullptr && inet_pton(AF_INET, text, &address) == 1;
    return *ok ? address.s_addr : 0xFFFFFFFFu;
}

}  // namespace host_sockets
