#include "onewire/port_adapter.h"

#include <atomic>
#include <memory>
#include <new>

#include "onewire/bus_master.h"
#include "onewire/kernel_master.h"
#include "onewire/link.h"
#include "onewire/primitives.h"
#include "onewire/status.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace onewire {
namespace {

// The one port of the bus. Only the monitor thread opens, closes and uses it,
// so it carries no lock. A master that needs no serial port (the kernel's)
// holds the bus open with `port` empty.
struct CurrentPort {
    const platform::SerialPortOps* ops = nullptr;
    platform::SerialPort* port = nullptr;
    const BusMaster* master = nullptr;
    bool open = false;
};
CurrentPort current;

// Chosen before the monitor thread starts (tests, kelvarian-sim); nullptr is
// the operating system's ports.
std::atomic<const platform::SerialPortOps*> backend{nullptr};

// Written by the user-interface thread, read by the monitor at each use.
std::atomic<std::uint32_t> options{0};

// The master of the open port for other threads (the status page names it);
// set and cleared by the monitor thread with the port.
std::atomic<const BusMaster*> shownMaster{nullptr};

// The bus supply settles within a few milliseconds of DTR/RTS going on; 20 ms
// leaves margin for the adapter's capacitor.
constexpr std::uint32_t SupplySettleMs = 20;

const platform::SerialPortOps& chosenBackend() {
    const platform::SerialPortOps* ops = backend.load();
    return ops != nullptr ? *ops : platform::SystemSerialPort();
}

void driveSupply(bool powered) {
    const bool on = (options.load() & InvertLines) != 0 ? !powered : powered;
    current.ops->setLines(current.port, on, on);
}

void forgetPort() {
    if (current.master != nullptr && current.master->detach != nullptr) current.master->detach();
    current.ops = nullptr;
    current.port = nullptr;
    current.master = nullptr;
    current.open = false;
    shownMaster.store(nullptr);
}

void takeMaster(const BusMaster* master) {
    current.master = master;
    current.open = true;
    shownMaster.store(master);
}

// The masters a serial port may lead to, most telling answer first: the last
// one takes any port, as a passive adapter answers nothing of its own.
const BusMaster* const SerialMasters[] = {&ds2480Master(), &passiveMaster()};

const BusMaster* detectMaster() {
    for (const BusMaster* master : SerialMasters) {
        if (master->attach()) return master;
    }
    return &passiveMaster();
}

}  // namespace

void useSerialBackend(const platform::SerialPortOps* ops) {
    backend.store(ops);
}

void setLinkOptions(std::uint32_t value) {
    options.store(value);
}

std::uint32_t linkOptions() {
    return options.load();
}

namespace {

using OpenFunction = platform::SerialPort* (*)(std::string_view);

bool openWith(std::string_view name, bool again) {
    (void)closePort();
    const BusMaster* kernel = nullptr;
    switch (openKernelMaster(name, again, kernel)) {
        case KernelOpen::Opened:
            takeMaster(kernel);
            setStatus(Ok);
            return true;
        case KernelOpen::Failed:
            return fail(NoPort);
        case KernelOpen::NotKernel:
            break;
    }
    const platform::SerialPortOps& ops = chosenBackend();
    const OpenFunction open = again && ops.reopen != nullptr ? ops.reopen : ops.open;
    platform::SerialPort* port = open(name);
    if (port == nullptr) return fail(NoPort);
    current.ops = &ops;
    current.port = port;
    current.open = true;
    driveSupply(true);
    sleepMs(SupplySettleMs);
    takeMaster(detectMaster());
    setStatus(Ok);
    return true;
}

}  // namespace

bool openPort(std::string_view name) {
    return openWith(name, false);
}

bool reopenPort(std::string_view name) {
    return openWith(name, true);
}

bool closePort() {
    if (!current.open) return fail(NoPort);
    if (current.port != nullptr) {
        driveSupply(false);
        current.ops->close(current.port);
    }
    forgetPort();
    setStatus(Ok);
    return true;
}

void releasePortAtExit() {
    if (!current.open) return;
    if (current.port != nullptr) current.ops->close(current.port);
    forgetPort();
}

const BusMaster& busMaster() {
    return current.master != nullptr ? *current.master : passiveMaster();
}

std::string_view adapterName() {
    const BusMaster* master = shownMaster.load();
    return master != nullptr ? master->name : std::string_view{};
}

bool portLost() {
    if (current.port != nullptr) return current.ops->lost(current.port);
    return current.open && current.master->lost != nullptr && current.master->lost();
}

bool portIsOpen() {
    return current.open;
}

bool requirePort() {
    if (!current.open) return fail(NoPort);
    setStatus(Ok);
    discardInput();
    return true;
}

bool setSpeed(std::uint32_t baud) {
    if (current.port == nullptr) return false;
    if (!current.ops->setSpeed(current.port, baud)) return fail(SpeedChangeError);
    // The port's settings carry no DTR/RTS modes here, so the supply is driven
    // again after every change; a new InvertLines thus reaches the lines at the
    // next reset.
    driveSupply(true);
    return true;
}

void setSupply(bool powered) {
    if (current.port != nullptr) driveSupply(powered);
}

void discardInput() {
    const std::int32_t waiting = inputWaiting();
    if (waiting <= 0) return;
    std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow)
                                                std::uint8_t[static_cast<std::size_t>(waiting)]);
    if (!scratch) return;
    (void)readPort(scratch.get(), waiting);
}

void sleepMs(std::uint32_t ms) {
    platform::SleepMs(ms);
}

std::uint64_t elapsedMs() {
    return platform::ElapsedMs();
}

std::int32_t inputWaiting() {
    if (current.port == nullptr) return 0;
    return current.ops->inputWaiting(current.port);
}

std::int32_t writePort(const std::uint8_t* data, std::int32_t n) {
    if (current.port == nullptr) return 0;
    return current.ops->write(current.port, data, n);
}

std::int32_t readPort(std::uint8_t* data, std::int32_t n) {
    if (current.port == nullptr) return 0;
    return current.ops->read(current.port, data, n);
}

void waitInput(std::int32_t bytes, std::uint32_t timeoutMs) {
    if (current.port == nullptr) return;
    current.ops->waitInput(current.port, bytes, timeoutMs);
}

}  // namespace onewire
