#pragma once
// The soak run's bus: a seeded sequence of changes to kelvarian-sim's devices
// (added, removed, off the bus and back, corrupt and healed, new
// temperatures), the config text that serves each state, and a record of
// every temperature a thermometer could have sent.
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "busmodel/bus_model.h"

namespace soak {

// How a thermometer's scratchpad reads are spoiled: a damaged byte that CRC-8
// catches, or noise instead of the memory (sealed noise passes the CRC).
enum class Corruption : std::uint8_t { None, TemperatureBit, AnyBit, AnyByte, Noise, SealedNoise };

struct SoakDevice {
    busmodel::RomCode rom{};
    std::int16_t raw = 0;  // DS18B20 1/16 degC, DS18S20 1/2 degC
    bool absent = false;
    Corruption corruption = Corruption::None;
};

// A temperature one thermometer may have sent: its ROM text and degrees C.
using Served = std::pair<std::string, double>;

struct SoakBus {
    std::vector<SoakDevice> devices;
    std::mt19937 random;
    std::uint64_t nextSerial = 0x50AC00;
    std::uint32_t unplugSteps = 0;  // steps left with the adapter unplugged
    // A glitch timed inside the searches of this step ("fault" line of
    // kelvarian-sim without the word), empty for none.
    std::string glitch;
    std::uint32_t glitchSteps = 0;  // steps that carried one
    std::set<Served> served;        // everything any thermometer may have sent
};

// Ten thermometers (eight DS18B20, two DS18S20) and the seed.
SoakBus StartBus(std::uint32_t seed);

// One change drawn from the seed; returns what it did, for the run's output.
std::string Step(SoakBus& bus);

// Every thermometer healthy and on the bus, the adapter in place, no glitch: the state
// the run ends in, so that afterwards the program must be reading again.
std::string Settle(SoakBus& bus);

// The config file's text for the present state (wire-timing and latency
// lines come first when given).
std::string ConfigText(const SoakBus& bus, std::uint32_t latencyMs);

// Degrees C of a raw value of the family's unit.
double Celsius(std::uint8_t family, std::int16_t raw);

}  // namespace soak
