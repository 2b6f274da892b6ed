// Turning one scratchpad into the device's faults and its row's cells, and the
// log line a reading leaves.
#include <gtest/gtest.h>

#include <regex>

#include "monitor/app_settings.h"
#include "monitor/ds18x20.h"
#include "persistence/event_log.h"
#include "test_support.h"

using namespace monitor;
using monitor_test::MakeScratchpad;

namespace {

class ReadingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AppSettings& settings = Settings();
        settings.thermoControl = 0;
        settings.thermoMin = 0;
        settings.thermoMax = 10;
        settings.logEnabled = 0;
        device.rom = {0x28, 0x5A, 0x3C, 0x01, 0x0B, 0x00, 0x00, 0x14};
        row.rom = device.rom;
    }

    void apply(const Scratchpad& pad) {
        pending.changes = 0;
        for (SensorCell& cell : row.cells) cell.changed = 0;
        ApplyScratchpad(device, row, pad, pending, alarmCount);
    }

    const SensorCell& temperature() const { return row.cells[Temperature]; }
    const SensorCell& status() const { return row.cells[Status]; }

    BusDevice device;
    SensorRecord row;
    MonitorMailbox pending;
    int alarmCount = 0;
};

TEST_F(ReadingTest, GoodReadingShowsTemperatureAndOk) {
    apply(MakeScratchpad(0x0191));
    EXPECT_EQ(temperature().text, "25.1 °C");
    EXPECT_EQ(temperature().color, DefaultColor);
    EXPECT_EQ(temperature().changed, TextChanged | ColorChanged);
    EXPECT_EQ(status().text, "OK");
    EXPECT_EQ(status().color, DefaultColor);
    EXPECT_EQ(device.faults, 0);
    EXPECT_FLOAT_EQ(device.temperature, 25.0625f);
    EXPECT_EQ(pending.changes, RowsChanged);
    EXPECT_EQ(alarmCount, 0);
}

TEST_F(ReadingTest, SensorRangeFaultIsNotLimitChecked) {
    Settings().thermoControl = 1;  // 127.0625 is also far above the permitted 0..10
    apply(MakeScratchpad(0x07F1));
    EXPECT_EQ(temperature().color, AlarmColor);
    EXPECT_EQ(device.faults, SensorRangeError);
    EXPECT_EQ(alarmCount, 0);

    apply(MakeScratchpad(static_cast<std::int16_t>(0xFC90)));  // -55.0 is a valid reading
    EXPECT_EQ(device.faults, 0);
    EXPECT_EQ(temperature().color, AlarmColor);  // below the permitted range
    EXPECT_EQ(alarmCount, 1);
}

TEST_F(ReadingTest, ReadingOutsidePermittedRangeIsAnAlarmNotAFault) {
    AppSettings& settings = Settings();
    settings.thermoControl = 1;
    settings.thermoMin = 20;
    settings.thermoMax = 25;
    apply(MakeScratchpad(0x0191));  // 25.06: whole 25
    EXPECT_EQ(temperature().color, DefaultColor);
    apply(MakeScratchpad(26 * 16));
    EXPECT_EQ(temperature().color, AlarmColor);
    EXPECT_EQ(temperature().text, "26.0 °C");
    EXPECT_EQ(alarmCount, 1);
    EXPECT_EQ(device.faults, 0);
    settings.thermoControl = 0;
    apply(MakeScratchpad(26 * 16));
    EXPECT_EQ(temperature().color, DefaultColor);
    EXPECT_EQ(temperature().changed & ColorChanged, ColorChanged);
    EXPECT_EQ(alarmCount, 1);
}

TEST_F(ReadingTest, InvalidScratchpadsAreCrcFaultsWithoutJudgement) {
    Scratchpad corrupted = MakeScratchpad(0x0191);
    corrupted[0] ^= 0x04;
    Scratchpad floating{};
    floating.fill(0xFF);
    const Scratchpad shorted{};  // CRC-8 of zeros is zero
    AppSettings& settings = Settings();
    settings.thermoControl = 1;  // 0..10: any of these values would be an alarm
    for (const Scratchpad& pad : {corrupted, floating, shorted}) {
        device.faults = SensorRangeError;
        alarmCount = 0;
        apply(pad);
        EXPECT_EQ(status().text, "Ошибка CRC");
        EXPECT_EQ(status().color, ErrorColor);
        EXPECT_EQ(status().changed, TextChanged | ColorChanged);
        EXPECT_EQ(temperature().color, DefaultColor);
        EXPECT_EQ(temperature().changed, ColorChanged);
        EXPECT_EQ(device.faults, ScratchpadCrcError);
        EXPECT_EQ(alarmCount, 0);
    }
}

