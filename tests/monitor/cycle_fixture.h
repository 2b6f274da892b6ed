#pragma once
// Runs the monitor's start and single cycles on the test thread against the
// in-process simulated bus, on the virtual clock.
#include <gtest/gtest.h>

#include "busmodel/bus_model.h"
#include "busmodel/rom_tools.h"
#include "monitor/app_settings.h"
#include "monitor/monitor_cycle.h"
#include "onewire/link.h"
#include "test_support.h"

namespace monitor_test {

inline busmodel::Device Thermometer(std::uint8_t family, std::uint64_t serial, std::int16_t raw,
                                    busmodel::Power power = busmodel::Power::External) {
    busmodel::Device device;
    device.rom = busmodel::MakeRomCode(family, serial);
    device.temperatureRaw = raw;
    device.power = power;
    return device;
}

// ROM commands on the recorded wire: a reset followed by `command` in eight
// slots, least significant bit first.
inline int RomCommands(const std::vector<busmodel::WireByte>& wire, unsigned command) {
    int count = 0;
    for (std::size_t i = 0; i + 8 < wire.size(); ++i) {
        if (wire[i].baud != 9600) continue;
        unsigned sent = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (wire[i + 1 + bit].value == 0xFF) sent |= 1u << bit;
        }
        if (sent == command) ++count;
    }
    return count;
}
inline constexpr unsigned SearchRomCommand = 0xF0;
inline constexpr unsigned MatchRomCommand = 0x55;

inline void ResetMonitorSettings() {
    monitor::AppSettings& settings = monitor::Settings();
    settings.quitRequested = 0;
    settings.portChanged = 0;
    settings.thermoControl = 0;
    settings.pollInterval = 1;
    settings.thermoMin = 0;
    settings.thermoMax = 10;
    settings.logEnabled = 0;
    settings.knownRoms.clear();
    monitor::SetPortName("COM1");
    monitor::MonitorMailbox drained;
    monitor::TakeOverMailbox(drained);
}

class PollCycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        busmodel::ResetBus();
        busmodel::Install();
        ResetMonitorSettings();
    }

    void TearDown() override {
        (void)onewire::closePort();
        busmodel::Uninstall();
    }

    // Puts `devices` on the bus and into the known codes, then starts.
    void startWith(const std::vector<busmodel::Device>& devices) {
        busmodel::SetDevices(devices);
        for (const busmodel::Device& device : devices) {
            monitor::Settings().knownRoms.push_back(device.rom);
        }
        monitor::MonitorStart(state);
    }

    bool cycle() { return monitor::RunMonitorCycle(state); }

    // Runs `cycles` cycles; how often they sent `command` after a reset.
    int romCommandsOver(int cycles, unsigned command) {
        busmodel::RecordWire(true);
        for (int i = 0; i < cycles; ++i) EXPECT_TRUE(cycle());
        const int count = RomCommands(busmodel::WireLog(), command);
        busmodel::RecordWire(false);
        return count;
    }
    int searchPassesOver(int cycles) { return romCommandsOver(cycles, SearchRomCommand); }
    // Every read of a scratchpad starts with a Match ROM.
    int readsOver(int cycles) { return romCommandsOver(cycles, MatchRomCommand); }

    // Takes the shared mailbox over like the window does and merges the rows
    // into `windowList`; the change bits taken.
    std::uint8_t takeOver() {
        monitor::MonitorMailbox copy;
        monitor::TakeOverMailbox(copy);
        if (copy.changes & monitor::RowsChanged) monitor::MergeRows(windowList, copy.rows);
        if (copy.changes & monitor::StatusChanged) statusText = copy.statusText;
        return copy.changes;
    }

    const monitor::SensorCell& cell(std::size_t row, monitor::SensorColumn column) const {
        return state.pending.rows.at(row).cells[column];
    }

    StepClock clock;
    WindowRecorder window;
    monitor::MonitorState state;
    monitor::SensorList windowList;
    std::string statusText;
};

}  // namespace monitor_test
