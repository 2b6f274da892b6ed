// The window's construction: layout rules at 96 dots per inch, the fixed port
// list, which fields accept typing.
#include <cstdlib>

#include "platform/window/window_testing.h"
#include "shell/main_window.h"
#include "shell_fixture.h"

namespace shell_test {
namespace {

using platform::ControlRect;
using platform::Rect;

int RightEdge(int id) {
    return ControlRect(id).x + ControlRect(id).width;
}

TEST_F(ShellTest, ListViewSitsBelowTheTopRowAndFillsTheWindow) {
    Start();
    const Rect view = ControlRect(shell::SensorView);
    const Rect inner = platform::InnerRect();
    EXPECT_EQ(view.x, 2);
    EXPECT_EQ(view.y, 32);
    EXPECT_EQ(view.width, inner.width - 4);
    EXPECT_EQ(inner.height, 400);
    EXPECT_EQ(view.y + view.height,
              inner.height - platform::StatusBarHeight() - platform::MenuBarHeight() - 2);
    EXPECT_GT(view.height, 200);
}

TEST_F(ShellTest, TopRowPacksFromLeftToRightWithItsGaps) {
    Start();
    EXPECT_EQ(ControlRect(shell::PortLabel).width, platform::TextWidth(shell::PortLabel) + 4);
    EXPECT_EQ(ControlRect(shell::PortList).x, RightEdge(shell::PortLabel));
    EXPECT_EQ(ControlRect(shell::IntervalLabel).x, RightEdge(shell::PortList) + 10);
    EXPECT_EQ(ControlRect(shell::IntervalSpin).x, RightEdge(shell::IntervalLabel));
    EXPECT_EQ(ControlRect(shell::ThermoCheck).x, RightEdge(shell::IntervalSpin) + 16);
    EXPECT_EQ(ControlRect(shell::ThermoCheck).width, platform::TextWidth(shell::ThermoCheck) + 2);
    EXPECT_EQ(ControlRect(shell::ThermoFrame).x, RightEdge(shell::ThermoCheck));
    EXPECT_EQ(ControlRect(shell::MaxLabel).x, RightEdge(shell::MinSpin) + 10);
    EXPECT_EQ(ControlRect(shell::ThermoFrame).width, RightEdge(shell::MaxSpin) + 10);
    EXPECT_EQ(platform::InnerRect().width, RightEdge(shell::ThermoFrame) + 2);
    // The window's width follows the texts, not the first guess of 590.
    EXPECT_NE(platform::InnerRect().width, 590);
}

TEST_F(ShellTest, PortListOffersThirtyPortsAndSelectsNoneWithoutSettings) {
    Start();
    ASSERT_EQ(platform::DropDownCount(shell::PortList), 30);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(platform::DropDownText(shell::PortList, i), "COM" + std::to_string(i + 1));
    }
    EXPECT_EQ(platform::DropDownSelection(shell::PortList), -1);
    EXPECT_EQ(platform::DropDownShownText(shell::PortList), "");
}

TEST_F(ShellTest, ListViewHasSixColumnsWithTheirTitlesAndWidths) {
    Start();
    const std::pair<const char*, int> columns[] = {
        {"Имя", 120},        {"Тип", 70},         {"Серийный номер", 120},
        {"Подключение", 90}, {"Температура", 90}, {"Статус", 90}};
    ASSERT_EQ(platform::ListColumnCount(shell::SensorView), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(platform::ListColumnTitle(shell::SensorView, i), columns[i].first);
        EXPECT_EQ(platform::ListColumnWidth(shell::SensorView, i), columns[i].second);
    }
}

TEST_F(ShellTest, StatusBarHasTwoEqualEmptyFields) {
    Start();
    platform::DispatchPendingWork();
    ASSERT_EQ(platform::StatusFieldCount(), 2);
    EXPECT_TRUE(platform::StatusText(0).empty());
    EXPECT_TRUE(platform::StatusText(1).empty());
    const int width0 = platform::StatusFieldRect(0).width;
    EXPECT_LE(std::abs(width0 - platform::StatusFieldRect(1).width), 1);
    EXPECT_GT(width0, 100);
}

TEST_F(ShellTest, OnlyTheIntervalAcceptsTyping) {
    Start();
    platform::DiscardPendingEvents();
    for (int id : {shell::IntervalSpin, shell::MinSpin, shell::MaxSpin}) {
        const int before = platform::SpinValue(id);
        platform::TypeIntoSpinField(id, "7");
        if (id == shell::IntervalSpin) {
            EXPECT_EQ(platform::SpinValue(id), 7);
        } else {
            EXPECT_EQ(platform::SpinValue(id), before) << "control " << id;
        }
    }
}

TEST_F(ShellTest, WindowShowsAfterStartWithItsTitle) {
    Start();
    EXPECT_TRUE(platform::MainWindowVisible());
    EXPECT_EQ(platform::MainWindowTitle(), "DS18B20 Kelvarian v1.3");
    EXPECT_TRUE(platform::MainWindowHasIcon());
}

}  // namespace
}  // namespace shell_test
