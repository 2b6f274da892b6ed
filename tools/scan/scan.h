#pragma once
// One look at the bus: search, one conversion for all, one line per device.
#include <string>
#include <vector>

namespace scan {

// Lines in search order: ROM text, type, connection and temperature (or the
// reason there is none), separated by tabs. false when the port did not open
// or no device was found; `error` then holds the bus status message, and a
// second line on access to the device when the system refused it. `adapter`,
// when given, receives the adapter kind once the port is open ("passive",
// "DS2480B").
[[nodiscard]] bool ScanBus(const std::string& port, std::vector<std::string>& lines,
                           std::string& error, std::string* adapter = nullptr);

}  // namespace scan
