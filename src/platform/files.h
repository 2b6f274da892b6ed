#pragma once
// Whole-file reads, crash-safe whole-file replacement, a locked append-only
// file and the local wall-clock time: the file operations the settings file
// and the event log need, without the operating system's headers.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Far above any real settings file; keeps a stray huge file from eating memory.
inline constexpr std::uint64_t maxReadBytes = 64u * 1024u * 1024u;

// Reads a regular file whole into `bytes`. False when it does not exist, is not
// a regular file (a FIFO would block), cannot be read, or exceeds maxReadBytes.
[[nodiscard]] bool ReadWholeFile(const char* path, std::string& bytes);

// Replaces the file at `path` with `bytes` so that no reader ever finds a part
// of it: the text goes to a temporary file beside the old one, is flushed to the
// disk and renamed over it. When `path` is a symbolic link, the file it points
// to is replaced and the link stays. False, with the disk as it was, when the
// file exists but may not be written (no write bit set, even for the superuser),
// is not a regular file, or the temporary file cannot be created, written or
// renamed.
[[nodiscard]] bool ReplaceFileWhole(const char* path, std::string_view bytes);

// Removes the temporary files that ReplaceFileWhole of `path` left behind when
// the process saving was killed: only names of its own form whose process no
// longer runs, and only regular files. Anything else beside `path` stays.
void RemoveLeftoverTemporaries(const char* path);

// Whether `name` is the form of ReplaceFileWhole's temporary files for a file
// named `target` (its name, ".tmp", a process id, "_", a count); `processId`
// gets the id. Shared by the systems' files.
[[nodiscard]] bool IsTemporaryOf(std::string_view name, std::string_view target,
                                 std::uint64_t& processId);

// A file opened for appending while holding its exclusive lock. Closes (and so
// unlocks) itself; move-only.
struct AppendFile {
    int descriptor = -1;  // opaque; -1 when closed

    AppendFile() = default;
    AppendFile(AppendFile&& other) noexcept;
    AppendFile& operator=(AppendFile&& other) noexcept;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile();

    [[nodiscard]] bool isOpen() const { return descriptor >= 0; }
};

// Opens `path` for reading and appending, creating it when missing and keeping
// its content, and takes its exclusive lock without waiting. False (and `file`
// closed) when it cannot be opened, is not a regular file (a FIFO or a device
// would block the writer or act on hardware; it is never opened as one), its
// owner may not write it or, when missing, its folder has no write bit (a file
// or folder the user made read-only, even for the superuser), or another
// opener, in this process or another, holds the lock. `sizeBytes` gets
// the file's size at opening.
[[nodiscard]] bool OpenLockedForAppend(const char* path, AppendFile& file,
                                       std::uint64_t& sizeBytes);

// Appends `bytes` at the file's end with a single system call (repeated only
// when the system writes less); the bytes have reached the operating system
// when this returns. False on a write error.
[[nodiscard]] bool AppendBytes(AppendFile& file, std::string_view bytes);

// Releases the lock and closes; does nothing when already closed.
void CloseFile(AppendFile& file);

// Broken-down local wall-clock time; month 1-12, day 1-31, hour 0-23.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The local time now / at `unixSeconds` (seconds since 1970-01-01 UTC, 64-bit,
// so dates after 19 January 2038 are formed correctly). False, `time` untouched,
// when the system cannot form it.
[[nodiscard]] bool LocalTimeNow(LocalTime& time);
[[nodiscard]] bool LocalTimeAt(std::int64_t unixSeconds, LocalTime& time);

}  // namespace platform
