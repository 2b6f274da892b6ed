// The monitor's failure path, its searches, and the requests of the window:
// port change and quit.
#include <algorithm>

#include "cycle_fixture.h"
#include "monitor/port_search.h"
#include "platform/monitor_window.h"

using namespace monitor;
using monitor_test::PollCycleTest;
using monitor_test::Thermometer;

namespace {

constexpr std::uint8_t B20 = busmodel::FamilyDs18b20;
const char* const NoResponseText = "Нет ответа от '1-Wire' устройств";
const char* const SearchingText = "Поиск '1-Wire' устройств...";

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST_F(PollCycleTest, FailuresMarkRowsOnceThenSearchAfterTen) {
    // Serials 1 and 3: the search finds them in this order too.
    const std::vector<busmodel::Device> devices{Thermometer(B20, 1, 0x0191),
                                                Thermometer(B20, 3, 0x0100)};
    startWith(devices);
    EXPECT_TRUE(cycle());
    takeOver();
    busmodel::SetDevices({});

    EXPECT_TRUE(cycle());
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(cell(i, Temperature).text, " ");
        EXPECT_EQ(cell(i, Temperature).color, DefaultColor);
        EXPECT_EQ(cell(i, Status).text, NoResponseText);
        EXPECT_EQ(cell(i, Status).color, ErrorColor);
    }
    EXPECT_EQ(takeOver(), RowsChanged | StatusChanged);
    EXPECT_EQ(statusText, NoResponseText);
    EXPECT_EQ(windowList[0].cells[Status].text, NoResponseText);

    for (int failed = 2; failed <= 9; ++failed) {
        EXPECT_TRUE(cycle());
        EXPECT_EQ(takeOver(), StatusChanged) << failed;
    }
    EXPECT_FALSE(contains(window.statusTexts(), SearchingText));
    EXPECT_EQ(state.devices.size(), 2u);

    // The tenth searches. Nobody answers its reset: that is no complete
    // enumeration, so it changes nothing (a cable pulled and put back, or
    // an adapter without echo, must not lose the sensors).
    EXPECT_TRUE(cycle());
    EXPECT_EQ(window.statusTexts(),
              (std::vector<std::string>{SearchingText,
                                        "На порту COM1, '1-Wire' устройства не найдены."}));
    EXPECT_EQ(state.devices.size(), 2u);
    EXPECT_EQ(state.deviceCount, 2);
    takeOver();
    for (const SensorRecord& record : windowList) {
        EXPECT_EQ(record.present, 1);
        EXPECT_EQ(record.cells[Status].text, NoResponseText);
    }

    // One of them comes back: it is polled at once, and the search that was
    // cut short runs again after that pass and drops the other.
    busmodel::SetDevices({devices[0]});
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
    ASSERT_EQ(state.devices.size(), 1u);
    takeOver();
    ASSERT_EQ(windowList.size(), 2u);
    EXPECT_EQ(windowList[0].present, 1);
    EXPECT_EQ(windowList[0].cells[Temperature].text, "25.1 °C");
    EXPECT_EQ(windowList[1].cells[Status].text, "Не найден");
    EXPECT_TRUE(cycle());
    takeOver();
    EXPECT_EQ(statusText, "Найдено 1 '1-Wire' устройство.");
}

TEST_F(PollCycleTest, FaultyDevicesOfLastPassShortenTheRunToSearch) {
    busmodel::Device corrupted = Thermometer(B20, 2, 0x0100);
    corrupted.corruptScratchpad = true;
    startWith({Thermometer(B20, 1, 0x0191), corrupted});
    EXPECT_TRUE(cycle());
    EXPECT_EQ(state.faultyCount, 1);
    busmodel::Faults unplugged;
    unplugged.noEcho = true;
    busmodel::SetFaults(unplugged);
    for (int failed = 1; failed <= 8; ++failed) EXPECT_TRUE(cycle());
    EXPECT_FALSE(contains(window.statusTexts(), SearchingText));
    EXPECT_TRUE(cycle());  // the ninth failure brings the count to ten
    EXPECT_TRUE(contains(window.statusTexts(), SearchingText));
}

