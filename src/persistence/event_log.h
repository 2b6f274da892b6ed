#pragma once
// Appends time-stamped lines to "DS18B20_Kelvarian.log" in the working
// directory. Only the monitor thread writes; the shell closes it at shutdown.
#include <string_view>

namespace persistence {

inline constexpr const char* LogFileName = "DS18B20_Kelvarian.log";

// Opens the file on first use (creating it with a byte order mark when new or
// empty, locked against other processes), then appends "[DD/MM/YYYY HH:MM:SS]  "
// + the message with CR and LF replaced by spaces + CR LF. Every line has
// reached the operating system when this returns. Failures drop the line; the
// next call retries the opening.
void WriteLogLine(std::string_view utf8Message);

// Closes the file when it is open.
void CloseLog();

}  // namespace persistence
