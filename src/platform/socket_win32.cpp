// The Winsock side of the socket layer (socket_native.h).
#include "platform/socket_native.h"

namespace platform::native {

// Winsock must be started once before the first socket; it stays started for
// the life of the process.
bool Startup() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

Socket OpenStream(int domain) {
    return WSASocketW(domain, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}

bool SetNonBlocking(Socket socket) {
    u_long on = 1;
    return ioctlsocket(socket, FIONBIO, &on) == 0;
}

// Windows lets a second socket that asks for SO_REUSEADDR take over a port
// that a live one holds, unless the holder asked for exclusive use.
bool GuardPort(Socket socket) {
    const int on = 1;
    return setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

// Accepted sockets inherit the listener's non-blocking mode and handle
// inheritance, but the mode is set again rather than trusted.
bool PrepareAccepted(Socket socket) {
    return SetNonBlocking(socket);
}

// Sockets are non-blocking, and Windows raises no signal for a peer that is gone.
int ReceiveFlags(bool peek) {
    return peek ? MSG_PEEK : 0;
}

int SendFlags() {
    return 0;
}

bool ConnectGoesOn() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

// Winsock reports a failed connect in the exception set, not as writable.
int PollWritable(Socket socket) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval now{0, 0};
    const int ready = select(0, nullptr, &writable, &failed, &now);
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    return FD_ISSET(socket, &failed) ? -1 : 1;
}

SocketError LastError() {
    switch (WSAGetLastError()) {
        case WSAEWOULDBLOCK:
        case WSAEINTR:
            return SocketError::WouldBlock;
        case WSAECONNABORTED:  // 10053
        case WSAECONNRESET:    // 10054
        case WSAENOTCONN:      // 10057
        case WSAESHUTDOWN:     // 10058
            return SocketError::ConnectionLost;
        default:
            return SocketError::Other;
    }
}

void Close(Socket socket) {
    closesocket(socket);
}

}  // namespace platform::native
