// The POSIX side of the socket layer (socket_native.h).
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/socket_native.h"

namespace platform::native {

bool Startup() {
    return true;
}

Socket OpenStream(int domain) {
    return socket(domain, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

bool SetNonBlocking(Socket socket) {
    const int flags = fcntl(socket, F_GETFL, 0);
    return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

// SO_REUSEADDR lets a restarted program take its port back while old
// connections linger in TIME_WAIT; a port held by a live listener still
// fails. SO_REUSEPORT is left off for exactly that reason.
bool GuardPort(Socket socket) {
    const int on = 1;
    return setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

// Accepted sockets do not inherit O_NONBLOCK or close-on-exec on Linux.
bool PrepareAccepted(Socket socket) {
    return SetNonBlocking(socket) && fcntl(socket, F_SETFD, FD_CLOEXEC) == 0;
}

int ReceiveFlags(bool peek) {
    return MSG_DONTWAIT | (peek ? MSG_PEEK : 0);
}

// MSG_NOSIGNAL: a browser that went away must not end the process by SIGPIPE.
int SendFlags() {
    return MSG_NOSIGNAL | MSG_DONTWAIT;
}

bool ConnectGoesOn() {
    return errno == EINPROGRESS || errno == EINTR;
}

// poll, not select: a descriptor above FD_SETSIZE must not overrun a set.
int PollWritable(Socket socket) {
    pollfd entry{socket, POLLOUT, 0};
    const int ready = poll(&entry, 1, 0);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    return ready == 0 ? 0 : 1;
}

SocketError LastError() {
    switch (errno) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINTR:
            return SocketError::WouldBlock;
        case ECONNABORTED:
        case ECONNRESET:
        case ENOTCONN:
        case ESHUTDOWN:
            return SocketError::ConnectionLost;
        default:
            return SocketError::Other;
    }
}

void Close(Socket socket) {
    close(socket);
}

}  // namespace platform::native
