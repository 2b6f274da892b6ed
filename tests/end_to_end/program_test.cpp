// The whole program: build/kelvarian copied into a folder of its own, its COM1
// a link to kelvarian-sim, run on the offscreen platform.
#include <signal.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <set>
#include <sstream>

#include "persistence/settings_file.h"
#include "program_fixture.h"

namespace e2e {
namespace {

// A line of the event log for a reading at `unixSeconds`, in local time.
std::string LogLine(std::int64_t unixSeconds, const onewire::RomCode& rom,
                    const std::string& celsius) {
    const time_t when = static_cast<time_t>(unixSeconds);
    tm local{};
    localtime_r(&when, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "[%d/%m/%Y %H:%M:%S]  ", &local);
    return stamp + monitor::FormatRomCode(rom) + "  \u2014  " + celsius + " \u00B0C\r\n";
}

// The history's points of `rom` whose minimum is `celsius`.
std::size_t HistoryPointsAt(const nlohmann::json& history, const onewire::RomCode& rom,
                            double celsius) {
    std::size_t count = 0;
    for (const nlohmann::json& sensor : history["sensors"]) {
        if (sensor["rom"] != monitor::FormatRomCode(rom)) continue;
        for (const nlohmann::json& point : sensor["points"]) {
            if (point[1].is_number() && std::fabs(point[1].get<double>() - celsius) < 0.01) {
                ++count;
            }
        }
    }
    return count;
}

// The monitor searches the bus while it fails: on an empty bus at start
// nobody answers, which is no complete search, so the stored sensors keep
// showing why; once thermometers join the bus the next pass reads them, the
// search cut short runs again, the one still missing turns "Не найден" and the
// new one is added once a read has confirmed it.
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
    const std::string noAnswer = "Нет ответа от '1-Wire' устройств";
    std::string page =
        WaitForPage(port, {PageRow("Котёл", noAnswer), PageRow("Пропавший", noAnswer)});
    ASSERT_NE(page.find(PageRow("Пропавший", noAnswer)), std::string::npos) << page;

    WriteWholeFile(folder + "/bus.conf", "device 28:3C5A temp=21.5\ndevice 28:1234 temp=36.6\n");
    ASSERT_EQ(kill(simulator.pid, SIGHUP), 0);
    page = WaitForPage(port, {PageRow("Котёл", "21.5 °C"), PageRow("Пропавший", "Не найден"),
                              PageRow("Новый", "36.6 °C")});
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
    // Behind a DS2480B line driver, which the program finds by itself.
    StartSimulator("adapter ds2480b\ndevice 28:3C5A temp=21.5\n");
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
    // A second copy started in the same folder would overwrite this one's
    // saves when it ends: it says so and stops.
    Child second = Spawn({folder + "/kelvarian"}, {"QT_QPA_PLATFORM=offscreen"}, "/", true);
    ASSERT_GT(second.pid, 0);
    EXPECT_TRUE(WaitForLine(
        second, "kelvarian: Kelvarian уже запущен с настройками в папке " + folder, ExitLimit));
    EXPECT_EQ(WaitForExit(second, ExitLimit), std::optional<int>(1));
    // A browser that goes away, or a closed terminal on standard error, makes
    // writes fail with SIGPIPE, which by default would end the program unsaved.
    ASSERT_EQ(kill(program.pid, SIGPIPE), 0);
    EXPECT_NE(WaitForPage(port, {"Котёл"}).find("Котёл"), std::string::npos);
    ASSERT_EQ(kill(program.pid, SIGINT), 0);
    EXPECT_EQ(WaitForExit(program, ExitLimit), std::optional<int>(0));
}

// An installed copy (its folder may not be written) keeps its files in the
// user's folder: a lock there that is no file stops it, and a user folder
// that may not be written is read, never written.
TEST_F(ProgramTest, InstalledCopyStopsAtALockThatIsNoFileAndReadsAFolderItMayNotWrite) {
    const std::string bin = folder + "/bin";
    const std::string user = folder + "/cfg/kelvarian";
    ASSERT_TRUE(std::filesystem::create_directories(bin));
    ASSERT_TRUE(std::filesystem::create_directories(user));
    ASSERT_TRUE(CopyExecutable(KELVARIAN_EXECUTABLE, bin + "/kelvarian"));
    ASSERT_EQ(chmod(bin.c_str(), 0555), 0);
    const std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen",
                                       "XDG_CONFIG_HOME=" + folder + "/cfg"};

