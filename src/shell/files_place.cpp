#include "shell/files_place.h"

#include <cstdio>

#include "kelvarian_build_config.h"
#include "persistence/settings_file.h"
#include "platform/process.h"
#include "platform/window/window.h"
#include "shell/shell_state.h"

namespace shell {
namespace {

std::string WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

// Two instances on one folder would overwrite each other's saves.
bool ClaimFolder(const std::string& folder, bool tellInBox) {
    const std::string lockPath = folder + "/" + SettingsLockFileName;
    const platform::FolderLock lock = platform::LockForProcessLife(lockPath);
    if (lock == platform::FolderLock::NotAFile) {
        std::fprintf(stderr,
                     "kelvarian: %s is not a regular file, so another instance could not be kept "
                     "off the settings; remove it and start again\n",
                     lockPath.c_str());
        return false;
    }
    // Without a lock file (a full disk, say) this instance cannot tell; it runs.
    if (lock != platform::FolderLock::HeldByAnother) return true;
    std::fprintf(stderr, "kelvarian: Kelvarian уже запущен с настройками в папке %s\n",
                 folder.c_str());
    if (tellInBox) {
        platform::ShowMessageBox("Kelvarian",
                                 "Kelvarian уже запущен с настройками в папке\n" + folder);
    }
    return false;
}

}  // namespace

bool RunsInstalled(const platform::FilesFolderFacts& facts) {
    return !facts.executableFolderWritable ||
           (!facts.installBinFolder.empty() && WithoutTrailingSlashes(facts.executableFolder) ==
                                                   WithoutTrailingSlashes(facts.installBinFolder));
}

std::string UserFilesFolder(const platform::FilesFolderFacts& facts) {
    if (!facts.userFilesFolder.empty()) return facts.userFilesFolder;
    if (IsAbsolute(facts.configHome)) {
        return WithoutTrailingSlashes(facts.configHome) + "/kelvarian";
    }
    if (IsAbsolute(facts.home)) {
        return WithoutTrailingSlashes(facts.home) + "/.config/kelvarian";
    }
    return {};
}

FilesPlace ChooseFilesPlace(const platform::FilesFolderFacts& facts,
                            platform::FolderAccess userFolder) {
    FilesPlace place;
    place.folder = facts.executableFolder;
    place.installed = RunsInstalled(facts);
    if (!place.installed) return place;
    const std::string user = UserFilesFolder(facts);
    if (user.empty() || userFolder == platform::FolderAccess::Unusable) {
        place.readOnly = !facts.executableFolderWritable;
        return place;
    }
    place.folder = user;
    place.userFolder = true;
    place.readOnly = userFolder == platform::FolderAccess::ReadOnly;
    if (!facts.executableFolder.empty()) {
        // A system-wide preset beside the program, for users who have no file yet.
        place.presetFile =
            WithoutTrailingSlashes(facts.executableFolder) + "/" + persistence::SettingsFileName;
    }
    return place;
}

FilesPlace FindFilesPlace() {
    const platform::FilesFolderFacts facts =
        platform::GatherFilesFolderFacts(platform::ExecutableFolder(), build_config::InstallBinDir);
    const std::string user = RunsInstalled(facts) ? UserFilesFolder(facts) : std::string();
    return ChooseFilesPlace(
        facts, user.empty() ? platform::FolderAccess::Unusable : platform::MakeFolder(user));
}

bool EnterFilesPlace(const FilesPlace& place, bool tellInBox) {
    if (place.installed) {
        std::fprintf(stderr, "kelvarian: settings, log and COMn links in %s\n",
                     place.folder.c_str());
    }
    // Saving the defaults instead would be worse than saving nothing: the
    // user's file is still read, only its changes stay unsaved.
    if (place.readOnly) {
        std::fprintf(stderr,
                     "kelvarian: %s may not be written; the settings are read from it, but the "
                     "changes of this run will not be saved\n",
                     place.folder.c_str());
    }
    // A portable copy's folder too: a second copy started there would fail to
    // open the port and overwrite the first one's saves when it ends. A folder
    // nothing is saved to needs no lock: its instances cannot overwrite each
    // other's saves.
    if (!place.folder.empty() && !place.readOnly && !ClaimFolder(place.folder, tellInBox)) {
        return false;
    }
    // Opened by bare name from here on: the settings, the log and the COMn links.
    [[maybe_unused]] const bool entered = platform::SetWorkingDirectory(place.folder);
    State().presetSettingsFile = place.presetFile;
    State().savesOff = place.readOnly;
    return true;
}

}  // namespace shell
