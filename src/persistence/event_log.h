#pragma once
// Appends time-stamped lines to "DS18B20_Kelvarian.log" in the working
// directory. Only the monitor thread writes; the shell closes it at shutdown.
#include <string>
#include <string_view>

#include "platform/files.h"

namespace persistence {

inline constexpr const char* LogFileName = "DS18B20_Kelvarian.log";

// One line as written: "[DD/MM/YYYY HH:MM:SS]  " + the message with every LF and
// CR replaced by a space + CR LF. An empty message gives CR LF alone, no stamp.
std::string FormatLogLine(std::string_view utf8Message, const platform::LocalTime& time);

// Opens the file on first use (creating it with a byte order mark when new or
// empty, locked against other openers), then appends FormatLogLine of the
// message at the local time now. Every line has reached the operating system
// when this returns. Failures drop the line; the next call retries the opening.
void WriteLogLine(std::string_view utf8Message);

// Closes the file when it is open; the next WriteLogLine opens it again.
void CloseLog();

}  // namespace persistence
