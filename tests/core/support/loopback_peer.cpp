// POSIX peers for the socket layer's tests.
#include "loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

int ConnectLoopbackPeer(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in to = Loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int RefusingLoopbackPort(int* fd) {
    *fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (*fd < 0) return -1;
    sockaddr_in at = Loopback(0);
    socklen_t size = sizeof at;
    if (bind(*fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        getsockname(*fd, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        return -1;
    }
    return ntohs(at.sin_port);
}

int QueueOfOneLoopbackPort(int* fd) {
    int port = RefusingLoopbackPort(fd);
    return port >= 0 && listen(*fd, 0) == 0 ? port : -1;
}

int AcceptAtPeer(int fd) {
    return accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
}

bool EchoAtPeer(int fd) {
    std::vector<char> bytes;
    char chunk[1 << 16];
    ssize_t got;
    while ((got = recv(fd, chunk, sizeof chunk, 0)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < 0) return false;
    for (size_t sent = 0; sent < bytes.size();) {
        ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) return false;
        sent += static_cast<size_t>(put);
    }
    return true;
}

size_t SendFromPeer(int fd, const void* bytes, size_t size) {
    ssize_t sent = send(fd, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    return sent > 0 ? static_cast<size_t>(sent) : 0;
}

long ReceiveAtPeer(int fd, void* bytes, size_t size) {
    return static_cast<long>(recv(fd, bytes, size, MSG_DONTWAIT));
}

void ClosePeer(int fd) {
    close(fd);
}
