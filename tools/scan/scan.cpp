#include "scan.h"

#include "monitor/ds18x20.h"
#include "monitor/port_search.h"
#include "monitor/thermometer.h"
#include "onewire/link.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace scan {
namespace {

// A 12-bit conversion takes up to 750 ms.
constexpr unsigned ConversionWaitMs = 800;

// Serial devices belong to a group (dialout on Debian) that a new user is not
// in; the bus status alone would not say what to change.
constexpr const char* PermissionHint =
    "Permission denied: the user needs read and write access to the device, "
    "e.g. membership of the dialout group.";

std::string currentStatusMessage() {
    return std::string(onewire::statusMessage(onewire::lastStatus()));
}

std::string connectionOf(const onewire::RomCode& rom) {
    if (!monitor::IsThermometer(rom[0])) return {};
    return std::string(monitor::ReadSupplyModeText(rom));
}

std::string temperatureOf(const onewire::RomCode& rom) {
    if (!monitor::IsThermometer(rom[0])) return {};
    // Read as the monitor reads, so that noise passing the CRC once is not
    // printed as a temperature: two equal scratchpads make a reading.
    const monitor::CheckedRead read = monitor::ReadCheckedScratchpad(rom, nullptr, false);
    if (read.accepted) {
        return monitor::FormatTemperature(
            monitor::DecodeScratchpad(rom[0], read.scratchpad).celsius);
    }
    if (!read.lastReadOk) return currentStatusMessage();
    return std::string(monitor::ScratchpadCrcErrorText);
}

}  // namespace

bool ScanBus(const std::string& port, std::vector<std::string>& lines, std::string& error,
             std::string* adapter) {
    if (!onewire::openPort(port)) {
        error = currentStatusMessage();
        if (platform::LastPortOpenFailure() == platform::PortOpenFailure::PermissionDenied) {
            error += '\n';
            error += PermissionHint;
        }
        return false;
    }
    if (adapter != nullptr) *adapter = onewire::adapterName();
    monitor::BusDeviceList devices;
    monitor::EnumerateBus(devices);
    if (devices.empty()) {
        error = currentStatusMessage();
        onewire::closePort();
        return false;
    }
    std::vector<std::string> connections;
    for (const monitor::BusDevice& device : devices)
        connections.push_back(connectionOf(device.rom));
    // A failed conversion command shows up in the reads that follow.
    if (onewire::resetAndSkipRom() && onewire::startConversion(0)) {
        platform::SleepMs(ConversionWaitMs);
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const onewire::RomCode& rom = devices[i].rom;
        lines.push_back(monitor::SerialText(rom) + '\t' + std::string(monitor::TypeText(rom[0])) +
                        '\t' + connections[i] + '\t' + temperatureOf(rom));
    }
    onewire::closePort();
    return true;
}

}  // namespace scan
