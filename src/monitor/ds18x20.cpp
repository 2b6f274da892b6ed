#include "monitor/ds18x20.h"

#include "monitor/app_settings.h"
#include "monitor/cell_edit.h"
#include "monitor/limit_control.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "platform/clock.h"

namespace monitor {
namespace {

// A sensor whose last reading lay this close to the power-on value may really
// be that warm, so the value is a reading for it.
constexpr float PowerOnNearC = 2.0f;

// Every read of a thermometer's scratchpad goes through here: the reset, then
// Match ROM, the code, Read Scratchpad and its nine bytes in one burst.
bool readScratchpadOf(const RomCode& rom, Scratchpad& scratchpad) {
    return onewire::matchRomAndReadScratchpad(&rom, scratchpad.data());
}

void noteAnswer(BusDevice& device, const CheckedRead& read) {
    if (read.unanswered) {
        if (device.unansweredPasses < UINT8_MAX) ++device.unansweredPasses;
    } else {
        device.unansweredPasses = 0;
    }
    if (read.answered) device.foundSinceAnswer = false;
}

// Counts the pass's read by what ended it; the status is that of the failed
// call when the last read did not go through.
void countRead(ReadCounts& counts, const CheckedRead& read) {
    ++counts.reads;
    if (read.accepted) return;
    if (!read.lastReadOk) {
        ++(onewire::lastStatus() == onewire::NoResponse ? counts.noAnswer : counts.exchangeErrors);
    } else if (NobodyAnswered(read.scratchpad)) {
        ++counts.noAnswer;
    } else {
        ++counts.crcErrors;
    }
}

// A corrupted reading is neither logged nor judged; the poll pass blanks it.
void showCrcFault(BusDevice& device, SensorRecord& row, MonitorMailbox& pending) {
    device.faults = static_cast<DeviceFaults>(device.faults & ~SensorRangeError);
    device.faults |= ScratchpadCrcError;
    SetCellColor(row.cells[Temperature], DefaultColor, pending);
    SetCellText(row.cells[Status], ScratchpadCrcErrorText, pending);
    SetCellColor(row.cells[Status], ErrorColor, pending);
}

void showScratchpadGood(BusDevice& device, SensorRecord& row, MonitorMailbox& pending) {
    device.faults = static_cast<DeviceFaults>(device.faults & ~ScratchpadCrcError);
    SetCellText(row.cells[Status], "OK", pending);
    SetCellColor(row.cells[Status], DefaultColor, pending);
}

bool powerOnValueIsNoReading(const BusDevice& device, const Scratchpad& scratchpad) {
    if (!IsPowerOnValue(device.rom[0], scratchpad)) return false;
    const float fromPowerOn = device.temperature - PowerOnCelsius;
    return !device.hasReading || fromPowerOn > PowerOnNearC || fromPowerOn < -PowerOnNearC;
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
    SetCellText(row.cells[Status], NotReadYetText, pending);
}

void IdentifyDevices(BusDeviceList& devices, MonitorMailbox& pending) {
    pending.rows.clear();
    pending.changes |= RowsChanged;
    for (BusDevice& device : devices) IdentifyDevice(device, pending.rows.emplace_back(), pending);
}

bool ApplyScratchpad(BusDevice& device, SensorRecord& row, const Scratchpad& scratchpad,
                     MonitorMailbox& pending, int& alarmCount) {
    SensorCell& temperature = row.cells[Temperature];
    const ScratchpadReading reading = DecodeScratchpad(device.rom[0], scratchpad);
    if (!reading.valid) {
        showCrcFault(device, row, pending);
        return false;
    }
    if (powerOnValueIsNoReading(device, scratchpad)) {
        // Shown as a reading outside the sensor's range, but nobody measured
        // it: it reaches neither the log nor the figures.
        device.faults |= SensorRangeError;
        SetCellColor(temperature, AlarmColor, pending);
        showScratchpadGood(device, row, pending);
        return false;
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
    showScratchpadGood(device, row, pending);
    return true;
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

CheckedRead ReadCheckedScratchpad(const RomCode& rom, const Scratchpad* last, bool probe) {
    CheckedRead read;
    read.unanswered = true;
    Scratchpad previous{};
    bool previousGood = false;  // `previous` passed its CRC
    int failures = 0;
    while (read.reads < MaxReadsPerPass) {
        Scratchpad scratchpad{};
        ++read.reads;
        read.lastReadOk = readScratchpadOf(rom, scratchpad);
        read.scratchpad = scratchpad;
        const bool nobody = read.lastReadOk && NobodyAnswered(scratchpad);
        if (!nobody) read.unanswered = false;
        if (read.lastReadOk && !nobody) read.answered = true;
        if (probe && !read.answered) break;
        const bool good = read.lastReadOk && DecodeScratchpad(rom[0], scratchpad).valid;
        if (good) {
            // Noise that CRC-8 lets through does not repeat itself, nor does
            // it look like the sensor's last reading.
            const bool repeated = previousGood && scratchpad == previous;
            if (repeated || (last != nullptr && LooksLikeLastReading(rom[0], scratchpad, *last))) {
                read.accepted = true;
                break;
            }
        } else if (++failures == 2) {
            break;  // read again once, and that failed too
        }
        previous = scratchpad;
        previousGood = good;
    }
    return read;
}

void ApplyCheckedRead(BusDevice& device, SensorRecord& row, const CheckedRead& read,
                      MonitorMailbox& pending, int& alarmCount) {
    bool taken = false;
    if (read.accepted) {
        taken = ApplyScratchpad(device, row, read.scratchpad, pending, alarmCount);
    } else if (read.lastReadOk) {
        // A bad CRC, nobody answering, or reads of which no two agreed.
        showCrcFault(device, row, pending);
    }
    // After a pass without a reading the next one is confirmed by a second read.
    device.hasLastAccepted = taken;
    if (taken) device.lastAccepted = read.scratchpad;
    countRead(device.counts, read);
    ApplyBusStatus(device, row, pending);
    noteAnswer(device, read);
}

void ReadThermometer(BusDevice& device, SensorRecord& row, MonitorMailbox& pending,
                     int& alarmCount) {
    const Scratchpad* last = device.hasLastAccepted ? &device.lastAccepted : nullptr;
    const CheckedRead read = ReadCheckedScratchpad(device.rom, last, false);
    ApplyCheckedRead(device, row, read, pending, alarmCount);
}

}  // namespace monitor
