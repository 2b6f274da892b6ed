#include "monitor/port_search.h"

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

void EnumerateBus(BusDeviceList& devices) {
    onewire::searchReset();
    BusDevice found;
    found.foundSinceGoodRead = true;
    while (devices.size() < MaxBusDevices && Settings().quitRequested.load() == 0 &&
           onewire::searchNext(&found.rom)) {
        devices.push_back(found);
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

// A device found again keeps its read counters: they count since the start,
// and a search after a few failed cycles is no new start.
void keepCounts(const BusDeviceList& previous, BusDeviceList& found) {
    std::vector<bool> taken(found.size(), false);
    for (const BusDevice& device : previous) {
        const std::size_t match = takeMatch(found, taken, device.rom);
        if (match < found.size()) found[match].counts = device.counts;
    }
}

}  // namespace

bool VerifyDevices(BusDeviceList& devices, MonitorMailbox& pending) {
    BusDeviceList found;
    EnumerateBus(found);
    // A search cut short by a bus error knows only part of the bus; taking
    // it would mark every device it did not reach as gone.
    if (onewire::lastStatus() != onewire::NoData) return false;
    std::vector<bool> taken(found.size(), false);
    BusDeviceList kept;
    SensorList rows;
    for (std::size_t i = 0; i < devices.size() && i < pending.rows.size(); ++i) {
        if (takeMatch(found, taken, devices[i].rom) == found.size()) continue;
        kept.push_back(devices[i]);
        kept.back().foundSinceGoodRead = true;
        rows.push_back(std::move(pending.rows[i]));
    }
    const bool dropped = kept.size() != devices.size();
    for (std::size_t j = 0; j < found.size(); ++j) {
        if (taken[j]) continue;
        kept.push_back(found[j]);
        IdentifyDevice(kept.back(), rows.emplace_back(), pending);
    }
    const bool changed = dropped || kept.size() != devices.size();
    devices = std::move(kept);
    pending.rows = std::move(rows);
    if (changed) pending.changes |= RowsChanged;
    return changed;
}

void SearchBus(BusDeviceList& devices, const std::string& name, MonitorMailbox& pending) {
    platform::SetStatusField0("Поиск '1-Wire' устройств...");
    BusDeviceList previous = std::move(devices);
    devices.clear();
    EnumerateBus(devices);
    keepCounts(previous, devices);
    if (!devices.empty()) {
        IdentifyDevices(devices, pending);
        platform::SetStatusField0(FoundDevicesText(static_cast<long long>(devices.size())) + ".");
        return;
    }
    platform::SetStatusField0("На порту " + name + ", '1-Wire' устройства не найдены.");
    pending.rows.clear();
    pending.changes |= RowsChanged | StatusChanged;
}

}  // namespace monitor
