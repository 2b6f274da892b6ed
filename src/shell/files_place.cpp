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
    const platform::FolderLock lock =
        platform::LockForProcessLife(folder + "/" + SettingsLockFileName);
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

FilesPlace ChooseFilesPlace(const platform::FilesFolderFacts& facts, bool userFolderReady) {
    FilesPlace place;
    place.folder = facts.executableFolder;
    place.installed = RunsInstalled(facts);
    if (!place.installed || !userFolderReady) return place;
    place.folder = UserFilesFolder(facts);
    place.userFolder = !place.folder.empty();
    if (!place.userFolder) {
        place.folder = facts.executableFolder;
    } else if (!facts.executableFolder.empty()) {
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
    return ChooseFilesPlace(facts, !user.empty() && platform::MakeWritableFolder(user));
}

bool EnterFilesPlace(const FilesPlace& place, bool tellInBox) {
    if (place.installed) {
        std::fprintf(stderr, "kelvarian: settings, log and COMn links in %s\n",
                     place.folder.c_str());
    }
    // A portable copy's folder too: a second copy started there would fail to
    // open the port and overwrite the first one's saves when it ends.
    if (!place.folder.empty() && !ClaimFolder(place.folder, tellInBox)) return false;
    // Opened by bare name from here on: the settings, the log and the COMn links.
    [[maybe_unused]] const bool entered = platform::SetWorkingDirectory(place.folder);
    State().presetSettingsFile = place.presetFile;
    return true;
}

}  // namespace shell
