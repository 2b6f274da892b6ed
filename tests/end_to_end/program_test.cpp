// The whole program: build/kelvarian copied into a folder of its own, its COM1
// a link to kelvarian-sim, run on the offscreen platform.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "monitor/sensor_table.h"
#include "onewire/rom.h"
#include "persistence/settings_file.h"
#include "process_support.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

// Generous bounds for a loaded machine; the tests poll and end as soon as the
// program got there.
constexpr auto ReadingsLimit = std::chrono::seconds(120);
constexpr auto ExitLimit = std::chrono::seconds(60);

onewire::RomCode Rom(std::uint8_t family, std::uint16_t serial) {
    onewire::RomCode rom{family,
                         static_cast<std::uint8_t>(serial & 0xFF),
                         static_cast<std::uint8_t>(serial >> 8),
                         0,
                         0,
                         0,
                         0,
                         0};
    rom[7] = onewire::crc8(rom.data(), 7);
    return rom;
}

std::string Id(const onewire::RomCode& rom) {
    return std::to_string(monitor::RomToInt64(rom));
}

std::string PageRow(const std::string& name, const std::string& value) {
    return "<tr><td style=\"text-align: center;\">" + name +
           "</td><td style=\"text-align: center;\">" + value + "</td></tr>";
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/kelvarian-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        ASSERT_TRUE(CopyExecutable(KELVARIAN_EXECUTABLE, folder + "/kelvarian"));
    }

    void TearDown() override {
        Terminate(program);
        Terminate(simulator);
        std::filesystem::remove_all(folder);
    }

    // `devices` are lines of the simulator's config file, which a SIGHUP
    // makes it read again.
    void StartSimulator(const std::string& devices) {
        WriteWholeFile(folder + "/bus.conf", devices);
        const std::vector<std::string> argv{SIMULATOR_EXECUTABLE, "--link", folder + "/COM1",
                                            "--config", folder + "/bus.conf"};
        simulator = Spawn(argv, {}, folder, true);
        ASSERT_GT(simulator.pid, 0);
        ASSERT_TRUE(WaitForLine(simulator, "ready", 30s));
    }

    void StartProgram() {
        program = Spawn({folder + "/kelvarian"}, {"QT_QPA_PLATFORM=offscreen"}, "/", false);
        ASSERT_GT(program.pid, 0);
    }

    // Polls the page until it holds every one of `rows`; returns the last page.
    std::string WaitForPage(std::uint16_t port, const std::vector<std::string>& rows) {
        const auto deadline = std::chrono::steady_clock::now() + ReadingsLimit;
        std::string page;
        while (std::chrono::steady_clock::now() < deadline) {
            page = FetchPage(port, "/");
            bool all = !page.empty();
            for (const std::string& row : rows) all = all && page.find(row) != std::string::npos;
            if (all) return page;
            std::this_thread::sleep_for(500ms);
        }
        return page;
    }

    std::string Settings() const { return ReadWholeFile(folder + "/Kelvarian.ini"); }

    std::string folder;
    Child simulator;
    Child program;
};

// The monitor searches the bus while it fails: an empty bus at start
// makes it search, the stored sensors turn "Не найден", and once thermometers
// join the bus the next search finds them.
TEST_F(ProgramTest, ReadingsReachPageAndLogAndTheShutdownSavesTheNewList) {
    const onewire::RomCode boiler = Rom(0x28, 0x3C5A);
    const onewire::RomCode gone = Rom(0x28, 0xABCD);
    const onewire::RomCode fresh = Rom(0x28, 0x1234);
    StartSimulator("device 28:3C5A temp=21.5 absent\ndevice 28:1234 temp=36.6 absent\n");
    const std::uint16_t port = FreeTcpPort();
    WriteWholeFile(folder + "/Kelvarian.ini",
                   "\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\nLog = 1\r\n"
                   "[Sensors]\r\nCount = 2\r\n"
                   "ID_1 = " +
                       Id(boiler) +
                       "\r\nName_1 = Котёл\r\n"
                       "ID_2 = " +
                       Id(gone) +
                       "\r\nName_2 = Пропавший\r\n"
                       "[Server]\r\nEnable = 1\r\nPort = " +
                       std::to_string(port) + "\r\n");
    StartProgram();
    std::string page =
        WaitForPage(port, {PageRow("Котёл", "Не найден"), PageRow("Пропавший", "Не найден")});
    ASSERT_NE(page.find(PageRow("Пропавший", "Не найден")), std::string::npos) << page;

    WriteWholeFile(folder + "/bus.conf", "device 28:3C5A temp=21.5\ndevice 28:1234 temp=36.6\n");
    ASSERT_EQ(kill(simulator.pid, SIGHUP), 0);
    page = WaitForPage(port, {PageRow("Котёл", "21.5 °C"), PageRow("Новый", "36.6 °C")});
    EXPECT_NE(page.find(PageRow("Котёл", "21.5 °C")), std::string::npos) << page;
    EXPECT_NE(page.find(PageRow("Пропавший", "Не найден")), std::string::npos) << page;
    EXPECT_NE(page.find(PageRow("Новый", "36.6 °C")), std::string::npos) << page;

    const std::string log = ReadWholeFile(folder + "/DS18B20_Kelvarian.log");
    EXPECT_NE(log.find(monitor::FormatRomCode(boiler)), std::string::npos);
    EXPECT_NE(log.find("21.5 °C"), std::string::npos);

    ASSERT_EQ(kill(program.pid, SIGTERM), 0);
    EXPECT_EQ(WaitForExit(program, ExitLimit), std::optional<int>(0));

    const persistence::SettingsRecord saved = persistence::ParseSettings(Settings());
    EXPECT_EQ(saved.port, "COM1");
    ASSERT_EQ(saved.sensors.size(), 3u);
    EXPECT_EQ(saved.sensors[0].name, "Котёл");
    EXPECT_EQ(saved.sensors[1].name, "Пропавший");
    EXPECT_EQ(saved.sensors[1].id, monitor::RomToInt64(gone));
    EXPECT_EQ(saved.sensors[2].name, "Новый");
    EXPECT_EQ(saved.sensors[2].id, monitor::RomToInt64(fresh));
    EXPECT_EQ(saved.serverPort, port);
}

