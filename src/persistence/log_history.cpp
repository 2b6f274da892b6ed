#include "persistence/log_history.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

namespace persistence {
namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;
// A reading's line is about 57 bytes; a longer run without a line end is
// damage, and carrying it along would let one bad region eat memory.
constexpr std::size_t kMaxLineBytes = 4096;

// "[07/12/2026 22:05:09]  28-00000B013C5A-14  —  21.3 °C"
constexpr std::size_t kStampBytes = 23;
constexpr std::size_t kRomBytes = 18;
constexpr std::string_view kSeparator = "  \u2014  ";  // two blanks, em dash, two blanks
constexpr std::string_view kUnit = " \u00B0C";         // blank, degree sign, C
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr float kLowestReading = -55.0F;
constexpr float kHighestReading = 127.0F;

struct Stamp {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
};

bool number(std::string_view text, std::size_t at, std::size_t digits, int& value) {
    value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool readStamp(std::string_view line, Stamp& stamp) {
    if (line.size() < kStampBytes || line.substr(0, 1) != "[" || line.substr(3, 1) != "/" ||
        line.substr(6, 1) != "/" || line.substr(11, 1) != " " || line.substr(14, 1) != ":" ||
        line.substr(17, 1) != ":" || line.substr(20, 3) != "]  ") {
        return false;
    }
    return number(line, 1, 2, stamp.day) && number(line, 4, 2, stamp.month) &&
           number(line, 7, 4, stamp.year) && number(line, 12, 2, stamp.hour) &&
           number(line, 15, 2, stamp.minute) && number(line, 18, 2, stamp.second) &&
           stamp.day >= 1 && stamp.day <= 31 && stamp.month >= 1 && stamp.month <= 12 &&
           stamp.year >= 1970 && stamp.hour <= 23 && stamp.minute <= 59 && stamp.second <= 59;
}

bool readRom(std::string_view text, std::array<char, 18>& rom) {
    for (std::size_t i = 0; i < kRomBytes; ++i) {
        const char c = text[i];
        const bool dash = i == 2 || i == 15;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex) return false;
        rom[i] = c;
    }
    return true;
}

// The reading's text as the monitor writes it: an optional minus, whole
// degrees and one decimal.
bool readCelsius(std::string_view text, float& celsius) {
    const std::size_t point = text.find('.');
    const std::size_t digitsFrom = !text.empty() && text[0] == '-' ? 1 : 0;
    if (point == std::string_view::npos || point == digitsFrom || point + 2 != text.size()) {
        return false;
    }
    for (std::size_t i = digitsFrom; i < text.size(); ++i) {
        if (i != point && (text[i] < '0' || text[i] > '9')) return false;
    }
    const auto result = std::from_chars(text.data(), text.data() + text.size(), celsius);
    return result.ec == std::errc{} && result.ptr == text.data() + text.size();
}

// Local time stamps to Unix seconds with only the standard library. mktime
// runs once per hour of stamps: the local offset changes only on whole hours
// in the zones that observe daylight saving time in hours.
class LocalClock {
  public:
    bool toUnix(const Stamp& stamp, std::int64_t& unixSeconds) {
        if (stamp.year != year_ || stamp.month != month_ || stamp.day != day_ ||
            stamp.hour != hour_) {
            year_ = stamp.year;
            month_ = stamp.month;
            day_ = stamp.day;
            hour_ = stamp.hour;
            valid_ = hourStart(stamp, hourStart_);
        }
        unixSeconds = hourStart_ + stamp.minute * 60 + stamp.second;
        return valid_;
    }

  private:
    static bool hourStart(const Stamp& stamp, std::int64_t& unixSeconds) {
        std::tm time{};
        time.tm_year = stamp.year - 1900;
        time.tm_mon = stamp.month - 1;
        time.tm_mday = stamp.day;
        time.tm_hour = stamp.hour;
        time.tm_isdst = -1;  // the zone's rule decides
        const std::time_t result = std::mktime(&time);
        // mktime moves 31/02 to March: such a date is damage, not a time.
        if (result == static_cast<std::time_t>(-1) || time.tm_mday != stamp.day ||
            time.tm_mon != stamp.month - 1) {
            return false;
        }
        unixSeconds = static_cast<std::int64_t>(result);
        return true;
    }

