// The soak run's own tool (bench/soak/run.sh drives it):
//
//   kelvarian-soak init  --config FILE --seed N [--latency-ms N]
//       writes the first bus state for kelvarian-sim
//   kelvarian-soak drive --config FILE --seed N --sim-pid PID --program-pid PID
//                        --seconds S --served FILE --memory FILE
//                        [--step-s S] [--sample-s S] [--latency-ms N]
//       changes the bus every step (rewrites FILE, SIGHUP to the simulator),
//       keeps the record of served temperatures in --served and samples the
//       program's resident memory into --memory
//   kelvarian-soak check-log LOG SERVED      every reading was served
//   kelvarian-soak memory SAMPLES [SETTLE_S] spread and trend after settling
//   kelvarian-soak check-settings INI PORT   the settings file loads whole
//   kelvarian-soak check-status STATUS CONFIG SERVED [all]
//       the program's /status.json (saved in STATUS) against the bus of the
//       simulator's CONFIG: every thermometer listed reads what the bus holds
//       (with "all": every thermometer on the bus is listed), and no code
//       listed was ever off the bus
//   kelvarian-soak check-saved INI SERVED    no saved code was ever off the bus
//   kelvarian-soak term-then-kill PID US     SIGTERM, US microseconds, SIGKILL
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "bus_script.h"
#include "log_check.h"
#include "memory_trend.h"
#include "persistence/settings_file.h"
#include "sim/sim_config.h"
#include "status_check.h"

namespace {

using Clock = std::chrono::steady_clock;
using Options = std::map<std::string, std::string>;

Options readOptions(int argc, char** argv, int first) {
    Options options;
    for (int i = first; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    return options;
}

std::string option(const Options& options, const std::string& name, const std::string& fallback) {
    const auto found = options.find(name);
    return found == options.end() ? fallback : found->second;
}

double number(const Options& options, const std::string& name, double fallback) {
    return std::atof(option(options, name, std::to_string(fallback)).c_str());
}

std::string readWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Written beside and renamed over, so the simulator never reads half a file.
bool writeWhole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.good()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool writeServed(const std::string& path, const soak::SoakBus& bus) {
    std::string text;
    char value[32];
    for (const soak::Served& served : bus.served) {
        std::snprintf(value, sizeof value, " %.4f\n", served.second);
        text += served.first + value;
    }
    return writeWhole(path, text);
}

std::set<soak::Served> readServed(const std::string& path) {
    std::set<soak::Served> served;
    std::istringstream lines(readWhole(path));
    std::string rom;
    double celsius = 0;
    while (lines >> rom >> celsius) served.insert({rom, celsius});
    return served;
}

// VmRSS in KiB; negative when the process is gone.
double residentKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6);
    }
    return -1;
}

int init(const Options& options) {
    const auto seed = static_cast<std::uint32_t>(number(options, "--seed", 1));
    const auto latency = static_cast<std::uint32_t>(number(options, "--latency-ms", 1));
    const soak::SoakBus bus = soak::StartBus(seed);
    return writeWhole(option(options, "--config", "bus.conf"), soak::ConfigText(bus, latency)) ? 0
                                                                                               : 1;
}

// Ten failed cycles of about 100 ms each make the program search the bus.
constexpr int FinalUnplugMs = 6000;

