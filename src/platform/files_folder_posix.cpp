#include "platform/files_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {
namespace {

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The folder with its links resolved, so that /bin/kelvarian on a system whose
// /bin links to /usr/bin is recognised; as given when it cannot be resolved.
std::string Resolved(const std::string& folder) {
    char resolved[PATH_MAX];
    if (folder.empty() || ::realpath(folder.c_str(), resolved) == nullptr) return folder;
    return resolved;
}

FolderAccess AccessTo(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        ::access(folder.c_str(), X_OK) != 0) {
        return FolderAccess::Unusable;
    }
    // The write bits are asked as well because the superuser passes access()
    // whatever they say.
    const bool writable =
        (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(folder.c_str(), W_OK) == 0;
    return writable ? FolderAccess::Writable : FolderAccess::ReadOnly;
}

bool IsWritableFolder(const std::string& folder) {
    return AccessTo(folder) == FolderAccess::Writable;
}

// Whether the owner of `path`, or of its nearest existing parent, is another
// user than this process; false for a relative or empty path.
bool BelongsToAnotherUser(std::string path) {
    if (path.empty() || path.front() != '/') return false;
    while (path != "/") {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) return info.st_uid != ::geteuid();
        const std::size_t slash = path.find_last_of('/');
        path.resize(slash == 0 ? 1 : slash);
    }
    return false;
}

std::string OwnHome() {
    const struct passwd* user = ::getpwuid(::geteuid());
    return user != nullptr && user->pw_dir != nullptr ? std::string(user->pw_dir) : std::string();
}

}  // namespace

FilesFolderFacts GatherFilesFolderFacts(const std::string& executableFolder,
                                        const std::string& installBinFolder) {
    FilesFolderFacts facts;
    facts.executableFolder = executableFolder;
    // access() asks for the real user, and says no on a read-only file system
    // even to the superuser.
    facts.executableFolderWritable =
        !facts.executableFolder.empty() && IsWritableFolder(facts.executableFolder);
    facts.installBinFolder = Resolved(installBinFolder);
    facts.configHome = EnvironmentText("XDG_CONFIG_HOME");
    facts.home = EnvironmentText("HOME");
    // The superuser run with another user's environment (sudo -E) would create
    // that user's settings folder, file and log as its own, and the user's
    // later runs could no longer save there: it keeps to its own home.
    if (::geteuid() == 0) {
        if (BelongsToAnotherUser(facts.configHome)) facts.configHome.clear();
        if (BelongsToAnotherUser(facts.home)) facts.home = OwnHome();
    }
    return facts;
}

bool PathTaken(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 || errno != ENOENT;
}

FolderAccess MakeFolder(const std::string& folder) {
    if (folder.empty()) return FolderAccess::Unusable;
    // Each missing step from the top down; 0700 as the XDG base directory
    // rules ask of a configuration folder that is created.
    std::size_t slash = 0;
    do {
        slash = folder.find('/', slash + 1);
        const std::string step = folder.substr(0, slash);
        struct stat info {};
        if (::stat(step.c_str(), &info) != 0 && ::mkdir(step.c_str(), 0700) != 0 &&
            errno != EEXIST) {
            return FolderAccess::Unusable;
        }
    } while (slash != std::string::npos);
    return AccessTo(folder);
}

FolderLock LockForProcessLife(const std::string& path) {
    // A folder, FIFO, device or link under the name would leave this instance
    // running unlocked beside another.
    struct stat named {};
    if (::lstat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) return FolderLock::NotAFile;
    // Read-only is enough for flock, so a lock file left by another user (the
    // superuser, say) still serves; O_NONBLOCK keeps a FIFO put under the name
    // meanwhile from hanging the start, and O_NOFOLLOW a link from being followed.
    const int fd = ::open(
        path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno == ELOOP || errno == EISDIR ? FolderLock::NotAFile : FolderLock::Unavailable;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool regular = S_ISREG(info.st_mode);
        ::close(fd);
        return regular ? FolderLock::Unavailable : FolderLock::NotAFile;
    }
    // flock belongs to the open file description: a second opening, in this
    // process or another, is refused while this one stays open.
    int locked = 0;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? FolderLock::HeldByAnother : FolderLock::Unavailable;
    }
    // Never closed: the descriptor, and with it the lock, lives as long as the
    // process.
    return FolderLock::Taken;
}

}  // namespace platform
