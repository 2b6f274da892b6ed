#include "shell/commands.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/window/window.h"
#include "shell/sensor_view.h"
#include "shell/shell_state.h"

namespace shell {
namespace {

bool HoldsRecord(int row) {
    return row >= 0 && row < static_cast<int>(State().sensors.size());
}

}  // namespace

void ShowAbout() {
    platform::ShowMessageBox("О программе",
                             "Мониторинг температуры с использованием DS18x20.\n"
                             "E-Mail: kelvarian@users.noreply.example");
}

void RenameSensor(int row) {
    if (!HoldsRecord(row)) return;
    const std::string current =
        State().sensors[static_cast<std::size_t>(row)].cells[monitor::Name].text;
    std::string name = platform::PromptText("Выбор имени датчика", "", current);
    if (name.empty()) return;
    // Merges run while the prompt is open; look the record up again.
    if (!HoldsRecord(row)) return;
    State().sensors[static_cast<std::size_t>(row)].cells[monitor::Name].text = std::move(name);
    RefreshSensorView(RefreshMode::Redraw);
}

void RemoveMissingSensors() {
    std::erase_if(State().sensors,
                  [](const monitor::SensorRecord& record) { return record.present == 0; });
    RefreshSensorView(RefreshMode::Redraw);
}

void MoveSensor(int source, int target) {
    if (!HoldsRecord(target) || !HoldsRecord(source)) return;
    monitor::SensorList& sensors = State().sensors;
    // Moving up inserts before the record at target, moving down after it;
    // either way the moved record ends at position target.
    monitor::SensorRecord moved = std::move(sensors[static_cast<std::size_t>(source)]);
    sensors.erase(sensors.begin() + source);
    sensors.insert(sensors.begin() + target, std::move(moved));
    RefreshSensorView(RefreshMode::Redraw);
}

}  // namespace shell
