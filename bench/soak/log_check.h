#pragma once
// Every reading in the program's log against what the simulator served: a
// line "[DD/MM/YYYY HH:MM:SS]  ROM  —  T °C" passes when T, shown with one
// decimal, is one of the temperatures served for that ROM.
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "bus_script.h"

namespace soak {

struct LogVerdict {
    long readings = 0;              // reading lines checked
    std::vector<std::string> bad;   // lines with a value (or ROM) never served
    std::vector<std::string> alien; // non-empty lines that are no reading at all
};

// The ROM text and degrees of one log line; false when it is not a reading.
bool ParseReading(std::string_view line, std::string& rom, double& celsius);

// Judges the whole log text (byte order mark and CR LF line ends allowed).
LogVerdict CheckLog(std::string_view logText, const std::set<Served>& served);

}  // namespace soak
