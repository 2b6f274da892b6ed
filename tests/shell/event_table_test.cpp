// What each user action does to the shared settings, the link options and the
// settings file, driven as the user drives the window.
#include "monitor/app_settings.h"
#include "onewire/link.h"
#include "platform/window/window_testing.h"
#include "shell/main_window.h"
#include "shell_fixture.h"

namespace shell_test {
namespace {

constexpr std::string_view FullSettings =
    "Port = com3\n"
    "Interval = 5\n"
    "ThermoControl = 1\n"
    "ThermoMin = 18\n"
    "ThermoMax = 26\n"
    "Log = 0\n"
    "CPU_MinUsage = 0\n"
    "Invert = 0\n"
    "[Sensors]\n"
    "Count = 0";

TEST_F(ShellTest, StartUpNeitherSavesNorRequestsAPortChange) {
    WriteSettings(FullSettings);
    const std::string before = SettingsBytes();
    Start();
    EXPECT_TRUE(Pump());
    EXPECT_EQ(SettingsBytes(), before);
    EXPECT_EQ(monitor::Settings().portChanged.load(), 0);
    EXPECT_EQ(monitor::CopyPortName(), "COM3");
    EXPECT_EQ(platform::DropDownSelection(shell::PortList), 2);
}

TEST_F(ShellTest, StartUpWithoutSettingsFileWritesNone) {
    Start();
    EXPECT_TRUE(Pump());
    EXPECT_FALSE(SettingsExist());
}

TEST_F(ShellTest, LogToggleStoresTheFlagAndSaves) {
    Start();
    platform::ChooseMenuItem(shell::LogItem);
    EXPECT_TRUE(Pump());
    EXPECT_TRUE(platform::MenuItemChecked(shell::LogItem));
    EXPECT_EQ(monitor::Settings().logEnabled.load(), 1);
    EXPECT_EQ(SavedSettings().log, 1);
    platform::ChooseMenuItem(shell::LogItem);
    EXPECT_TRUE(Pump());
    EXPECT_FALSE(platform::MenuItemChecked(shell::LogItem));
    EXPECT_EQ(monitor::Settings().logEnabled.load(), 0);
    EXPECT_EQ(SavedSettings().log, 0);
}

struct LinkToggle {
    int item;
    std::uint32_t bit;
};

class LinkOptionToggle : public ShellTest, public ::testing::WithParamInterface<LinkToggle> {};

TEST_P(LinkOptionToggle, ChangesTheLinkAtOnceAndReachesTheFileWithTheNextSave) {
    const LinkToggle toggle = GetParam();
    WriteSettings(FullSettings);
    const std::string before = SettingsBytes();
    Start();
    platform::ChooseMenuItem(toggle.item);
    EXPECT_TRUE(Pump());
    EXPECT_TRUE(platform::MenuItemChecked(toggle.item));
    EXPECT_EQ(onewire::linkOptions(), toggle.bit);
    EXPECT_EQ(SettingsBytes(), before);

    platform::ChooseMenuItem(shell::LogItem);  // any other change saves
    EXPECT_TRUE(Pump());
    const persistence::SettingsRecord saved = SavedSettings();
    EXPECT_EQ(toggle.bit == onewire::ReduceCpuLoad ? saved.cpuMinUsage : saved.invert, 1);

    platform::ChooseMenuItem(toggle.item);
    EXPECT_TRUE(Pump());
    EXPECT_FALSE(platform::MenuItemChecked(toggle.item));
    EXPECT_EQ(onewire::linkOptions(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Menu, LinkOptionToggle,
                         ::testing::Values(LinkToggle{shell::ReduceCpuItem, onewire::ReduceCpuLoad},
                                           LinkToggle{shell::InvertLinesItem,
                                                      onewire::InvertLines}));

TEST_F(ShellTest, ExitEndsTheLoop) {
    Start();
    platform::ChooseMenuItem(shell::ExitItem);
    EXPECT_FALSE(Pump());
}

TEST_F(ShellTest, ClosingTheWindowEndsTheLoopAndLeavesItToTheShutdown) {
    Start();
    platform::ClickCloseButton();
    EXPECT_FALSE(Pump());
    EXPECT_TRUE(platform::MainWindowVisible());
}

TEST_F(ShellTest, TypedIntervalIsStoredAndSaved) {
    Start();
    platform::TypeIntoSpinField(shell::IntervalSpin, "42");
    EXPECT_TRUE(Pump());
    EXPECT_EQ(monitor::Settings().pollInterval.load(), 42);
    EXPECT_EQ(SavedSettings().interval, 42);
}

TEST_F(ShellTest, ThermoCheckClickIsStoredAndSaved) {
    Start();
    platform::ClickCheckBox(shell::ThermoCheck);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(monitor::Settings().thermoControl.load(), 1);
    EXPECT_EQ(SavedSettings().thermoControl, 1);
}

struct ArrowCase {
    int minimum;
    int maximum;
    int spin;
    platform::SpinArrow arrow;
    int expectedMinimum;
    int expectedMaximum;
};

class LimitArrows : public ShellTest, public ::testing::WithParamInterface<ArrowCase> {};

// The arrows never let the minimum reach the maximum; what the field finally
// shows is what the monitor gets and the file stores.
TEST_P(LimitArrows, KeepTheMinimumBelowTheMaximum) {
    const ArrowCase c = GetParam();
    WriteSettings("ThermoMin = " + std::to_string(c.minimum) +
                  "\nThermoMax = " + std::to_string(c.maximum));
    Start();
    platform::PressSpinArrow(c.spin, c.arrow);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(platform::SpinValue(shell::MinSpin), c.expectedMinimum);
    EXPECT_EQ(platform::SpinValue(shell::MaxSpin), c.expectedMaximum);
    EXPECT_EQ(platform::SpinText(shell::MinSpin), std::to_string(c.expectedMinimum));
    EXPECT_EQ(platform::SpinText(shell::MaxSpin), std::to_string(c.expectedMaximum));
    EXPECT_EQ(monitor::Settings().thermoMin.load(), c.expectedMinimum);
    EXPECT_EQ(monitor::Settings().thermoMax.load(), c.expectedMaximum);
    EXPECT_EQ(SavedSettings().thermoMin, c.expectedMinimum);
    EXPECT_EQ(SavedSettings().thermoMax, c.expectedMaximum);
}

constexpr auto Up = platform::SpinArrow::Up;
constexpr auto Down = platform::SpinArrow::Down;

INSTANTIATE_TEST_SUITE_P(Spins, LimitArrows,
                         ::testing::Values(ArrowCase{9, 10, shell::MinSpin, Up, 9, 10},
                                           ArrowCase{5, 10, shell::MinSpin, Up, 6, 10},
                                           ArrowCase{5, 10, shell::MinSpin, Down, 4, 10},
                                           ArrowCase{9, 10, shell::MaxSpin, Down, 9, 10},
                                           ArrowCase{5, 10, shell::MaxSpin, Down, 5, 9},
                                           ArrowCase{5, 10, shell::MaxSpin, Up, 5, 11}));

TEST_F(ShellTest, PortChoiceHandsTheNameOverRequestsTheChangeAndSaves) {
    WriteSettings(FullSettings);
    Start();
    platform::PickDropDownEntry(shell::PortList, 3);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(monitor::CopyPortName(), "COM4");
    EXPECT_EQ(monitor::Settings().portChanged.load(), 1);
    EXPECT_EQ(SavedSettings().port, "COM4");
}

struct PortNameCase {
    const char* stored;
    int selection;
};

class StoredPortName : public ShellTest, public ::testing::WithParamInterface<PortNameCase> {};

TEST_P(StoredPortName, SelectsTheEntryInAnyLetterCaseOrNone) {
    WriteSettings(std::string("Port = ") + GetParam().stored);
    Start();
    EXPECT_EQ(platform::DropDownSelection(shell::PortList), GetParam().selection);
    EXPECT_EQ(monitor::CopyPortName(),
              GetParam().selection < 0 ? "" : "COM" + std::to_string(GetParam().selection + 1));
}

INSTANTIATE_TEST_SUITE_P(Names, StoredPortName,
                         ::testing::Values(PortNameCase{"COM1", 0}, PortNameCase{"com3", 2},
                                           PortNameCase{"cOm30", 29}, PortNameCase{"COM31", -1},
                                           PortNameCase{"/dev/ttyS0", -1}, PortNameCase{"", -1}));

TEST_F(ShellTest, SavingWithNoPortSelectedStoresAnEmptyPort) {
    WriteSettings("Port = COM31");
    Start();
    platform::ClickCheckBox(shell::ThermoCheck);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(SavedSettings().port, "");
}

}  // namespace
}  // namespace shell_test
