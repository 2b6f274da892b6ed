#pragma once
// The one simulated bus of the process and its in-process port. Internal to
// the bus model.
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "busmodel/bus_model.h"
#include "busmodel/device_engine.h"

namespace busmodel {

struct PortModel {
    std::string name = "COM1";
    std::uint32_t id = 0;  // of the open port; 0 when none is open
    std::uint32_t nextId = 1;
    std::uint32_t lostId = 0;        // of the port the pulled adapter took away
    std::deque<std::uint8_t> input;  // echoes waiting to be read
    PortState state;
};

// Watches the ROM command after every reset, so that a search glitch can be
// timed in Search ROM commands and slots whoever is on the bus.
struct GlitchWatch {
    int commandBits = -1;  // bits of the ROM command so far; -1 when none is expected
    std::uint8_t command = 0;
    std::int32_t searches = 0;      // Search ROM commands since the faults were set
    std::int32_t searchSlots = -1;  // slots since the current Search ROM; -1 outside one
    bool armed = false;             // this search is one the glitch begins in
    bool active = false;
    std::uint64_t untilMs = 0;
    std::int32_t slotsLeft = 0;  // of a glitch that lasts a number of bits
};

struct BusState {
    std::mutex lock;  // guards everything below; held only inside one call
    std::vector<DeviceRuntime> devices;
    Faults faults;
    GlitchWatch glitch;
    std::deque<std::uint8_t> script;
    std::uint32_t scriptDelay = 0;  // bytes echoed as usual before the script
    bool recording = false;
    std::vector<WireByte> wireLog;
    PortModel port;
};

BusState& Bus();

// Transmit with the lock already held.
void TransmitLocked(BusState& bus, std::uint8_t byte, std::uint32_t baud,
                    std::vector<std::uint8_t>& echoes);

}  // namespace busmodel
