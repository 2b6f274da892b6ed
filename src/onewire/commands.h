#pragma once
// The device commands the ROM layer sends, as every master sees them go by
// (the kernel's master answers them from its files). Internal to the 1-Wire
// library.
#include <cstdint>

namespace onewire {

inline constexpr std::uint8_t SearchRomCommand = 0xF0;
inline constexpr std::uint8_t MatchRomCommand = 0x55;
inline constexpr std::uint8_t SkipRomCommand = 0xCC;
inline constexpr std::uint8_t ConvertTCommand = 0x44;
inline constexpr std::uint8_t ReadScratchpadCommand = 0xBE;
inline constexpr std::uint8_t ReadPowerSupplyCommand = 0xB4;

}  // namespace onewire
