// Start-up with the settings file and the status server, termination
// requests, and the save at shutdown.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "monitor/app_settings.h"
#include "onewire/link.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "platform/window/window_testing.h"
#include "shell/main_window.h"
#include "shell/shell_state.h"
#include "shell/startup.h"
#include "shell_fixture.h"
#include "web/status_page.h"

namespace shell_test {
namespace {

using platform::AddressFamily;

// A listening socket on the wildcard address, on a free port.
class Listener {
  public:
    explicit Listener(AddressFamily family) : socket(platform::OpenStreamSocket(family)) {
        if (socket.valid() && platform::BindToWildcard(socket, family, 0) &&
            platform::ListenForConnections(socket, 1)) {
            boundPort = platform::BoundPort(socket);
        }
    }
    ~Listener() { platform::CloseSocket(socket); }
    bool ok() const { return boundPort != 0; }
    std::uint16_t port() const { return boundPort; }

  private:
    platform::SocketHandle socket;
    std::uint16_t boundPort = 0;
};

std::uint16_t FreePort(AddressFamily family) {
    return Listener(family).port();
}

std::string ServerLines(std::uint16_t port, bool ipv6) {
    return "[Server]\nEnable = 1\nPort = " + std::to_string(port) +
           "\nIPv6 = " + (ipv6 ? "1" : "0");
}

TEST_F(ShellTest, DisabledServerLeavesField1EmptyAndRunsNoTimer) {
    Start();
    EXPECT_EQ(platform::StatusText(1), "");
    EXPECT_FALSE(platform::TimerRunning(shell::ServerTimer));
    EXPECT_EQ(web::CurrentStatusPage(), nullptr);
}

TEST_F(ShellTest, RunningServerIsNamedWithPortAndFamilyAndServicedByTheTimer) {
    const std::uint16_t port = FreePort(AddressFamily::IPv4);
    WriteSettings("[Sensors]\nCount = 1\n" + StoredSensorLines(1, 0x11, "Котёл") +
                  ServerLines(port, false));
    Start();
    EXPECT_EQ(platform::StatusText(1), "Сервер работает (" + std::to_string(port) + " порт, IPv4)");
    EXPECT_TRUE(platform::TimerRunning(shell::ServerTimer));
    ASSERT_NE(web::CurrentStatusPage(), nullptr);
    EXPECT_NE(web::CurrentStatusPage()->find("Котёл"), std::string::npos);
}

TEST_F(ShellTest, ServerOnIPv6SaysSo) {
    std::uint16_t port = 0;
    {
        Listener probe(AddressFamily::IPv6);
        if (!probe.ok()) GTEST_SKIP() << "no IPv6 on this machine";
        port = probe.port();
    }
    WriteSettings(ServerLines(port, true));
    Start();
    EXPECT_EQ(platform::StatusText(1), "Сервер работает (" + std::to_string(port) + " порт, IPv6)");
}

TEST_F(ShellTest, ServerThatCannotListenIsReportedAndTheListStillShows) {
    Listener taken(AddressFamily::IPv4);
    ASSERT_TRUE(taken.ok());
    WriteSettings("[Sensors]\nCount = 1\n" + StoredSensorLines(1, 0x11, "Котёл") +
                  ServerLines(taken.port(), false));
    Start();
    EXPECT_EQ(platform::StatusText(1),
              "Не удалось запустить сервер (" + std::to_string(taken.port()) + " порт)");
    EXPECT_FALSE(platform::TimerRunning(shell::ServerTimer));
    EXPECT_EQ(platform::ListRowCount(shell::SensorView), 1);
    // The page follows the configured switch, not the start's outcome.
    EXPECT_NE(web::CurrentStatusPage(), nullptr);
}

TEST_F(ShellTest, LoadingFillsControlsSettingsAndSensorList) {
    onewire::setLinkOptions(onewire::InvertLines);  // loading never clears a bit
    WriteSettings(
        "Port = COM7\nInterval = 70000\nThermoControl = 3\nThermoMin = -54\nThermoMax = 125\n"
        "Log = 1\nCPU_MinUsage = 1\nInvert = 0\n[Sensors]\nCount = 2\n" +
        StoredSensorLines(1, 0x11, "Котёл") + "ID_2 = -5692134055594401496\n");
    Start();
    const monitor::AppSettings& settings = monitor::Settings();
    EXPECT_EQ(platform::SpinValue(shell::IntervalSpin), 70000 - 65536);
    EXPECT_EQ(settings.pollInterval.load(), 70000 - 65536);
    EXPECT_TRUE(platform::IsChecked(shell::ThermoCheck));
    EXPECT_EQ(settings.thermoControl.load(), 1);
    EXPECT_EQ(platform::SpinValue(shell::MinSpin), -54);
    EXPECT_EQ(platform::SpinValue(shell::MaxSpin), 125);
    EXPECT_EQ(settings.logEnabled.load(), 1);
    EXPECT_TRUE(platform::MenuItemChecked(shell::LogItem));
    EXPECT_TRUE(platform::MenuItemChecked(shell::ReduceCpuItem));
    EXPECT_FALSE(platform::MenuItemChecked(shell::InvertLinesItem));
    EXPECT_EQ(onewire::linkOptions(), onewire::ReduceCpuLoad | onewire::InvertLines);

    const monitor::SensorList& sensors = shell::State().sensors;
    ASSERT_EQ(sensors.size(), 2u);
    EXPECT_EQ(sensors[1].cells[monitor::Name].text, "Новый");
    EXPECT_EQ(sensors[1].cells[monitor::Serial].text, "28-017A3C126461-B1");
    EXPECT_EQ(sensors[1].present, 0);
    EXPECT_EQ(settings.knownRoms.size(), 2u);
    EXPECT_EQ(settings.knownRoms[0], RomOf(0x11));
    EXPECT_EQ(platform::ListCellText(shell::SensorView, 0, monitor::Name), "Котёл");
    EXPECT_EQ(monitor::CopyPortName(), "COM7");
}

TEST_F(ShellTest, ShutdownSavesEverythingAsLoadedAndHidesTheWindow) {
    const std::string canonical =
        "\xEF\xBB\xBF\r\n"
        "Port = COM3\r\nInterval = 5\r\nThermoControl = 1\r\nThermoMin = 18\r\nThermoMax = 26\r\n"
        "Log = 0\r\nCPU_MinUsage = 1\r\nInvert = 0\r\n"
        "[Sensors]\r\nCount = 2\r\nID_1 = 1441151928023931432\r\nName_1 = Новый\r\n"
        "ID_2 = -5692134055594401496\r\nName_2 = Котёл\r\n"
        "[Server]\r\nEnable = 0\r\nPort = 8080\r\nIPv6 = 1\r\n";
    {
        std::FILE* file = std::fopen(persistence::SettingsFileName, "wb");
        std::fwrite(canonical.data(), 1, canonical.size(), file);
        std::fclose(file);
    }
    Start();
    shell::StopProgram();
    EXPECT_EQ(monitor::Settings().quitRequested.load(), 1);
    EXPECT_FALSE(platform::MainWindowVisible());
    EXPECT_EQ(SettingsBytes(), canonical);
}

// The loader accepts up to 130 while the spin fields offer up to 125.
TEST_F(ShellTest, StoredLimitsAbove125AreShownCheckedAndSavedAsStored) {
    WriteSettings("ThermoMin = 127\nThermoMax = 130");
    Start();
    EXPECT_EQ(platform::SpinValue(shell::MinSpin), 127);
    EXPECT_EQ(platform::SpinValue(shell::MaxSpin), 130);
    EXPECT_EQ(platform::SpinText(shell::MaxSpin), "130");
    EXPECT_EQ(monitor::Settings().thermoMax.load(), 130);
    platform::PressSpinArrow(shell::MaxSpin, platform::SpinArrow::Up);  // no further than held
    EXPECT_EQ(platform::SpinValue(shell::MaxSpin), 130);
    shell::StopProgram();
    EXPECT_EQ(SavedSettings().thermoMin, 127);
    EXPECT_EQ(SavedSettings().thermoMax, 130);
}

TEST_F(ShellTest, SettingsFileThatCannotBeReadIsNeverOverwritten) {
    WriteSettings("Interval = 5\n[Sensors]\nCount = 1\n" + StoredSensorLines(1, 0x11, "Котёл"));
    const std::string head = SettingsBytes();
    // Beyond what the reader takes; sparse, so it costs no disk.
    std::filesystem::resize_file(persistence::SettingsFileName, platform::maxReadBytes + 1);
    ::testing::internal::CaptureStderr();
    Start();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Kelvarian.ini"), std::string::npos) << said;
    EXPECT_NE(said.find("will not be saved"), std::string::npos) << said;
    EXPECT_EQ(platform::SpinValue(shell::IntervalSpin), 1);  // this run has the defaults

    platform::ClickCheckBox(shell::ThermoCheck);  // a change that saves at once
    EXPECT_TRUE(Pump());
    shell::StopProgram();
    EXPECT_EQ(std::filesystem::file_size(persistence::SettingsFileName),
              platform::maxReadBytes + 1);
    std::ifstream file(persistence::SettingsFileName, std::ios::binary);
    std::string start(head.size(), '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    EXPECT_EQ(start, head);
}

TEST_F(ShellTest, PresetIsReadWhenTheFolderHasNoSettingsAndSavesStayInTheFolder) {
    std::filesystem::create_directory("program");
    const std::string preset = directory + "/program/Kelvarian.ini";
    {
        std::ofstream file(preset, std::ios::binary);
        file << "\xEF\xBB\xBF\r\nInterval = 9\r\n";
    }
    shell::State().presetSettingsFile = preset;
    Start();
    EXPECT_EQ(platform::SpinValue(shell::IntervalSpin), 9);
    platform::ClickCheckBox(shell::ThermoCheck);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(SavedSettings().interval, 9);
    EXPECT_EQ(SavedSettings().thermoControl, 1);
    std::ifstream file(preset, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}),
              "\xEF\xBB\xBF\r\nInterval = 9\r\n");

