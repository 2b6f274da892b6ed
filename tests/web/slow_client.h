#pragma once
// A browser that reads its answers slowly or not at all, for the server's
// output queue, and the options the server set on its side of a connection.
#include <cstddef>
#include <string>

#include "platform/socket.h"

namespace webtest {

// Small socket buffers, so that answers pile up in the server's queue rather
// than in the kernel: the client's receive side, the server's send side.
void ShrinkReceiveBuffer(int fd);
void ShrinkSendBuffer(platform::SocketHandle serverSide);
// Whether the server turned Nagle's algorithm off on its side.
bool NoDelayIsSet(platform::SocketHandle serverSide);

// Reads while running the server's timer routine, until `count` bytes arrived
// or nothing came for a while.
std::string ReadWhileServing(int fd, std::size_t count);
// Reads and drops everything until the server's close (true) or until nothing
// came for a while (false).
bool ReadsToTheServersClose(int fd);

}  // namespace webtest