    ASSERT_TRUE(std::filesystem::create_directory(user + "/Kelvarian.lock"));
    program = Spawn({bin + "/kelvarian"}, env, "/", true);
    ASSERT_GT(program.pid, 0);
    EXPECT_TRUE(WaitForLine(program,
                            "kelvarian: " + user +
                                "/Kelvarian.lock is not a regular file, so another instance "
                                "could not be kept off the settings; remove it and start again",
                            ReadingsLimit));
    EXPECT_EQ(WaitForExit(program, ExitLimit), std::optional<int>(1));

    std::filesystem::remove(user + "/Kelvarian.lock");
    const std::uint16_t port = FreeTcpPort();
    const std::string stored =
        "\xEF\xBB\xBF\r\nPort = \r\n[Sensors]\r\nCount = 1\r\nID_1 = " + Id(Rom(0x28, 0x3C5A)) +
        "\r\nName_1 = Котёл\r\n[Server]\r\n" + "Enable = 1\r\nPort = " + std::to_string(port) +
        "\r\n";
    WriteWholeFile(user + "/Kelvarian.ini", stored);
    ASSERT_EQ(chmod(user.c_str(), 0500), 0);
    program = Spawn({bin + "/kelvarian"}, env, "/", true);
    ASSERT_GT(program.pid, 0);
    EXPECT_TRUE(WaitForLine(program,
                            "kelvarian: " + user +
                                " may not be written; the settings are read from it, but the "
                                "changes of this run will not be saved",
                            ReadingsLimit));
    const std::string page = WaitForPage(port, {"Котёл"});
    EXPECT_NE(page.find("Котёл"), std::string::npos) << page;
    ASSERT_EQ(kill(program.pid, SIGTERM), 0);
    EXPECT_EQ(WaitForExit(program, ExitLimit), std::optional<int>(0));
    ASSERT_EQ(chmod(user.c_str(), 0700), 0);
    ASSERT_EQ(chmod(bin.c_str(), 0755), 0);
    EXPECT_EQ(ReadWholeFile(user + "/Kelvarian.ini"), stored);
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(user)) {
        entries.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(entries, std::vector<std::string>{"Kelvarian.ini"});
}

