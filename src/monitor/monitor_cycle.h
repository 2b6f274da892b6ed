#pragma once
// The monitor thread's body as separate steps, so that tests can run the start
// and single cycles on their own thread.
#include <string>

#include "monitor/bus_device.h"
#include "monitor/mailbox.h"
#include "monitor/port_search.h"

namespace monitor {

struct MonitorState {
    BusDeviceList devices;   // polled devices, in polling order
    MonitorMailbox pending;  // working rows, status text, unpublished changes (lock unused)
    std::string portNameCopy;
    int deviceCount = 0;      // refreshed after every rebuild of `devices`
    std::string failureText;  // bus message of the last failed cycle
    bool forceSummary = false;
    int faultyCount = 0;  // faulty devices of the pass; between passes also failed cycles
    int previousFaultyCount = 0;
    int alarmCount = 0;  // out-of-range readings of the pass; -1 once rows show a failure
    int previousAlarmCount = 0;
    // The devices polled have not been checked against the bus since the
    // start, or one of them stopped answering: search after the next pass.
    bool verifyDue = false;
    bool portLost = false;  // the port's device went away; the port is closed
    // The named port did not open (an adapter not yet plugged in): once the
    // failure shows on the rows, it is tried again like a lost one.
    bool openFailed = false;
    int lostCycles = 0;  // cycles since the port was lost or last tried
    // The failure path's search of this cycle found devices: the bus
    // answers, so the pass that publishes them tells no bus failure.
    bool failureSearchFound = false;
    // The codes the monitor knows and those only one search found.
    SearchMemory memory;
    std::size_t absentCursor = 0;   // next of the absent sensors to read
    std::uint64_t searchDueMs = 0;  // the next periodic search, platform::ElapsedMs
};

// Takes the known devices and the port name from the settings, opens the port
// (keeping the devices), identifies them and publishes the first rows.
void MonitorStart(MonitorState& state);

// One cycle: port change, conversion, poll pass, summary, publication and the
// interval wait, or the failure path. false when the thread is to end.
[[nodiscard]] bool RunMonitorCycle(MonitorState& state);

// Sleeps in 100 ms steps.
inline constexpr unsigned MonitorStepMs = 100;
inline constexpr int ConversionWaitSteps = 8;  // a 12-bit conversion takes up to 750 ms
inline constexpr int FailedCyclesBeforeSearch = 10;
inline constexpr int LostCyclesBeforeReopen = 10;  // a try about once a second
// While the bus is healthy a complete search this often finds a sensor
// plugged in while the program runs.
inline constexpr std::uint64_t PeriodicSearchMs = 10 * 60 * 1000;

}  // namespace monitor
