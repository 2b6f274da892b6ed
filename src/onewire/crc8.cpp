#include "onewire/port_adapter.h"
#include "onewire/rom.h"
#include "onewire/status.h"

namespace onewire {

std::uint8_t crc8(const std::uint8_t* data, std::int32_t count) {
    if (data == nullptr || count < 1) {
        setStatus(BadArgument);
        return 0;
    }
    setStatus(Ok);
    std::uint8_t crc = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t byte = data[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (((crc ^ byte) & 1u) != 0) {
                crc = static_cast<std::uint8_t>(((crc ^ 0x18u) >> 1) | 0x80u);
            } else {
                crc = static_cast<std::uint8_t>(crc >> 1);
            }
            byte = static_cast<std::uint8_t>(byte >> 1);
        }
    }
    return crc;
}

}  // namespace onewire
