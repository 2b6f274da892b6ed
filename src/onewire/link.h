#pragma once
// The serial port that carries the bus: opening, closing and powering it, and
// the process-wide option word. Only the monitor thread opens and uses the port.
#include <cstdint>
#include <string_view>

namespace platform {
struct SerialPortOps;
}

namespace onewire {

// Bits of the option word.
enum LinkOption : std::uint32_t {
    ReduceCpuLoad = 1,  // echo waits sleep in each polling pass
    InvertLines = 2,    // DTR and RTS are off while the bus is powered
};

// Closes the current port (unpowered), then opens `name`, powers the bus and
// clocks one 0xFF byte through it. false with status 1 when it cannot be opened.
[[nodiscard]] bool openPort(std::string_view name);
// The same while the bus recovers with the devices it had: the port comes
// back as the device it was opened as (the backend's reopen), never as
// another one that the name could also lead to.
[[nodiscard]] bool reopenPort(std::string_view name);

// Unpowers and closes the current port. false with status 1 when none is open.
bool closePort();

// True when the open port's device is gone (an adapter pulled out, its line
// hung up): no bus operation can succeed on it, only closing and opening the
// port again can bring the bus back. false when no port is open. Sets no status.
[[nodiscard]] bool portLost();

// The kind of adapter behind the open port ("passive", "DS2480B"); empty
// when no port is open. Any thread may ask. Sets no status.
std::string_view adapterName();

// Set by the user-interface thread, read by the bus layer at each use.
void setLinkOptions(std::uint32_t options);
std::uint32_t linkOptions();

// Which serial ports openPort uses: nullptr selects the operating system's.
// Tests and kelvarian-sim install the simulated bus here before opening.
void useSerialBackend(const platform::SerialPortOps* ops);

// Shutdown: releases a port that is still open without touching its lines.
void releasePortAtExit();

}  // namespace onewire
