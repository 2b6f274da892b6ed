// Whole poll passes of the monitor against the simulated bus: texts, colours,
// faults, counters and the status line.
#include <functional>
#include <regex>

#include "busmodel/virtual_clock.h"
#include "cycle_fixture.h"
#include "monitor/ds18x20.h"
#include "monitor/port_search.h"
#include "persistence/event_log.h"

using namespace monitor;
using monitor_test::PollCycleTest;
using monitor_test::Thermometer;

namespace {

constexpr std::uint8_t B20 = busmodel::FamilyDs18b20;
constexpr std::uint8_t S20 = busmodel::FamilyDs18s20;

TEST_F(PollCycleTest, GoodPassShowsEveryReading) {
    startWith({Thermometer(B20, 1, 0x0191), Thermometer(B20, 2, static_cast<std::int16_t>(0xFF5E)),
               Thermometer(B20, 3, static_cast<std::int16_t>(0xFC90)), Thermometer(B20, 4, 0x07F1),
               Thermometer(S20, 5, 0x0032),
               Thermometer(S20, 6, static_cast<std::int16_t>(0xFFFF))});
    ASSERT_EQ(state.pending.rows.size(), 6u);
    EXPECT_EQ(cell(0, Type).text, "DS18B20");
    EXPECT_EQ(cell(4, Type).text, "DS1820 / DS18S20");
    EXPECT_EQ(cell(0, Temperature).text, "Измерение");
    EXPECT_EQ(cell(0, Status).text, "Инициализация");
    EXPECT_EQ(takeOver(), RowsChanged | StatusChanged);
    EXPECT_EQ(statusText, "Порт открыт");

    EXPECT_TRUE(cycle());
    const char* temperatures[] = {"25.1 °C", "-10.1 °C", "-55.0 °C", "", "25.0 °C", "-0.5 °C"};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(cell(i, Temperature).text, temperatures[i]) << i;
        EXPECT_EQ(cell(i, Status).text, "OK") << i;
        EXPECT_EQ(cell(i, Status).color, DefaultColor) << i;
    }
    EXPECT_EQ(cell(2, Temperature).color, DefaultColor);
    // 127.06 degC lies beyond the sensor's range: a fault, painted, not shown.
    EXPECT_EQ(cell(3, Temperature).color, AlarmColor);
    EXPECT_EQ(state.devices[3].faults, SensorRangeError);
    EXPECT_EQ(state.faultyCount, 1);
    EXPECT_EQ(state.alarmCount, 0);
    EXPECT_EQ(takeOver(), RowsChanged | StatusChanged);
    EXPECT_EQ(statusText,
              "Найдено 6 '1-Wire'  устройств.    Обнаружен 1 датчик с ошибками в работе");
    ASSERT_EQ(windowList.size(), 6u);
    EXPECT_EQ(windowList[0].cells[Name].text, "Новый");
    EXPECT_EQ(windowList[0].cells[Temperature].text, "25.1 °C");
}

TEST_F(PollCycleTest, CleanFirstPassLeavesThePortText) {
    startWith({Thermometer(B20, 1, 0x0191)});
    takeOver();
    EXPECT_TRUE(cycle());
    EXPECT_EQ(takeOver(), RowsChanged);
    EXPECT_EQ(statusText, "Порт открыт");
    EXPECT_TRUE(cycle());
    EXPECT_EQ(takeOver(), RowsChanged);
}

