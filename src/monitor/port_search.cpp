#include "monitor/port_search.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "monitor/app_settings.h"
#include "monitor/ds18x20.h"
#include "monitor/status_summary.h"
#include "onewire/link.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "platform/monitor_window.h"

namespace monitor {

std::string PortOpenFailedText(const std::string& name) {
    return "Не удалось открыть порт '" + name + "'  Возможно он зянят или отстуствует в системе";
}

void ReopenPort(const std::string& name, BusDeviceList& devices, MonitorMailbox& pending,
                bool keepDevices) {
    onewire::closePort();
    if (!name.empty()) {
        // Kept devices mean the same port coming back (start, a lost port),
        // not a new choice.
        const bool opened = keepDevices ? onewire::reopenPort(name) : onewire::openPort(name);
        pending.statusText = opened ? std::string("Порт открыт") : PortOpenFailedText(name);
    }
    pending.changes |= RowsChanged | StatusChanged;
    if (keepDevices) return;
    devices.clear();
    pending.rows.clear();
    if (onewire::lastStatus() == onewire::Ok) SearchBus(devices, name, pending);
}

bool Contains(const std::vector<RomCode>& codes, const RomCode& rom) {
    return std::find(codes.begin(), codes.end(), rom) != codes.end();
}

void RememberDevices(SearchMemory& memory, const BusDeviceList& devices) {
    for (const BusDevice& device : devices) {
        if (!Contains(memory.known, device.rom)) memory.known.push_back(device.rom);
    }
}

void ConfirmCode(SearchMemory& memory, const RomCode& rom) {
    std::vector<RomCode>& unconfirmed = memory.unconfirmed;
    unconfirmed.erase(std::remove(unconfirmed.begin(), unconfirmed.end(), rom), unconfirmed.end());
    if (!Contains(memory.known, rom)) memory.known.push_back(rom);
}

void EnumerateBus(BusDeviceList& devices) {
    onewire::searchReset();
    BusDevice found;
    while (devices.size() < MaxBusDevices && Settings().quitRequested.load() == 0 &&
           onewire::searchNext(&found.rom)) {
        devices.push_back(found);
    }
    // The last device may be the one that fills the list: the search then
    // ends with status 7 without another pass, and a full bus counts as
    // searched whole rather than cut short for ever.
    if (devices.size() == MaxBusDevices && onewire::searchState().lastDeviceFound != 0) {
        (void)onewire::searchNext(&found.rom);
    }
}

namespace {

// The first of `found` with `rom` that is not yet taken; found.size() for none.
std::size_t takeMatch(const BusDeviceList& found, std::vector<bool>& taken, const RomCode& rom) {
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!taken[i] && found[i].rom == rom) {
            taken[i] = true;
            return i;
        }
    }
    return found.size();
}

// A search that finds again a sensor whose reads went unanswered long enough
// to start it (a marginal contact or supply) would be followed by another one
// ten passes later, and so on: such a sensor starts no search until it has
// answered. The periodic search still drops it once it is gone.
void noteFoundAgain(const BusDevice& before, BusDevice& after) {
    after.foundSinceAnswer =
        before.foundSinceAnswer || before.unansweredPasses >= UnansweredPassesBeforeSearch;
}

// A device found again keeps its read counters: they count since the start,
// and a search after a few failed cycles is no new start.
void keepCounts(const BusDeviceList& previous, BusDeviceList& found) {
    std::vector<bool> taken(found.size(), false);
    for (const BusDevice& device : previous) {
        const std::size_t match = takeMatch(found, taken, device.rom);
        if (match == found.size()) continue;
        found[match].counts = device.counts;
        noteFoundAgain(device, found[match]);
    }
}

// Keeps of a complete search's codes those that need no confirmation and
// those the previous complete search found too; the others wait for the next
// search or a read.
void admitFound(BusDeviceList& found, SearchMemory& memory) {
    BusDeviceList admitted;
    std::vector<RomCode> waiting;
    for (const BusDevice& device : found) {
        if (Contains(memory.known, device.rom) || Contains(memory.unconfirmed, device.rom)) {
            admitted.push_back(device);
        } else {
            waiting.push_back(device.rom);
        }
    }
    found = std::move(admitted);
    memory.unconfirmed = std::move(waiting);
    RememberDevices(memory, found);
}

constexpr const char* SearchingText = "Поиск '1-Wire' устройств...";

std::string notFoundText(const std::string& name) {
    return "На порту " + name + ", '1-Wire' устройства не найдены.";
}

// `found` replaces `devices` (keeping their counters) and the rows are built
// for it; the search's result goes to status field 0.
void takeFound(BusDeviceList& devices, BusDeviceList found, const std::string& name,
               MonitorMailbox& pending) {
    keepCounts(devices, found);
    devices = std::move(found);
    if (!devices.empty()) {
        IdentifyDevices(devices, pending);
        platform::SetStatusField0(FoundDevicesText(static_cast<long long>(devices.size())) + ".");
        return;
    }
    platform::SetStatusField0(notFoundText(name));
    pending.rows.clear();
    pending.changes |= RowsChanged | StatusChanged;
}

}  // namespace

SearchOutcome VerifyDevices(BusDeviceList& devices, MonitorMailbox& pending, SearchMemory& memory) {
    BusDeviceList found;
    EnumerateBus(found);
    SearchOutcome outcome;
    // A search cut short by a bus error knows only part of the bus; taking
    // it would mark every device it did not reach as gone.
    if (onewire::lastStatus() != onewire::NoData) return outcome;
    outcome.complete = true;
    admitFound(found, memory);
    std::vector<bool> taken(found.size(), false);
    BusDeviceList kept;
    SensorList rows;
    for (std::size_t i = 0; i < devices.size() && i < pending.rows.size(); ++i) {
        if (takeMatch(found, taken, devices[i].rom) == found.size()) continue;
        kept.push_back(devices[i]);
        noteFoundAgain(devices[i], kept.back());
        rows.push_back(std::move(pending.rows[i]));
    }
    const bool dropped = kept.size() != devices.size();
    for (std::size_t j = 0; j < found.size(); ++j) {
        if (taken[j]) continue;
        kept.push_back(found[j]);
        IdentifyDevice(kept.back(), rows.emplace_back(), pending);
    }
    outcome.changed = dropped || kept.size() != devices.size();
    devices = std::move(kept);
    pending.rows = std::move(rows);
    if (outcome.changed) pending.changes |= RowsChanged;
    return outcome;
}

void SearchBus(BusDeviceList& devices, const std::string& name, MonitorMailbox& pending) {
    platform::SetStatusField0(SearchingText);
    BusDeviceList found;
    EnumerateBus(found);
    takeFound(devices, std::move(found), name, pending);
}

SearchOutcome SearchBusConfirmed(BusDeviceList& devices, const std::string& name,
                                 MonitorMailbox& pending, SearchMemory& memory) {
    platform::SetStatusField0(SearchingText);
    BusDeviceList found;
    EnumerateBus(found);
    SearchOutcome outcome;
    if (onewire::lastStatus() != onewire::NoData) {
        // What a search cut short found is part of the bus at best: taking it
        // would mark every device it did not reach as gone.
        platform::SetStatusField0(found.empty() ? notFoundText(name)
                                                : onewire::statusMessage(onewire::lastStatus()));
        return outcome;
    }
    outcome.complete = true;
    outcome.changed = true;  // the rows are built afresh
    admitFound(found, memory);
    takeFound(devices, std::move(found), name, pending);
    return outcome;
}

}  // namespace monitor
