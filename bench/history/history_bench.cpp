// The history's cost: resident memory for 100 thermometers polled every second
// over a simulated day and an hour (the clock is the times handed over, so
// the day passes in seconds), the time to build the chart and its JSON, and
// seeding from a log larger than the bytes read back. Prints "name value"
// lines for bench/history/run.sh.
//
//   kelvarian-bench-history [--sensors N] [--interval S] [--log-mib M]
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "persistence/event_log.h"
#include "persistence/log_history.h"
#include "platform/files.h"
#include "web/history_page.h"
#include "web/status_feed.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kStart = 1783857600;  // 2026-07-12 12:00:00 UTC

long residentKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

std::size_t heapBytes() {
    return mallinfo2().uordblks;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string romOf(int sensor) {
    char text[32];
    std::snprintf(text, sizeof text, "28-%012X-%02X", 0x5EED00 + sensor * 0x1111, sensor & 0xFF);
    return text;
}

// A day's swing with a little noise in 1/16 °C steps, as a DS18B20 reads.
double celsiusAt(int sensor, std::int64_t t) {
    const double swing = 3 * std::sin(static_cast<double>(t - kStart) / 86400 * 6.283 + sensor);
    const double noise = static_cast<double>((t * 7919 + sensor * 104729) % 5) - 2;
    return std::round((15 + sensor % 20 + swing + noise / 16) * 16) / 16;
}

web::StatusSnapshot snapshotOf(int sensors, std::int64_t now) {
    web::StatusSnapshot snapshot;
    for (int i = 0; i < sensors; ++i) {
        web::SensorSnapshot sensor;
        sensor.rom = romOf(i);
        sensor.cells[web::kNameCell] = "Датчик " + std::to_string(i + 1);
        sensor.cells[web::kStatusCell] = "OK";
        snapshot.sensors.push_back(sensor);
    }
    snapshot.lastPassUnix = now;
    snapshot.thermo = web::ThermoRange{true, 18, 26};
    return snapshot;
}

// A log of `mib` MiB of readings at `interval` s for `sensors` thermometers,
// ending at `now`; returns the file's name.
std::string writeLog(int sensors, int interval, int mib, std::int64_t now) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "kelvarian-bench-history.log").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "\xEF\xBB\xBF";
    const std::string sample = romOf(0) + "  \u2014  21.5 \u00B0C";
    const std::size_t lineBytes =
        persistence::FormatLogLine(sample, platform::LocalTime{2026, 7, 12, 12, 0, 0}).size();
    const auto lines = static_cast<std::int64_t>(static_cast<std::size_t>(mib) << 20) /
                       static_cast<std::int64_t>(lineBytes);
    const std::int64_t passes = lines / sensors;
    for (std::int64_t pass = passes; pass > 0; --pass) {
        const std::int64_t t = now - pass * interval;
        platform::LocalTime time;
        if (!platform::LocalTimeAt(t, time)) continue;
        for (int i = 0; i < sensors; ++i) {
            char value[32];
            std::snprintf(value, sizeof value, "%.1f", celsiusAt(i, t));
            out << persistence::FormatLogLine(romOf(i) + "  \u2014  " + value + " \u00B0C", time);
        }
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    int sensors = 100;
    int interval = 1;
    int logMib = 64;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (name == "--sensors") sensors = value;
        if (name == "--interval") interval = value;
        if (name == "--log-mib") logMib = value;
    }
    if (sensors <= 0 || interval <= 0 || logMib < 0) {
        std::fprintf(stderr, "usage: %s [--sensors N] [--interval S] [--log-mib M]\n", argv[0]);
        return 2;
    }

    malloc_trim(0);
    const long rssBefore = residentKib();
    const std::size_t heapBefore = heapBytes();
    const Clock::time_point filling = Clock::now();
    const std::int64_t end = kStart + 25 * 3600;
    long readings = 0;
    for (std::int64_t t = kStart; t <= end; t += interval) {
        for (int i = 0; i < sensors; ++i) {
            // One sensor fails for an hour now and then: gaps cost entries too.
            const bool failing = i % 10 == 3 && (t - kStart) % 21600 < 3600;
            web::RecordHistoryReading(romOf(i), t,
                                      failing ? std::nullopt : std::optional(celsiusAt(i, t)));
            ++readings;
        }
    }
    const double fillMs = msSince(filling);
    const long rssAfter = residentKib();
    const std::size_t heapAfter = heapBytes();

    web::SetStatusSnapshot(snapshotOf(sensors, end));
    Clock::time_point start = Clock::now();
    const std::size_t pageBytes = web::HistoryPageBody().size();
    const double pageMs = msSince(start);
    start = Clock::now();
    const std::size_t jsonBytes = web::HistoryJsonBody().size();
    const double jsonMs = msSince(start);

    std::printf("sensors %d\n", sensors);
    std::printf("interval_s %d\n", interval);
    std::printf("simulated_hours 25\n");
    std::printf("readings %ld\n", readings);
    std::printf("fill_ns_per_reading %.0f\n", fillMs * 1e6 / static_cast<double>(readings));
    std::printf("history_rss_kib %ld\n", rssAfter - rssBefore);
    std::printf("history_heap_kib %.0f\n", static_cast<double>(heapAfter - heapBefore) / 1024);
    std::printf("page_bytes %zu\n", pageBytes);
    std::printf("page_build_ms %.1f\n", pageMs);
    std::printf("json_bytes %zu\n", jsonBytes);
    std::printf("json_build_ms %.1f\n", jsonMs);

    if (logMib > 0) {
        const std::string log = writeLog(sensors, interval, logMib, end);
        web::ForgetStatusFeed();
        start = Clock::now();
        const std::vector<persistence::LoggedReading> seeded =
            persistence::ReadRecentLogReadings(log.c_str(), end);
        const double readMs = msSince(start);
        start = Clock::now();
        for (const persistence::LoggedReading& reading : seeded) {
            web::RecordHistoryReading(reading.romText(), reading.unixSeconds, reading.celsius);
        }
        const double seedMs = msSince(start);
        const std::int64_t reach = seeded.empty() ? 0 : end - seeded.front().unixSeconds;
        std::printf("log_mib %d\n", logMib);
        std::printf("log_readings_read %zu\n", seeded.size());
        std::printf("log_hours_reached %.2f\n", static_cast<double>(reach) / 3600);
        std::printf("log_read_ms %.0f\n", readMs);
        std::printf("log_seed_ms %.0f\n", seedMs);
        std::filesystem::remove(log);
    }
    return 0;
}
