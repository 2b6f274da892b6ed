#include "monitor/ds18x20.h"

#include <algorithm>

#include "monitor/app_settings.h"
#include "monitor/cell_edit.h"
#include "monitor/limit_control.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "platform/clock.h"

namespace monitor {
namespace {

// Nobody answers a Match ROM for a code that is no longer on the bus, so all
// 72 read slots of the scratchpad come back high.
bool unanswered(const Scratchpad& scratchpad) {
    return std::all_of(scratchpad.begin(), scratchpad.end(),
                       [](std::uint8_t byte) { return byte == 0xFF; });
}

void noteAnswer(BusDevice& device, bool read, const Scratchpad& scratchpad) {
    if (read && unanswered(scratchpad)) {
        if (device.unansweredPasses < UINT8_MAX) ++device.unansweredPasses;
    } else {
        device.unansweredPasses = 0;
    }
    if (read && (device.faults & ScratchpadCrcError) == 0) device.foundSinceGoodRead = false;
}

// Counts the read by what ended it; the status is that of the failed call
// when `read` is false.
void countRead(ReadCounts& counts, bool read, const Scratchpad& scratchpad, DeviceFaults faults) {
    ++counts.reads;
    if (!read) {
        ++(onewire::lastStatus() == onewire::NoResponse ? counts.noAnswer : counts.exchangeErrors);
    } else if (unanswered(scratchpad)) {
        ++counts.noAnswer;
    } else if (faults & ScratchpadCrcError) {
        ++counts.crcErrors;
    }
}

}  // namespace

std::string_view ReadSupplyModeText(const RomCode& rom) {
    const bool addressed = onewire::matchRom(&rom);
    const int supplyBit = addressed ? onewire::readPowerSupply() : 1;
    return ConnectionText(addressed && onewire::lastStatus() == onewire::Ok, supplyBit);
}

void IdentifyDevice(BusDevice& device, SensorRecord& row, MonitorMailbox& pending) {
    const std::uint8_t family = device.rom[0];
    row.rom = device.rom;
    SetCellText(row.cells[Type], TypeText(family), pending);
    if (!RomCrcGood(device.rom)) {
        device.faults |= RomCrcError;
        SetCellColor(row.cells[Serial], ErrorColor, pending);
    }
    SetCellText(row.cells[Serial], SerialText(device.rom), pending);
    // Read Power Supply means something else to other families (a DS2438
    // starts a voltage conversion on 0xB4), so only thermometers are addressed.
    if (!IsThermometer(family)) return;
    SetCellText(row.cells[Connection], ReadSupplyModeText(device.rom), pending);
    SetCellText(row.cells[Temperature], "Измерение", pending);
    SetCellText(row.cells[Status], "Инициализация", pending);
}

void IdentifyDevices(BusDeviceList& devices, MonitorMailbox& pending) {
    pending.rows.clear();
    pending.changes |= RowsChanged;
    for (BusDevice& device : devices) IdentifyDevice(device, pending.rows.emplace_back(), pending);
}

void ApplyScratchpad(BusDevice& device, SensorRecord& row, const Scratchpad& scratchpad,
                     MonitorMailbox& pending, int& alarmCount) {
    SensorCell& temperature = row.cells[Temperature];
    SensorCell& status = row.cells[Status];
    const ScratchpadReading reading = DecodeScratchpad(device.rom[0], scratchpad);
    if (!reading.valid) {
        // A corrupted reading is neither logged nor judged; the poll pass blanks it.
        device.faults = static_cast<DeviceFaults>(device.faults & ~SensorRangeError);
        device.faults |= ScratchpadCrcError;
        SetCellColor(temperature, DefaultColor, pending);
        SetCellText(status, ScratchpadCrcErrorText, pending);
        SetCellColor(status, ErrorColor, pending);
        return;
    }
    const float celsius = reading.celsius;
    device.temperature = celsius;
    device.hasReading = true;
    device.readingUnix = platform::UnixSeconds();
    SetCellText(temperature, FormatTemperature(celsius), pending);
    if (Settings().logEnabled.load() != 0) LogReading(device.rom, celsius);
    const int alarmsBefore = alarmCount;
    if (!WithinSensorRange(celsius)) {
        device.faults |= SensorRangeError;
        SetCellColor(temperature, AlarmColor, pending);
    } else {
        device.faults = static_cast<DeviceFaults>(device.faults & ~SensorRangeError);
        CheckLimits(celsius, temperature, alarmCount, pending);
    }
    device.withinLimits = alarmCount == alarmsBefore;
    device.faults = static_cast<DeviceFaults>(device.faults & ~ScratchpadCrcError);
    SetCellText(status, "OK", pending);
    SetCellColor(status, DefaultColor, pending);
}

void ApplyBusStatus(BusDevice& device, SensorRecord& row, MonitorMailbox& pending) {
    SensorCell& status = row.cells[Status];
    const std::int32_t code = onewire::lastStatus();
    if (code != onewire::Ok) {
        device.faults |= BusError;
        SetCellText(status, onewire::statusMessage(code), pending);
        SetCellColor(status, ErrorColor, pending);
    } else if ((device.faults & ScratchpadCrcError) == 0) {
        device.faults = static_cast<DeviceFaults>(device.faults & ~BusError);
        SetCellColor(status, DefaultColor, pending);
    }
}

void ReadThermometer(BusDevice& device, SensorRecord& row, MonitorMailbox& pending,
                     int& alarmCount) {
    Scratchpad scratchpad{};
    const bool read = onewire::matchRomAndReadScratchpad(&device.rom, scratchpad.data());
    if (read) ApplyScratchpad(device, row, scratchpad, pending, alarmCount);
    countRead(device.counts, read, scratchpad, device.faults);
    ApplyBusStatus(device, row, pending);
    noteAnswer(device, read, scratchpad);
}

}  // namespace monitor
