// The POSIX sockets under the layer's Winsock, kept in a file of their own because the
// system's declarations and Winsock's share names. Addresses are passed in Winsock's layout
// (sockaddr_in, sockaddr_in6, families 2 and 23); failures return -1 and a Winsock error code.
#pragma once

namespace host_sockets {

struct Readiness {
    bool readable;  // data, a pending connection, or the end of the stream
    bool writable;
    bool hangUp;  // the peer closed or the connection failed
    int unread;   // bytes waiting to be read
};

int Open(int family, int type, int protocol, int* error);
void Close(int fd);
int SetNonBlocking(int fd, bool on, int* error);
bool IsNonBlocking(int fd);
int Bind(int fd, const void* address, int length, int* error);
int Listen(int fd, int backlog, int* error);
// The new descriptor (blocking as the listener is), its peer written in Winsock's layout when
// address is given and *length is large enough.
int Accept(int fd, void* address, int* length, int* error);
// A blocking connect returns once the connection is made or has failed.
int Connect(int fd, const void* address, int length, int* error);
// The error a non-blocking connect ended with (0 when it succeeded).
int ConnectResult(int fd);
int Receive(int fd, void* buffer, int length, bool peek, int* error);
// On a blocking socket every byte, unless the connection fails after some of them.
int Send(int fd, const void* buffer, int length, int* error);
int Shutdown(int fd, int how, int* error);
Readiness Poll(int fd);
// A dotted IPv4 address in network byte order, or -1 through ok = false.
unsigned ParseIPv4(const char* text, bool* ok);

}  // namespace host_sockets
