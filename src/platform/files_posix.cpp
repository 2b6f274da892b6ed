// 32-bit glibc targets keep a 32-bit time_t and off_t unless asked; both must be
// 64-bit so that time stamps after 19 January 2038 and files over 2 GiB work.
// They must be set before the first system header.
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64

#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <utility>

namespace platform {
namespace {

static_assert(sizeof(time_t) >= 8, "time stamps after 2038 need a 64-bit time_t");

// Linux's own limit of links followed while resolving one path.
constexpr int maxLinkDepth = 40;

// Closes a descriptor on every return path.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int value) : fd(value) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows symbolic links at `path` so that the file they point to is replaced
// and the links themselves survive. A link to a missing file resolves to where
// that file would be. False for a loop of links or an unreadable link.
bool resolveLinks(const char* path, std::string& target) {
    target = path;
    for (int depth = 0; depth < maxLinkDepth; ++depth) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        std::string link(static_cast<std::size_t>(info.st_size) + 256, '\0');
        const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= link.size()) return false;
        link.resize(static_cast<std::size_t>(length));
        target = link.front() == '/' ? link : directoryOf(target) + "/" + link;
    }
    return false;
}

// An existing file is replaced only when it could be opened for writing as it
// is. The mode bits are checked by hand because the superuser passes access()
// whatever they say, and a file the user marked read-only must stay as it is.
bool mayReplace(const std::string& target, struct stat& info, bool& exists) {
    if (::stat(target.c_str(), &info) != 0) {
        exists = false;
        return errno == ENOENT;
    }
    exists = true;
    if (!S_ISREG(info.st_mode)) return false;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return ::access(target.c_str(), W_OK) == 0;
}

// A name no other writer uses: the target's name, the process id and a count.
int createTemporary(const std::string& target, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + ".tmp" + std::to_string(::getpid()) + "_" +
                    std::to_string(counter.fetch_add(1));
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Makes the rename itself survive a power cut; failure only weakens that.
void syncDirectory(const std::string& directory) {
    Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0) (void)::fsync(dir.fd);
}

bool writeTemporary(int fd, std::string_view bytes, bool exists, const struct stat& old) {
    if (exists) {
        // The replacement keeps the old file's permissions and, where allowed, owner.
        if (::fchmod(fd, old.st_mode & 07777) != 0) return false;
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
    }
    return writeAll(fd, bytes) && ::fsync(fd) == 0;
}

// A process that is gone cannot finish its save; one that runs (another
// instance on the same folder, mid-save) must keep its temporary file.
bool processRuns(std::uint64_t processId) {
    if (processId == 0 || processId > static_cast<std::uint64_t>(INT32_MAX)) return false;
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

// A file its owner made read-only is not appended to, whoever runs: the
// superuser would pass the system's own check whatever the bits say.
bool ownerMayWrite(const struct stat& info) {
    return S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) != 0;
}

// Nor is a new log created in a folder the user made read-only.
bool folderMarkedWritable(const std::string& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) != 0 ||
           (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

void fromTm(const struct tm& broken, LocalTime& time) {
    time.year = broken.tm_year + 1900;
    time.month = broken.tm_mon + 1;
    time.day = broken.tm_mday;
    time.hour = broken.tm_hour;
    time.minute = broken.tm_min;
    time.second = broken.tm_sec;
}

}  // namespace

bool ReadWholeFile(const char* path, std::string& bytes) {
    // O_NONBLOCK so that a FIFO under this name cannot hang the caller.
    Descriptor file(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.fd < 0) return false;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (static_cast<std::uint64_t>(info.st_size) > maxReadBytes) return false;
    std::string content;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        if (content.size() + static_cast<std::size_t>(got) > maxReadBytes) return false;
        content.append(chunk, static_cast<std::size_t>(got));
    }
    bytes = std::move(content);
    return true;
}

bool ReplaceFileWhole(const char* path, std::string_view bytes) {
    std::string target;
    if (!resolveLinks(path, target)) return false;
    struct stat old {};
    bool exists = false;
    if (!mayReplace(target, old, exists)) return false;

    std::string temporary;
    Descriptor file(createTemporary(target, temporary));
    if (file.fd < 0) return false;
    bool ok = writeTemporary(file.fd, bytes, exists, old);
    ok = (::close(file.release()) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncDirectory(directoryOf(target));
    return true;
}

void RemoveLeftoverTemporaries(const char* path) {
    // The temporaries lie beside the file a link leads to, where the save
    // wrote them.
    std::string target;
    if (!resolveLinks(path, target)) return;
    const std::string directory = directoryOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    DIR* folder = ::opendir(directory.c_str());
    if (folder == nullptr) return;
    while (const dirent* entry = ::readdir(folder)) {
        std::uint64_t owner = 0;
        if (!IsTemporaryOf(entry->d_name, name, owner) || processRuns(owner)) continue;
        const std::string leftover = directory + "/" + entry->d_name;
        struct stat info {};
        if (::lstat(leftover.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            (void)::unlink(leftover.c_str());
        }
    }
    ::closedir(folder);
}

bool OpenLockedForAppend(const char* path, AppendFile& file, std::uint64_t& sizeBytes) {
    CloseFile(file);
    // Opening a device can act on it (a serial port raises DTR), so anything
    // but a regular file is turned away before it is opened; O_NONBLOCK and
    // O_NOCTTY cover a swap in between, and fstat below turns it away after.
    struct stat before {};
    if (::stat(path, &before) == 0) {
        if (!ownerMayWrite(before)) return false;
    } else if (!folderMarkedWritable(directoryOf(path))) {
        return false;
    }
    Descriptor opened(
        ::open(path, O_RDWR | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (opened.fd < 0) return false;
    struct stat info {};
    if (::fstat(opened.fd, &info) != 0 || !ownerMayWrite(info)) return false;
    // A regular file ignores O_NONBLOCK; cleared all the same, so that no
    // write can ever come back half done for want of waiting.
    if (::fcntl(opened.fd, F_SETFL, O_APPEND) != 0) return false;
    // flock belongs to the open file description, so a second opening in this
    // same process is shut out as well as other processes.
    while (::flock(opened.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) return false;
    }
    if (::fstat(opened.fd, &info) != 0) return false;
    sizeBytes = static_cast<std::uint64_t>(info.st_size);
    file.descriptor = opened.release();
    return true;
}

bool AppendBytes(AppendFile& file, std::string_view bytes) {
    return file.isOpen() && writeAll(file.descriptor, bytes);
}

void CloseFile(AppendFile& file) {
    if (file.descriptor >= 0) ::close(std::exchange(file.descriptor, -1));
}

bool LocalTimeAt(std::int64_t unixSeconds, LocalTime& time) {
    const time_t seconds = static_cast<time_t>(unixSeconds);
    struct tm broken {};
    if (::localtime_r(&seconds, &broken) == nullptr) return false;
    fromTm(broken, time);
    return true;
}

bool LocalTimeNow(LocalTime& time) {
    return LocalTimeAt(static_cast<std::int64_t>(::time(nullptr)), time);
}

}  // namespace platform
