#include "monitor/port_search.h"

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
        pending.statusText =
            onewire::openPort(name) ? std::string("Порт открыт") : PortOpenFailedText(name);
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
    while (devices.size() < MaxBusDevices && Settings().quitRequested.load() == 0 &&
           onewire::searchNext(&found.rom)) {
        devices.push_back(found);
    }
}

void SearchBus(BusDeviceList& devices, const std::string& name, MonitorMailbox& pending) {
    platform::SetStatusField0("Поиск '1-Wire' устройств...");
    devices.clear();
    EnumerateBus(devices);
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
