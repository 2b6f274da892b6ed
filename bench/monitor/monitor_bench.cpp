// What a poll pass costs on the bus beside the one read of every thermometer:
// the reads of stored sensors that are not on the bus ("Не найден") and the
// reads again of scratchpads in doubt (a first reading, a jump, noise). The
// monitor's own cycle runs against the in-process simulated bus on a virtual
// clock, so the figures are counts, and the wire time follows from them.
// Prints "name value" lines for bench/monitor/run.sh.
//
//   kelvarian-bench-monitor [--sensors N] [--missing M] [--passes P]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "busmodel/bus_model.h"
#include "busmodel/rom_tools.h"
#include "busmodel/virtual_clock.h"
#include "monitor/app_settings.h"
#include "monitor/monitor_cycle.h"
#include "onewire/link.h"
#include "platform/clock.h"

namespace {

// Wire time at 9600 baud (a reset) and 115200 baud (a slot): 10 bit times.
constexpr double ResetMs = 10.0 / 9600 * 1000;
constexpr double SlotMs = 10.0 / 115200 * 1000;

void virtualSleep(std::uint32_t ms) {
    busmodel::AdvanceClockMs(ms);
}
std::uint64_t virtualElapsed() {
    return busmodel::VirtualNowMs();
}
const platform::ClockOps virtualClock{virtualSleep, virtualElapsed, nullptr};

struct Scenario {
    const char* name;
    int sensors = 10;
    int missing = 0;             // stored codes with no device on the bus
    double stepCPerPass = 0.0;   // every temperature moves this much a pass
    double burstsPerRead = 0.0;  // share of reads hit by a burst that fails the CRC
};

struct PassCost {
    double reads = 0;       // Match ROM + Read Scratchpad
    double roundTrips = 0;  // writes to the port
    double wireMs = 0;
    double bursts = 0;        // reads damaged on purpose
    double searchWireMs = 0;  // of one periodic search
    double searchRoundTrips = 0;
};

busmodel::PortState portNow() {
    return busmodel::CurrentPortState();
}

PassCost costBetween(const busmodel::PortState& a, const busmodel::PortState& b, int passes) {
    const double resets = static_cast<double>(b.resets - a.resets);
    const double slots = static_cast<double>(b.bytesWritten - a.bytesWritten) - resets;
    PassCost cost;
    // Every pass has one reset for Skip ROM; each read one for its Match ROM.
    cost.reads = (resets - passes) / passes;
    cost.roundTrips = static_cast<double>(b.writes - a.writes) / passes;
    cost.wireMs = (resets * ResetMs + slots * SlotMs) / passes;
    return cost;
}

// A burst on one read: one byte changed, so the CRC fails, as line noise does.
int injectBursts(const std::vector<busmodel::Device>& devices, double share,
                 std::minstd_rand& random) {
    std::uniform_real_distribution<double> draw(0.0, 1.0);
    int injected = 0;
    for (const busmodel::Device& device : devices) {
        if (draw(random) >= share) continue;
        ++injected;
        (void)busmodel::ChangeDevice(device.rom, [](busmodel::Device& d) {
            busmodel::Scratchpad pad = busmodel::MakeScratchpad(d.rom[0], d.temperatureRaw);
            pad[2] ^= 0x5A;
            d.nextReads.push_back(pad);
        });
    }
    return injected;
}

PassCost run(const Scenario& scenario, int passes) {
    busmodel::ResetBus();
    std::vector<busmodel::Device> devices;
    monitor::AppSettings& settings = monitor::Settings();
    settings.knownRoms.clear();
    for (int i = 0; i < scenario.sensors + scenario.missing; ++i) {
        busmodel::Device device;
        device.rom = busmodel::MakeRomCode(busmodel::FamilyDs18b20,
                                           0x9E3779B97F4Aull * static_cast<unsigned>(i + 1));
        device.temperatureRaw = static_cast<std::int16_t>(16 * (10 + i % 31));
        settings.knownRoms.push_back(device.rom);
        if (i < scenario.sensors) devices.push_back(device);
    }
    busmodel::SetDevices(devices);
    monitor::MonitorState state;
    monitor::MonitorStart(state);
    // The first pass confirms every first reading and is followed by the
    // search that drops the missing codes; the figures start after it.
    (void)monitor::RunMonitorCycle(state);
    (void)monitor::RunMonitorCycle(state);
    std::minstd_rand random(17);
    const busmodel::PortState before = portNow();
    int bursts = 0;
    for (int pass = 0; pass < passes; ++pass) {
        if (scenario.stepCPerPass != 0.0) {
            for (busmodel::Device& device : devices) {
                device.temperatureRaw = static_cast<std::int16_t>(
                    device.temperatureRaw + static_cast<int>(scenario.stepCPerPass * 16));
                (void)busmodel::SetTemperature(device.rom, device.temperatureRaw);
            }
        }
        if (scenario.burstsPerRead > 0.0) {
            bursts += injectBursts(devices, scenario.burstsPerRead, random);
        }
        (void)monitor::RunMonitorCycle(state);
    }
    PassCost cost = costBetween(before, portNow(), passes);
    cost.bursts = static_cast<double>(bursts) / passes;
    // The periodic search, brought forward: its cost beyond a pass.
    const busmodel::PortState searchBefore = portNow();
    state.searchDueMs = 0;
    (void)monitor::RunMonitorCycle(state);
    const PassCost withSearch = costBetween(searchBefore, portNow(), 1);
    cost.searchWireMs = withSearch.wireMs - cost.wireMs;
    cost.searchRoundTrips = withSearch.roundTrips - cost.roundTrips;
    return cost;
}

void print(const std::string& name, double value) {
    std::printf("%s %.3f\n", name.c_str(), value);
}

int argument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int sensors = argument(argc, argv, "--sensors", 10);
    const int missing = argument(argc, argv, "--missing", 5);
    // Fewer than the passes of ten minutes at an interval of 1 s, so that no
    // periodic search falls among them; its cost is measured on its own.
    const int passes = argument(argc, argv, "--passes", 600);
    busmodel::UseVirtualClock(busmodel::ClockMode::Instant, 1000);
    platform::UseClock(&virtualClock);
    busmodel::Install();
    monitor::SetPortName("COM1");
    monitor::Settings().pollInterval = 1;

