#pragma once
// What decides where the program keeps its settings, its log and the COMn
// links, as this system sees it, whether a name there is taken, and the lock
// that keeps a second instance off a settings folder. The decision itself is
// the shell's.
#include <string>

namespace platform {

struct FilesFolderFacts {
    std::string executableFolder;           // links resolved; empty when unknown
    bool executableFolderWritable = false;  // this process may create files in it
    std::string installBinFolder;           // the one given, links resolved
    std::string configHome;                 // $XDG_CONFIG_HOME; empty when unset
    std::string home;                       // $HOME; empty when unset
    // The folder this system itself names for a user's files of the program
    // (%APPDATA%\Kelvarian on Windows); empty where the XDG rule decides.
    std::string userFilesFolder;
};

// `executableFolder` is ExecutableFolder(); `installBinFolder` is where an
// install puts the program, fixed at build time. For the superuser, an
// XDG_CONFIG_HOME or HOME in another user's folder (sudo -E keeps them) counts
// as unset, and the home is its own from the user database. On Windows the
// install folder is the setup's (per user under %LOCALAPPDATA%\Programs, for
// all users under Program Files, or any folder the setup's uninstaller lies
// in), given as `executableFolder` itself when the program lies there, and the
// user folder is the roaming application data one; `installBinFolder` is not
// used there.
FilesFolderFacts GatherFilesFolderFacts(const std::string& executableFolder,
                                        const std::string& installBinFolder);

// true when something is there under `path`, whatever it is (a file, a
// folder, a FIFO, a device, a link to one), or when it cannot be told; false
// only when nothing is, a link that leads nowhere included. A file that could
// not be read but is there must not be replaced as if it were missing.
[[nodiscard]] bool PathTaken(const char* path);

enum class FolderAccess {
    Unusable,  // not there and cannot be made, not a folder, or cannot be entered
    ReadOnly,  // its files can be read, but nothing may be created or replaced in it
    Writable,  // this process may create files in it
};

// Creates `folder` and its missing parents, readable by the user only, and
// tells how this process may use it then. A folder without any write bit is
// read-only even for the superuser, who would pass the system's own check:
// the user marked it so.
[[nodiscard]] FolderAccess MakeFolder(const std::string& folder);

enum class FolderLock {
    Taken,          // held by this process until it ends
    HeldByAnother,  // another opener holds it: another instance runs
    NotAFile,       // something else is under the name (a folder, a FIFO, a link)
    Unavailable,    // the file cannot be created, opened or locked
};

// Takes the exclusive lock of the file at `path`, created when missing, without
// waiting, and holds it until the process ends: the system drops it then, also
// after a crash, so a lock never outlives its holder. A second take in the same
// process is refused like one from another process. Only a regular file is
// taken, never through a symbolic link: whatever else is under the name could
// not keep another instance out.
[[nodiscard]] FolderLock LockForProcessLife(const std::string& path);

}  // namespace platform
