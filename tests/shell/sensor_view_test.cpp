// The monitor's news reaching the list view, status field 0 and the page.
#include <thread>

#include "monitor/mailbox.h"
#include "platform/monitor_window.h"
#include "platform/window/window_testing.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/sensor_view.h"
#include "shell/shell_state.h"
#include "shell_fixture.h"
#include "web/status_page.h"

namespace shell_test {
namespace {

using monitor::RowsChanged;
using monitor::StatusChanged;

std::string Cell(int row, int column) {
    return platform::ListCellText(shell::SensorView, row, column);
}

std::string Page() {
    const std::string* page = web::CurrentStatusPage();
    return page != nullptr ? *page : std::string();
}

TEST_F(ShellTest, MergeShowsKnownSensorsAndAppendsNewOnes) {
    WriteSettings("[Sensors]\nCount = 1\n" + StoredSensorLines(1, 0x11, "Котёл"));
    Start();
    ASSERT_EQ(platform::ListRowCount(shell::SensorView), 1);
    EXPECT_EQ(Cell(0, monitor::Name), "Котёл");
    EXPECT_EQ(Cell(0, monitor::Serial), "28-00000B013C11-14");
    EXPECT_EQ(Cell(0, monitor::Status), "");

    Publish({MonitorRow(0x22, "20.5 °C", "OK"), MonitorRow(0x11, "21.0 °C", "OK")},
            "Найдено 2 устройства", RowsChanged | StatusChanged);
    EXPECT_TRUE(Pump());
    ASSERT_EQ(platform::ListRowCount(shell::SensorView), 2);
    EXPECT_EQ(Cell(0, monitor::Name), "Котёл");
    EXPECT_EQ(Cell(0, monitor::Temperature), "21.0 °C");
    EXPECT_EQ(Cell(1, monitor::Name), "Новый");
    EXPECT_EQ(Cell(1, monitor::Temperature), "20.5 °C");
    EXPECT_EQ(platform::StatusText(0), "Найдено 2 устройства");
}

TEST_F(ShellTest, StoredSensorMissingFromTheBusShowsNotFoundOnRed) {
    WriteSettings("[Sensors]\nCount = 2\n" + StoredSensorLines(1, 0x11, "Котёл") +
                  StoredSensorLines(2, 0x22, "Улица"));
    Start();
    Publish({MonitorRow(0x22, "-3.5 °C", "OK")}, "", RowsChanged);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Cell(0, monitor::Status), "Не найден");
    EXPECT_EQ(platform::ListCellColor(shell::SensorView, 0, monitor::Status), monitor::ErrorColor);
    EXPECT_EQ(platform::ListCellColor(shell::SensorView, 1, monitor::Status),
              monitor::DefaultColor);

    // Back on the bus: the default colour returns.
    Publish({MonitorRow(0x11, "40.0 °C", "OK"), MonitorRow(0x22, "-3.5 °C", "OK")}, "",
            RowsChanged);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Cell(0, monitor::Status), "OK");
    EXPECT_EQ(platform::ListCellColor(shell::SensorView, 0, monitor::Status),
              monitor::DefaultColor);
}

TEST_F(ShellTest, StatusOnlyNewsLeavesListAndPageAlone) {
    Start();
    shell::State().serverEnabled = true;
    Publish({MonitorRow(0x11, "21.0 °C", "OK")}, "one", RowsChanged | StatusChanged);
    EXPECT_TRUE(Pump());
    const std::string page = Page();
    ASSERT_NE(page.find("21.0 °C"), std::string::npos);

    shell::State().sensors[0].cells[monitor::Name].text = "changed behind the view";
    Publish({MonitorRow(0x11, "99.0 °C", "OK")}, "two", StatusChanged);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(platform::StatusText(0), "two");
    EXPECT_EQ(Cell(0, monitor::Name), "Новый");
    EXPECT_EQ(Cell(0, monitor::Temperature), "21.0 °C");
    EXPECT_EQ(Page(), page);
}

TEST_F(ShellTest, UpdateThatFindsTheMailboxEmptyChangesNothing) {
    Start();
    Publish({MonitorRow(0x11, "21.0 °C", "OK")}, "one", RowsChanged | StatusChanged);
    platform::PostCustomEvent(platform::SensorsUpdatedEvent);  // a second event, no news
    EXPECT_TRUE(Pump());
    EXPECT_EQ(platform::ListRowCount(shell::SensorView), 1);
    EXPECT_EQ(platform::StatusText(0), "one");
}

TEST_F(ShellTest, PageIsBuiltOnlyWhenTheServerIsConfigured) {
    Start();
    web::BuildStatusPage({{"marker", "x"}});
    Publish({MonitorRow(0x11, "21.0 °C", "OK")}, "", RowsChanged);
    EXPECT_TRUE(Pump());
    EXPECT_NE(Page().find("marker"), std::string::npos);

    shell::State().serverEnabled = true;
    Publish({MonitorRow(0x11, "22.0 °C", "OK")}, "", RowsChanged);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Page().find("marker"), std::string::npos);
    EXPECT_NE(Page().find("22.0 °C"), std::string::npos);
}

struct PageValueCase {
    const char* status;
    const char* expected;
};

class PageValue : public ::testing::TestWithParam<PageValueCase> {};

