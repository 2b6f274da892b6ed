#pragma once
// Where a port name leads on a POSIX system before any device is opened, for
// buses that are no serial port (the Linux kernel's w1 masters, reached
// through a COMn entry as a USB adapter is).
#include <string>
#include <string_view>

namespace platform {

// "COMn" gives the entry COMn of the working directory when there is one (a
// dangling link included), a name holding '/' gives itself; empty when the
// name leads to a device under /dev. The same rule as SystemSerialPort()'s
// open, so the entry a user made serves either kind of bus.
std::string PortEntryPath(std::string_view name);

}  // namespace platform
