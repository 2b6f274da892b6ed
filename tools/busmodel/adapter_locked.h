#pragma once
// The adapter's entry points for callers that hold the bus lock. Internal to
// the bus model.
#include <cstdint>
#include <vector>

#include "busmodel/bus_state.h"

namespace busmodel {

std::int64_t HostByteLocked(BusState& bus, std::uint8_t byte, std::uint32_t baud,
                            std::vector<std::uint8_t>& answers);
void PowerUpAdapterLocked();
void ResetAdapterLocked();

}  // namespace busmodel
