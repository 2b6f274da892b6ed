#include "shell_fixture.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <system_error>

#include "monitor/mailbox.h"
#include "platform/monitor_window.h"
#include "platform/socket.h"
#include "platform/window/window_testing.h"
#include "shell/event_table.h"
#include "shell/startup.h"
#include "web/status_feed.h"
#include "web/status_page.h"
#include "web/status_server.h"

namespace shell_test {

namespace {

// A new folder under the system's temporary folder that no other test run
// uses: a random name, created only when it does not exist yet.
std::string MakeTemporaryFolder() {
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<std::uint64_t>(
                               std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder =
            base / ("kelvarian-shell-" + std::to_string(random() % 1000000000));
        std::error_code error;
        if (std::filesystem::create_directory(folder, error)) return folder.string();
    }
    return {};
}

}  // namespace

void ShellTest::SetUp() {
    ASSERT_TRUE(platform::InitWindowSystem());
    // The status server's sockets need the network stack (Winsock) prepared.
    ASSERT_TRUE(platform::PrepareSockets());
    directory = MakeTemporaryFolder();
    ASSERT_FALSE(directory.empty());
    previousDirectory = std::filesystem::current_path().string();
    std::filesystem::current_path(directory);
    shell::ResetSharedState();
    monitor::MonitorMailbox leftover;
    monitor::TakeOverMailbox(leftover);
    web::StopStatusServer();
    // One process may run many tests (under Wine it runs them all).
    web::ForgetStatusFeed();
    web::ForgetStatusPage();
}

void ShellTest::TearDown() {
    platform::DestroyMainWindow();
    web::StopStatusServer();
    std::filesystem::current_path(previousDirectory);
    // The instance lock a test took lasts as long as the process; on Windows
    // its open file keeps the folder from going, which is no failure.
    std::error_code kept;
    std::filesystem::remove_all(directory, kept);
}

void ShellTest::WriteSettings(std::string_view lines) {
    std::ofstream file(persistence::SettingsFileName, std::ios::binary);
    file << "\xEF\xBB\xBF\r\n";
    std::string text(lines);
    std::string withCrLf;
    for (char c : text) {
        if (c == '\n') withCrLf += '\r';
        withCrLf += c;
    }
    file << withCrLf << "\r\n";
}

std::string ShellTest::SettingsBytes() const {
    std::ifstream file(persistence::SettingsFileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

persistence::SettingsRecord ShellTest::SavedSettings() const {
    return persistence::ParseSettings(SettingsBytes());
}

bool ShellTest::SettingsExist() const {
    return std::filesystem::exists(persistence::SettingsFileName);
}

void ShellTest::Start() {
    ASSERT_TRUE(shell::StartWindow());
}

bool ShellTest::Pump() {
    platform::Event event;
    bool running = true;
    while (platform::PollEvent(event)) {
        if (!shell::HandleEvent(event)) {
            running = false;
            break;
        }
    }
    return running;
}

void ShellTest::Publish(const monitor::SensorList& rows, std::string_view status,
                        std::uint8_t changes, const monitor::MonitorFigures& figures) {
    monitor::MonitorMailbox& box = monitor::SharedMailbox();
    {
        std::lock_guard<std::mutex> guard(box.lock);
        box.rows = rows;
        box.statusText = std::string(status);
        box.changes = changes;
        box.figures = figures;
    }
    platform::PostCustomEvent(platform::SensorsUpdatedEvent);
}

onewire::RomCode RomOf(std::uint8_t serial) {
    return {0x28, serial, 0x3C, 0x01, 0x0B, 0, 0, 0x14};
}

monitor::SensorRecord MonitorRow(std::uint8_t serial, std::string_view temperature,
                                 std::string_view status, std::int32_t statusColor) {
    monitor::SensorRecord row;
    row.rom = RomOf(serial);
    const std::string texts[] = {"",
                                 "DS18B20",
                                 monitor::FormatRomCode(row.rom),
                                 "3 вывода",
                                 std::string(temperature),
                                 std::string(status)};
    for (int column = monitor::Type; column < monitor::ColumnCount; ++column) {
        monitor::SensorCell& cell = row.cells[static_cast<std::size_t>(column)];
        cell.text = texts[column];
        cell.color = column == monitor::Status ? statusColor : monitor::DefaultColor;
        cell.changed = monitor::TextChanged | monitor::ColorChanged;
    }
    row.present = 1;
    return row;
}

std::string StoredSensorLines(int index, std::uint8_t serial, std::string_view name) {
    const std::string n = std::to_string(index);
    return "ID_" + n + " = " + std::to_string(monitor::RomToInt64(RomOf(serial))) + "\nName_" + n +
           " = " + std::string(name) + "\n";
}

}  // namespace shell_test
