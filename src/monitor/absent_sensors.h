#pragma once
// Thermometers the monitor knows but does not poll: stored sensors that are
// "Не найден" and codes a search met for the first time. Each pass reads a
// few of them, so that a sensor plugged back in (a loose connector, one moved
// to another place) is polled again without a search.
#include <array>
#include <cstddef>

#include "monitor/bus_device.h"
#include "monitor/port_search.h"

namespace monitor {

// A read of a sensor that is gone costs a Match ROM and nine bytes; two a
// pass keep that well below one poll of a thermometer per missing one.
inline constexpr std::size_t AbsentReadsPerPass = 2;

// The codes to try this pass, in turn from `cursor` (moved on past them):
// unconfirmed thermometer codes first, then known thermometers that are not
// in `devices`. Returns how many of `picked` were filled.
std::size_t PickAbsentSensors(const BusDeviceList& devices, const SearchMemory& memory,
                              std::size_t& cursor, std::array<RomCode, AbsentReadsPerPass>& picked);

}  // namespace monitor
