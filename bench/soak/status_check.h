#pragma once
// After the run: the program's /status.json and its saved sensors against the
// bus. Every thermometer on the bus that the program lists reads the
// temperature the bus holds, and no code the program lists or saves was ever
// off the bus (a phantom read from a glitch).
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "bus_script.h"

namespace soak {

struct StatusVerdict {
    int onBus = 0;                        // thermometers on the bus
    int listed = 0;                       // of them, listed by the program
    int reading = 0;                      // of those, showing the temperature the bus holds
    std::vector<std::string> notReading;  // listed, on the bus, and not reading it
    std::vector<std::string> strangers;   // listed, and never a device on the bus
    bool parsed = false;
};

// `bus`: the devices the simulator serves now (kelvarian-sim's config);
// `served`: every code and temperature the run ever served.
StatusVerdict CheckStatus(std::string_view statusJson, const std::vector<busmodel::Device>& bus,
                          const std::set<Served>& served);

// The saved sensor IDs (settings file numbers) that are no code the run ever served.
std::vector<std::int64_t> SavedStrangers(const std::vector<std::int64_t>& savedIds,
                                         const std::set<Served>& served);

}  // namespace soak
