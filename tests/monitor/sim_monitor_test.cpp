// The monitor thread against kelvarian-sim over a pseudo-terminal, on the real
// clock: readings, the status summary and the log file arrive as in the program.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "busmodel/rom_tools.h"
#include "cycle_fixture.h"
#include "monitor/monitor_thread.h"
#include "monitor/port_search.h"
#include "persistence/event_log.h"
#include "pty_support.h"

using namespace monitor;

namespace {

// Generous for slow sanitizer builds; the test ends as soon as all is seen.
constexpr int PatienceMs = 20000;

// What the window would show: the mailbox taken over every 50 ms and merged.
struct WindowView {
    SensorList rows;
    std::string status;

    // Takes the mailbox over until `done` holds; false when patience ran out.
    template <typename Done>
    bool watchUntil(Done done) {
        for (int waited = 0; waited < PatienceMs && !done(); waited += 50) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            MonitorMailbox copy;
            TakeOverMailbox(copy);
            if (copy.changes & RowsChanged) MergeRows(rows, copy.rows);
            if (copy.changes & StatusChanged) status = copy.statusText;
        }
        return done();
    }
};

bool showsEverything(const SensorList& window, const std::string& status) {
    if (window.size() != 3) return false;
    return window[0].cells[Temperature].text == "21.5 °C" &&
           window[1].cells[Temperature].text == "-10.5 °C" &&
           window[2].cells[Status].text == "Ошибка CRC" &&
           status == "Найдено 3 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе";
}

TEST(MonitorAgainstSimulator, ReadingsSummaryAndLogArrive) {
    onewire_test::ScratchDir dir;
    onewire_test::SimProcess sim(
        {"--link", dir.path() + "/COM1", "--device", "28-00000B013C5A,temp=21.5", "--device",
         "10:77,temp=-10.5,power=parasite", "--device", "28:1234,corrupt-scratchpad"});
    ASSERT_TRUE(sim.started());
    onewire_test::WorkingDirectory cwd(dir.path());
    monitor_test::ResetMonitorSettings();
    Settings().logEnabled = 1;
    Settings().knownRoms = {busmodel::MakeRomCode(0x28, 0x0B013C5A),
                            busmodel::MakeRomCode(0x10, 0x77), busmodel::MakeRomCode(0x28, 0x1234)};
    monitor_test::WindowRecorder window;
    ASSERT_TRUE(StartMonitorThread());

    WindowView view;
    const SensorList& windowList = view.rows;
    const std::string& status = view.status;
    view.watchUntil([&] { return showsEverything(windowList, status); });
    Settings().quitRequested = 1;
    EXPECT_TRUE(WaitMonitorThread(PatienceMs));
    persistence::CloseLog();

    EXPECT_TRUE(showsEverything(windowList, status)) << status;
    EXPECT_GE(window.events(), 2);
    ASSERT_EQ(windowList.size(), 3u);
    EXPECT_EQ(windowList[1].cells[Connection].text, "2 вывода ('паразитное' питание)");
    const std::string log = monitor_test::ReadFile(dir.path() + "/" + persistence::LogFileName);
    EXPECT_NE(log.find("]  28-00000B013C5A-14  —  21.5 °C\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  —  -10.5 °C\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(FormatRomCode(busmodel::MakeRomCode(0x28, 0x1234))), std::string::npos)
        << log;
}

// An adapter pulled out and plugged back: the simulator ends, and a new one
// serves the same link. The port is opened again by itself, the stored
// sensor is polled again, and no search forgets it meanwhile.
TEST(MonitorAgainstSimulator, ReadingsComeBackWhenTheSimulatorIsStartedAgain) {
    onewire_test::ScratchDir dir;
    const std::string link = dir.path() + "/COM1";
    auto sim = std::make_unique<onewire_test::SimProcess>(
        std::vector<std::string>{"--link", link, "--device", "28-00000B013C5A,temp=21.5"});
    ASSERT_TRUE(sim->started());
    onewire_test::WorkingDirectory cwd(dir.path());
    monitor_test::ResetMonitorSettings();
    Settings().knownRoms = {busmodel::MakeRomCode(0x28, 0x0B013C5A)};
    monitor_test::WindowRecorder window;
    ASSERT_TRUE(StartMonitorThread());

    WindowView view;
    const auto reads = [&view](const char* text) {
        return [&view, text] {
            return view.rows.size() == 1 && view.rows[0].cells[Temperature].text == text;
        };
    };
    EXPECT_TRUE(view.watchUntil(reads("21.5 °C")));
    // Until the next simulator replaces it, COM1 is a link to nowhere, so that
    // it never falls back to a serial port of the machine. The open port is
    // not touched by that; the simulator leaves a link it did not make.
    std::filesystem::remove(link);
    std::filesystem::create_symlink(dir.path() + "/unplugged", link);
    EXPECT_EQ(sim->stop(), 0);
    EXPECT_TRUE(view.watchUntil([&view] { return view.status == PortOpenFailedText("COM1"); }));
    sim = std::make_unique<onewire_test::SimProcess>(
        std::vector<std::string>{"--link", link, "--device", "28-00000B013C5A,temp=30.5"});
    ASSERT_TRUE(sim->started());
    EXPECT_TRUE(view.watchUntil(reads("30.5 °C"))) << view.status;
    Settings().quitRequested = 1;
    EXPECT_TRUE(WaitMonitorThread(PatienceMs));
    EXPECT_EQ(view.rows[0].present, 1);
}

}  // namespace
