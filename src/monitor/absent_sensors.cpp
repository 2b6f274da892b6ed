#include "monitor/absent_sensors.h"

#include <algorithm>

#include "monitor/thermometer.h"

namespace monitor {
namespace {

bool polled(const BusDeviceList& devices, const RomCode& rom) {
    return std::any_of(devices.begin(), devices.end(),
                       [&rom](const BusDevice& device) { return device.rom == rom; });
}

// Visits the codes that can be tried, in their order. Only thermometers can
// be read; the others wait for a search. Known and unconfirmed codes never
// overlap.
template <typename Visit>
void forEachAbsent(const BusDeviceList& devices, const SearchMemory& memory, Visit visit) {
    for (const std::vector<RomCode>* codes : {&memory.unconfirmed, &memory.known}) {
        for (const RomCode& rom : *codes) {
            if (IsThermometer(rom[0]) && !polled(devices, rom)) visit(rom);
        }
    }
}

}  // namespace

std::size_t PickAbsentSensors(const BusDeviceList& devices, const SearchMemory& memory,
                              std::size_t& cursor,
                              std::array<RomCode, AbsentReadsPerPass>& picked) {
    std::size_t count = 0;
    forEachAbsent(devices, memory, [&count](const RomCode&) { ++count; });
    if (count == 0) return 0;
    const std::size_t wanted = std::min(count, AbsentReadsPerPass);
    const std::size_t first = cursor % count;
    std::size_t index = 0;
    std::size_t filled = 0;
    forEachAbsent(devices, memory, [&](const RomCode& rom) {
        // The wanted positions follow `first` and may wrap around the end.
        const std::size_t offset = (index + count - first) % count;
        if (offset < wanted) picked[offset] = rom, ++filled;
        ++index;
    });
    cursor = first + wanted;
    return filled;
}

}  // namespace monitor
