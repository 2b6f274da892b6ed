#include "monitor/monitor_cycle.h"

#include <algorithm>

#include "monitor/absent_sensors.h"
#include "monitor/app_settings.h"
#include "monitor/cell_edit.h"
#include "monitor/ds18x20.h"
#include "monitor/port_search.h"
#include "monitor/status_summary.h"
#include "onewire/link.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "platform/clock.h"

namespace monitor {
namespace {

bool quitRequested() {
    return Settings().quitRequested.load() != 0;
}
bool portChanged() {
    return Settings().portChanged.load() != 0;
}

// The figures go with every publication: copied from the device entries
// into storage that is reused, so a pass allocates nothing for them.
void publish(MonitorState& state) {
    MonitorFigures& figures = state.pending.figures;
    figures.devices.resize(state.devices.size());
    for (std::size_t i = 0; i < state.devices.size(); ++i) {
        const BusDevice& device = state.devices[i];
        figures.devices[i] =
            DeviceFigures{device.rom,         device.hasReading,   device.temperature,
                          device.readingUnix, device.withinLimits, device.counts};
    }
    PassFigures& pass = figures.pass;
    pass.deviceCount = state.deviceCount > 0 ? state.deviceCount : 0;
    // alarmCount -1: the rows show a bus failure, and no device was read.
    const bool failing = state.alarmCount == -1;
    pass.faultyCount = failing ? pass.deviceCount : state.faultyCount;
    pass.alarmCount = failing ? 0 : state.alarmCount;
    // Without devices no reset is sent, so an empty bus is no failure of it;
    // nor is a failed cycle whose search found the bus answering.
    pass.busFailing = state.portLost || state.openFailed ||
                      (failing && state.deviceCount > 0 && !state.failureSearchFound);
    PublishUpdate(state.pending);
}

void notePass(MonitorState& state, std::uint64_t startMs) {
    PassFigures& pass = state.pending.figures.pass;
    ++pass.passes;
    pass.lastPassMs = platform::ElapsedMs() - startMs;
    pass.lastPassUnix = platform::UnixSeconds();
}

// An adapter that is missing when its port is opened (plugged in after the
// program started, or still being set up by the system at boot) is as good as
// one pulled out later: it is tried again until it appears.
void noteOpenOutcome(MonitorState& state) {
    state.openFailed = !state.portNameCopy.empty() && onewire::lastStatus() != onewire::Ok;
}

void servePortChange(MonitorState& state) {
    // Cleared before the name is copied, so that a change made while the port
    // reopens and the bus is searched is served by the next cycle, not lost.
    Settings().portChanged.store(0);
    state.portNameCopy = CopyPortName();
    // The new port is opened and searched afresh: a lost port or a check that
    // was due is settled by that.
    state.portLost = false;
    state.verifyDue = false;
    ReopenPort(state.portNameCopy, state.devices, state.pending, false);
    noteOpenOutcome(state);
    state.deviceCount = static_cast<int>(state.devices.size());
    // The user's search takes what it finds, as ever; codes met on the old
    // port wait for nothing on this one.
    state.memory.unconfirmed.clear();
    RememberDevices(state.memory, state.devices);
    state.searchDueMs = platform::ElapsedMs() + PeriodicSearchMs;
    publish(state);
}

// After a complete search the next periodic one is ten minutes away, and
// codes it met for the first time are read first; those of devices that
// cannot be read (other families) wait for a search after the next pass. One
// cut short is tried again after the next pass.
void noteSearchOutcome(MonitorState& state, bool complete) {
    if (!complete) {
        state.verifyDue = true;
        return;
    }
    const std::vector<RomCode>& unconfirmed = state.memory.unconfirmed;
    state.verifyDue = std::any_of(unconfirmed.begin(), unconfirmed.end(),
                                  [](const RomCode& rom) { return !IsThermometer(rom[0]); });
    state.searchDueMs = platform::ElapsedMs() + PeriodicSearchMs;
    state.absentCursor = 0;
    for (BusDevice& device : state.devices) device.unansweredPasses = 0;
}

// The search the monitor starts by itself after failures, with a search's
// texts; only a complete one changes the lists.
// true when the search went through to its end.
bool searchWithTexts(MonitorState& state) {
    const SearchOutcome outcome =
        SearchBusConfirmed(state.devices, state.portNameCopy, state.pending, state.memory);
    state.deviceCount = static_cast<int>(state.devices.size());
    noteSearchOutcome(state, outcome.complete);
    return outcome.complete;
}

// A failed bus call: its message becomes the status text.
void noteBusFailure(MonitorState& state) {
    state.failureText = std::string(onewire::statusMessage(onewire::lastStatus()));
    state.pending.statusText = state.failureText;
    state.pending.changes |= StatusChanged;
    state.forceSummary = true;
}

// Convert T after Skip ROM reaches every thermometer at once; the wait is
// the caller's. false (with the failure noted) when it could not be sent.
bool startConversionForAll(MonitorState& state) {
    if (state.deviceCount <= 0) return false;
    if (onewire::resetAndSkipRom() && onewire::startConversion(0)) return true;
    noteBusFailure(state);
    return false;
}

// A device that went away (an adapter pulled out, its line hung up) fails
// every call on its handle for good: the handle is closed at once, and the
// cycles that follow only try to open the port again. A port that did not open
// at all is tried again the same way, once its failure shows on the rows.
bool closeLostPort(MonitorState& state) {
    if (onewire::portLost()) {
        (void)onewire::closePort();
    } else if (!state.openFailed) {
        return false;
    }
    state.openFailed = false;
    state.portLost = true;
    state.lostCycles = 0;
    return true;
}

// About once a second, as every cycle starts with a 100 ms sleep. The devices
// are kept, so polling resumes with them once the adapter is back under the
// same name; until then each try shows why the port did not open. With no
// devices to keep (a port chosen while its adapter was missing) the bus is
// searched as soon as the port opens.
void retryLostPort(MonitorState& state) {
    if (++state.lostCycles < LostCyclesBeforeReopen) return;
    state.lostCycles = 0;
    ReopenPort(state.portNameCopy, state.devices, state.pending, true);
    state.portLost = onewire::lastStatus() != onewire::Ok;
    if (!state.portLost && state.devices.empty()) (void)searchWithTexts(state);
    publish(state);
}

void failureCycle(MonitorState& state) {
    MonitorMailbox& pending = state.pending;
    if (state.alarmCount != -1) {
        for (SensorRecord& row : pending.rows) {
            SetCellText(row.cells[Temperature], " ", pending);
            SetCellColor(row.cells[Temperature], DefaultColor, pending);
            SetCellText(row.cells[Status], state.failureText, pending);
            SetCellColor(row.cells[Status], ErrorColor, pending);
        }
        pending.changes |= RowsChanged;
        state.alarmCount = -1;
        // The first readings after a bus failure are confirmed by a second read.
        for (BusDevice& device : state.devices) device.hasLastAccepted = false;
    }
    // A search on a port that is gone would find nothing and forget the
    // devices that are to be polled again once it is back.
    if (!closeLostPort(state) && ++state.faultyCount >= FailedCyclesBeforeSearch) {
        // A search cut short keeps the devices it could not reach.
        state.failureSearchFound = searchWithTexts(state) && state.deviceCount > 0;
        pending.changes |= RowsChanged | StatusChanged;
        state.faultyCount = 0;
    }
    publish(state);
    state.failureSearchFound = false;
}

// false when quitRequested was seen. A port change ends the wait early and is
// served by the next cycle, after this pass ran on the old devices.
bool conversionWait() {
    for (int step = 0; step < ConversionWaitSteps; ++step) {
        platform::SleepMs(MonitorStepMs);
        if (portChanged()) return true;
        if (quitRequested()) return false;
    }
    return true;
}

// A reading stays visible only while the device's one fault is its ROM CRC.
void countFaults(MonitorState& state, const BusDevice& device, SensorRecord& row) {
    if (device.faults == 0) return;
    ++state.faultyCount;
    if ((device.faults & ~RomCrcError) != 0) SetCellText(row.cells[Temperature], "", state.pending);
}

// A few of the thermometers the monitor knows but does not poll get a read
// each. One that answers is polled from this pass on, appended to the devices
// and rows with its reading as a search would have appended it.
void readAbsentSensors(MonitorState& state) {
    std::array<RomCode, AbsentReadsPerPass> picked;
    const std::size_t count =
        PickAbsentSensors(state.devices, state.memory, state.absentCursor, picked);
    for (std::size_t i = 0; i < count; ++i) {
        const CheckedRead read = ReadCheckedScratchpad(picked[i], nullptr, true);
        if (!read.accepted || state.devices.size() != state.pending.rows.size()) continue;
        BusDevice& device = state.devices.emplace_back();
        device.rom = picked[i];
        SensorRecord& row = state.pending.rows.emplace_back();
        IdentifyDevice(device, row, state.pending);
        ApplyCheckedRead(device, row, read, state.pending, state.alarmCount);
        ConfirmCode(state.memory, device.rom);
        countFaults(state, device, row);
        state.deviceCount = static_cast<int>(state.devices.size());
        state.forceSummary = true;
    }
}

void pollPass(MonitorState& state) {
    MonitorMailbox& pending = state.pending;
    for (std::size_t j = 0; j < state.devices.size(); ++j) {
        if (j >= pending.rows.size()) continue;
        BusDevice& device = state.devices[j];
        SensorRecord& row = pending.rows[j];
        for (int column = Type; column < ColumnCount; ++column) row.cells[column].changed = 0;
        if (IsThermometer(device.rom[0])) ReadThermometer(device, row, pending, state.alarmCount);
        if (device.unansweredPasses >= UnansweredPassesBeforeSearch && !device.foundSinceAnswer) {
            state.verifyDue = true;
        }
        countFaults(state, device, row);
    }
    readAbsentSensors(state);
}

void summarise(MonitorState& state) {
    if (!state.forceSummary && state.faultyCount == state.previousFaultyCount &&
        state.alarmCount == state.previousAlarmCount) {
        return;
    }
    state.pending.statusText = BuildSummary(state.deviceCount, state.faultyCount, state.alarmCount);
    state.pending.changes |= StatusChanged;
    state.forceSummary = false;
    state.previousFaultyCount = state.faultyCount;
    state.previousAlarmCount = state.alarmCount;
}

// The search that follows a pass when the devices polled are due for a check
// against the bus, or the periodic one. Quiet: only what it changes is
// published, and the next pass rewrites the status line for the new count.
void verifyDevices(MonitorState& state) {
    const SearchOutcome outcome = VerifyDevices(state.devices, state.pending, state.memory);
    noteSearchOutcome(state, outcome.complete);
    if (!outcome.changed) return;
    state.deviceCount = static_cast<int>(state.devices.size());
    state.forceSummary = true;
    publish(state);
}

// The bound is re-read every second, so a shorter interval applies at once.
void intervalWait() {
    for (unsigned second = 1; second < Settings().pollInterval.load(); ++second) {
        for (int step = 0; step < 10; ++step) {
            platform::SleepMs(MonitorStepMs);
            if (portChanged() || quitRequested()) return;
        }
    }
}

}  // namespace

void MonitorStart(MonitorState& state) {
    state.devices.clear();
    for (const RomCode& rom : Settings().knownRoms)
        state.devices.push_back(BusDevice{rom, 0.0f, 0});
    state.deviceCount = static_cast<int>(state.devices.size());
    state.portNameCopy = CopyPortName();
    ReopenPort(state.portNameCopy, state.devices, state.pending, true);
    noteOpenOutcome(state);
    IdentifyDevices(state.devices, state.pending);
    RememberDevices(state.memory, state.devices);
    publish(state);
    // Sensors may have come or gone while the program was stopped: the
    // stored ones are polled first, then the bus is searched once.
    state.verifyDue = true;
    state.searchDueMs = platform::ElapsedMs() + PeriodicSearchMs;
}

bool RunMonitorCycle(MonitorState& state) {
    platform::SleepMs(MonitorStepMs);
    state.pending.changes = 0;
    if (portChanged()) {
        servePortChange(state);
    } else if (state.portLost) {
        retryLostPort(state);
        return !quitRequested();
    }
    if (!startConversionForAll(state)) {
        failureCycle(state);
        return !quitRequested();
    }
    state.faultyCount = 0;
    state.alarmCount = 0;
    if (!conversionWait()) return false;
    const std::uint64_t passStartMs = platform::ElapsedMs();
    pollPass(state);
    notePass(state, passStartMs);
    summarise(state);
    publish(state);
    if (closeLostPort(state)) return !quitRequested();
    const bool searchDue = state.verifyDue || platform::ElapsedMs() >= state.searchDueMs;
    if (searchDue && !portChanged()) verifyDevices(state);
    intervalWait();
    return !quitRequested();
}

}  // namespace monitor
