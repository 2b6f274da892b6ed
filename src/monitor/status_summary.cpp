#include "monitor/status_summary.h"

namespace monitor {

std::string_view PluralForm(long long n, std::string_view one, std::string_view few,
                            std::string_view many) {
    const long long lastTwo = n % 100;
    const long long last = lastTwo % 10;
    if (lastTwo > 10 && lastTwo < 20) return many;
    if (last > 1 && last < 5) return few;
    if (last == 1) return one;
    return many;
}

std::string FoundDevicesText(long long deviceCount) {
    std::string text = "Найдено " + std::to_string(deviceCount) + " '1-Wire' ";
    text += PluralForm(deviceCount, "устройство", " устройства", " устройств");
    return text;
}

std::string BuildSummary(long long deviceCount, long long faultyCount, long long alarmCount) {
    std::string text = FoundDevicesText(deviceCount);
    if (faultyCount > 0) {
        text += ".    ";
        text += PluralForm(faultyCount, "Обнаружен ", "Обнаружено ", "Обнаружены ");
        text += std::to_string(faultyCount);
        text += PluralForm(faultyCount, " датчик", " датчика", " датчиков");
        text += " с ошибками в работе";
    } else {
        text += ".";
    }
    if (alarmCount > 0) {
        text += "  В " + std::to_string(alarmCount);
        text += PluralForm(alarmCount, " датчике", " датчиках", " датчиках");
        text += " зафиксирован выход за пределы допустимой температуры";
    }
    return text;
}

}  // namespace monitor
