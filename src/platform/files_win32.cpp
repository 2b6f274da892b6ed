// Files on Windows: UTF-8 paths as wide strings (a folder such as
// C:\Датчики works), whole-file replacement through a flushed temporary file
// and one rename, and a log file opened without any sharing.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

// Closes a handle on every return path.
struct Handle {
    HANDLE value;
    explicit Handle(HANDLE opened) : value(opened) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) CloseHandle(value);
    }
    [[nodiscard]] bool valid() const { return value != INVALID_HANDLE_VALUE; }
    HANDLE release() { return std::exchange(value, INVALID_HANDLE_VALUE); }
};

// Kernel handles have only 32 significant bits, in 64-bit processes too
// (Windows keeps them so for 32/64-bit interoperation), so AppendFile's int
// holds one whole, and INVALID_HANDLE_VALUE becomes its -1, "closed".
int descriptorOf(HANDLE handle) {
    return HandleToLong(handle);
}

HANDLE handleOf(int descriptor) {
    return LongToHandle(descriptor);
}

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// An existing file is replaced only when it is a file the user has not marked
// read-only; a missing one may be created.
bool mayReplace(const std::wstring& target) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

// A name no other writer uses: the target's name, the process id and a count.
HANDLE createTemporary(const std::wstring& target, std::wstring& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                    std::to_wstring(counter.fetch_add(1));
        const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A process that is gone cannot finish its save; one that runs (another
// instance on the same folder, mid-save) must keep its temporary file.
bool processRuns(std::uint64_t processId) {
    if (processId == 0 || processId > 0xFFFFFFFFu) return false;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

void fromSystemTime(const SYSTEMTIME& system, LocalTime& time) {
    time.year = system.wYear;
    time.month = system.wMonth;
    time.day = system.wDay;
    time.hour = system.wHour;
    time.minute = system.wMinute;
    time.second = system.wSecond;
}

}  // namespace

bool ReadWholeFile(const char* path, std::string& bytes) {
    Handle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    // A device or pipe under this name (CON, a named pipe) could block the caller.
    if (GetFileType(file.value) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.value, &size) || static_cast<std::uint64_t>(size.QuadPart) > maxReadBytes) {
        return false;
    }
    std::string content;
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.value, chunk, sizeof chunk, &got, nullptr)) return false;
        if (got == 0) break;
        if (content.size() + got > maxReadBytes) return false;
        content.append(chunk, got);
    }
    bytes = std::move(content);
    return true;
}

// The temporary file reaches the disk before it takes the old file's name,
// and the rename itself is written through, so that a crash or power cut at
// any moment leaves either the old file or the new one, never a part.
bool ReplaceFileWhole(const char* path, std::string_view bytes) {
    const std::wstring target = WideFromUtf8(path);
    if (target.empty() || !mayReplace(target)) return false;
    std::wstring temporary;
    Handle file(createTemporary(target, temporary));
    if (!file.valid()) return false;
    bool ok = writeAll(file.value, bytes) && FlushFileBuffers(file.value);
    ok = CloseHandle(file.release()) && ok;
    ok = ok && MoveFileExW(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(temporary.c_str());
    return ok;
}

void RemoveLeftoverTemporaries(const char* path) {
    const std::string target(path);
    const std::size_t slash = target.find_last_of("\\/");
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(WideFromUtf8(target + ".tmp*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::uint64_t owner = 0;
        const std::string entry = Utf8FromWide(found.cFileName);
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                0 ||
            !IsTemporaryOf(entry, name, owner) || processRuns(owner)) {
            continue;
        }
        DeleteFileW(WideFromUtf8(folder + entry).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Share mode 0 keeps every other opener out, in this process and in others,
// for as long as the handle is open. Asking for appending (FILE_APPEND_DATA
// without FILE_WRITE_DATA) makes every write land at the file's end.
bool OpenLockedForAppend(const char* path, AppendFile& file, std::uint64_t& sizeBytes) {
    CloseFile(file);
    Handle opened(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | FILE_APPEND_DATA, 0,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened.valid()) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(opened.value, &size)) return false;
    sizeBytes = static_cast<std::uint64_t>(size.QuadPart);
    file.descriptor = descriptorOf(opened.release());
    return true;
}

bool AppendBytes(AppendFile& file, std::string_view bytes) {
    return file.isOpen() && writeAll(handleOf(file.descriptor), bytes);
}

void CloseFile(AppendFile& file) {
    if (file.descriptor >= 0) CloseHandle(handleOf(std::exchange(file.descriptor, -1)));
}

bool LocalTimeAt(std::int64_t unixSeconds, LocalTime& time) {
    // FILETIME counts 100 ns steps from 1 January 1601 UTC.
    constexpr std::int64_t secondsFrom1601To1970 = 11644473600;
    constexpr std::int64_t stepsPerSecond = 10000000;
    constexpr std::int64_t lastSecond = INT64_MAX / stepsPerSecond - secondsFrom1601To1970;
    if (unixSeconds < -secondsFrom1601To1970 || unixSeconds > lastSecond) return false;
    const auto steps =
        static_cast<std::uint64_t>((unixSeconds + secondsFrom1601To1970) * stepsPerSecond);
    FILETIME utcFile{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return false;
    }
    fromSystemTime(local, time);
    return true;
}

bool LocalTimeNow(LocalTime& time) {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    fromSystemTime(local, time);
    return true;
}

}  // namespace platform