// With the server on, /status.json and /metrics carry what the simulated bus
// holds; with logging on, the history starts with the log's last day.
TEST_F(ProgramTest, EndpointsServeTheBusAndTheHistoryStartsFromTheLog) {
    const onewire::RomCode boiler = Rom(0x28, 0x3C5A);
    const onewire::RomCode outside = Rom(0x28, 0x1234);
    StartSimulator("device 28:3C5A temp=21.5\ndevice 28:1234 temp=-3.25\n");
    const std::int64_t now = ::time(nullptr);
    WriteWholeFile(folder + "/DS18B20_Kelvarian.log", "\xEF\xBB\xBF" +
                                                          LogLine(now - 26 * 3600, boiler, "11.1") +
                                                          LogLine(now - 23 * 3600, boiler, "17.3") +
                                                          LogLine(now - 3600, boiler, "19.9"));
    const std::uint16_t port = WriteServerSettings(boiler, true);
    StartProgram();

    const nlohmann::json status = WaitForJson(port, "/status.json", [](const nlohmann::json& json) {
        const nlohmann::json& sensors = json["sensors"];
        return sensors.size() == 2 && sensors[0]["temperature"].is_number() &&
               sensors[1]["temperature"].is_number();
    });
    ASSERT_EQ(status["sensors"].size(), 2u) << status.dump();
    const nlohmann::json& first = status["sensors"][0];
    EXPECT_EQ(first["rom"], monitor::FormatRomCode(boiler));
    EXPECT_EQ(first["name"], "Котёл");
    EXPECT_EQ(first["temperature"], 21.5);
    EXPECT_EQ(first["cells"]["temperature"], "21.5 °C");
    EXPECT_EQ(first["present"], true);
    EXPECT_EQ(status["sensors"][1]["name"], "Новый");
    EXPECT_EQ(status["sensors"][1]["temperature"], -3.25);
    EXPECT_EQ(status["summary"]["devices"], 2);
    EXPECT_EQ(status["port"], "COM1");
    EXPECT_EQ(status["adapter"], "passive");
    EXPECT_TRUE(status["lastPoll"].is_string());

    const std::string metrics = FetchPage(port, "/metrics");
    EXPECT_NE(metrics.find("kelvarian_temperature_celsius{rom=\"" + monitor::FormatRomCode(boiler) +
                           "\",name=\"Котёл\"} 21.5\n"),
              std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("kelvarian_temperature_celsius{rom=\"" +
                           monitor::FormatRomCode(outside) + "\",name=\"Новый\"} -3.25\n"),
              std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("kelvarian_bus_devices 2\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("kelvarian_adapter_info{adapter=\"passive\"} 1\n"), std::string::npos);

    const nlohmann::json history =
        nlohmann::json::parse(FetchPage(port, "/history.json"), nullptr, false);
    EXPECT_EQ(HistoryPointsAt(history, boiler, 17.3), 1u) << history.dump();
    EXPECT_EQ(HistoryPointsAt(history, boiler, 19.9), 1u);
    EXPECT_EQ(HistoryPointsAt(history, boiler, 11.1), 0u);  // older than a day
    EXPECT_GE(HistoryPointsAt(history, boiler, 21.5), 1u);  // and the readings since the start
}

// The alert command hears a change once it held for the delay, and the
// return to "ok"; the sensor's name and state arrive in its environment.
// Notifications are on too: without a notification area (offscreen) they
// are left out and the command still runs.
TEST_F(ProgramTest, AlertCommandHearsEachChangeThatHeldAndTheReturnToOk) {
    const onewire::RomCode boiler = Rom(0x28, 0x3C5A);
    const onewire::RomCode pump = Rom(0x28, 0x1234);
    // The pump stays, so the boiler's leaving is a sensor gone from a working
    // bus, not a bus without any presence.
    StartSimulator("device 28:3C5A temp=21.5\ndevice 28:1234 temp=30\n");
    const std::string script = folder + "/record";
    WriteWholeFile(script,
                   "#!/bin/sh\necho \"$KELVARIAN_NAME|$KELVARIAN_PREVIOUS>$KELVARIAN_STATE|"
                   "$KELVARIAN_TEMPERATURE\" >> \"$1\"\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    const std::string record = folder + "/record.txt";
    WriteWholeFile(folder + "/Kelvarian.ini",
                   "\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\n[Sensors]\r\nCount = 2\r\n"
                   "ID_1 = " +
                       Id(boiler) + "\r\nName_1 = Котёл\r\nID_2 = " + Id(pump) +
                       "\r\nName_2 = Насос\r\n[Alerts]\r\nCommand = " + script + " " +
                       record + "\r\nNotify = 1\r\nDelay = 1\r\n");
    StartProgram();
    const auto waitForLines = [&](std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + ReadingsLimit;
        std::string text;
        while (std::chrono::steady_clock::now() < deadline) {
            text = std::filesystem::exists(record) ? ReadWholeFile(record) : "";
            if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= count)
                break;
            std::this_thread::sleep_for(200ms);
        }
        return text;
    };
    WriteWholeFile(folder + "/bus.conf", "device 28:3C5A temp=21.5 absent\ndevice 28:1234 temp=30\n");
    // Whether or not a read came first, every sensor starts as "ok".
    ASSERT_EQ(kill(simulator.pid, SIGHUP), 0);
    EXPECT_EQ(waitForLines(1), "Котёл|ok>missing|\n");
    WriteWholeFile(folder + "/bus.conf", "device 28:3C5A temp=21.5\ndevice 28:1234 temp=30\n");
    ASSERT_EQ(kill(simulator.pid, SIGHUP), 0);
    EXPECT_EQ(waitForLines(2), "Котёл|ok>missing|\nКотёл|missing>ok|21.5\n");
    // Nobody answers at all: the bus is told, once, not each sensor.
    WriteWholeFile(folder + "/bus.conf", "");
    ASSERT_EQ(kill(simulator.pid, SIGHUP), 0);
    EXPECT_EQ(waitForLines(3), "Котёл|ok>missing|\nКотёл|missing>ok|21.5\n1-Wire|ok>failing|\n");
    WriteWholeFile(folder + "/bus.conf", "device 28:3C5A temp=21.5\ndevice 28:1234 temp=30\n");
    ASSERT_EQ(kill(simulator.pid, SIGHUP), 0);
    EXPECT_EQ(waitForLines(4), "Котёл|ok>missing|\nКотёл|missing>ok|21.5\n1-Wire|ok>failing|\n"
                               "1-Wire|failing>ok|\n");
}

// The codes of the sensors /status.json lists.
std::set<std::string> StatusRoms(const nlohmann::json& status) {
    std::set<std::string> roms;
    for (const nlohmann::json& sensor : status["sensors"]) roms.insert(sensor["rom"]);
    return roms;
}

std::set<std::int64_t> SavedIds(const std::string& settings) {
    std::set<std::int64_t> ids;
    for (const persistence::StoredSensor& sensor : persistence::ParseSettings(settings).sensors) {
        ids.insert(sensor.id);
    }
    return ids;
}

// A glitch timed inside an automatic search of a healthy bus: the sensor
// stored and the one new on the bus both end up read, and nothing else is
// shown or saved.
struct SearchGlitchCase {
    const char* name;
    const char* atStart;  // bus faults while the program starts
    const char* glitch;   // the fault line that times the glitch
};

void PrintTo(const SearchGlitchCase& glitch, std::ostream* out) {
    *out << glitch.name;
}

class SearchGlitch : public ProgramTest, public ::testing::WithParamInterface<SearchGlitchCase> {};

TEST_P(SearchGlitch, LosesNoSensorAndSavesNoPhantom) {
    const onewire::RomCode boiler = Rom(0x28, 0x3C5A);
    const onewire::RomCode outside = Rom(0x28, 0x1234);  // the first code a search finds
    const std::string bus = "device 28:3C5A temp=21.5\ndevice 28:1234 temp=36.6\n";
    StartSimulator(bus + GetParam().atStart);
    const std::uint16_t port = WriteServerSettings(boiler, false);
    StartProgram();
    if (*GetParam().atStart != 0) {
        // The adapter silent from the start: the rows show the failure, and
        // the program searches the bus every ten failed cycles meanwhile.
        const nlohmann::json failing =
            WaitForJson(port, "/status.json", [](const nlohmann::json& json) {
                return !json["sensors"].empty() && json["sensors"][0]["temperature"].is_null() &&
                       json["sensors"][0]["cells"]["status"] != "";
            });
        ASSERT_FALSE(failing.is_discarded());
        // Long enough for a search or two of the silent bus; the outcome
        // must be the same when there was none.
        std::this_thread::sleep_for(3s);
    }
    ChangeBus(bus + "fault " + GetParam().glitch + "\n");

    const std::string page =
        WaitForPage(port, {PageRow("Котёл", "21.5 °C"), PageRow("Новый", "36.6 °C")});
    EXPECT_NE(page.find(PageRow("Котёл", "21.5 °C")), std::string::npos) << page;
    EXPECT_NE(page.find(PageRow("Новый", "36.6 °C")), std::string::npos) << page;
    // A pass or two more, in which a phantom would have been added.
    ASSERT_TRUE(WaitForMorePasses(port, 2));
    const nlohmann::json status =
        nlohmann::json::parse(FetchPage(port, "/status.json"), nullptr, false);
    EXPECT_EQ(StatusRoms(status), (std::set<std::string>{monitor::FormatRomCode(boiler),
                                                         monitor::FormatRomCode(outside)}))
        << status.dump();

    ASSERT_EQ(kill(program.pid, SIGTERM), 0);
    EXPECT_EQ(WaitForExit(program, ExitLimit), std::optional<int>(0));
    EXPECT_EQ(SavedIds(Settings()),
              (std::set<std::int64_t>{monitor::RomToInt64(boiler), monitor::RomToInt64(outside)}))
        << Settings();
}

INSTANTIATE_TEST_SUITE_P(
    Glitches, SearchGlitch,
    ::testing::Values(
        // The search after start loses its second pass to 30 ms without echo.
        SearchGlitchCase{"NoEchoInTheSearchAfterStart", "", "no-echo-in-search=2 bit=30 ms=30"},
        // A short over the last byte of the first pass reads 0 there: a code
        // no device has, and the search still ends normally.
        SearchGlitchCase{"ShortAtTheEndOfAPass", "", "short-in-search=1 bit=56 bits=8"},
        // The adapter back after a silence: the search that follows the
        // failed cycles loses its second pass.
        SearchGlitchCase{"NoEchoInTheSearchAfterASilence", "fault no-echo\n",
                         "no-echo-in-search=2 bit=30 ms=30"}),
    [](const ::testing::TestParamInfo<SearchGlitchCase>& which) {
        return std::string(which.param.name);
    });

// A loose connector: sensors that leave turn "Не найден" (also one whose
// reads failed their CRC) and read again by themselves once back.
TEST_F(ProgramTest, SensorsThatLeaveAndComeBackReadAgainWithoutARestart) {
    const onewire::RomCode boiler = Rom(0x28, 0x3C5A);
    const onewire::RomCode outside = Rom(0x28, 0x1234);
    const onewire::RomCode cellar = Rom(0x28, 0x0777);
    StartSimulator(
        "device 28:3C5A temp=21.5\ndevice 28:1234 temp=36.6\n"
        "device 28:0777 temp=8.5 corrupt-scratchpad\n");
    const std::uint16_t port =
        WriteSensorSettings({{boiler, "Котёл"}, {outside, "Улица"}, {cellar, "Подвал"}}, false);
    StartProgram();
    std::string page =
        WaitForPage(port, {PageRow("Котёл", "21.5 °C"), PageRow("Улица", "36.6 °C")});
    ASSERT_NE(page.find(PageRow("Улица", "36.6 °C")), std::string::npos) << page;
    // The search after start has found all three again before the next pass.
    ASSERT_TRUE(WaitForMorePasses(port, 2));

    ChangeBus(
        "device 28:3C5A temp=21.5\ndevice 28:1234 temp=36.6 absent\n"
        "device 28:0777 temp=8.5 corrupt-scratchpad absent\n");
    page = WaitForPage(port, {PageRow("Улица", "Не найден")});
    EXPECT_NE(page.find(PageRow("Улица", "Не найден")), std::string::npos) << page;
    page = WaitForPage(port, {PageRow("Подвал", "Не найден")});
    EXPECT_NE(page.find(PageRow("Подвал", "Не найден")), std::string::npos) << page;

    ChangeBus("device 28:3C5A temp=21.5\ndevice 28:1234 temp=37.5\ndevice 28:0777 temp=9.5\n");
    page = WaitForPage(port, {PageRow("Улица", "37.5 °C"), PageRow("Подвал", "9.5 °C")});
    EXPECT_NE(page.find(PageRow("Улица", "37.5 °C")), std::string::npos) << page;
    EXPECT_NE(page.find(PageRow("Подвал", "9.5 °C")), std::string::npos) << page;
    EXPECT_NE(page.find(PageRow("Котёл", "21.5 °C")), std::string::npos) << page;
}

// A device answering noise sealed with a right CRC every time: none of it
// reaches the log or the page, and the healthy sensor beside it logs only
// what it sent.
TEST_F(ProgramTest, NoiseThatPassesTheCrcIsNeverAReading) {
    const onewire::RomCode boiler = Rom(0x28, 0x3C5A);
    const onewire::RomCode noisy = Rom(0x28, 0x0BAD);
    StartSimulator(
        "device 28:3C5A temp=21.5\ndevice 28:0BAD temp=30 noise=valid-crc noise-seed=17\n");
    const std::uint16_t port = WriteSensorSettings({{boiler, "Котёл"}, {noisy, "Шумный"}}, true);
    StartProgram();
    const std::string page = WaitForPage(port, {PageRow("Котёл", "21.5 °C")});
    ASSERT_NE(page.find(PageRow("Котёл", "21.5 °C")), std::string::npos) << page;
    ASSERT_TRUE(WaitForMorePasses(port, 6));
    const nlohmann::json status =
        nlohmann::json::parse(FetchPage(port, "/status.json"), nullptr, false);
    ASSERT_EQ(status["sensors"].size(), 2u) << status.dump();
    EXPECT_TRUE(status["sensors"][1]["temperature"].is_null()) << status.dump();

    std::istringstream log(ReadWholeFile(folder + "/DS18B20_Kelvarian.log"));
    std::string line;
    std::string noise;  // the first line logged for the noisy device
    int noisyLines = 0;
    int boilerLines = 0;
    while (std::getline(log, line)) {
        if (line.find(monitor::FormatRomCode(noisy)) != std::string::npos) {
            if (noisyLines++ == 0) noise = line;
        }
        if (line.find(monitor::FormatRomCode(boiler)) == std::string::npos) continue;
        ++boilerLines;
        EXPECT_NE(line.find("  21.5 °C"), std::string::npos) << line;
    }
    EXPECT_EQ(noisyLines, 0) << noise;
    EXPECT_GT(boilerLines, 0);
}

}  // namespace
}  // namespace e2e
