// The monitor thread against kelvarian-sim over a pseudo-terminal, on the real
// clock: readings, the status summary and the log file arrive as in the program.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "busmodel/rom_tools.h"
#include "cycle_fixture.h"
#include "monitor/monitor_thread.h"
#include "persistence/event_log.h"
#include "pty_support.h"

using namespace monitor;

namespace {

// Generous for slow sanitizer builds; the test ends as soon as all is seen.
constexpr int PatienceMs = 20000;

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

    SensorList windowList;
    std::string status;
    for (int waited = 0; waited < PatienceMs && !showsEverything(windowList, status);
         waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        MonitorMailbox copy;
        TakeOverMailbox(copy);
        if (copy.changes & RowsChanged) MergeRows(windowList, copy.rows);
        if (copy.changes & StatusChanged) status = copy.statusText;
    }
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

}  // namespace
