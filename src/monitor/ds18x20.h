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

// A thermometer's reads in one pass.
inline constexpr int MaxReadsPerPass = 3;
struct CheckedRead {
    bool accepted = false;    // `scratchpad` is the pass's reading
    bool lastReadOk = false;  // the bus calls of the last read succeeded
    bool answered = false;    // a read got something other than nine 0xFF bytes
    bool unanswered = false;  // every read went through and got nine 0xFF bytes
    int reads = 0;
    Scratchpad scratchpad{};  // the accepted one, else what the last read gave
};

// Reads the scratchpad until it can be trusted, at most MaxReadsPerPass
// times. A read that failed (its CRC, the bus, or nobody answered) is read
// again once. One that passed its CRC is accepted at once when it looks like
// `last` (nullptr: there is none), otherwise when the next read gives the
// same nine bytes. A `probe` of a sensor that may be gone gives up after a
// first read that nobody answered. The last status is that of the last read.
CheckedRead ReadCheckedScratchpad(const RomCode& rom, const Scratchpad* last, bool probe);

// Reads the thermometer (ReadCheckedScratchpad against its last accepted
// scratchpad) and applies the outcome (ApplyCheckedRead).
void ReadThermometer(BusDevice& device, SensorRecord& row, MonitorMailbox& pending,
                     int& alarmCount);

// Sets the Temperature and Status cells and the device's faults from one
// pass's reads: an accepted scratchpad as ApplyScratchpad does, reads that
// went through without one as a CRC fault, then the bus status. Counts the
// read and an unanswered pass, and keeps the scratchpad taken as the next
// pass's reference.
void ApplyCheckedRead(BusDevice& device, SensorRecord& row, const CheckedRead& read,
                      MonitorMailbox& pending, int& alarmCount);

// The part of ReadThermometer after a scratchpad was accepted: a valid
// reading is shown, logged (when logging is on) and judged; an invalid one is
// a CRC fault; the power-on value, unless the sensor's last reading was near
// it, is a fault like a reading outside the sensor's range and no reading.
// true when it was taken as a reading.
bool ApplyScratchpad(BusDevice& device, SensorRecord& row, const Scratchpad& scratchpad,
                     MonitorMailbox& pending, int& alarmCount);

// The last step of ReadThermometer: a bus failure (nonzero last status) sets
// BusError and shows the bus message on light red.
void ApplyBusStatus(BusDevice& device, SensorRecord& row, MonitorMailbox& pending);

}  // namespace monitor