TEST_F(PollCycleTest, ReadingsOutsidePermittedRangeAreAlarms) {
    AppSettings& settings = Settings();
    settings.thermoControl = 1;
    settings.thermoMin = 20;
    settings.thermoMax = 25;
    // 25.875 (whole 25) is within; 26.0 and 19.875 (whole 19) are not.
    startWith({Thermometer(B20, 1, 414), Thermometer(B20, 2, 416), Thermometer(B20, 3, 318)});
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Temperature).color, DefaultColor);
    EXPECT_EQ(cell(1, Temperature).color, AlarmColor);
    EXPECT_EQ(cell(1, Temperature).text, "26.0 °C");
    EXPECT_EQ(cell(2, Temperature).color, AlarmColor);
    EXPECT_EQ(state.alarmCount, 2);
    EXPECT_EQ(state.faultyCount, 0);
    takeOver();
    EXPECT_EQ(statusText,
              "Найдено 3 '1-Wire'  устройства.  В 2 датчиках зафиксирован выход за пределы "
              "допустимой температуры");

    settings.thermoControl = 0;
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(1, Temperature).color, DefaultColor);
    EXPECT_EQ(state.alarmCount, 0);
    takeOver();
    EXPECT_EQ(statusText, "Найдено 3 '1-Wire'  устройства.");
}

TEST_F(PollCycleTest, CorruptedScratchpadIsBlankedAndNotLogged) {
    monitor_test::TempWorkingDir folder;
    Settings().logEnabled = 1;
    busmodel::Device corrupted = Thermometer(B20, 2, 0x0200);
    corrupted.corruptScratchpad = true;
    const busmodel::Device good = Thermometer(B20, 1, 341);
    startWith({good, corrupted});
    EXPECT_TRUE(cycle());
    persistence::CloseLog();

    EXPECT_EQ(cell(1, Status).text, "Ошибка CRC");
    EXPECT_EQ(cell(1, Status).color, ErrorColor);
    EXPECT_EQ(cell(1, Temperature).text, "");
    EXPECT_EQ(cell(1, Temperature).color, DefaultColor);
    EXPECT_EQ(state.faultyCount, 1);
    const std::string log = monitor_test::ReadFile(folder.path / persistence::LogFileName);
    const std::regex oneLine("\xEF\xBB\xBF\\[[0-9/: ]{19}\\]  " + FormatRomCode(good.rom) +
                             "  —  21\\.3 °C\r\n");
    EXPECT_TRUE(std::regex_match(log, oneLine)) << log;
}

TEST_F(PollCycleTest, ShortedWireReadsAsCrcError) {
    startWith({Thermometer(B20, 1, 0x0191)});
    busmodel::Faults faults;
    faults.shorted = true;
    busmodel::SetFaults(faults);
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Status).text, "Ошибка CRC");
    EXPECT_EQ(cell(0, Temperature).text, "");
    EXPECT_EQ(state.devices[0].faults, ScratchpadCrcError);
}

TEST_F(PollCycleTest, SearchOnShortedWireFindsNothing) {
    startWith({});
    busmodel::Faults faults;
    faults.shorted = true;
    busmodel::SetFaults(faults);
    Settings().portChanged = 1;
    EXPECT_TRUE(cycle());
    EXPECT_TRUE(state.devices.empty());
    EXPECT_TRUE(state.pending.rows.empty());
    EXPECT_EQ(window.statusTexts().back(), "На порту COM1, '1-Wire' устройства не найдены.");
    takeOver();
    EXPECT_TRUE(windowList.empty());
}

TEST_F(PollCycleTest, BadRomCrcIsFaultyButStillRead) {
    busmodel::Device device = Thermometer(B20, 1, 0x0191);
    device.rom[7] ^= 0x5A;
    startWith({device, Thermometer(B20, 2, 0x0100)});
    EXPECT_EQ(cell(0, Serial).text, FormatRomCode(device.rom) + "  ОШИБКА CRC");
    EXPECT_EQ(cell(0, Serial).color, ErrorColor);
    EXPECT_EQ(cell(1, Serial).color, DefaultColor);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_TRUE(cycle());
        EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");
        EXPECT_EQ(cell(0, Status).text, "OK");
        EXPECT_EQ(state.devices[0].faults, RomCrcError);
        EXPECT_EQ(state.faultyCount, 1);
    }
    takeOver();
    EXPECT_EQ(statusText,
              "Найдено 2 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе");
}

