#pragma once
// What kelvarian-sim serves: devices, faults and where to put the COMn link,
// from command-line flags and a small config file.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "busmodel/bus_model.h"
#include "busmodel/ds2480_engine.h"

namespace sim {

struct SimConfig {
    std::string linkPath;    // empty: no link
    std::string configPath;  // empty: no file (re-read on SIGHUP)
    std::string tracePath;   // empty: no byte trace
    std::vector<busmodel::Device> devices;
    busmodel::Faults faults;
    std::uint32_t latencyMs = 0;  // added to every write's round trip
    bool wireTiming = false;      // echoes come back after their bytes' wire time
    busmodel::Adapter adapter = busmodel::Adapter::Passive;
    // --w1-sysfs: the folder that stands for /sys/bus/w1/devices; empty
    // serves the bus on a pseudo-terminal instead.
    std::string w1Root;
    bool w1Bulk = true;      // the master offers therm_bulk_read
    bool w1Instant = false;  // conversions take no time (tests)
    bool help = false;
};

// Reads the flags (argv[1..]). false with a message in `error` when a flag or
// its value is wrong. A --config file is read by LoadConfigFile.
bool ParseArgs(int argc, const char* const* argv, SimConfig& config, std::string& error);

// Applies the lines of a config file on top of `config`. false with the first
// bad line named in `error`.
bool ParseConfigText(std::string_view text, SimConfig& config, std::string& error);
bool LoadConfigFile(const std::string& path, SimConfig& config, std::string& error);

// One device: "ROM[,option...]" (options also separated by blanks). See Usage().
bool ParseDevice(std::string_view item, busmodel::Device& device, std::string& error);
// One bus fault by name: shorted, no-echo, double-echo, unplug-after=N, or a
// glitch inside a search: short-in-search=N or no-echo-in-search=N with its
// options (bit=K ms=M every=E, separated by commas or blanks).
bool ParseFault(std::string_view item, busmodel::Faults& faults, std::string& error);

// "passive" or "ds2480b".
bool ParseAdapter(std::string_view name, busmodel::Adapter& adapter, std::string& error);

std::string_view Usage();

}  // namespace sim
