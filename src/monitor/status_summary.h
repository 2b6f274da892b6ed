#pragma once
// The Russian word forms for counts and the status line texts built from them.
#include <string>
#include <string_view>

namespace monitor {

// The form for n: `one` (1, 21, 101...), `few` (2-4, 22-24...) or `many`
// (0, 5-20, 111-114...).
std::string_view PluralForm(long long n, std::string_view one, std::string_view few,
                            std::string_view many);

// "Найдено " n " '1-Wire' " and the device noun for n, without the full stop.
std::string FoundDevicesText(long long deviceCount);

// The status line after a poll pass: devices found, then the faulty part and
// the part about readings outside the permitted range, each when its count > 0.
std::string BuildSummary(long long deviceCount, long long faultyCount, long long alarmCount);

}  // namespace monitor