TEST_F(PollCycleTest, SupplyModeOfEachDevice) {
    startWith({Thermometer(B20, 1, 0, busmodel::Power::Parasite),
               Thermometer(S20, 2, 0, busmodel::Power::External)});
    EXPECT_EQ(cell(0, Connection).text, "2 вывода ('паразитное' питание)");
    EXPECT_EQ(cell(1, Connection).text, "3 вывода");
    // The echoes stop after the Match ROM (a reset and 72 slots), or after the
    // eight slots of 0xB4: the supply slot that follows tells nothing.
    for (const std::int32_t echoes : {73, 81}) {
        busmodel::Faults faults;
        faults.echoesBeforeUnplug = echoes;
        busmodel::SetFaults(faults);
        IdentifyDevices(state.devices, state.pending);
        EXPECT_EQ(cell(0, Connection).text, "Ошибка") << echoes;
    }
}

TEST_F(PollCycleTest, UnknownFamilyIsListedButNeverAddressed) {
    busmodel::Device other;
    other.rom = busmodel::MakeRomCode(0x01, 0x77);
    startWith({other, Thermometer(B20, 2, 0x0191)});
    EXPECT_EQ(cell(0, Type).text, "Неизвестное устройство");
    EXPECT_EQ(cell(0, Connection).text, "");
    EXPECT_EQ(cell(0, Temperature).text, "");
    EXPECT_EQ(cell(0, Status).text, "");

    // One Match ROM for the thermometer only.
    std::uint64_t resets = busmodel::CurrentPortState().resets;
    IdentifyDevices(state.devices, state.pending);
    EXPECT_EQ(busmodel::CurrentPortState().resets - resets, 1u);
    EXPECT_TRUE(cycle());  // the first pass is followed by a search
    // Skip ROM for the conversion, then one Match ROM.
    resets = busmodel::CurrentPortState().resets;
    EXPECT_TRUE(cycle());
    EXPECT_EQ(busmodel::CurrentPortState().resets - resets, 2u);
    EXPECT_EQ(cell(0, Temperature).text, "");
    EXPECT_EQ(cell(1, Temperature).text, "25.1 °C");
    EXPECT_EQ(state.faultyCount, 0);
    EXPECT_EQ(state.deviceCount, 2);
}

