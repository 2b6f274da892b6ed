// Where an installed kelvarian.exe keeps its files on Windows: the setup puts
// it where a user may not write (Program Files) or where nothing should be
// written but the program (%LOCALAPPDATA%\Programs\Kelvarian); its settings
// and log then live in %APPDATA%\Kelvarian. A copy elsewhere keeps them beside
// itself, as it always did.
#include <windows.h>
// After windows.h, which they build on.
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "platform/files_folder.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

// The setup's uninstaller; a folder holding it was installed into, whichever
// folder the user chose on the setup's page.
constexpr const wchar_t* UninstallerName = L"Uninstall Kelvarian.exe";

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path))) folder = path;
    CoTaskMemFree(path);
    return folder;
}

// A full path without a trailing separator, so that two spellings of one
// folder compare equal; empty when it cannot be made.
std::wstring Normalised(const std::wstring& folder) {
    if (folder.empty()) return {};
    const DWORD size = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(folder.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return {};
    full.resize(length);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return full;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && !b.empty() &&
           CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool InSetupFolder(const std::wstring& folder) {
    if (folder.empty()) return false;
    const std::wstring perUser = KnownFolder(FOLDERID_LocalAppData);
    const std::wstring allUsers = KnownFolder(FOLDERID_ProgramFiles);
    return (!perUser.empty() &&
            SameFolder(folder, Normalised(perUser + L"\\Programs\\Kelvarian"))) ||
           (!allUsers.empty() && SameFolder(folder, Normalised(allUsers + L"\\Kelvarian"))) ||
           IsFile(folder + L"\\" + UninstallerName);
}

// Whether a file can be created there, asked by trying: the folder's access
// list, a read-only medium and the rights of this process all decide, and the
// manifest's asInvoker keeps Windows from redirecting the try elsewhere.
bool MayCreateFilesIn(const std::wstring& folder) {
    if (folder.empty()) return false;
    const std::wstring probe =
        folder + L"\\Kelvarian-" + std::to_wstring(GetCurrentProcessId()) + L".probe";
    const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
    CloseHandle(file);
    return true;
}

}  // namespace

FilesFolderFacts GatherFilesFolderFacts(const std::string& executableFolder, const std::string&) {
    FilesFolderFacts facts;
    facts.executableFolder = executableFolder;
    const std::wstring folder = Normalised(WideFromUtf8(executableFolder));
    if (InSetupFolder(folder)) {
        // The shell compares the two as given: the same text when they are
        // one folder. Nothing is written there, not even the writing test.
        facts.installBinFolder = executableFolder;
    } else {
        facts.executableFolderWritable = MayCreateFilesIn(folder);
    }
    const std::wstring roaming = KnownFolder(FOLDERID_RoamingAppData);
    if (!roaming.empty()) facts.userFilesFolder = Utf8FromWide(roaming + L"\\Kelvarian");
    return facts;
}

bool PathTaken(const char* path) {
    if (GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

FolderAccess MakeFolder(const std::string& folder) {
    const std::wstring wide = WideFromUtf8(folder);
    if (wide.empty()) return FolderAccess::Unusable;
    // SHCreateDirectoryExW makes the missing parents too; the new folder
    // inherits the user's own access list from %APPDATA%.
    const int made = SHCreateDirectoryExW(nullptr, wide.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        return FolderAccess::Unusable;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return FolderAccess::Unusable;
    }
    return MayCreateFilesIn(wide) ? FolderAccess::Writable : FolderAccess::ReadOnly;
}

// Share mode 0 keeps every other opener out, in this process and in others,
// while the handle is open; the handle is never closed, so the system closes
// it when the process ends, however it ends.
FolderLock LockForProcessLife(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return FolderLock::NotAFile;
    }
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        if (GetFileType(file) == FILE_TYPE_DISK) return FolderLock::Taken;
        CloseHandle(file);
        return FolderLock::NotAFile;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION ? FolderLock::HeldByAnother
                                                     : FolderLock::Unavailable;
}

}  // namespace platform