TEST_P(PageValue, IsTheTemperatureOnlyWhenTheStatusReadsOk) {
    monitor::SensorList sensors{MonitorRow(0x11, "21.5 °C", GetParam().status)};
    sensors[0].cells[monitor::Name].text = "Котёл";
    const std::vector<web::PageRow> rows = shell::PageRowsOf(sensors);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "Котёл");
    EXPECT_EQ(rows[0].value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Statuses, PageValue,
                         ::testing::Values(PageValueCase{"OK", "21.5 °C"},
                                           PageValueCase{"ok", "21.5 °C"},
                                           PageValueCase{"oK", "21.5 °C"},
                                           PageValueCase{"Не найден", "Не найден"},
                                           PageValueCase{"Ошибка CRC", "Ошибка CRC"},
                                           PageValueCase{"OK ", "OK "}, PageValueCase{"", ""}));

TEST_F(ShellTest, RedrawKeepsTheSelectionWhenTheRowCountStays) {
    Start();
    Publish({MonitorRow(0x11, "1.0 °C", "OK"), MonitorRow(0x22, "2.0 °C", "OK")}, "", RowsChanged);
    EXPECT_TRUE(Pump());
    platform::SelectListRow(shell::SensorView, 1);
    Publish({MonitorRow(0x11, "1.5 °C", "OK"), MonitorRow(0x22, "2.5 °C", "OK")}, "", RowsChanged);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Cell(1, monitor::Temperature), "2.5 °C");
    EXPECT_EQ(platform::SelectedListRow(shell::SensorView), 1);
}

TEST_F(ShellTest, StatusField0AcceptsTextFromAnotherThread) {
    Start();
    std::thread writer([] { platform::SetStatusField0("Поиск устройств"); });
    writer.join();
    EXPECT_TRUE(Pump());
    EXPECT_EQ(platform::StatusText(0), "Поиск устройств");
}

// The monitor writes field 0 during a search and posts SensorsUpdated after
// it; handled out of order, a stale search text would stay in the bar. The
// handler notes the field as each event arrives: in order, the n-th event
// finds the n-th text.
std::vector<std::string> fieldAtEachEvent;
constexpr std::int32_t OrderProbeEvent = 65600;

TEST_F(ShellTest, UpdatesPostedFromAnotherThreadAreHandledInOrder) {
    Start();
    fieldAtEachEvent.clear();
    platform::BindCustomEventHandler(OrderProbeEvent,
                                     [] { fieldAtEachEvent.push_back(platform::StatusText(0)); });
    std::vector<std::string> posted;
    for (int i = 1; i <= 20; ++i) posted.push_back("Поиск " + std::to_string(i));
    std::thread monitorSide([&posted] {
        for (const std::string& text : posted) {
            platform::SetStatusField0(text);
            platform::PostCustomEvent(OrderProbeEvent);
        }
    });
    monitorSide.join();
    EXPECT_TRUE(Pump());
    EXPECT_EQ(fieldAtEachEvent, posted);
}

// Colours come from the records: the monitor marks a colour changed only in
// the pass that set it, and later passes carry it unmarked.
monitor::SensorRecord Unmarked(monitor::SensorRecord row) {
    for (monitor::SensorCell& cell : row.cells) cell.changed = monitor::TextChanged;
    return row;
}

TEST_F(ShellTest, ColourSetOnceFollowsItsSensorThroughAMoveAndARebuild) {
    WriteSettings("[Sensors]\nCount = 2\n" + StoredSensorLines(1, 0x11, "A") +
                  StoredSensorLines(2, 0x22, "B"));
    Start();
    monitor::SensorRecord badRom = MonitorRow(0x11, "1.0 °C", "OK");
    badRom.cells[monitor::Serial].color = monitor::ErrorColor;  // marked at identification
    Publish({badRom, MonitorRow(0x22, "2.0 °C", "OK")}, "", RowsChanged);
    EXPECT_TRUE(Pump());
    Publish({Unmarked(badRom), Unmarked(MonitorRow(0x22, "2.0 °C", "OK"))}, "", RowsChanged);
    EXPECT_TRUE(Pump());
    const auto serialColor = [](int row) {
        return platform::ListCellColor(shell::SensorView, row, monitor::Serial);
    };

    shell::MoveSensor(0, 1);
    EXPECT_EQ(Cell(1, monitor::Name), "A");
    EXPECT_EQ(serialColor(1), monitor::ErrorColor);
    EXPECT_EQ(serialColor(0), monitor::DefaultColor);

    // A new sensor changes the row count: the rows are rebuilt.
    Publish({Unmarked(badRom), Unmarked(MonitorRow(0x22, "2.0 °C", "OK")),
             Unmarked(MonitorRow(0x33, "3.0 °C", "OK"))},
            "", RowsChanged);
    EXPECT_TRUE(Pump());
    ASSERT_EQ(platform::ListRowCount(shell::SensorView), 3);
    EXPECT_EQ(serialColor(1), monitor::ErrorColor);
    EXPECT_EQ(serialColor(0), monitor::DefaultColor);
    EXPECT_EQ(serialColor(2), monitor::DefaultColor);
}

TEST_F(ShellTest, OnlyCutOffCellTextsShowAsTooltips) {
    const std::string longName = "Очень длинное имя датчика в котельной";
    WriteSettings("[Sensors]\nCount = 2\n" + StoredSensorLines(1, 0x11, longName) +
                  StoredSensorLines(2, 0x22, "A"));
    Start();
    EXPECT_EQ(platform::ListCellToolTip(shell::SensorView, 0, monitor::Name), longName);
    EXPECT_EQ(platform::ListCellToolTip(shell::SensorView, 1, monitor::Name), "");
}

}  // namespace
}  // namespace shell_test