// Sensors that came or went while the program was stopped are found by the
// search after the first pass (a new one once a read confirms it); one that
// goes while it runs reads nine 0xFF bytes ("Ошибка CRC") until ten such
// passes start a search, also when its last reads failed their CRC.
TEST_F(PollCycleTest, SearchesAfterTheFirstPassAndAfterTenUnansweredReads) {
    const busmodel::Device kept = Thermometer(B20, 1, 0x0191);
    const busmodel::Device gone = Thermometer(B20, 2, 0x0100);
    const busmodel::Device added = Thermometer(S20, 3, 0x0032);
    busmodel::Device leaving = Thermometer(B20, 4, 0x0150);
    leaving.corruptScratchpad = true;
    busmodel::SetDevices({kept, added, leaving});
    Settings().knownRoms = {kept.rom, gone.rom, leaving.rom};
    MonitorStart(state);
    EXPECT_EQ(cell(1, Connection).text, "3 вывода");  // nobody pulls its supply slot low
    takeOver();

    EXPECT_TRUE(cycle());
    ASSERT_EQ(state.devices.size(), 2u);
    EXPECT_EQ(cell(0, Temperature).text, "25.1 °C");  // a kept row keeps its reading
    takeOver();
    ASSERT_EQ(windowList.size(), 3u);  // the new code is not shown before it is confirmed
    EXPECT_EQ(windowList[1].cells[Status].text, "Не найден");
    // The pass reads it and so confirms it.
    EXPECT_TRUE(cycle());
    ASSERT_EQ(state.devices.size(), 3u);
    EXPECT_EQ(state.devices[2].rom, added.rom);
    EXPECT_EQ(cell(2, Temperature).text, "25.0 °C");
    takeOver();
    ASSERT_EQ(windowList.size(), 4u);
    EXPECT_EQ(windowList[3].cells[Name].text, "Новый");
    EXPECT_EQ(windowList[3].cells[Temperature].text, "25.0 °C");
    EXPECT_EQ(statusText,
              "Найдено 3 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе");

    ASSERT_TRUE(
        busmodel::ChangeDevice(leaving.rom, [](busmodel::Device& d) { d.present = false; }));
    for (int pass = 1; pass <= 9; ++pass) {
        EXPECT_TRUE(cycle());
        EXPECT_EQ(cell(1, Status).text, "Ошибка CRC") << pass;
    }
    EXPECT_EQ(state.devices.size(), 3u);
    EXPECT_TRUE(cycle());
    EXPECT_EQ(state.devices.size(), 2u);
    EXPECT_TRUE(window.statusTexts().empty());  // these searches show no texts
    takeOver();
    EXPECT_EQ(windowList[2].cells[Status].text, "Не найден");
    EXPECT_TRUE(cycle());
    takeOver();
    EXPECT_EQ(statusText, "Найдено 2 '1-Wire'  устройства.");

    // A sensor the search finds again although it cannot be read starts no
    // further search until it has answered once: no search every ten passes.
    const auto unreadable = [&](bool on) {
        ASSERT_TRUE(busmodel::ChangeDevice(kept.rom, [on](busmodel::Device& d) {
            d.ignoresMatchRom = on;
        }));
    };
    unreadable(true);
    EXPECT_EQ(searchPassesOver(10), 2);  // one search of the two, which finds it again
    EXPECT_EQ(state.devices.size(), 2u);
    EXPECT_EQ(cell(0, Status).text, "Ошибка CRC");
    EXPECT_EQ(searchPassesOver(20), 0);
    unreadable(false);
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Status).text, "OK");
    unreadable(true);
    EXPECT_EQ(searchPassesOver(10), 2);
}

// A sensor unplugged to move it: once a search has dropped it, a read of it
// now and then finds it back, with no search and no port change.
TEST_F(PollCycleTest, SensorThatLeavesAndReturnsIsReadAgainWithoutASearch) {
    const busmodel::Device a = Thermometer(B20, 1, 0x0191);
    const busmodel::Device b = Thermometer(B20, 2, 0x0100);
    startWith({a, b});
    EXPECT_TRUE(cycle());
    takeOver();
    windowList[1].cells[Name].text = "Котёл";
    ASSERT_TRUE(busmodel::RemoveDevice(b.rom));
    for (int pass = 1; pass <= 10; ++pass) EXPECT_TRUE(cycle());
    ASSERT_EQ(state.devices.size(), 1u);
    takeOver();
    EXPECT_EQ(windowList[1].cells[Status].text, "Не найден");
    // While it is away each pass spends one read on it, beside the one of a.
    EXPECT_EQ(readsOver(1), 2);

    busmodel::AddDevice(b);
    EXPECT_EQ(searchPassesOver(1), 0);
    ASSERT_EQ(state.devices.size(), 2u);
    EXPECT_EQ(cell(1, Temperature).text, "16.0 °C");
    EXPECT_EQ(cell(1, Status).text, "OK");
    takeOver();
    ASSERT_EQ(windowList.size(), 2u);
    EXPECT_EQ(windowList[1].present, 1);
    EXPECT_EQ(windowList[1].cells[Name].text, "Котёл");
    EXPECT_EQ(windowList[1].cells[Temperature].text, "16.0 °C");
    EXPECT_EQ(statusText, "Найдено 2 '1-Wire'  устройства.");
    // From then on it is polled as before, one read a pass.
    EXPECT_EQ(readsOver(1), 2);
}

