#include "monitor/thermometer.h"

#include <algorithm>
#include <charconv>

#include "monitor/sensor_table.h"
#include "onewire/rom.h"

namespace monitor {

bool IsThermometer(std::uint8_t family) {
    return family == FamilyDS18S20 || family == FamilyDS18B20;
}

std::string_view TypeText(std::uint8_t family) {
    switch (family) {
        case FamilyDS18S20:
            return "DS1820 / DS18S20";
        case FamilyDS18B20:
            return "DS18B20";
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
    const auto raw = static_cast<std::int16_t>(scratchpad[1] << 8 | scratchpad[0]);
    // DS18B20: 1/16 degree per count; DS18S20: 1/2 degree per count.
    reading.celsius = static_cast<float>(raw) / (family == FamilyDS18B20 ? 16.0f : 2.0f);
    return reading;
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
