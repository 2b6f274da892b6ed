#include "log_check.h"

#include <charconv>
#include <cmath>

namespace soak {
namespace {

constexpr std::string_view Separator = "  \u2014  ";
constexpr std::string_view Unit = " \u00B0C";
constexpr std::string_view Bom = "\xEF\xBB\xBF";
// "[07/12/2026 22:05:09]  ": the time stamp and its two blanks.
constexpr std::size_t StampLength = 23;
// A value shown with one decimal is within half a tenth of what was read.
constexpr double ShownTolerance = 0.05 + 1e-6;

bool servedNear(const std::set<Served>& served, const std::string& rom, double celsius) {
    const auto from = served.lower_bound({rom, celsius - ShownTolerance});
    return from != served.end() && from->first == rom &&
           std::fabs(from->second - celsius) <= ShownTolerance;
}

}  // namespace

bool ParseReading(std::string_view line, std::string& rom, double& celsius) {
    if (line.size() < StampLength || line[0] != '[' || line.substr(20, 3) != "]  ") return false;
    line.remove_prefix(StampLength);
    const std::size_t separator = line.find(Separator);
    if (separator == std::string_view::npos || !line.ends_with(Unit)) return false;
    rom = std::string(line.substr(0, separator));
    const std::string_view number =
        line.substr(separator + Separator.size(),
                    line.size() - separator - Separator.size() - Unit.size());
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), celsius);
    return error == std::errc{} && end == number.data() + number.size();
}

LogVerdict CheckLog(std::string_view logText, const std::set<Served>& served) {
    LogVerdict verdict;
    if (logText.starts_with(Bom)) logText.remove_prefix(Bom.size());
    while (!logText.empty()) {
        std::size_t end = logText.find('\n');
        if (end == std::string_view::npos) end = logText.size();
        std::string_view line = logText.substr(0, end);
        logText.remove_prefix(end == logText.size() ? end : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty()) continue;
        std::string rom;
        double celsius = 0;
        if (!ParseReading(line, rom, celsius)) {
            verdict.alien.emplace_back(line);
            continue;
        }
        ++verdict.readings;
        if (!servedNear(served, rom, celsius)) verdict.bad.emplace_back(line);
    }
    return verdict;
}

}  // namespace soak
