#include "shell/event_table.h"

#include "monitor/app_settings.h"
#include "onewire/link.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/sensor_view.h"
#include "shell/settings_io.h"
#include "shell/shell_state.h"
#include "web/status_server.h"

namespace shell {
namespace {

using platform::EventType;

// Flips the item's check mark and returns the new state.
bool ToggleCheckMark(int item) {
    const bool checked = !platform::MenuItemChecked(item);
    platform::SetMenuItemChecked(item, checked);
    return checked;
}

void SetLinkOption(std::uint32_t option, bool on) {
    const std::uint32_t options = onewire::linkOptions();
    onewire::setLinkOptions(on ? (options | option) : (options & ~option));
}

bool HandleMenu(int item) {
    switch (item) {
        case LogItem:
            monitor::Settings().logEnabled = ToggleCheckMark(LogItem) ? 1 : 0;
            SaveSettings();
            break;
        case ExitItem:
            return false;
        case ReduceCpuItem:
            SetLinkOption(onewire::ReduceCpuLoad, ToggleCheckMark(ReduceCpuItem));
            break;
        case InvertLinesItem:
            SetLinkOption(onewire::InvertLines, ToggleCheckMark(InvertLinesItem));
            break;
        case AboutItem:
            ShowAbout();
            break;
        case RenameItem:
            RenameSensor(platform::SelectedListRow(SensorView));
            break;
        case RemoveMissingItem:
            RemoveMissingSensors();
            break;
        default:
            break;
    }
    return true;
}

// The arrows never let the minimum reach the maximum: the corrected value
// raises a value change of its own, which stores and saves it.
void ClampMinSpin() {
    const int maximum = platform::SpinValue(MaxSpin);
    if (platform::SpinValue(MinSpin) >= maximum) platform::SetSpinValue(MinSpin, maximum - 1);
}

void ClampMaxSpin() {
    const int minimum = platform::SpinValue(MinSpin);
    if (platform::SpinValue(MaxSpin) <= minimum) platform::SetSpinValue(MaxSpin, minimum + 1);
}

void StartRowDrag() {
    ShellState& state = State();
    state.dragSourceRow = platform::SelectedListRow(SensorView);
    if (state.dragSourceRow >= 0 && !platform::StartPrivateDrag(SensorView)) {
        state.dragSourceRow = -1;
    }
}

void ShowSensorPopup() {
    if (platform::SelectedListRow(SensorView) >= 0 && SensorPopup() >= 0) {
        platform::ShowPopupMenuAtCursor(SensorPopup());
    }
}

void HandleControl(int id, EventType type) {
    monitor::AppSettings& settings = monitor::Settings();
    switch (id) {
        case IntervalSpin:
            settings.pollInterval = static_cast<std::uint16_t>(platform::SpinValue(IntervalSpin));
            SaveSettings();
            break;
        case ThermoCheck:
            settings.thermoControl = platform::IsChecked(ThermoCheck) ? 1 : 0;
            SaveSettings();
            break;
        case MinSpin:
            if (type == EventType::ValueChanged) {
                settings.thermoMin = static_cast<std::int16_t>(platform::SpinValue(MinSpin));
                SaveSettings();
            } else if (type == EventType::SteppedUp) {
                ClampMinSpin();
            }
            break;
        case MaxSpin:
            if (type == EventType::ValueChanged) {
                settings.thermoMax = static_cast<std::int16_t>(platform::SpinValue(MaxSpin));
                SaveSettings();
            } else if (type == EventType::SteppedDown) {
                ClampMaxSpin();
            }
            break;
        case SensorView:
            if (type == EventType::DragStart) StartRowDrag();
            if (type == EventType::RightClick) ShowSensorPopup();
            break;
        default:
            break;
    }
}

void HandleDrop(int id, EventType type) {
    if (id != SensorView || type != EventType::PrivateData) return;
    const int target = platform::SelectedListRow(SensorView);
    const int source = State().dragSourceRow;
    if (target >= 0 && source >= 0 && target != source) MoveSensor(source, target);
}

}  // namespace

bool HandleEvent(const platform::Event& event) {
    if (event.window != platform::MainWindowId) return true;
    switch (event.kind) {
        case platform::EventKind::Close:
            return false;
        case platform::EventKind::Menu:
            return HandleMenu(event.id);
        case platform::EventKind::Control:
            HandleControl(event.id, event.type);
            return true;
        case platform::EventKind::Drop:
            HandleDrop(event.id, event.type);
            return true;
        default:
            return true;
    }
}

void OnPortChanged() {
    ShellState& state = State();
    if (state.portChangeRunning) return;
    state.portChangeRunning = true;
    // The monitor reads the name when it sees the flag: name first.
    monitor::SetPortName(SelectedPortName());
    monitor::Settings().portChanged = 1;
    SaveSettings();
    state.portChangeRunning = false;
}

void OnSensorsUpdated() {
    RefreshSensorView(RefreshMode::Merge);
}

void OnServerTimer() {
    web::ServiceStatusServer();
}

}  // namespace shell