int drive(const Options& options) {
    const auto seed = static_cast<std::uint32_t>(number(options, "--seed", 1));
    const auto latency = static_cast<std::uint32_t>(number(options, "--latency-ms", 1));
    const auto simPid = static_cast<pid_t>(number(options, "--sim-pid", 0));
    const auto programPid = static_cast<pid_t>(number(options, "--program-pid", 0));
    const double seconds = number(options, "--seconds", 600);
    const double stepS = number(options, "--step-s", 5);
    const double sampleS = number(options, "--sample-s", 2);
    const std::string config = option(options, "--config", "bus.conf");
    const std::string servedPath = option(options, "--served", "served.txt");
    std::ofstream memory(option(options, "--memory", "memory.txt"));
    if (simPid <= 0 || programPid <= 0) return 2;

    soak::SoakBus bus = soak::StartBus(seed);
    writeServed(servedPath, bus);
    const Clock::time_point start = Clock::now();
    double nextStep = stepS;
    double nextSample = 0;
    for (;;) {
        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        if (now >= seconds) break;
        if (now >= nextSample) {
            const double kib = residentKib(programPid);
            if (kib < 0) {
                std::printf("%6.1f s  the program is gone\n", now);
                return 1;
            }
            memory << now << ' ' << kib << '\n' << std::flush;
            nextSample += sampleS;
        }
        if (now >= nextStep) {
            const std::string done = soak::Step(bus);
            // The record first: a reading can follow the re-read at once.
            writeServed(servedPath, bus);
            writeWhole(config, soak::ConfigText(bus, latency));
            kill(simPid, SIGHUP);
            std::printf("%6.1f s  %s (%zu devices)\n", now, done.c_str(), bus.devices.size());
            std::fflush(stdout);
            nextStep += stepS;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The run ends with every thermometer readable. The program searches the
    // bus only after about ten failed cycles, so the adapter goes for a few
    // seconds first: afterwards it must find and read what is there.
    bus.unplugSteps = 1;
    writeWhole(config, soak::ConfigText(bus, latency));
    kill(simPid, SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(FinalUnplugMs));
    const std::string done = soak::Settle(bus);
    writeWhole(config, soak::ConfigText(bus, latency));
    kill(simPid, SIGHUP);
    std::printf("%6.1f s  end: adapter unplugged for %d s, then %s (%zu devices)\n", seconds,
                FinalUnplugMs / 1000, done.c_str(), bus.devices.size());
    return 0;
}

int checkLog(const std::string& logPath, const std::string& servedPath) {
    const soak::LogVerdict verdict = soak::CheckLog(readWhole(logPath), readServed(servedPath));
    std::printf("log_readings %ld\n", verdict.readings);
    std::printf("log_unsent_values %zu\n", verdict.bad.size());
    std::printf("log_other_lines %zu\n", verdict.alien.size());
    for (std::size_t i = 0; i < verdict.bad.size() && i < 10; ++i) {
        std::printf("unsent: %s\n", verdict.bad[i].c_str());
    }
    for (std::size_t i = 0; i < verdict.alien.size() && i < 5; ++i) {
        std::printf("other: %s\n", verdict.alien[i].c_str());
    }
    return verdict.bad.empty() && verdict.alien.empty() && verdict.readings > 0 ? 0 : 1;
}

int memoryReport(const std::string& path, double settleSeconds) {
    std::vector<soak::MemorySample> samples;
    std::istringstream lines(readWhole(path));
    soak::MemorySample sample;
    while (lines >> sample.seconds >> sample.kib) samples.push_back(sample);
    const soak::MemoryTrend trend = soak::Trend(samples, settleSeconds);
    std::printf("rss_samples %d\n", trend.samples);
    // Once start-up is over: the program has loaded its libraries and settings.
    double startedKib = 0;
    for (const soak::MemorySample& early : samples) {
        if (early.seconds >= 10) {
            startedKib = early.kib;
            break;
        }
    }
    std::printf("rss_started_kib %.0f\n", startedKib);
    // The first sample of every whole minute, to see a trend at a glance.
    std::string perMinute;
    double minute = 1;
    for (const soak::MemorySample& each : samples) {
        if (each.seconds < minute * 60) continue;
        perMinute += (perMinute.empty() ? "" : ",") + std::to_string(static_cast<long>(each.kib));
        minute = std::floor(each.seconds / 60) + 1;
    }
    std::printf("rss_each_minute_kib %s\n", perMinute.empty() ? "-" : perMinute.c_str());
    std::printf("rss_min_kib %.0f\n", trend.minKib);
    std::printf("rss_max_kib %.0f\n", trend.maxKib);
    std::printf("rss_slope_kib_per_min %.2f\n", trend.slopeKibPerMin);
    return trend.samples >= 2 ? 0 : 1;
}

// Loads when it is a whole file as the program writes it (byte order mark,
// CR LF at the end) and parses to the server port the run configured.
int checkSettings(const std::string& path, long serverPort) {
    const std::string bytes = readWhole(path);
    const persistence::SettingsRecord record = persistence::ParseSettings(bytes);
    const bool bom = bytes.starts_with("\xEF\xBB\xBF");
    const bool ended = bytes.ends_with("\r\n");
    const bool loads = bom && ended && record.port == "COM1" && record.serverEnabled == 1 &&
                       record.serverPort == serverPort && record.log == 1;
    std::printf("settings_bytes %zu\n", bytes.size());
    std::printf("settings_bom %d\n", bom ? 1 : 0);
    std::printf("settings_sensors %zu\n", record.sensors.size());
    std::printf("settings_loads %d\n", loads ? 1 : 0);
    return loads ? 0 : 1;
}

int checkStatus(const std::string& statusPath, const std::string& configPath,
                const std::string& servedPath, bool all) {
    sim::SimConfig config;
    std::string error;
    if (!sim::LoadConfigFile(configPath, config, error)) {
        std::printf("status_error %s\n", error.c_str());
        return 2;
    }
    const soak::StatusVerdict verdict =
        soak::CheckStatus(readWhole(statusPath), config.devices, readServed(servedPath));
    std::printf("status_parsed %d\n", verdict.parsed ? 1 : 0);
    std::printf("status_on_bus %d\n", verdict.onBus);
    std::printf("status_listed %d\n", verdict.listed);
    std::printf("status_reading %d\n", verdict.reading);
    std::printf("status_strangers %zu\n", verdict.strangers.size());
    for (const std::string& rom : verdict.strangers) std::printf("stranger: %s\n", rom.c_str());
    for (const std::string& rom : verdict.notReading) std::printf("not reading: %s\n", rom.c_str());
    const bool good = verdict.parsed && verdict.strangers.empty() && verdict.notReading.empty() &&
                      (!all || verdict.listed == verdict.onBus);
    return good ? 0 : 1;
}

int checkSaved(const std::string& iniPath, const std::string& servedPath) {
    std::vector<std::int64_t> ids;
    for (const persistence::StoredSensor& sensor :
         persistence::ParseSettings(readWhole(iniPath)).sensors) {
        ids.push_back(sensor.id);
    }
    const std::vector<std::int64_t> strangers = soak::SavedStrangers(ids, readServed(servedPath));
    std::printf("saved_codes %zu\n", ids.size());
    std::printf("saved_not_on_bus %zu\n", strangers.size());
    for (std::int64_t id : strangers) std::printf("stranger: %lld\n", static_cast<long long>(id));
    return strangers.empty() ? 0 : 1;
}

// The program saves its settings within milliseconds of SIGTERM; a shell's
// sleep between the two signals would cost more than that.
int termThenKill(pid_t pid, long microseconds) {
    if (pid <= 0 || kill(pid, SIGTERM) != 0) return 1;
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    const bool running = kill(pid, SIGKILL) == 0;
    std::printf("killed_running %d\n", running ? 1 : 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "init") return init(readOptions(argc, argv, 2));
    if (command == "drive") return drive(readOptions(argc, argv, 2));
    if (command == "check-log" && argc == 4) return checkLog(argv[2], argv[3]);
    if (command == "memory" && argc >= 3) {
        return memoryReport(argv[2], argc > 3 ? std::atof(argv[3]) : 60);
    }
    if (command == "check-settings" && argc == 4) return checkSettings(argv[2], std::atol(argv[3]));
    if (command == "check-status" && (argc == 5 || argc == 6)) {
        return checkStatus(argv[2], argv[3], argv[4], argc == 6 && std::string(argv[5]) == "all");
    }
    if (command == "check-saved" && argc == 4) return checkSaved(argv[2], argv[3]);
    if (command == "term-then-kill" && argc == 4) {
        return termThenKill(static_cast<pid_t>(std::atol(argv[2])), std::atol(argv[3]));
    }
    std::fprintf(stderr, "usage: see the top of bench/soak/soak_main.cpp\n");
    return 2;
}
