// The in-process serial port: the 1-Wire library's port operations answered
// by the simulated bus, synchronously.
#include <algorithm>

#include "busmodel/adapter_locked.h"
#include "busmodel/bus_state.h"
#include "onewire/link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace busmodel {
namespace {

// The handle given out is the open port's id, so that a handle kept after
// close (or after another open) is recognised as gone.
platform::SerialPort* handleOf(std::uint32_t id) {
    return reinterpret_cast<platform::SerialPort*>(static_cast<std::uintptr_t>(id));
}

bool isOpen(const BusState& bus, platform::SerialPort* port) {
    return bus.port.id != 0 && handleOf(bus.port.id) == port;
}

platform::SerialPort* openPort(std::string_view name) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    if (bus.faults.failOpen || bus.faults.adapterPulled || bus.port.id != 0 ||
        name != bus.port.name) {
        return nullptr;
    }
    bus.port.id = bus.port.nextId++;
    bus.port.input.clear();
    bus.port.state.open = true;
    bus.port.state.baud = 115200;
    ++bus.port.state.opens;
    // An adapter fed by the port's lines starts afresh with every open.
    PowerUpAdapterLocked();
    return handleOf(bus.port.id);
}

bool setSpeed(platform::SerialPort* port, std::uint32_t baud) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    if (!isOpen(bus, port)) return false;
    if (baud != 9600 && baud != 19200 && baud != 57600 && baud != 115200) return false;
    if ((baud == 9600 && bus.faults.failResetSpeed) ||
        (baud == 115200 && bus.faults.failDataSpeed)) {
        return false;
    }
    bus.port.state.baud = baud;
    return true;
}

void setLines(platform::SerialPort* port, bool dtrOn, bool rtsOn) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    if (!isOpen(bus, port)) return;
    bus.port.state.dtr = dtrOn;
    bus.port.state.rts = rtsOn;
    ++bus.port.state.lineChanges;
    // A line driver fed by the two lines loses its power with them.
    if (!dtrOn && !rtsOn) PowerUpAdapterLocked();
}

std::int32_t inputWaiting(platform::SerialPort* port) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    if (!isOpen(bus, port)) return 0;
    return static_cast<std::int32_t>(bus.port.input.size());
}

std::int32_t write(platform::SerialPort* port, const std::uint8_t* data, std::int32_t n) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    if (!isOpen(bus, port) || data == nullptr || n <= 0) return 0;
    ++bus.port.state.writes;
    std::int32_t accepted = n;
    if (bus.faults.writeLimit >= 0) accepted = std::min(n, bus.faults.writeLimit);
    std::vector<std::uint8_t> echoes;
    for (std::int32_t i = 0; i < accepted; ++i) {
        HostByteLocked(bus, data[i], bus.port.state.baud, echoes);
    }
    bus.port.input.insert(bus.port.input.end(), echoes.begin(), echoes.end());
    return accepted;
}

std::int32_t read(platform::SerialPort* port, std::uint8_t* data, std::int32_t n) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    if (!isOpen(bus, port) || data == nullptr || n <= 0) return 0;
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(n), bus.port.input.size());
    std::copy_n(bus.port.input.begin(), count, data);
    bus.port.input.erase(bus.port.input.begin(), bus.port.input.begin() + static_cast<long>(count));
    return static_cast<std::int32_t>(count);
}

// Every echo is there as soon as its byte is written, so a wait that is not
// yet satisfied never will be (on a lost port nothing comes at all): it costs
// its whole time-out, on the clock the process uses (the virtual one in tests).
void waitInput(platform::SerialPort* port, std::int32_t bytes, std::uint32_t timeoutMs) {
    {
        BusState& bus = Bus();
        std::lock_guard guard(bus.lock);
        if (isOpen(bus, port) && static_cast<std::int32_t>(bus.port.input.size()) >= bytes) {
            return;
        }
    }
    if (timeoutMs > 0) platform::SleepMs(timeoutMs);
}

void close(platform::SerialPort* port) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    if (!isOpen(bus, port)) return;
    bus.port.id = 0;
    bus.port.input.clear();
    bus.port.state.open = false;
    ++bus.port.state.closes;
}

bool lost(platform::SerialPort* port) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    return bus.port.lostId != 0 && handleOf(bus.port.lostId) == port;
}

const platform::SerialPortOps ops{
    openPort, setSpeed, setLines, inputWaiting, write, read, waitInput, close, lost,
};

}  // namespace

void SetPortName(std::string name) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    bus.port.name = std::move(name);
}

const platform::SerialPortOps& SerialOps() {
    return ops;
}

PortState CurrentPortState() {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    return bus.port.state;
}

void Install() {
    onewire::useSerialBackend(&ops);
}

void Uninstall() {
    onewire::useSerialBackend(nullptr);
}

}  // namespace busmodel
