#include "monitor/thermometer.h"

#include <algorithm>
#include <charconv>

#include "monitor/sensor_table.h"
#include "onewire/rom.h"

namespace monitor {
namespace {

std::int16_t rawValue(const Scratchpad& scratchpad) {
    return static_cast<std::int16_t>(scratchpad[1] << 8 | scratchpad[0]);
}

}  // namespace

bool IsThermometer(std::uint8_t family) {
    return family == FamilyDS18S20 || ReadsAsDS18B20(family);
}

bool ReadsAsDS18B20(std::uint8_t family) {
    return family == FamilyDS18B20 || family == FamilyDS1822 || family == FamilyDS28EA00;
}

std::string_view TypeText(std::uint8_t family) {
    switch (family) {
        case FamilyDS18S20:
            return "DS1820 / DS18S20";
        case FamilyDS18B20:
            return "DS18B20";
        case FamilyDS1822:
            return "DS1822";
        case FamilyDS28EA00:
            return "DS28EA00";
        default:
            return "Неизвестное устройство";
    }
}

bool RomCrcGood(const onewire::RomCode& rom) {
    return onewire::crc8(rom.data(), 7) == rom[7];
}

std::string SerialText(const onewire::RomCode& rom) {
    std::string text = FormatRomCode(rom);
    if (!RomCrcGood(rom)) text += "  ОШИБКА CRC";
    return text;
}

std::string_view ConnectionText(bool addressed, int supplyBit) {
    if (!addressed) return "Ошибка";
    return supplyBit != 0 ? "3 вывода" : "2 вывода ('паразитное' питание)";
}

ScratchpadReading DecodeScratchpad(std::uint8_t family, const Scratchpad& scratchpad) {
    // Nine zero bytes pass the CRC-8 (it is 0 over zeros), yet no thermometer
    // sends them: a wire held low reads as all zeros.
    const bool allZero =
        std::all_of(scratchpad.begin(), scratchpad.end(), [](std::uint8_t b) { return b == 0; });
    const bool crcGood = onewire::crc8(scratchpad.data(), 8) == scratchpad[8];
    ScratchpadReading reading;
    reading.valid = crcGood && !allZero;
    reading.celsius = ScratchpadCelsius(family, scratchpad);
    return reading;
}

float ScratchpadCelsius(std::uint8_t family, const Scratchpad& scratchpad) {
    // DS18B20: 1/16 degree per count; DS18S20: 1/2 degree per count.
    return static_cast<float>(rawValue(scratchpad)) / (ReadsAsDS18B20(family) ? 16.0f : 2.0f);
}

bool NobodyAnswered(const Scratchpad& scratchpad) {
    return std::all_of(scratchpad.begin(), scratchpad.end(),
                       [](std::uint8_t byte) { return byte == 0xFF; });
}

bool LooksLikeLastReading(std::uint8_t family, const Scratchpad& scratchpad,
                          const Scratchpad& last) {
    // Bytes 2 and 3 (TH, TL) and a DS18B20's configuration in byte 4 are the
    // user's to write; byte 6 is a DS18S20's count remaining and varies on
    // some DS18B20s.
    const bool fixedSame = scratchpad[5] == last[5] && scratchpad[7] == last[7] &&
                           (family != FamilyDS18S20 || scratchpad[4] == last[4]);
    const float step = ScratchpadCelsius(family, scratchpad) - ScratchpadCelsius(family, last);
    return fixedSame && step <= MaxSteadyStepC && step >= -MaxSteadyStepC;
}

bool IsPowerOnValue(std::uint8_t family, const Scratchpad& scratchpad) {
    const std::int16_t powerOnRaw = ReadsAsDS18B20(family) ? 0x0550 : 0x00AA;
    return rawValue(scratchpad) == powerOnRaw && scratchpad[6] == 0x0C;
}

bool WithinSensorRange(float celsius) {
    return celsius >= SensorRangeLowC && celsius <= SensorRangeHighC;
}

std::string FormatTemperature(float celsius) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, static_cast<double>(celsius),
                                      std::chars_format::fixed, 1);
    std::string text(digits, result.ptr);
    text += " °C";
    return text;
}

}  // namespace monitor