// SIGHUP comes when the terminal or ssh session that started the program closes.
class TerminationSignal : public ProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(TerminationSignal, RightAfterStartStillSavesAndExitsCleanly) {
    StartSimulator("device 28:3C5A temp=21.5\n");
    WriteWholeFile(folder + "/Kelvarian.ini", "\xEF\xBB\xBF\r\nPort = com1\r\nInterval = 7\r\n");
    StartProgram();
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(kill(program.pid, GetParam()), 0);
    kill(program.pid, GetParam());  // a second request changes nothing
    EXPECT_EQ(WaitForExit(program, ExitLimit), std::optional<int>(0));
    const std::string saved = Settings();
    EXPECT_NE(saved.find("Port = COM1\r\nInterval = 7\r\n"), std::string::npos) << saved;
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignal, ::testing::Values(SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& which) {
                             return std::string(which.param == SIGHUP ? "Hangup" : "Terminate");
                         });

// A display number nobody serves on this machine.
std::string AbsentDisplay() {
    for (int n = 213;; ++n) {
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) {
            return ":" + std::to_string(n);
        }
    }
}

// Started by hand without a display, or with one that went away, the program
// goes on monitoring and serving its page instead of aborting in Qt.
TEST_F(ProgramTest, WithoutADisplayItMonitorsServesAndSaves) {
    StartSimulator("device 28:3C5A temp=21.5\n");
    const std::uint16_t port = FreeTcpPort();
    WriteWholeFile(folder + "/Kelvarian.ini",
                   "\xEF\xBB\xBF\r\nPort = com1\r\n[Sensors]\r\nCount = 1\r\nID_1 = " +
                       Id(Rom(0x28, 0x3C5A)) + "\r\nName_1 = Котёл\r\n[Server]\r\nEnable = 1\r\n" +
                       "Port = " + std::to_string(port) + "\r\n");
    program =
        Spawn({folder + "/kelvarian"},
              {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY=" + AbsentDisplay()}, "/", true);
    ASSERT_GT(program.pid, 0);
    EXPECT_TRUE(WaitForLine(program,
                            "kelvarian: no display answers; running without a window (offscreen), "
                            "monitoring and serving the page as usual",
                            ReadingsLimit));
    const std::string page = WaitForPage(port, {PageRow("Котёл", "21.5 °C")});
    EXPECT_NE(page.find(PageRow("Котёл", "21.5 °C")), std::string::npos) << page;
    ASSERT_EQ(kill(program.pid, SIGTERM), 0);
    EXPECT_EQ(WaitForExit(program, ExitLimit), std::optional<int>(0));
    EXPECT_NE(Settings().find("Port = COM1\r\n"), std::string::npos) << Settings();
}

TEST_F(ProgramTest, PortThatCannotBeOpenedIsNoReasonToFail) {
    // A dangling link: the port cannot be opened, and no other device is tried.
    std::filesystem::create_symlink(folder + "/no-such-adapter", folder + "/COM1");
    const std::uint16_t port = FreeTcpPort();
    WriteWholeFile(
        folder + "/Kelvarian.ini",
        "\xEF\xBB\xBF\r\nPort = COM1\r\n[Sensors]\r\nCount = 1\r\nID_1 = " + Id(Rom(0x28, 0x3C5A)) +
            "\r\nName_1 = Котёл\r\n[Server]\r\nEnable = 1\r\n"
            "Port = " +
            std::to_string(port) + "\r\n");
    StartProgram();
    const std::string page = WaitForPage(port, {"Котёл"});
    EXPECT_NE(page.find("Котёл"), std::string::npos);
    ASSERT_EQ(kill(program.pid, SIGINT), 0);
    EXPECT_EQ(WaitForExit(program, ExitLimit), std::optional<int>(0));
}

}  // namespace
}  // namespace e2e
