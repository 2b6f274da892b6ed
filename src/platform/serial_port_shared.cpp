#include "platform/serial_port_shared.h"

namespace platform {

std::string_view UsedPortName(std::string_view name) {
    return name.substr(0, MaxPortNameChars);
}

unsigned ComPortNumber(std::string_view name) {
    if (name.size() < 4) return 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if ((name[i] & ~0x20) != "COM"[i]) return 0;
    }
    unsigned number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || number > 100000) return 0;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return number;
}

}  // namespace platform