    const Scenario scenarios[] = {
        {"steady", sensors, 0, 0.0, 0.0},         // the same temperatures every pass
        {"missing", sensors, missing, 0.0, 0.0},  // stored sensors not on the bus
        {"warming", sensors, 0, 0.0625, 0.0},     // one step of a DS18B20 a pass
        {"jumping", sensors, 0, 1.0, 0.0},        // every reading 1 degC from the last
        {"bursts", sensors, 0, 0.0, 0.01},        // one read in a hundred damaged
    };
    print("sensors", sensors);
    print("missing", missing);
    print("passes", passes);
    PassCost steady;
    for (const Scenario& scenario : scenarios) {
        const PassCost cost = run(scenario, passes);
        if (std::strcmp(scenario.name, "steady") == 0) {
            steady = cost;
            print("periodic_search_wire_ms", cost.searchWireMs);
            print("periodic_search_round_trips", cost.searchRoundTrips);
        }
        const std::string name = scenario.name;
        print(name + "_reads", cost.reads);
        print(name + "_extra_reads", cost.reads - sensors);
        print(name + "_round_trips", cost.roundTrips);
        print(name + "_wire_ms", cost.wireMs);
        print(name + "_extra_wire_ms", cost.wireMs - steady.wireMs);
        print(name + "_extra_round_trips", cost.roundTrips - steady.roundTrips);
        print(name + "_bursts", cost.bursts);
    }
    (void)onewire::closePort();
    busmodel::Uninstall();
    platform::UseClock(nullptr);
    return 0;
}
