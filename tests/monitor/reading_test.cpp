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