    int year_ = -1, month_ = 0, day_ = 0, hour_ = 0;
    bool valid_ = false;
    std::int64_t hourStart_ = 0;
};

bool readLine(std::string_view line, LocalClock& clock, LoggedReading& reading) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Stamp stamp;
    if (!readStamp(line, stamp)) return false;
    line.remove_prefix(kStampBytes);
    if (line.size() < kRomBytes + kSeparator.size() + kUnit.size() || !readRom(line, reading.rom)) {
        return false;
    }
    line.remove_prefix(kRomBytes);
    if (!line.starts_with(kSeparator) || !line.ends_with(kUnit)) return false;
    line.remove_prefix(kSeparator.size());
    line.remove_suffix(kUnit.size());
    return readCelsius(line, reading.celsius) && reading.celsius >= kLowestReading &&
           reading.celsius <= kHighestReading && clock.toUnix(stamp, reading.unixSeconds);
}

// Collects readings from the newest line backwards.
struct Collector {
    std::int64_t oldest;
    std::int64_t now;
    LocalClock clock;
    std::vector<LoggedReading> newestFirst;
    bool done = false;

    void line(std::string_view text) {
        LoggedReading reading;
        if (!readLine(text, clock, reading) || reading.unixSeconds > now) return;
        if (reading.unixSeconds < oldest) {
            done = true;
            return;
        }
        newestFirst.push_back(reading);
    }

    // The complete lines of `text` that follow its first line end, last first.
    void linesAfterFirstBreak(std::string_view text, std::size_t firstBreak) {
        std::size_t end = text.size();
        while (!done && end > firstBreak) {
            const std::size_t start = text.rfind('\n', end - 1);
            line(text.substr(start + 1, end - start - 1));
            end = start;
        }
    }
};

}  // namespace

std::vector<LoggedReading> ReadRecentLogReadings(const char* path, std::int64_t nowUnix,
                                                 std::int64_t seconds, std::uint64_t maxBytes) {
    std::error_code error;
    // A FIFO or a device would block or never end; only a file is read.
    if (!std::filesystem::is_regular_file(path, error)) return {};
    const std::uint64_t size = std::filesystem::file_size(path, error);
    if (error) return {};
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};

    Collector collector{nowUnix - seconds, nowUnix, {}, {}};
    const std::uint64_t bound = size > maxBytes ? size - maxBytes : 0;
    std::uint64_t position = size;
    std::string text;
    std::string head;  // the start of a line whose rest was read already
    while (position > bound && !collector.done) {
        const std::uint64_t count = std::min<std::uint64_t>(kChunkBytes, position - bound);
        position -= count;
        text.resize(static_cast<std::size_t>(count));
        in.seekg(static_cast<std::streamoff>(position));
        in.read(text.data(), static_cast<std::streamsize>(count));
        if (in.gcount() != static_cast<std::streamsize>(count)) {  // the file shrank
            collector.done = true;
            break;
        }
        text += head;
        const std::size_t firstBreak = text.find('\n');
        if (firstBreak == std::string::npos) {
            head = text.size() > kMaxLineBytes ? std::string() : text;
            continue;
        }
        collector.linesAfterFirstBreak(text, firstBreak);
        head = text.substr(0, firstBreak);
    }
    // The file's first line; a line cut by the byte bound is not read.
    if (position == 0 && !collector.done) {
        std::string_view first = head;
        if (first.starts_with(kByteOrderMark)) first.remove_prefix(kByteOrderMark.size());
        collector.line(first);
    }
    std::reverse(collector.newestFirst.begin(), collector.newestFirst.end());
    return std::move(collector.newestFirst);
}

}  // namespace persistence
