#pragma once
// What the serial ports of every system share: how a port name is read and the
// time limits of reads and writes. Internal to the platform layer.
#include <cstdint>
#include <string_view>

namespace platform {

// Port names are used by their first 59 characters, as on the system where
// ports are named COMn.
inline constexpr std::size_t MaxPortNameChars = 59;

// A whole write must be done within 10 ms plus 100 ms per byte.
inline constexpr std::uint32_t WriteLimitBaseMs = 10;
inline constexpr std::uint32_t WriteLimitPerByteMs = 100;

// A read only asks for bytes already reported waiting; some drivers report
// them a moment before they can be read, so a read waits this long for them.
inline constexpr std::uint32_t ReadGraceMs = 50;

// The part of `name` that is used.
std::string_view UsedPortName(std::string_view name);

// "COM3" (any letter case) gives 3; 0 for any other name.
unsigned ComPortNumber(std::string_view name);

}  // namespace platform
