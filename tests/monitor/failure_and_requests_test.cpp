// The monitor's failure path, its searches, and the requests of the window:
// port change and quit.
#include <algorithm>

#include "cycle_fixture.h"
#include "monitor/port_search.h"
#include "onewire/status.h"
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

// A failed cycle starts with the reset of Skip ROM: a scripted 0xF0 echo
// is a reset that no device answered.
void failNextCycles(int cycles) {
    busmodel::ScriptEchoes(std::vector<std::uint8_t>(static_cast<std::size_t>(cycles), 0xF0));
}

// The first pass of a search: its reset, the command with the two read slots
// of bit 1, a direction and two read slots for each of bits 1 to 63, and the
// direction of bit 64.
constexpr std::uint32_t FirstSearchPassBytes = 1 + 10 + 63 * 3 + 1;

// An adapter whose echo stops for a while during the search after ten failed
// cycles: what the search found before is part of the bus only. The lists
// stay as they were, and the search runs again once the bus answers.
TEST_F(PollCycleTest, SearchCutShortChangesNothingAndIsTriedAgain) {
    const std::vector<busmodel::Device> devices{Thermometer(B20, 1, 0x0191),
                                                Thermometer(B20, 3, 0x0100)};
    startWith(devices);
    EXPECT_TRUE(cycle());
    takeOver();
    failNextCycles(FailedCyclesBeforeSearch);
    clock.resetSteps();
    // The tenth failed cycle's reset, the search's first pass, which delivers
    // one code, and a few bytes of its second.
    clock.atStep(FailedCyclesBeforeSearch, [] {
        busmodel::Faults echoLost;
        echoLost.echoesBeforeUnplug = 1 + FirstSearchPassBytes + 5;
        busmodel::SetFaults(echoLost);
    });
    for (int failed = 1; failed <= FailedCyclesBeforeSearch; ++failed) EXPECT_TRUE(cycle());
    EXPECT_EQ(window.statusTexts(),
              (std::vector<std::string>{SearchingText, "Ошибка обмена данными"}));
    ASSERT_EQ(state.devices.size(), 2u);
    EXPECT_EQ(state.pending.rows.size(), 2u);
    takeOver();
    for (const SensorRecord& record : windowList) EXPECT_EQ(record.present, 1);

    busmodel::SetFaults({});
    EXPECT_EQ(searchPassesOver(1), 2);  // the pass, then the search again
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
    EXPECT_EQ(cell(1, Temperature).text, "16.0 °C");
    EXPECT_EQ(state.devices.size(), 2u);
    EXPECT_EQ(searchPassesOver(3), 0);  // complete now: no more
    takeOver();
    for (const SensorRecord& record : windowList) EXPECT_EQ(record.cells[Status].text, "OK");
}

// A short from bit 57 of a search pass on reads 0/0 on every bit; the pass
// delivers the code of the device with zeros in place of its CRC, and once
// the short is over the search goes on and ends as if complete. No device has
// that code: it is never shown, so never merged or saved.
std::vector<std::string> textsDuringShort;
void shortDuringSearch(std::string_view text) {
    textsDuringShort.emplace_back(text);
    if (text != SearchingText) return;
    // From the read slots of bit 57 to the end of the first pass.
    constexpr std::uint32_t before = 1 + 10 + 3 * 55 + 1;
    busmodel::ScriptEchoes(std::vector<std::uint8_t>(FirstSearchPassBytes - before, 0x00), before);
}
void ignoreEvents(std::int32_t) {}
const platform::MonitorWindowOps shortingWindow{shortDuringSearch, ignoreEvents};

// A program started with no stored sensors finds its bus through the failure
// path's search; the pass that publishes what it found is no bus failure
// (the alerts would tell one), while a bus that then stops answering is, also
// in the cycle whose search finds nobody.
TEST_F(PollCycleTest, TheSearchThatFindsAFirstBusIsNoBusFailure) {
    startWith({});
    busmodel::SetDevices({Thermometer(B20, 1, 0x0191), Thermometer(B20, 2, 0x0191)});
    MonitorMailbox copy;
    for (int i = 0; i < 2 * FailedCyclesBeforeSearch && state.deviceCount == 0; ++i) {
        ASSERT_TRUE(cycle());
        TakeOverMailbox(copy);
        EXPECT_FALSE(copy.figures.pass.busFailing) << i;
    }
    ASSERT_EQ(state.deviceCount, 2);
    EXPECT_EQ(copy.figures.pass.deviceCount, 2);
    ASSERT_TRUE(cycle());
    TakeOverMailbox(copy);
    EXPECT_FALSE(copy.figures.pass.busFailing);

    // Nobody answers the reset, nor the search the failures end in.
    busmodel::SetDevices({});
    for (int i = 0; i <= FailedCyclesBeforeSearch; ++i) {
        ASSERT_TRUE(cycle());
        TakeOverMailbox(copy);
        EXPECT_TRUE(copy.figures.pass.busFailing) << i;
    }
}

// A bus of exactly as many devices as the list holds is searched whole;
// one more stays a search that could not finish.
TEST_F(PollCycleTest, BusAsFullAsTheListIsSearchedWhole) {
    std::vector<busmodel::Device> bus;
    for (std::uint64_t serial = 1; serial <= MaxBusDevices; ++serial) {
        bus.push_back(Thermometer(B20, serial, 0x0191));
    }
    startWith({});
    for (const bool oneMore : {false, true}) {
        if (oneMore) bus.push_back(Thermometer(B20, MaxBusDevices + 1, 0x0191));
        busmodel::SetDevices(bus);
        BusDeviceList found;
        EnumerateBus(found);
        EXPECT_EQ(found.size(), MaxBusDevices) << oneMore;
        EXPECT_EQ(onewire::lastStatus() == onewire::NoData, !oneMore) << oneMore;
    }
}

TEST_F(PollCycleTest, CodeFromAShortDuringASearchIsNeverShown) {
    const busmodel::Device boiler = Thermometer(B20, 0x0B013C5A, 0x0191);
    RomCode phantom = boiler.rom;
    phantom[7] = 0x00;
    startWith({boiler});
    EXPECT_TRUE(cycle());
    takeOver();
    textsDuringShort.clear();
    platform::BindMonitorWindow(&shortingWindow);
    failNextCycles(FailedCyclesBeforeSearch);
    for (int failed = 1; failed <= FailedCyclesBeforeSearch; ++failed) EXPECT_TRUE(cycle());
    platform::BindMonitorWindow(nullptr);
    EXPECT_EQ(textsDuringShort,
              (std::vector<std::string>{SearchingText, "Найдено 1 '1-Wire' устройство."}));
    EXPECT_EQ(state.memory.unconfirmed, std::vector<RomCode>{phantom});
    // A read of it is tried, which nobody answers; the next complete search
    // does not find it again.
    for (int pass = 1; pass <= 4; ++pass) {
        EXPECT_TRUE(cycle());
        takeOver();
        ASSERT_EQ(windowList.size(), 1u) << pass;
        ASSERT_EQ(state.devices.size(), 1u) << pass;
        EXPECT_EQ(windowList[0].cells[Temperature].text, "25.1 °C") << pass;
    }
    EXPECT_FALSE(Contains(state.memory.known, phantom));
    state.searchDueMs = 0;  // the periodic search
    EXPECT_TRUE(cycle());
    EXPECT_TRUE(state.memory.unconfirmed.empty());
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
