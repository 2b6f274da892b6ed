#pragma once
// Judging a reading against the user's permitted range, and its log line.
// Monitor thread only.
#include <cstdint>
#include <string>

#include "monitor/mailbox.h"

namespace monitor {

// The reading truncated toward zero to whole degrees, compared with both
// bounds inclusive; always within when the control is off.
bool WithinLimits(float celsius, bool controlOn, std::int16_t minC, std::int16_t maxC);

// Paints `cell` DefaultColor or AlarmColor by the current AppSettings and
// counts an alarm in `alarmCount`. Marks the cell and pending rows changed.
void CheckLimits(float celsius, SensorCell& cell, int& alarmCount, MonitorMailbox& pending);

// "28-00000B013C5A-14  —  21.3 °C".
std::string ReadingLogText(const RomCode& rom, float celsius);

// Hands the reading's line to the event log.
void LogReading(const RomCode& rom, float celsius);

}  // namespace monitor
