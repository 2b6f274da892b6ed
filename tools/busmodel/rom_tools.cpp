#include "busmodel/rom_tools.h"

#include <cmath>
#include <cstdio>

#include "busmodel/bus_model.h"
#include "busmodel/device_engine.h"

namespace busmodel {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 2*count hex digits into bytes, most significant byte first.
bool readHex(std::string_view text, std::uint8_t* bytes, std::size_t count) {
    if (text.size() != 2 * count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const int high = hexDigit(text[2 * i]);
        const int low = hexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

}  // namespace

std::uint8_t Crc8(std::span<const std::uint8_t> bytes) {
    std::uint8_t crc = 0;
    for (std::uint8_t byte : bytes) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = ((crc ^ byte) & 1) != 0;
            crc = static_cast<std::uint8_t>(crc >> 1);
            if (mix) crc ^= 0x8C;
            byte = static_cast<std::uint8_t>(byte >> 1);
        }
    }
    return crc;
}

onewire::RomCode MakeRomCode(std::uint8_t family, std::uint64_t serial) {
    onewire::RomCode rom{};
    rom[0] = family;
    for (std::size_t i = 1; i <= 6; ++i) {
        rom[i] = static_cast<std::uint8_t>(serial >> (8 * (i - 1)));
    }
    rom[7] = Crc8(std::span(rom.data(), 7));
    return rom;
}

Scratchpad MakeScratchpad(std::uint8_t family, std::int16_t raw) {
    Device config;
    config.rom = MakeRomCode(family, 1);
    config.temperatureRaw = raw;
    DeviceRuntime device = PowerOn(config);
    device.converting = true;
    device.busyUntilMs = 0;
    Settle(device, 0);
    return device.scratchpad;
}

std::int16_t RawFromCelsius(std::uint8_t family, double celsius) {
    const double steps = family == FamilyDs18s20 ? 2.0 : 16.0;
    return static_cast<std::int16_t>(std::lround(celsius * steps));
}

std::string FormatRom(const onewire::RomCode& rom) {
    char text[19];
    std::snprintf(text, sizeof text, "%02X-%02X%02X%02X%02X%02X%02X-%02X", rom[0], rom[6], rom[5],
                  rom[4], rom[3], rom[2], rom[1], rom[7]);
    return text;
}

std::optional<onewire::RomCode> ParseRom(std::string_view text) {
    onewire::RomCode rom{};
    if (text.size() < 15 || text[2] != '-') return std::nullopt;
    std::uint8_t serial[6];
    if (!readHex(text.substr(0, 2), &rom[0], 1) || !readHex(text.substr(3, 12), serial, 6)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 6; ++i) rom[6 - i] = serial[i];
    if (text.size() == 15) {
        rom[7] = Crc8(std::span(rom.data(), 7));
        return rom;
    }
    if (text.size() != 18 || text[15] != '-' || !readHex(text.substr(16, 2), &rom[7], 1)) {
        return std::nullopt;
    }
    return rom;
}

}  // namespace busmodel
