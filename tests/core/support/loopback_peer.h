// Test support: peers on 127.0.0.1 made of the host's own POSIX sockets, kept apart from the
// layer's Winsock declarations (which share the system's names). Descriptors are plain ints;
// every call returns at once unless said to wait.
#pragma once

#include <cstddef>

// A blocking connect to the port; the descriptor or -1.
int ConnectLoopbackPeer(int port);
// A socket bound to a free port and not listening, so that a connect to that port is
// refused while the socket is open; the port, or -1. *fd gets the socket.
int RefusingLoopbackPort(int* fd);
// A socket listening on a free port with room for one connection not yet accepted: while one
// waits there, the next connect waits for its SYN to be sent again, a second later. The port,
// or -1; *fd gets the socket.
int QueueOfOneLoopbackPort(int* fd);
// Waits for the next connection on a listening socket: its descriptor, or -1.
int AcceptAtPeer(int fd);
// Waits for every byte until the other side stops sending, then sends them all back; false
// when the connection failed.
bool EchoAtPeer(int fd);
// Bytes sent without waiting: the count, or 0 when nothing fits now.
size_t SendFromPeer(int fd, const void* bytes, size_t size);
// Bytes received without waiting: the count, 0 when the other side closed, -1 when nothing
// has arrived yet or the connection failed.
long ReceiveAtPeer(int fd, void* bytes, size_t size);
void ClosePeer(int fd);