TEST_F(ReadingTest, BusStatusAfterCrcFaultKeepsBusError) {
    device.faults = BusError;
    apply(MakeScratchpad(0x0191));
    ApplyBusStatus(device, row, pending);  // status 0 after the CRC-8 of the reading
    EXPECT_EQ(device.faults, 0);

    device.faults = BusError;
    apply(Scratchpad{});
    ApplyBusStatus(device, row, pending);
    EXPECT_EQ(device.faults, BusError | ScratchpadCrcError);
    EXPECT_EQ(status().text, "Ошибка CRC");
    EXPECT_EQ(status().color, ErrorColor);
}

TEST_F(ReadingTest, OnlyValidReadingsReachTheLogFile) {
    monitor_test::TempWorkingDir folder;
    Settings().logEnabled = 1;
    apply(MakeScratchpad(341));  // 21.3125
    Scratchpad corrupted = MakeScratchpad(342);
    corrupted[8] ^= 0x01;
    apply(corrupted);
    apply(Scratchpad{});
    Settings().logEnabled = 0;
    apply(MakeScratchpad(400));
    persistence::CloseLog();

    const std::string log = monitor_test::ReadFile(folder.path / persistence::LogFileName);
    const std::regex oneLine(
        "\xEF\xBB\xBF\\[\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\\]  "
        "28-00000B013C5A-14  —  21\\.3 °C\r\n");
    EXPECT_TRUE(std::regex_match(log, oneLine)) << log;
}

}  // namespace

// Reads on the simulated bus: what one pass reads again before it shows a
// fault or takes a reading, and what it never takes.
#include "cycle_fixture.h"