TEST_F(PollCycleTest, PulledAdapterIsOpenedAgainAboutOnceASecondKeepingTheDevices) {
    startWith({Thermometer(B20, 1, 0x0191), Thermometer(B20, 3, 0x0100)});
    EXPECT_TRUE(cycle());
    busmodel::Faults pulled;
    pulled.adapterPulled = true;
    busmodel::SetFaults(pulled);
    EXPECT_TRUE(cycle());
    EXPECT_EQ(takeOver(), RowsChanged | StatusChanged);
    EXPECT_EQ(windowList[0].cells[Status].text, "Ошибка изменения скорости порта");

    // Nine cycles of one 100 ms step each, then one try to open, which fails.
    clock.resetSteps();
    for (int lost = 1; lost <= 9; ++lost) {
        EXPECT_TRUE(cycle());
        EXPECT_EQ(takeOver(), 0) << lost;
    }
    EXPECT_TRUE(cycle());
    EXPECT_EQ(clock.steps(), 10);
    takeOver();
    EXPECT_EQ(statusText, PortOpenFailedText("COM1"));

    busmodel::SetFaults({});
    const std::int32_t opens = busmodel::CurrentPortState().opens;
    for (int lost = 1; lost <= 10; ++lost) EXPECT_TRUE(cycle());
    EXPECT_EQ(busmodel::CurrentPortState().opens, opens + 1);
    takeOver();
    EXPECT_EQ(statusText, "Порт открыт");
    EXPECT_TRUE(cycle());
    EXPECT_EQ(state.devices.size(), 2u);
    EXPECT_EQ(cell(1, Temperature).text, "16.0 °C");
    EXPECT_TRUE(window.statusTexts().empty());  // no search ran
}

TEST_F(PollCycleTest, PortChangeDuringConversionWaitIsServedNextCycle) {
    startWith({Thermometer(B20, 1, 0x0191), Thermometer(B20, 3, 0x0100)});
    clock.resetSteps();
    // Step 1 is the cycle's first sleep; steps 2.. are the conversion wait.
    clock.atStep(3, [] {
        monitor::SetPortName("COM2");
        busmodel::SetPortName("COM2");
        Settings().portChanged = 1;
    });
    EXPECT_TRUE(cycle());
    EXPECT_EQ(clock.steps(), 3);
    // The cut-short wait left no time to convert: the power-on value is read,
    // which is no reading.
    EXPECT_EQ(cell(0, Temperature).text, "");
    EXPECT_EQ(state.devices[0].faults, SensorRangeError);
    EXPECT_EQ(state.portNameCopy, "COM1");
    EXPECT_FALSE(contains(window.statusTexts(), SearchingText));

    EXPECT_TRUE(cycle());
    EXPECT_EQ(Settings().portChanged.load(), 0);
    EXPECT_EQ(state.portNameCopy, "COM2");
    EXPECT_EQ(window.statusTexts(),
              (std::vector<std::string>{SearchingText, "Найдено 2 '1-Wire'  устройства."}));
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
    takeOver();
    // The faults of the previous pass are gone: the counts changed.
    EXPECT_EQ(statusText, "Найдено 2 '1-Wire'  устройства.");
}

TEST_F(PollCycleTest, PortThatCannotOpenIsTriedAgainEverySecondUntilItsAdapterAppears) {
    startWith({Thermometer(B20, 1, 0x0191)});
    monitor::SetPortName("COM9");
    Settings().portChanged = 1;
    EXPECT_TRUE(cycle());
    EXPECT_TRUE(state.devices.empty());
    EXPECT_TRUE(state.pending.rows.empty());
    EXPECT_FALSE(contains(window.statusTexts(), SearchingText));
    takeOver();
    const std::string openFailed =
        "Не удалось открыть порт 'COM9'  Возможно он зянят или отстуствует в системе";
    EXPECT_EQ(statusText, openFailed);
    // No search runs on a port that is not open; each try shows why it failed.
    statusText.clear();
    for (int cycles = 1; cycles <= 20; ++cycles) EXPECT_TRUE(cycle());
    EXPECT_FALSE(contains(window.statusTexts(), SearchingText));
    takeOver();
    EXPECT_EQ(statusText, openFailed);
    // The adapter appears under that name: the next try opens it and searches.
    busmodel::SetPortName("COM9");
    for (int cycles = 1; cycles <= 10; ++cycles) EXPECT_TRUE(cycle());
    EXPECT_EQ(window.statusTexts(),
              (std::vector<std::string>{SearchingText, "Найдено 1 '1-Wire' устройство."}));
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
}

