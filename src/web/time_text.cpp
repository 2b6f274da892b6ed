#include "web/time_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace web {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil), so that the offset needs no time-zone call of its own.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

platform::LocalTime utcTime(std::int64_t unixSeconds) {
    std::int64_t days = unixSeconds / 86400;
    std::int64_t second = unixSeconds % 86400;
    if (second < 0) {
        second += 86400;
        --days;
    }
    // civil_from_days, the inverse of the above.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    platform::LocalTime time;
    time.day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    time.month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    time.year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 +
                                 (time.month <= 2 ? 1 : 0));
    time.hour = static_cast<int>(second / 3600);
    time.minute = static_cast<int>(second / 60 % 60);
    time.second = static_cast<int>(second % 60);
    return time;
}

std::string dateTimeText(const platform::LocalTime& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return text;
}

std::int64_t offsetOf(std::int64_t unixSeconds, const platform::LocalTime& local) {
    const std::int64_t localSeconds = daysFromCivil(local.year, static_cast<unsigned>(local.month),
                                                    static_cast<unsigned>(local.day)) *
                                          86400 +
                                      local.hour * 3600 + local.minute * 60 + local.second;
    return localSeconds - unixSeconds;
}

}  // namespace

std::string IsoTimeText(std::int64_t unixSeconds, const platform::LocalTime& local) {
    // Offsets are whole minutes; the rounding absorbs a leap second.
    const long long offsetMinutes =
        std::llround(static_cast<double>(offsetOf(unixSeconds, local)) / 60);
    const long long size = std::llabs(offsetMinutes);
    char offset[48];
    std::snprintf(offset, sizeof offset, "%c%02lld:%02lld", offsetMinutes < 0 ? '-' : '+',
                  size / 60, size % 60);
    return dateTimeText(local) + offset;
}

std::string IsoTimeText(std::int64_t unixSeconds) {
    platform::LocalTime local;
    if (!platform::LocalTimeAt(unixSeconds, local)) return dateTimeText(utcTime(unixSeconds)) + "Z";
    return IsoTimeText(unixSeconds, local);
}

std::int64_t UtcOffsetSeconds(std::int64_t unixSeconds) {
    platform::LocalTime local;
    if (!platform::LocalTimeAt(unixSeconds, local)) return 0;
    return offsetOf(unixSeconds, local);
}

std::string ClockText(std::int64_t unixSeconds) {
    platform::LocalTime local;
    if (!platform::LocalTimeAt(unixSeconds, local)) local = utcTime(unixSeconds);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", local.hour, local.minute);
    return text;
}

}  // namespace web
