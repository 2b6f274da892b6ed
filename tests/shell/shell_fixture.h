#pragma once
// A fresh main window per test, built by the shell's own start-up in a
// temporary working directory, driven through window.h and window_testing.h
// only, so that the tests run against whichever window layer is linked.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/mailbox.h"
#include "monitor/sensor_table.h"
#include "persistence/settings_file.h"

namespace shell_test {

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes Kelvarian.ini with a byte order mark; `lines` are joined with CR LF.
    void WriteSettings(std::string_view lines);
    std::string SettingsBytes() const;
    persistence::SettingsRecord SavedSettings() const;
    bool SettingsExist() const;

    // Start-up up to the event loop (the monitor thread is not started).
    void Start();
    // Handles every queued event like the event loop; false once one ends it.
    bool Pump();

    // Places rows, a status text and figures in the shared mailbox and posts
    // the SensorsUpdated event, as the monitor's hand-over does.
    static void Publish(const monitor::SensorList& rows, std::string_view status,
                        std::uint8_t changes, const monitor::MonitorFigures& figures = {});

    std::string directory;
    std::string previousDirectory;
};

// A monitor row for the DS18B20 with serial byte `serial`.
monitor::SensorRecord MonitorRow(std::uint8_t serial, std::string_view temperature,
                                 std::string_view status,
                                 std::int32_t statusColor = monitor::DefaultColor);
// A settings line pair for a stored sensor, e.g. "ID_1 = ...\r\nName_1 = ...".
std::string StoredSensorLines(int index, std::uint8_t serial, std::string_view name);
onewire::RomCode RomOf(std::uint8_t serial);

}  // namespace shell_test
