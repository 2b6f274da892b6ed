#pragma once
// What the two supported thermometer families mean: type texts, the serial
// text with its CRC warning, the supply-mode text and the scratchpad reading.
// Shared by the monitor thread and kelvarian-scan.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "onewire/rom_code.h"

namespace monitor {

inline constexpr std::uint8_t FamilyDS18S20 = 0x10;
inline constexpr std::uint8_t FamilyDS18B20 = 0x28;

// Nine bytes: temperature low and high byte, ..., CRC-8 of bytes 0-7.
using Scratchpad = std::array<std::uint8_t, 9>;

// Valid conversion results of both families, bounds included.
inline constexpr float SensorRangeLowC = -55.0f;
inline constexpr float SensorRangeHighC = 127.0f;

inline constexpr std::string_view ScratchpadCrcErrorText = "Ошибка CRC";

bool IsThermometer(std::uint8_t family);

// "DS1820 / DS18S20", "DS18B20" or "Неизвестное устройство".
std::string_view TypeText(std::uint8_t family);

// true when byte 7 is the CRC-8 of bytes 0-6. Leaves bus status 0.
bool RomCrcGood(const onewire::RomCode& rom);

// The ROM code's text form, with "  ОШИБКА CRC" appended when its CRC fails.
std::string SerialText(const onewire::RomCode& rom);

// "3 вывода" (supply bit 1), "2 вывода ('паразитное' питание)" (bit 0), or
// "Ошибка" when the device could not be addressed.
std::string_view ConnectionText(bool addressed, int supplyBit);

struct ScratchpadReading {
    bool valid = false;  // CRC good and not the all-zero pattern of a shorted bus
    float celsius = 0.0f;
};

// Judges the CRC (leaving bus status 0) and converts the raw value:
// raw / 16 for a DS18B20, raw / 2 for a DS18S20.
ScratchpadReading DecodeScratchpad(std::uint8_t family, const Scratchpad& scratchpad);

bool WithinSensorRange(float celsius);

// One decimal, a point, " °C": 25.0625 gives "25.1 °C". Independent of the
// process locale.
std::string FormatTemperature(float celsius);

}  // namespace monitor
