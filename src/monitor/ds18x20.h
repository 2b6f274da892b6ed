#pragma once
// Identifying the devices of a fresh device list and reading one thermometer
// into its working row. Monitor thread only.
#include "monitor/bus_device.h"
#include "monitor/mailbox.h"
#include "monitor/thermometer.h"

namespace monitor {

// Rebuilds pending.rows from `devices`: type, serial text (RomCrcError and a
// light-red cell on a bad ROM CRC), supply mode, and for thermometers
// "Измерение" / "Инициализация". Other families are never addressed.
void IdentifyDevices(BusDeviceList& devices, MonitorMailbox& pending);
// The same for one device and its row, as a search that adds it needs.
void IdentifyDevice(BusDevice& device, SensorRecord& row, MonitorMailbox& pending);

// Addresses the thermometer and reads its supply mode: "3 вывода", "2 вывода
// ('паразитное' питание)", or "Ошибка" when it could not be addressed or the
// read failed (the bit of a failed read means nothing).
std::string_view ReadSupplyModeText(const RomCode& rom);

// Addresses the device, reads its scratchpad and sets the Temperature and
// Status cells and the device's faults; counts an alarm in `alarmCount` and
// an unanswered read in the device's unansweredPasses.
void ReadThermometer(BusDevice& device, SensorRecord& row, MonitorMailbox& pending,
                     int& alarmCount);

// The part of ReadThermometer after a scratchpad arrived: a valid reading is
// shown, logged (when logging is on) and judged; an invalid one is a CRC fault.
void ApplyScratchpad(BusDevice& device, SensorRecord& row, const Scratchpad& scratchpad,
                     MonitorMailbox& pending, int& alarmCount);

// The last step of ReadThermometer: a bus failure (nonzero last status) sets
// BusError and shows the bus message on light red.
void ApplyBusStatus(BusDevice& device, SensorRecord& row, MonitorMailbox& pending);

}  // namespace monitor
