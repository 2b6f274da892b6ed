// Commands on Windows: CreateProcessW with the line as given (the started
// program splits it, as every Windows program does), never through cmd.exe.
#include <windows.h>

#include "platform/command.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

bool replaced(std::wstring_view entry, const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
        if (entry.size() > name.size() && entry[name.size()] == L'=' &&
            CompareStringOrdinal(entry.data(), static_cast<int>(name.size()), name.data(),
                                 static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

// The process's block with `extra` set: entries "NAME=value", each ended by
// a zero, the whole ended by one more.
std::wstring environmentBlock(const Environment& extra) {
    std::vector<std::wstring> names;
    for (const auto& entry : extra) names.push_back(WideFromUtf8(entry.first));
    std::wstring block;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = own; *entry != L'\0'; entry += wcslen(entry) + 1) {
            if (!replaced(entry, names)) {
                block += entry;
                block += L'\0';
            }
        }
        FreeEnvironmentStringsW(own);
    }
    for (const auto& [name, value] : extra) {
        block += WideFromUtf8(name + "=" + value);
        block += L'\0';
    }
    block += L'\0';
    return block;
}

}  // namespace

CommandRun StartCommand(const std::string& commandLine, const Environment& extra) {
    std::wstring line = WideFromUtf8(commandLine);
    if (line.find_first_not_of(L" \t") == std::wstring::npos) return {};
    std::wstring environment = environmentBlock(extra);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(), nullptr,
                        &startup, &started)) {
        return {};
    }
    CloseHandle(started.hThread);
    return CommandRun{reinterpret_cast<std::intptr_t>(started.hProcess)};
}

CommandState PollCommand(CommandRun& run) {
    if (!run.valid()) return CommandState::Failed;
    const HANDLE process = reinterpret_cast<HANDLE>(run.id);
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) return CommandState::Running;
    DWORD code = 1;
    const bool read = GetExitCodeProcess(process, &code) != 0;
    CloseHandle(process);
    run = {};
    return read && code == 0 ? CommandState::Succeeded : CommandState::Failed;
}

}  // namespace platform
