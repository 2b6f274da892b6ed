// On Windows the program keeps its files beside the .exe, as it always did:
// the facts are made so that the shell's rule keeps that folder. The lock is
// still real, for a caller that asks for one.
#include <windows.h>

#include "platform/files_folder.h"
#include "platform/win32_text.h"

namespace platform {

FilesFolderFacts GatherFilesFolderFacts(const std::string& executableFolder, const std::string&) {
    FilesFolderFacts facts;
    facts.executableFolder = executableFolder;
    facts.executableFolderWritable = true;
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
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return FolderAccess::Unusable;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    const bool folderThere =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return folderThere ? FolderAccess::Writable : FolderAccess::Unusable;
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
