// The alert command of the Windows tests: writes one line per run into a file
// of its own beside the path its last argument names (that path, a dot, the
// process id and a number), with its other arguments as Windows split
// them and the details from its environment, all '|'-separated, in UTF-8.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <string>

namespace {

std::string utf8Of(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// "(unset)" tells a missing variable from an empty one.
std::wstring variable(const wchar_t* name) {
    wchar_t value[4096];
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableW(name, value, 4096);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return L"(unset)";
    return std::wstring(value, length < 4096 ? length : 0);
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr || count < 2) return 2;
    std::wstring line;
    for (int i = 1; i + 1 < count; ++i) line += std::wstring(words[i]) + L"|";
    for (const wchar_t* name :
         {L"KELVARIAN_NAME", L"KELVARIAN_ROM", L"KELVARIAN_STATE", L"KELVARIAN_PREVIOUS",
          L"KELVARIAN_TEMPERATURE", L"KELVARIAN_MESSAGE"}) {
        line += variable(name) + L"|";
    }
    line.back() = L'\n';
    // A file per run: overlapping appends to one file lost a line under Wine
    // on a busy machine, which the test took for a lost announcement. Process
    // ids come back, so a taken name is never overwritten.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int n = 0; file == INVALID_HANDLE_VALUE && n < 1000; ++n) {
        const std::wstring path = std::wstring(words[count - 1]) + L"." +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(n);
        file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) return 3;
    const std::string bytes = utf8Of(line);
    DWORD written = 0;
    const bool wrote =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    CloseHandle(file);
    return wrote && written == bytes.size() ? 0 : 4;
}
