// Times the library's bus work on a real serial port (kelvarian-sim's
// pseudo-terminal): a full search, a poll pass (Match ROM and Read Scratchpad
// for every device in one call, as the monitor does, and beside it as two
// calls), a read of every thermometer (one conversion for all, the monitor's
// 800 ms wait, a poll pass), and what a bare round trip costs beyond the
// wire. Prints "name value" lines for bench/bus/run.sh.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "onewire/bus_master.h"
#include "onewire/link.h"
#include "onewire/primitives.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

// The monitor waits 8 x 100 ms for a conversion (750 ms at 12 bits).
constexpr std::uint32_t ConversionWaitMs = 800;

// The system's serial port with its writes counted: one write, one round trip.
platform::SerialPortOps countedOps;
long writeCount = 0;

std::int32_t countedWrite(platform::SerialPort* port, const std::uint8_t* data, std::int32_t n) {
    ++writeCount;
    return platform::SystemSerialPort().write(port, data, n);
}

void installCountedPort() {
    countedOps = platform::SystemSerialPort();
    countedOps.write = countedWrite;
    onewire::useSerialBackend(&countedOps);
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// A whole enumeration; false unless it ended with "no more devices".
bool enumerate(std::vector<onewire::RomCode>& found) {
    found.clear();
    onewire::searchReset();
    onewire::RomCode rom{};
    while (onewire::searchNext(&rom) && found.size() < 1000) found.push_back(rom);
    return onewire::lastStatus() == onewire::NoData;
}

// Match ROM and Read Scratchpad for each device, in the one call the monitor
// makes; the count of good readings.
std::size_t pollPass(const std::vector<onewire::RomCode>& devices) {
    std::size_t good = 0;
    for (const onewire::RomCode& rom : devices) {
        std::uint8_t pad[9]{};
        if (onewire::matchRomAndReadScratchpad(&rom, pad) && onewire::crc8(pad, 8) == pad[8]) {
            ++good;
        }
    }
    return good;
}

// The same pass with Match ROM and Read Scratchpad as two calls, one round
// trip more a read: what the single call saves, measured beside it.
std::size_t pollPassApart(const std::vector<onewire::RomCode>& devices) {
    std::size_t good = 0;
    for (const onewire::RomCode& rom : devices) {
        std::uint8_t pad[9]{};
        if (onewire::matchRom(&rom) && onewire::readScratchpad(pad) &&
            onewire::crc8(pad, 8) == pad[8]) {
            ++good;
        }
    }
    return good;
}

// The same through the master's one-round-trip read (reset, Match ROM, code,
// Read Scratchpad and nine bytes in one write) where it has one; -1 otherwise.
double oneTripPollMs(const std::vector<onewire::RomCode>& devices, long& writes) {
    const onewire::BusMaster& master = onewire::busMaster();
    if (master.resetWriteThenRead == nullptr) return -1;
    const long before = writeCount;
    const Clock::time_point start = Clock::now();
    for (const onewire::RomCode& rom : devices) {
        std::uint8_t block[10] = {0x55};
        std::copy(rom.begin(), rom.end(), block + 1);
        block[9] = 0xBE;
        std::uint8_t pad[9]{};
        (void)master.resetWriteThenRead(block, 10, pad, 9);
    }
    writes = writeCount - before;
    return msSince(start);
}

// What one round trip costs on this port beyond the wire: the median of
// single read slots (one write, one wait, one read each) less the slot's
// 86.8 us on the wire.
double roundTripOverheadMs() {
    constexpr int Probes = 101;
    constexpr double SlotMs = 10.0 / 115200 * 1000;
    std::vector<double> times;
    for (int i = 0; i < Probes; ++i) {
        const Clock::time_point start = Clock::now();
        (void)onewire::readSlot(true, true, true);
        times.push_back(msSince(start));
    }
    return median(times) - SlotMs;
}

bool convertAll() {
    if (!onewire::resetAndSkipRom() || !onewire::startConversion(0)) return false;
    platform::SleepMs(ConversionWaitMs);
    return true;
}

void print(const char* name, double value) {
    std::printf("%s %.3f\n", name, value);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: kelvarian-bench-bus PORT DEVICES SEARCHES POLL_PASSES\n");
        return 2;
    }
    const std::size_t expected = std::strtoul(argv[2], nullptr, 10);
    const int searches = std::max(1, std::atoi(argv[3]));
    const int pollPasses = std::max(1, std::atoi(argv[4]));
    installCountedPort();
    if (!onewire::openPort(argv[1])) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }

    std::vector<onewire::RomCode> devices;
    std::vector<double> searchMs;
    int searchFailures = 0;
    long searchWrites = 0;
    for (int i = 0; i < searches; ++i) {
        const long writesBefore = writeCount;
        const Clock::time_point start = Clock::now();
        const bool complete = enumerate(devices);
        searchMs.push_back(msSince(start));
        searchWrites = writeCount - writesBefore;
        if (!complete || devices.size() != expected) ++searchFailures;
    }

    int pollFailures = convertAll() ? 0 : 1;
    std::vector<double> pollMs;
    std::vector<double> apartMs;
    long pollWrites = 0;
    long apartWrites = 0;
    // Taking turns, so that both see the same load on the machine.
    for (int i = 0; i < pollPasses; ++i) {
        long writesBefore = writeCount;
        Clock::time_point start = Clock::now();
        std::size_t good = pollPass(devices);
        pollMs.push_back(msSince(start));
        pollWrites = writeCount - writesBefore;
        if (good != expected) ++pollFailures;

        writesBefore = writeCount;
        start = Clock::now();
        good = pollPassApart(devices);
        apartMs.push_back(msSince(start));
        apartWrites = writeCount - writesBefore;
        if (good != expected) ++pollFailures;
    }

    const Clock::time_point start = Clock::now();
    const bool converted = convertAll();
    const std::size_t good = pollPass(devices);
    const double readAllMs = msSince(start);
    if (!converted || good != expected) ++pollFailures;

    long oneTripWrites = 0;
    const double oneTripMs = oneTripPollMs(devices, oneTripWrites);
    // The passive master's slots would be commands to a line driver.
    const bool passive = onewire::adapterName() == "passive";
    const double roundTripMs = passive ? roundTripOverheadMs() : -1;
    (void)onewire::closePort();
    print("adapter_passive", passive ? 1 : 0);
    print("round_trip_ms", roundTripMs);
    print("devices", static_cast<double>(devices.size()));
    print("search_ms", median(searchMs));
    print("search_writes", static_cast<double>(searchWrites));
    print("search_failures", searchFailures);
    print("poll_ms", median(pollMs));
    print("poll_writes", static_cast<double>(pollWrites));
    print("writes_per_read",
          devices.empty() ? 0.0
                          : static_cast<double>(pollWrites) / static_cast<double>(devices.size()));
    print("poll_apart_ms", median(apartMs));
    print("poll_apart_writes", static_cast<double>(apartWrites));
    print("read_all_ms", readAllMs);
    print("one_trip_poll_ms", oneTripMs);
    print("one_trip_poll_writes", static_cast<double>(oneTripWrites));
    print("poll_failures", pollFailures);
    return searchFailures == 0 && pollFailures == 0 ? 0 : 1;
}
