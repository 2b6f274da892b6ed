#pragma once
// Times for the answers of the status server, in the computer's local time.
#include <cstdint>
#include <string>

#include "platform/files.h"  // LocalTime

namespace web {

// ISO 8601 with the offset from UTC, "2026-12-07T22:05:09+03:00", for the
// moment `unixSeconds` whose local time is `local`.
[[nodiscard]] std::string IsoTimeText(std::int64_t unixSeconds, const platform::LocalTime& local);
// The same for the local time the system gives for `unixSeconds`; the UTC
// form ("...Z") when the system cannot give one.
[[nodiscard]] std::string IsoTimeText(std::int64_t unixSeconds);
// Local time minus UTC at `unixSeconds`, in seconds; 0 when the system cannot
// tell.
[[nodiscard]] std::int64_t UtcOffsetSeconds(std::int64_t unixSeconds);
// "22:05", local hours and minutes at `unixSeconds`.
[[nodiscard]] std::string ClockText(std::int64_t unixSeconds);

}  // namespace web