namespace {

using ReadsOnTheBus = monitor_test::PollCycleTest;
using monitor_test::Thermometer;
constexpr std::uint8_t B20 = busmodel::FamilyDs18b20;

// Nine bytes whose CRC is right although no thermometer sent them: noise
// that CRC-8 lets through.
Scratchpad Sealed(std::array<std::uint8_t, 8> bytes) {
    Scratchpad pad{};
    std::copy(bytes.begin(), bytes.end(), pad.begin());
    pad[8] = busmodel::Crc8(std::span<const std::uint8_t>(pad.data(), 8));
    return pad;
}

void SendNext(const RomCode& rom, std::vector<Scratchpad> reads) {
    ASSERT_TRUE(busmodel::ChangeDevice(
        rom, [&reads](busmodel::Device& d) { d.nextReads.assign(reads.begin(), reads.end()); }));
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST_F(ReadsOnTheBus, SteadyReadingsTakeOneReadAndAJumpIsConfirmedInTheSamePass) {
    monitor_test::TempWorkingDir folder;
    Settings().logEnabled = 1;
    const busmodel::Device probe = Thermometer(B20, 1, 0x0191);
    startWith({probe});
    EXPECT_EQ(readsOver(1), 2);  // the first reading: a second read confirms it
    EXPECT_EQ(readsOver(1), 1);
    // Into boiling water.
    ASSERT_TRUE(busmodel::SetTemperature(probe.rom, 100 * 16));
    EXPECT_EQ(readsOver(1), 2);
    EXPECT_EQ(cell(0, Temperature).text, "100.0 °C");
    EXPECT_EQ(cell(0, Status).text, "OK");
    EXPECT_EQ(readsOver(1), 1);
    persistence::CloseLog();
    const std::string log = monitor_test::ReadFile(folder.path / persistence::LogFileName);
    EXPECT_EQ(Count(log, "25.1 °C"), 2u) << log;
    EXPECT_EQ(Count(log, "100.0 °C"), 2u) << log;
}

TEST_F(ReadsOnTheBus, OneNoiseBurstIsReadAgainBeforeItShows) {
    const busmodel::Device probe = Thermometer(B20, 1, 0x0191);
    startWith({probe});
    EXPECT_TRUE(cycle());
    Scratchpad burst = busmodel::MakeScratchpad(B20, 0x0191);
    burst[3] ^= 0x24;
    SendNext(probe.rom, {burst});
    EXPECT_EQ(readsOver(1), 2);
    EXPECT_EQ(cell(0, Status).text, "OK");
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
    EXPECT_EQ(state.faultyCount, 0);
    EXPECT_EQ(state.devices[0].counts.crcErrors, 0u);
    // The read again fails as well: now it shows, and counts once.
    SendNext(probe.rom, {burst, burst});
    EXPECT_EQ(readsOver(1), 2);
    EXPECT_EQ(cell(0, Status).text, "Ошибка CRC");
    EXPECT_EQ(state.devices[0].counts.crcErrors, 1u);
}

// A device answering noise: one scratchpad in 256 passes the CRC. Taken on
// one read, it would log -331.8 or 346.3 degC.
TEST_F(ReadsOnTheBus, NoiseThatPassesTheCrcIsNeverTaken) {
    monitor_test::TempWorkingDir folder;
    Settings().logEnabled = 1;
    const busmodel::Device steady = Thermometer(B20, 1, 0x0191);
    const busmodel::Device fresh = Thermometer(B20, 2, 0x0100);
    startWith({steady, fresh});
    const Scratchpad hot = Sealed({0xA5, 0x15, 0x3E, 0x91, 0x5F, 0x07, 0xE2, 0x6C});
    const Scratchpad cold = Sealed({0x45, 0xEB, 0xC1, 0x08, 0x7F, 0xFF, 0x0C, 0x10});
    const Scratchpad mild = Sealed({0x23, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10});
    // The first reading of `fresh` has nothing to look like: three reads,
    // no two the same, are a CRC fault.
    SendNext(fresh.rom, {hot, cold, mild});
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
    EXPECT_EQ(cell(1, Status).text, "Ошибка CRC");
    EXPECT_EQ(cell(1, Temperature).text, "");
    EXPECT_EQ(state.devices[1].faults, ScratchpadCrcError);
    EXPECT_FALSE(state.devices[1].hasReading);
    // Noise, then two reads that agree.
    SendNext(fresh.rom, {mild});
    EXPECT_EQ(readsOver(1), 1 + 3);
    EXPECT_EQ(cell(1, Temperature).text, "16.0 °C");
    // Noise in the steady one: the read again looks like its last reading.
    SendNext(steady.rom, {mild});
    EXPECT_EQ(readsOver(1), 2 + 1);
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
    persistence::CloseLog();
    const std::string log = monitor_test::ReadFile(folder.path / persistence::LogFileName);
    EXPECT_EQ(Count(log, "°C"), Count(log, "25.1 °C") + Count(log, "16.0 °C")) << log;
}

// Some clones hold other values than the datasheet's in the fixed bytes
// (byte 7 = 0x66): the sensor's own last scratchpad is what a read must look
// like, so they read on one read a pass once the first reading is confirmed.
TEST_F(ReadsOnTheBus, CloneWithOtherFixedBytesReadsNormally) {
    const busmodel::Device clone = Thermometer(B20, 1, 0x0191);
    startWith({clone});
    const Scratchpad own = Sealed({0x91, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x66});
    SendNext(clone.rom, {own, own, own, own});
    EXPECT_EQ(readsOver(1), 2);
    EXPECT_EQ(readsOver(1), 1);
    EXPECT_EQ(readsOver(1), 1);
    EXPECT_EQ(cell(0, Status).text, "OK");
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
}

// A sensor that reconnects between the conversion and its read sends the
// power-on 85 degC: no reading, unless the sensor was near 85 degC already.
TEST_F(ReadsOnTheBus, PowerOnValueIsNoReadingUnlessTheLastWasNearIt) {
    monitor_test::TempWorkingDir folder;
    Settings().logEnabled = 1;
    const busmodel::Device probe = Thermometer(B20, 1, 0x0191);
    startWith({probe});
    EXPECT_TRUE(cycle());
    const auto reconnectDuringConversion = [&](std::int16_t raw) {
        clock.resetSteps();
        clock.atStep(9, [&probe, raw] {  // the last step of the conversion wait
            ASSERT_TRUE(busmodel::RemoveDevice(probe.rom));
            busmodel::AddDevice(Thermometer(B20, 1, raw));
        });
        EXPECT_TRUE(cycle());
    };
    reconnectDuringConversion(0x0191);
    EXPECT_EQ(cell(0, Temperature).text, "");
    EXPECT_EQ(cell(0, Temperature).color, AlarmColor);
    EXPECT_EQ(state.devices[0].faults, SensorRangeError);
    EXPECT_EQ(state.faultyCount, 1);
    MonitorMailbox copy;
    TakeOverMailbox(copy);
    ASSERT_EQ(copy.figures.devices.size(), 1u);
    EXPECT_FLOAT_EQ(copy.figures.devices[0].celsius, 25.0625f);  // the page keeps the last one
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");

    ASSERT_TRUE(busmodel::SetTemperature(probe.rom, 84 * 16));
    EXPECT_TRUE(cycle());
    reconnectDuringConversion(84 * 16);
    EXPECT_EQ(cell(0, Temperature).text, "85.0 °C");
    EXPECT_EQ(state.devices[0].faults, 0);
    persistence::CloseLog();
    const std::string log = monitor_test::ReadFile(folder.path / persistence::LogFileName);
    EXPECT_EQ(Count(log, "25.1 °C"), 2u) << log;
    EXPECT_EQ(Count(log, "85.0 °C"), 1u) << log;
}

}  // namespace
