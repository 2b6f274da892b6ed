// Process services on Windows: the executable's folder, the working
// directory, console control events as termination requests, the final exit.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/process.h"
#include "platform/termination_requests.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

// Runs on a thread the system starts for the event. After a close, log-off
// or shutdown event returns, the system ends the process at once, so the
// handler waits there for the program's own shutdown to end it (the system
// gives it a few seconds); Ctrl+C and Ctrl+Break return.
BOOL WINAPI OnConsoleControl(DWORD event) {
    ReportTerminationRequest();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

std::string ExecutableFolder() {
    // Paths may exceed MAX_PATH; the buffer grows until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    const auto separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return {};
    // A drive's root keeps its separator: "C:\".
    const bool root = separator == 2 && path[1] == L':';
    return Utf8FromWide(std::wstring_view(path).substr(0, root ? separator + 1 : separator));
}

bool SetWorkingDirectory(const std::string& folder) {
    return !folder.empty() && SetCurrentDirectoryW(WideFromUtf8(folder).c_str()) != 0;
}

bool InstallTerminationSignals() {
    return SetConsoleCtrlHandler(&OnConsoleControl, TRUE) != 0;
}

// Like _exit on POSIX: no destructors, no DLL detach code that could wait for
// a lock the monitor thread still holds. Never TerminateThread.
void ExitProcessNow(int code) {
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ExitProcess(static_cast<UINT>(code));
}

}  // namespace platform
