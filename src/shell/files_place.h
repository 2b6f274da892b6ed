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
};

// The executable lies in the install's bin folder, or may not write beside itself.
bool RunsInstalled(const platform::FilesFolderFacts& facts);
// The system's own folder for it when it names one (Windows), else
// $XDG_CONFIG_HOME/kelvarian, else $HOME/.config/kelvarian; a relative value
// counts as unset (the XDG rule); empty when neither gives a folder.
std::string UserFilesFolder(const platform::FilesFolderFacts& facts);
// `userFolderReady`: UserFilesFolder exists, or was created, and may be
// written. Installed without it, the program runs beside itself as before.
FilesPlace ChooseFilesPlace(const platform::FilesFolderFacts& facts, bool userFolderReady);

// The place for this run, creating the user's folder when the rule picks it.
FilesPlace FindFilesPlace();

// Names an installed program's folder on standard error, takes the folder's
// lock (one instance per folder) and makes the folder the working directory. false when
// another instance holds the lock: it says so on standard error and, when
// `tellInBox`, in a message box.
[[nodiscard]] bool EnterFilesPlace(const FilesPlace& place, bool tellInBox);

}  // namespace shell
