#pragma once
// Building valid ROM codes and scratchpads for simulated devices.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "onewire/rom_code.h"

namespace busmodel {

using Scratchpad = std::array<std::uint8_t, 9>;

// Dallas/Maxim CRC-8 (touches no bus status, unlike onewire::crc8).
std::uint8_t Crc8(std::span<const std::uint8_t> bytes);

// Family code, 48-bit serial number (low byte first on the wire), CRC byte.
onewire::RomCode MakeRomCode(std::uint8_t family, std::uint64_t serial);

// The scratchpad a thermometer of `family` holds after converting `raw`
// (DS18B20: 1/16 degC, 12 bits, TH 75, TL 70; DS18S20: 1/2 degC with its
// count bytes), CRC included.
Scratchpad MakeScratchpad(std::uint8_t family, std::int16_t raw);

// Celsius to the family's raw unit, rounded to the nearest step.
std::int16_t RawFromCelsius(std::uint8_t family, double celsius);

// "28-00000B013C5A-14": family, serial bytes 6..1, CRC. Parsing also takes
// the form without "-CRC" (the CRC is then computed); nullopt when malformed.
std::string FormatRom(const onewire::RomCode& rom);
std::optional<onewire::RomCode> ParseRom(std::string_view text);

}  // namespace busmodel
