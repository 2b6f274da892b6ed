#include "monitor/sensor_table.h"

namespace monitor {

std::int64_t RomToInt64(const RomCode& rom) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | rom[static_cast<std::size_t>(i)];
    return static_cast<std::int64_t>(value);
}

RomCode RomFromInt64(std::int64_t value) {
    auto bits = static_cast<std::uint64_t>(value);
    RomCode rom{};
    for (std::uint8_t& byte : rom) {
        byte = static_cast<std::uint8_t>(bits & 0xFF);
        bits >>= 8;
    }
    return rom;
}

std::string FormatRomCode(const RomCode& rom) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(18);
    auto put = [&text](std::uint8_t byte) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    };
    put(rom[0]);
    text += '-';
    for (int i = 6; i >= 1; --i) put(rom[static_cast<std::size_t>(i)]);
    text += '-';
    put(rom[7]);
    return text;
}

}  // namespace monitor
