#pragma once
// The sensor table: rows of six display cells keyed by ROM code. Three lists
// never share storage: the window's (user-interface thread), the monitor's
// working list (monitor thread) and the mailbox copy between them.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "onewire/rom_code.h"

namespace monitor {

using onewire::RomCode;

// Background colours, 0x00BBGGRR.
inline constexpr std::int32_t ErrorColor = 0x008888FD;  // light red: a fault
inline constexpr std::int32_t AlarmColor = 0x00ABF9FF;  // light yellow: out of range
inline constexpr std::int32_t DefaultColor = -1;        // the list view's own colours

// Bits of SensorCell::changed.
inline constexpr std::uint8_t TextChanged = 1;
inline constexpr std::uint8_t ColorChanged = 2;

struct SensorCell {
    std::string text;  // UTF-8
    std::int32_t color = DefaultColor;
    std::uint8_t changed = 0;  // TextChanged | ColorChanged
};

enum SensorColumn : int { Name = 0, Type, Serial, Connection, Temperature, Status, ColumnCount };

struct SensorRecord {
    std::array<SensorCell, ColumnCount> cells{};
    RomCode rom{};
    std::uint8_t present = 0;  // window list only
};

using SensorList = std::vector<SensorRecord>;

// ROM code as one little-endian signed 64-bit integer (byte 0 lowest); 0 is
// no device. The settings file stores this number.
std::int64_t RomToInt64(const RomCode& rom);
RomCode RomFromInt64(std::int64_t value);

// 28-00000B013C5A-14: byte 0, bytes 6..1, byte 7; upper-case hex, 18 characters.
std::string FormatRomCode(const RomCode& rom);

}  // namespace monitor
