#pragma once
// The serial port as the 1-Wire layer sees it: a small record of operations.
// The operating system's realisation fills it (SystemSerialPort); the
// simulated bus fills it in tests and in kelvarian-sim.
#include <cstdint>
#include <string_view>

namespace platform {

// An open port; what it holds is the backend's business.
struct SerialPort;

struct SerialPortOps {
    // Opens `name` exclusively for reading and writing: raw 8N1 at 115200 baud,
    // no flow control, no read time-outs. nullptr when the port does not exist,
    // is in use, or refuses the configuration.
    SerialPort* (*open)(std::string_view name);
    // Sets the line speed (9600 or 115200). false when it cannot be changed.
    bool (*setSpeed)(SerialPort* port, std::uint32_t baud);
    // Drives DTR, then RTS. A device that has no modem lines (a pseudo-terminal)
    // is not an error.
    void (*setLines)(SerialPort* port, bool dtrOn, bool rtsOn);
    // Bytes waiting in the receive queue; clears a pending framing error. 0 when
    // the port is gone.
    std::int32_t (*inputWaiting)(SerialPort* port);
    // Writes n bytes within 10 ms + 100 ms per byte; the count written, 0 on failure.
    std::int32_t (*write)(SerialPort* port, const std::uint8_t* data, std::int32_t n);
    // Reads n bytes that inputWaiting has already reported; the count read.
    std::int32_t (*read)(SerialPort* port, std::uint8_t* data, std::int32_t n);
    // Returns once at least `bytes` are waiting or `timeoutMs` have passed,
    // without spinning on the processor.
    void (*waitInput)(SerialPort* port, std::int32_t bytes, std::uint32_t timeoutMs);
    // Closes the port as it is; the lines are left as they were.
    void (*close)(SerialPort* port);
    // True once the device has hung up or answered with an error that means it
    // is gone (a USB adapter pulled out): no later operation on this handle can
    // succeed, and only opening the port again can bring the bus back.
    bool (*lost)(SerialPort* port);
    // Opens `name` again while the bus recovers, as the same device its last
    // open reached: a name that then went through an entry of the folder
    // waits for that entry instead of reaching another device. nullptr: a
    // backend without such entries, where `open` serves.
    SerialPort* (*reopen)(std::string_view name) = nullptr;
};

// Why the last open of an operating-system port failed on the calling thread,
// so that a tool can tell the user what to change; the record above stays
// success-or-nullptr.
enum class PortOpenFailure { None, NotFound, Busy, PermissionDenied, Other };

// Set by every open of SystemSerialPort() on the calling thread: None after a
// success, the reason after a failure.
PortOpenFailure LastPortOpenFailure();

// The operating system's serial ports. On Linux "COMn" opens the entry named
// COMn in the working directory when it exists (even a dangling link), else
// /dev/ttyS(n-1); a name holding '/' is opened as a device path. Once COMn
// has opened through its entry, `reopen` of COMn uses that entry only, and
// fails as for a missing device while it is gone.
const SerialPortOps& SystemSerialPort();

}  // namespace platform