// A sensor plugged in while the program runs, with the others answering:
// the search every ten minutes finds it, and the next pass's read confirms it.
TEST_F(PollCycleTest, PeriodicSearchFindsASensorPluggedIn) {
    Settings().pollInterval = 60;
    const busmodel::Device added = Thermometer(S20, 7, 0x0032);
    startWith({Thermometer(B20, 1, 0x0191)});
    EXPECT_TRUE(cycle());  // and the search after the first pass
    const std::uint64_t searchedMs = busmodel::VirtualNowMs();
    busmodel::AddDevice(added);
    std::uint64_t shownMs = 0;
    for (int cycles = 0; cycles < 15 && shownMs == 0; ++cycles) {
        EXPECT_TRUE(cycle());
        takeOver();
        if (windowList.size() == 2) shownMs = busmodel::VirtualNowMs();
    }
    ASSERT_NE(shownMs, 0u);
    EXPECT_GE(shownMs - searchedMs, PeriodicSearchMs);
    EXPECT_LE(shownMs - searchedMs, PeriodicSearchMs + 2 * 61'000);  // a pass or two after it
    EXPECT_EQ(windowList[1].cells[Name].text, "Новый");
    EXPECT_EQ(windowList[1].cells[Temperature].text, "25.0 °C");
    EXPECT_TRUE(window.statusTexts().empty());
}

// A device of another family cannot be read to confirm it: the search after
// the next pass does.
TEST_F(PollCycleTest, NewDeviceThatCannotBeReadIsConfirmedByTheNextSearch) {
    startWith({Thermometer(B20, 1, 0x0191)});
    EXPECT_TRUE(cycle());
    busmodel::Device other;
    other.rom = busmodel::MakeRomCode(0x26, 0x42);
    busmodel::AddDevice(other);
    state.searchDueMs = 0;  // the periodic search is due
    EXPECT_EQ(searchPassesOver(1), 2);
    takeOver();
    EXPECT_EQ(windowList.size(), 1u);
    EXPECT_EQ(searchPassesOver(1), 2);
    takeOver();
    ASSERT_EQ(windowList.size(), 2u);
    EXPECT_EQ(windowList[1].cells[Type].text, "Неизвестное устройство");
    EXPECT_EQ(searchPassesOver(3), 0);
}

// Beside the texts the window gets each reading's value and time, the pass's
// figures, and per device its reads with the failed ones by what ended them.
TEST_F(PollCycleTest, HandOverCarriesReadingsTheirTimesAndFailedReadsByKind) {
    AppSettings& settings = Settings();
    settings.thermoControl = 1;
    settings.thermoMin = 20;
    settings.thermoMax = 25;
    const busmodel::Device a = Thermometer(B20, 1, 0x0191);  // 25.06: within
    const busmodel::Device b = Thermometer(B20, 2, 0x0100);  // 16.0: below
    startWith({a, b});
    MonitorMailbox copy;
    const auto pass = [&](const std::function<void()>& duringConversion) {
        clock.resetSteps();
        clock.atStep(9, duringConversion);  // the last step of the conversion wait
        EXPECT_TRUE(cycle());
        busmodel::SetFaults({});
        TakeOverMailbox(copy);
        return copy.figures;
    };
    const auto changeB = [&](const std::function<void(busmodel::Device&)>& change) {
        ASSERT_TRUE(busmodel::ChangeDevice(b.rom, change));
    };

    MonitorFigures figures = pass([] {});
    ASSERT_EQ(figures.devices.size(), 2u);
    const DeviceFigures& first = figures.devices[0];
    EXPECT_EQ(first.rom, a.rom);
    EXPECT_TRUE(first.hasReading);
    EXPECT_FLOAT_EQ(first.celsius, 25.0625f);
    EXPECT_TRUE(first.withinLimits);
    EXPECT_FALSE(figures.devices[1].withinLimits);
    EXPECT_GE(first.readingUnix, monitor_test::VirtualUnixStart + 1);  // after the conversion
    EXPECT_GE(figures.pass.lastPassUnix, first.readingUnix);
    EXPECT_LE(figures.pass.lastPassUnix,
              monitor_test::VirtualUnixStart +
                  static_cast<std::int64_t>(busmodel::VirtualNowMs() / 1000));
    EXPECT_EQ(figures.pass.passes, 1u);
    EXPECT_EQ(figures.pass.deviceCount, 2);
    EXPECT_EQ(figures.pass.faultyCount, 0);
    EXPECT_EQ(figures.pass.alarmCount, 1);
    const std::int64_t goodReadingUnix = first.readingUnix;

    changeB([](busmodel::Device& d) { d.corruptScratchpad = true; });
    pass([] {});
    changeB([](busmodel::Device& d) { d.corruptScratchpad = false, d.present = false; });
    pass([] {});  // nine 0xFF bytes: nobody answered for it
    changeB([](busmodel::Device& d) { d.present = true; });
    // A's Match ROM sees no presence pulse, and so does the read again.
    pass([] { busmodel::ScriptEchoes({0xF0, 0xF0}); });
    figures = pass([] {
        busmodel::Faults unplugged;
        unplugged.noEcho = true;
        busmodel::SetFaults(unplugged);
    });
    EXPECT_EQ(figures.pass.passes, 5u);
    EXPECT_EQ(figures.pass.faultyCount, 2);
    EXPECT_TRUE(figures.devices[0].hasReading);  // the last good one stays
    EXPECT_FLOAT_EQ(figures.devices[0].celsius, 25.0625f);
    EXPECT_GE(figures.devices[0].readingUnix, goodReadingUnix);

    // Ten failed cycles end in a search; what it finds again keeps its counts.
    pass([] {});
    busmodel::ScriptEchoes(std::vector<std::uint8_t>(FailedCyclesBeforeSearch, 0xF0));
    for (int failed = 1; failed <= FailedCyclesBeforeSearch; ++failed) {
        EXPECT_TRUE(cycle());
        TakeOverMailbox(copy);
        EXPECT_EQ(copy.figures.pass.faultyCount, 2);
        EXPECT_EQ(copy.figures.pass.alarmCount, 0);
    }
    figures = copy.figures;
    EXPECT_EQ(figures.pass.passes, 6u);
    ASSERT_EQ(figures.devices.size(), 2u);
    EXPECT_FALSE(figures.devices[0].hasReading);
    const bool aFirst = figures.devices[0].rom == a.rom;  // in search order now
    const ReadCounts& countsA = figures.devices[aFirst ? 0 : 1].counts;
    const ReadCounts& countsB = figures.devices[aFirst ? 1 : 0].counts;
    EXPECT_EQ(countsA.reads, 6u);
    EXPECT_EQ(countsA.crcErrors, 0u);
    EXPECT_EQ(countsA.noAnswer, 1u);
    EXPECT_EQ(countsA.exchangeErrors, 1u);
    EXPECT_EQ(countsB.reads, 6u);
    EXPECT_EQ(countsB.crcErrors, 1u);
    EXPECT_EQ(countsB.noAnswer, 1u);
    EXPECT_EQ(countsB.exchangeErrors, 1u);
}

TEST_F(PollCycleTest, GoodCycleLengthFollowsTheInterval) {
    startWith({Thermometer(B20, 1, 0x0191)});
    const std::pair<std::uint16_t, int> cases[] = {{0, 9}, {1, 9}, {2, 19}, {3, 29}};
    for (const auto& [interval, steps] : cases) {
        Settings().pollInterval = interval;
        clock.resetSteps();
        EXPECT_TRUE(cycle());
        EXPECT_EQ(clock.steps(), steps) << interval;
    }
}

TEST_F(PollCycleTest, NoPortChosenFailsEveryCycleWithItsMessage) {
    monitor::SetPortName("");
    startWith({Thermometer(B20, 1, 0x0191)});
    EXPECT_EQ(state.pending.statusText, "");
    EXPECT_TRUE(cycle());
    EXPECT_EQ(cell(0, Status).text, "Нет открытого COM порта");
    EXPECT_EQ(cell(0, Status).color, ErrorColor);
    EXPECT_EQ(cell(0, Temperature).text, " ");
}

}  // namespace
