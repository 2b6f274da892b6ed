#pragma once
// Where the program keeps "Kelvarian.ini", "DS18B20_Kelvarian.log" and the
// COMn links. A portable copy (a build folder, a folder of its own) keeps
// them beside itself. An installed program, whose folder is the install's bin
// folder or may not be written, keeps them in the user's configuration folder,
// the superuser included, so that no save is dropped without a word and
// nothing is written into /usr/bin.
#include <string>

#include "platform/files_folder.h"

namespace shell {

// Under the folder in use: held by the running instance.
inline constexpr const char* SettingsLockFileName = "Kelvarian.lock";

struct FilesPlace {
    std::string folder;       // the working directory: saves, the log, the COMn links
    std::string presetFile;   // read when `folder` has no settings file; empty: none
    bool installed = false;   // the folder in use is named on standard error
    bool userFolder = false;  // the user's own, not the program's folder
    bool readOnly = false;    // `folder` may not be written: read, and no save is tried
};

// The executable lies in the install's bin folder, or may not write beside itself.
bool RunsInstalled(const platform::FilesFolderFacts& facts);
// The system's own folder for it when it names one (Windows), else
// $XDG_CONFIG_HOME/kelvarian, else $HOME/.config/kelvarian; a relative value
// counts as unset (the XDG rule); empty when neither gives a folder.
std::string UserFilesFolder(const platform::FilesFolderFacts& facts);
// `userFolder`: how UserFilesFolder can be used, once created when missing.
// One that exists but may not be written is still the user's: its settings
// are read and nothing is saved. Installed without one at all, the program
// runs beside itself as before, read-only when it may not write there.
FilesPlace ChooseFilesPlace(const platform::FilesFolderFacts& facts,
                            platform::FolderAccess userFolder);

// The place for this run, creating the user's folder when the rule picks it.
FilesPlace FindFilesPlace();

// Names an installed program's folder on standard error, says so there when
// the changes of this run will not be saved, takes the folder's lock (one
// instance per folder) and makes the folder the working directory. false when
// another instance holds the lock (it says so on standard error and, when
// `tellInBox`, in a message box), or when something other than a file is
// under the lock's name (on standard error).
[[nodiscard]] bool EnterFilesPlace(const FilesPlace& place, bool tellInBox);

}  // namespace shell
