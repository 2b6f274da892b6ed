#include "shell/reported_thermometers.h"

#include <set>
#include <string>

#include "monitor/thermometer.h"

namespace shell {

std::vector<std::size_t> ReportedThermometerRows(const monitor::SensorList& sensors,
                                                 const web::StatusSnapshot& snapshot) {
    std::vector<std::size_t> rows;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < sensors.size() && i < snapshot.sensors.size(); ++i) {
        const web::SensorSnapshot& sensor = snapshot.sensors[i];
        // An empty Status: the monitor has not reported on it yet, only the
        // file named it. A bus that is empty from the start reports no pass
        // but still marks its stored sensors "Не найден".
        if (!monitor::IsThermometer(sensors[i].rom[0]) || sensor.cells[web::kStatusCell].empty() ||
            !seen.insert(sensor.rom).second) {
            continue;
        }
        rows.push_back(i);
    }
    return rows;
}

}  // namespace shell
