#include "status_check.h"

#include <nlohmann/json.hpp>

#include <cmath>

#include "busmodel/rom_tools.h"

namespace soak {
namespace {

constexpr double SameReading = 0.01;

bool everServed(const std::set<Served>& served, const std::string& rom) {
    const auto from = served.lower_bound({rom, -1e9});
    return from != served.end() && from->first == rom;
}

// The settings file keeps a code as the number its eight bytes make, the
// family code lowest.
std::int64_t idOf(const busmodel::RomCode& rom) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | rom[static_cast<std::size_t>(i)];
    return static_cast<std::int64_t>(value);
}

bool isThermometer(const busmodel::Device& device) {
    return device.rom[0] == busmodel::FamilyDs18b20 || device.rom[0] == busmodel::FamilyDs18s20;
}

}  // namespace

StatusVerdict CheckStatus(std::string_view statusJson, const std::vector<busmodel::Device>& bus,
                          const std::set<Served>& served) {
    StatusVerdict verdict;
    const nlohmann::json status = nlohmann::json::parse(statusJson, nullptr, false);
    if (status.is_discarded() || !status.contains("sensors") || !status["sensors"].is_array()) {
        return verdict;
    }
    verdict.parsed = true;
    for (const nlohmann::json& sensor : status["sensors"]) {
        if (!sensor["rom"].is_string()) continue;
        const std::string rom = sensor["rom"];
        if (!everServed(served, rom)) verdict.strangers.push_back(rom);
    }
    for (const busmodel::Device& device : bus) {
        if (!device.present || !isThermometer(device)) continue;
        ++verdict.onBus;
        const std::string rom = busmodel::FormatRom(device.rom);
        for (const nlohmann::json& sensor : status["sensors"]) {
            if (sensor["rom"] != rom) continue;
            ++verdict.listed;
            const nlohmann::json& celsius = sensor["temperature"];
            if (celsius.is_number() &&
                std::fabs(celsius.get<double>() - Celsius(device.rom[0], device.temperatureRaw)) <
                    SameReading) {
                ++verdict.reading;
            } else {
                verdict.notReading.push_back(rom + " " + sensor["cells"].dump());
            }
            break;
        }
    }
    return verdict;
}

std::vector<std::int64_t> SavedStrangers(const std::vector<std::int64_t>& savedIds,
                                         const std::set<Served>& served) {
    std::set<std::int64_t> known;
    for (const Served& each : served) {
        if (const auto rom = busmodel::ParseRom(each.first)) known.insert(idOf(*rom));
    }
    std::vector<std::int64_t> strangers;
    for (std::int64_t id : savedIds) {
        if (known.count(id) == 0) strangers.push_back(id);
    }
    return strangers;
}

}  // namespace soak
