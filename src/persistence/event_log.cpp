#include "persistence/event_log.h"

#include <cstdio>
#include <mutex>

namespace persistence {
namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// The open log. Lines come from the monitor thread and CloseLog from the
// user-interface thread after that thread should have ended; the lock keeps a
// late line of a thread that did not end from writing through a descriptor
// number that the close has already handed back to the system for reuse.
struct EventLog {
    std::mutex lock;
    platform::AppendFile file;
};
EventLog eventLog;

bool openLog(platform::AppendFile& file) {
    std::uint64_t sizeBytes = 0;
    if (!platform::OpenLockedForAppend(LogFileName, file, sizeBytes)) return false;
    // A file emptied by someone else is marked as UTF-8 again; a non-empty file
    // is only appended to, whatever it holds.
    if (sizeBytes == 0) (void)platform::AppendBytes(file, byteOrderMark);
    return true;
}

std::string timeStamp(const platform::LocalTime& time) {
    char text[80];
    std::snprintf(text, sizeof text, "[%02d/%02d/%04d %02d:%02d:%02d]  ", time.day, time.month,
                  time.year, time.hour, time.minute, time.second);
    return text;
}

}  // namespace

std::string FormatLogLine(std::string_view utf8Message, const platform::LocalTime& time) {
    std::string line;
    if (!utf8Message.empty()) {
        line = timeStamp(time);
        for (const char c : utf8Message) line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    line += "\r\n";
    return line;
}

void WriteLogLine(std::string_view utf8Message) {
    platform::LocalTime now;  // all zero when the clock cannot be read
    (void)platform::LocalTimeNow(now);
    const std::string line = FormatLogLine(utf8Message, now);
    const std::lock_guard<std::mutex> guard(eventLog.lock);
    if (!eventLog.file.isOpen() && !openLog(eventLog.file)) return;
    (void)platform::AppendBytes(eventLog.file, line);
}

void CloseLog() {
    const std::lock_guard<std::mutex> guard(eventLog.lock);
    platform::CloseFile(eventLog.file);
}

}  // namespace persistence
