#pragma once
// The BSD socket calls, which Winsock shares with POSIX, through one header,
// so that socket.cpp holds the server's socket logic once. What differs
// between the systems is declared here and defined by one thin file per
// system (socket_posix.cpp, socket_win32.cpp). Internal to the platform layer.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <cstdint>

#include "platform/socket.h"

namespace platform::native {

#ifdef _WIN32
using Socket = SOCKET;
using AddressLength = int;
#else
using Socket = int;
using AddressLength = socklen_t;
#endif

// A socket number fits SocketHandle's id either way: descriptors are small
// and Winsock's INVALID_SOCKET (all bits set) reads as -1.
inline Socket ToNative(SocketHandle socket) { return static_cast<Socket>(socket.id); }
inline SocketHandle FromNative(Socket socket) {
    return SocketHandle{static_cast<std::intptr_t>(socket)};
}

// The shims.
bool Startup();
// A TCP stream socket that programs this process starts do not inherit;
// invalid (FromNative(...).valid() false) on failure.
Socket OpenStream(int domain);
bool SetNonBlocking(Socket socket);
// Before bind: a restarted program may take its port back while old
// connections linger, but no other socket may share a port that a live one holds.
bool GuardPort(Socket socket);
// Made non-blocking and not inherited, as the listener's own sockets are.
bool PrepareAccepted(Socket socket);
// Flags for recv and send so that neither waits, and a send to a peer that is
// gone raises no signal.
int ReceiveFlags(bool peek);
int SendFlags();
// After a failed connect on a non-blocking socket: true when it goes on in
// the background rather than having failed.
bool ConnectGoesOn();
// 1 when the socket can be written (a connect ended), 0 when not yet, -1 on
// error; never waits.
int PollWritable(Socket socket);
// The error of the last failed call on this thread.
SocketError LastError();
void Close(Socket socket);

}  // namespace platform::native
