#pragma once
// The readings of the last hours read back from the event log, so that a
// restart does not wipe the history chart. The log is only ever read here:
// opened read-only, never changed, and read backwards from its end with a
// bound on the bytes read, since it is never rotated and may be gigabytes.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace persistence {

struct LoggedReading {
    std::int64_t unixSeconds = 0;  // from the line's local time stamp
    std::array<char, 18> rom{};    // ROM code text, 28-00000B013C5A-14
    float celsius = 0;

    [[nodiscard]] std::string_view romText() const { return {rom.data(), rom.size()}; }
};

// Far more than a day of readings of a dozen thermometers polled every second
// (about 57 bytes a line); with more, the chart starts later than a day ago.
inline constexpr std::uint64_t kMaxLogBytesRead = 32u * 1024u * 1024u;

// The readings of `path` stamped within the `seconds` before `nowUnix` (none
// after it), oldest first, from at most the last `maxBytes` of the file.
// Reading stops at the first line older than that window. Lines that cannot be
// read as a reading are skipped, as are readings outside the thermometers'
// range (-55 to 127 °C, never valid readings). Nothing when the path is not a
// regular file or cannot be opened.
[[nodiscard]] std::vector<LoggedReading> ReadRecentLogReadings(
    const char* path, std::int64_t nowUnix, std::int64_t seconds = 24 * 3600,
    std::uint64_t maxBytes = kMaxLogBytesRead);

}  // namespace persistence
