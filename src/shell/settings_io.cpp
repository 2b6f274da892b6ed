#include "shell/settings_io.h"

#include <algorithm>
#include <cstdio>

#include "monitor/app_settings.h"
#include "monitor/sensor_table.h"
#include "onewire/link.h"
#include "platform/window/window.h"
#include "shell/main_window.h"
#include "shell/sensor_view.h"
#include "shell/shell_state.h"

namespace shell {
namespace {

void ApplyLinkOptions(bool reduceCpuLoad, bool invertLines) {
    std::uint32_t options = onewire::linkOptions();
    if (reduceCpuLoad) options |= onewire::ReduceCpuLoad;
    if (invertLines) options |= onewire::InvertLines;
    onewire::setLinkOptions(options);
}

void ApplySensors(const std::vector<persistence::StoredSensor>& stored) {
    monitor::SensorList& sensors = State().sensors;
    sensors.clear();
    for (const persistence::StoredSensor& entry : stored) {
        if (entry.id == 0) continue;
        monitor::SensorRecord record;
        record.rom = monitor::RomFromInt64(entry.id);
        record.cells[monitor::Name].text = entry.name;
        record.cells[monitor::Name].changed = monitor::TextChanged;
        record.cells[monitor::Serial].text = monitor::FormatRomCode(record.rom);
        record.cells[monitor::Serial].changed = monitor::TextChanged;
        sensors.push_back(std::move(record));
    }
}

// The loader accepts limits up to 130, above the spin fields' 125: the range
// widens just enough to hold the stored value, which is then shown, checked
// and saved as stored instead of being clamped to 125.
void ShowLimit(int spin, std::int16_t degrees) {
    platform::SetSpinRange(spin, LimitSpinMinimum, std::max<int>(LimitSpinMaximum, degrees));
    platform::SetSpinValue(spin, degrees);
}

}  // namespace

void SelectPortByName(std::string_view name) {
    if (name.empty()) {
        platform::SetDropDownSelection(PortList, -1);
        return;
    }
    for (int i = 0; i < platform::DropDownCount(PortList); ++i) {
        if (EqualsIgnoringCase(platform::DropDownText(PortList, i), name)) {
            platform::SetDropDownSelection(PortList, i);
            return;
        }
    }
}

std::string SelectedPortName() {
    return platform::DropDownText(PortList, platform::DropDownSelection(PortList));
}

void ApplySettings(const persistence::SettingsRecord& record) {
    monitor::AppSettings& settings = monitor::Settings();
    SelectPortByName(record.port);
    settings.pollInterval = record.interval;
    platform::SetSpinValue(IntervalSpin, record.interval);
    settings.thermoControl = record.thermoControl != 0 ? 1 : 0;
    platform::SetChecked(ThermoCheck, record.thermoControl != 0);
    settings.thermoMin = record.thermoMin;
    settings.thermoMax = record.thermoMax;
    settings.logEnabled = record.log != 0 ? 1 : 0;
    platform::SetMenuItemChecked(LogItem, record.log != 0);
    platform::SetMenuItemChecked(ReduceCpuItem, record.cpuMinUsage != 0);
    platform::SetMenuItemChecked(InvertLinesItem, record.invert != 0);
    ApplyLinkOptions(record.cpuMinUsage != 0, record.invert != 0);
    ApplySensors(record.sensors);
    ShellState& state = State();
    state.serverEnabled = record.serverEnabled != 0;
    state.serverPort = record.serverPort;
    state.serverIPv6 = record.serverIPv6 != 0;
    state.mqtt = record.mqtt;
    state.alerts = record.alerts;
    ShowLimit(MinSpin, record.thermoMin);
    ShowLimit(MaxSpin, record.thermoMax);
}

persistence::SettingsRecord GatherSettings() {
    persistence::SettingsRecord record;
    record.port = SelectedPortName();
    record.interval = static_cast<std::uint16_t>(platform::SpinValue(IntervalSpin));
    record.thermoControl = platform::IsChecked(ThermoCheck) ? 1 : 0;
    record.thermoMin = static_cast<std::int16_t>(platform::SpinValue(MinSpin));
    record.thermoMax = static_cast<std::int16_t>(platform::SpinValue(MaxSpin));
    record.log = monitor::Settings().logEnabled != 0 ? 1 : 0;
    record.cpuMinUsage = platform::MenuItemChecked(ReduceCpuItem) ? 1 : 0;
    record.invert = platform::MenuItemChecked(InvertLinesItem) ? 1 : 0;
    for (const monitor::SensorRecord& sensor : State().sensors) {
        record.sensors.push_back(
            {monitor::RomToInt64(sensor.rom), sensor.cells[monitor::Name].text});
    }
    const ShellState& state = State();
    record.serverEnabled = state.serverEnabled ? 1 : 0;
    record.serverPort = state.serverPort;
    record.serverIPv6 = state.serverIPv6 ? 1 : 0;
    record.mqtt = state.mqtt;
    record.alerts = state.alerts;
    return record;
}

void LoadSettings() {
    using persistence::SettingsSource;
    ShellState& state = State();
    // A save killed part way (a shutdown cut short) leaves its temporary file.
    if (!state.savesOff) persistence::RemoveUnfinishedSaves(persistence::SettingsFileName);
    persistence::SettingsRecord record;
    const SettingsSource source =
        persistence::ReadSettingsFile(persistence::SettingsFileName, record);
    if (source == SettingsSource::Missing && !state.presetSettingsFile.empty()) {
        // The preset is only ever read; saves go to the working directory.
        record = persistence::ReadSettingsFile(state.presetSettingsFile.c_str());
    }
    // Saving the defaults over a file that could not be read would lose every
    // name and setting it holds.
    if (source == SettingsSource::Unreadable) {
        state.savesOff = true;
        std::fprintf(stderr,
                     "kelvarian: %s is there but cannot be read; it is kept as it is, and the "
                     "changes of this run will not be saved\n",
                     persistence::SettingsFileName);
    }
    ApplySettings(record);
}

void SaveSettings() {
    if (State().savesOff) return;
    // A save that fails leaves the previous file whole and reports nothing.
    [[maybe_unused]] const bool saved =
        persistence::WriteSettingsFile(persistence::SettingsFileName, GatherSettings());
}

}  // namespace shell