TEST_F(PollCycleTest, AdapterMissingAtStartIsOpenedOnceItAppearsKeepingTheStoredSensors) {
    monitor::SetPortName("COM4");
    startWith({Thermometer(B20, 1, 0x0191), Thermometer(B20, 3, 0x0100)});
    takeOver();
    EXPECT_EQ(statusText, PortOpenFailedText("COM4"));
    // The first cycle shows the failure on the rows, as before.
    EXPECT_TRUE(cycle());
    takeOver();
    EXPECT_EQ(windowList[0].cells[Status].text, "Нет открытого COM порта");
    busmodel::SetPortName("COM4");
    for (int cycles = 1; cycles <= 10; ++cycles) EXPECT_TRUE(cycle());
    takeOver();
    EXPECT_EQ(statusText, "Порт открыт");
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(1, Temperature).text, "16.0 °C");
}

// A second port change made while the first one is being served must not be
// lost: the window already shows the second port.
std::atomic<int> searchesSeen{0};
void changePortOnFirstSearch(std::string_view text) {
    if (text == SearchingText && searchesSeen++ == 0) {
        monitor::SetPortName("COM3");
        Settings().portChanged = 1;
    }
}
void ignoreEvent(std::int32_t) {}
const platform::MonitorWindowOps changingWindow{changePortOnFirstSearch, ignoreEvent};

TEST_F(PollCycleTest, PortChangeDuringSearchIsKeptForNextCycle) {
    startWith({Thermometer(B20, 1, 0x0191)});
    searchesSeen = 0;
    platform::BindMonitorWindow(&changingWindow);
    monitor::SetPortName("COM1");
    Settings().portChanged = 1;
    EXPECT_TRUE(cycle());
    EXPECT_EQ(Settings().portChanged.load(), 1);
    EXPECT_TRUE(cycle());
    EXPECT_EQ(state.portNameCopy, "COM3");
    EXPECT_EQ(Settings().portChanged.load(), 0);
    platform::BindMonitorWindow(nullptr);
}

TEST_F(PollCycleTest, QuitDuringConversionWaitEndsBeforeThePass) {
    startWith({Thermometer(B20, 1, 0x0191)});
    clock.resetSteps();
    clock.atStep(4, [] { Settings().quitRequested = 1; });
    EXPECT_FALSE(cycle());
    EXPECT_EQ(clock.steps(), 4);
    EXPECT_EQ(cell(0, Temperature).text, "Измерение");
}

TEST_F(PollCycleTest, QuitDuringIntervalWaitIsSeenWithinOneStep) {
    Settings().pollInterval = 5;
    startWith({Thermometer(B20, 1, 0x0191)});
    clock.resetSteps();
    clock.atStep(15, [] { Settings().quitRequested = 1; });
    EXPECT_FALSE(cycle());
    EXPECT_EQ(clock.steps(), 15);
}

TEST_F(PollCycleTest, QuitAfterFailedCycleEndsTheThread) {
    startWith({});
    Settings().quitRequested = 1;
    EXPECT_FALSE(cycle());
}

}  // namespace

namespace {

TEST_F(PollCycleTest, BusFailureDuringReadsIsShownPerDevice) {
    startWith({Thermometer(B20, 1, 0x0191), Thermometer(B20, 3, 0x0100)});
    clock.resetSteps();
    clock.atStep(9, [] {  // the last step of the conversion wait
        busmodel::Faults unplugged;
        unplugged.noEcho = true;
        busmodel::SetFaults(unplugged);
    });
    EXPECT_TRUE(cycle());
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(cell(i, Status).text, "Ошибка обмена данными");
        EXPECT_EQ(cell(i, Status).color, ErrorColor);
        EXPECT_EQ(cell(i, Temperature).text, "");
        EXPECT_EQ(state.devices[i].faults, BusError);
    }
    EXPECT_EQ(state.faultyCount, 2);

    busmodel::SetFaults({});
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Status).text, "OK");
    EXPECT_EQ(cell(0, Status).color, DefaultColor);
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
    EXPECT_EQ(state.devices[0].faults, 0);
    EXPECT_EQ(state.faultyCount, 0);
    takeOver();
    EXPECT_EQ(statusText, "Найдено 2 '1-Wire'  устройства.");
}

}  // namespace