    // Once the user has a file of their own, the preset is not read.
    platform::DestroyMainWindow();
    shell::ResetSharedState();
    shell::State().presetSettingsFile = preset;
    WriteSettings("Interval = 4");
    Start();
    EXPECT_EQ(platform::SpinValue(shell::IntervalSpin), 4);
}

TEST_F(ShellTest, ShutdownWritesTheFileEvenWhenNothingChanged) {
    Start();
    ASSERT_FALSE(SettingsExist());
    shell::StopProgram();
    EXPECT_TRUE(SettingsExist());
    EXPECT_EQ(SavedSettings().thermoMax, 10);
}

// Bounded wait for `done`, running the window system meanwhile.
template <class Condition>
bool Eventually(Condition done) {
    for (int i = 0; i < 10000 && !done(); ++i) {
        platform::DispatchPendingWork();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

class TerminationTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_TRUE(platform::InstallTerminationSignals());
        platform::WatchTerminationSignals();
    }
};

TEST_F(TerminationTest, SignalBeforeTheLoopRunsEndsItAtOnce) {
    platform::SimulateTerminationRequest();
    Start();
    // The request reaches the window from the process layer's own thread.
    ASSERT_TRUE(Eventually(platform::TerminationRequested));
    EXPECT_FALSE(Pump());
}

std::atomic<int> requestsHeard{0};

TEST_F(TerminationTest, SignalWhileNobodyListensReachesTheNextListener) {
    requestsHeard = 0;
    platform::SetTerminationNotifier(nullptr);
    platform::SimulateTerminationRequest();
    platform::SetTerminationNotifier([] { ++requestsHeard; });
    EXPECT_TRUE(Eventually([] { return requestsHeard == 1; }));
    platform::WatchTerminationSignals();  // back to the window for later tests
    EXPECT_EQ(requestsHeard, 1);
}

TEST_F(TerminationTest, SignalDismissesTheRenamePromptAsCancelled) {
    WriteSettings("[Sensors]\nCount = 1\n" + StoredSensorLines(1, 0x11, "Котёл"));
    Start();
    platform::SelectListRow(shell::SensorView, 0);
    bool promptSeen = false;
    platform::WhenModalOpens([&promptSeen] {
        ASSERT_EQ(platform::OpenModal().kind, platform::ModalKind::Prompt);
        promptSeen = true;
        platform::SetPromptInput("Не сохранять");
        platform::SimulateTerminationRequest();
    });
    platform::ChooseMenuItem(shell::RenameItem);
    EXPECT_FALSE(Pump());
    EXPECT_TRUE(promptSeen);
    EXPECT_EQ(platform::OpenModal().kind, platform::ModalKind::None);
    EXPECT_EQ(shell::State().sensors[0].cells[monitor::Name].text, "Котёл");
}

TEST_F(TerminationTest, SignalDismissesTheAboutBox) {
    Start();
    platform::WhenModalOpens([] { platform::SimulateTerminationRequest(); });
    platform::ChooseMenuItem(shell::AboutItem);
    EXPECT_FALSE(Pump());
    EXPECT_EQ(platform::OpenModal().kind, platform::ModalKind::None);
}

TEST_F(TerminationTest, WaitingLoopWakesForASignal) {
    Start();
    // From another thread, which may run before or while the loop waits.
    std::thread signaller([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        platform::SimulateTerminationRequest();
    });
    EXPECT_EQ(platform::WaitEvent().kind, platform::EventKind::Close);
    signaller.join();
}

}  // namespace
}  // namespace shell_test
