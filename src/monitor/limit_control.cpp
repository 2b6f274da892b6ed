#include "monitor/limit_control.h"

#include <cmath>

#include "monitor/app_settings.h"
#include "monitor/cell_edit.h"
#include "monitor/thermometer.h"
#include "persistence/event_log.h"

namespace monitor {

bool WithinLimits(float celsius, bool controlOn, std::int16_t minC, std::int16_t maxC) {
    if (!controlOn) return true;
    // Readings lie within -55..127 here, so the whole degrees fit any int.
    const auto whole = static_cast<int>(std::trunc(celsius));
    return minC <= whole && whole <= maxC;
}

void CheckLimits(float celsius, SensorCell& cell, int& alarmCount, MonitorMailbox& pending) {
    const AppSettings& settings = Settings();
    const bool within = WithinLimits(celsius, settings.thermoControl.load() != 0,
                                     settings.thermoMin.load(), settings.thermoMax.load());
    if (!within) ++alarmCount;
    SetCellColor(cell, within ? DefaultColor : AlarmColor, pending);
}

std::string ReadingLogText(const RomCode& rom, float celsius) {
    return FormatRomCode(rom) + "  —  " + FormatTemperature(celsius);
}

void LogReading(const RomCode& rom, float celsius) {
    persistence::WriteLogLine(ReadingLogText(rom, celsius));
}

}  // namespace monitor
