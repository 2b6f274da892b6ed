#include "onewire/status.h"

#include <array>

#include "onewire/port_adapter.h"
#include "onewire/thread_state.h"

namespace onewire {

ThreadBlock& threadBlock() {
    thread_local ThreadBlock block{};
    return block;
}

std::int32_t lastStatus() {
    return threadBlock().lastStatus;
}

void setStatus(std::int32_t status) {
    threadBlock().lastStatus = status;
}

bool fail(std::int32_t status) {
    setStatus(status);
    return false;
}

std::string_view statusMessage(std::int32_t code) {
    static constexpr std::array<std::string_view, 8> texts{
        "Нет ошибок",
        "Нет открытого COM порта",
        "Нет ответа от '1-Wire' устройств",
        "Ошибка обмена данными",
        "Ошибка изменения скорости порта",
        "Ошибка при поиске '1-Wire' устройств",
        "Ошибка в аргументе функции",
        "Нет данных",
    };
    if (code < 0 || code >= static_cast<std::int32_t>(texts.size())) return {};
    return texts[static_cast<std::size_t>(code)];
}

}  // namespace onewire
