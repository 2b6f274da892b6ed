#pragma once
#include <array>
#include <cstdint>

namespace onewire {

// A device's ROM code in bus order: family code, 48-bit serial number
// (least significant byte first), CRC-8 of the first seven bytes.
using RomCode = std::array<std::uint8_t, 8>;

}  // namespace onewire
