#pragma once
// What the supported thermometer families mean: type texts, the serial
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
// The DS18B20's sister parts: its scratchpad, commands and 1/16 degree steps.
inline constexpr std::uint8_t FamilyDS1822 = 0x22;
inline constexpr std::uint8_t FamilyDS28EA00 = 0x42;

// Nine bytes: temperature low and high byte, ..., CRC-8 of bytes 0-7.
using Scratchpad = std::array<std::uint8_t, 9>;

// Valid conversion results of both families, bounds included.
inline constexpr float SensorRangeLowC = -55.0f;
inline constexpr float SensorRangeHighC = 127.0f;

inline constexpr std::string_view ScratchpadCrcErrorText = "Ошибка CRC";
// The Status of a thermometer that was identified and not read yet.
inline constexpr std::string_view NotReadYetText = "Инициализация";

bool IsThermometer(std::uint8_t family);

// A DS18B20 or one of its sister parts, which read and behave as one.
bool ReadsAsDS18B20(std::uint8_t family);

// "DS1820 / DS18S20", "DS18B20", "DS1822", "DS28EA00" or "Неизвестное устройство".
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
// raw / 16 for a DS18B20 and its sisters, raw / 2 for a DS18S20.
ScratchpadReading DecodeScratchpad(std::uint8_t family, const Scratchpad& scratchpad);

// The raw value converted, whatever the CRC says. Touches no bus status.
float ScratchpadCelsius(std::uint8_t family, const Scratchpad& scratchpad);

// Nine 0xFF bytes: nobody drove the read slots, as when no device answered
// the Match ROM.
bool NobodyAnswered(const Scratchpad& scratchpad);

// CRC-8 lets through some errors of four bits or more. A scratchpad that
// passed it is taken on one read only when it looks like the sensor's last
// accepted one: the bytes a thermometer never changes by itself are the same
// (DS18B20: 5 and 7; DS18S20: 4, 5 and 7) and the temperature lies within
// MaxSteadyStepC of that one. The sensor's own bytes are the reference, not
// the datasheet's, so clones with other values there read as well.
inline constexpr float MaxSteadyStepC = 0.5f;
bool LooksLikeLastReading(std::uint8_t family, const Scratchpad& scratchpad,
                          const Scratchpad& last);

// What a thermometer holds from power-on until its first conversion: 85 degC
// (DS18B20 raw 0x0550, DS18S20 raw 0x00AA) with byte 6 = 0x0C. A sensor that
// reconnected between the conversion and the read sends it.
inline constexpr float PowerOnCelsius = 85.0f;
bool IsPowerOnValue(std::uint8_t family, const Scratchpad& scratchpad);

bool WithinSensorRange(float celsius);

// One decimal, a point, " °C": 25.0625 gives "25.1 °C". Independent of the
// process locale.
std::string FormatTemperature(float celsius);

}  // namespace monitor
