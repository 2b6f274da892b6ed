// The alert command of the Windows tests: appends one line per run to the
// file its last argument names, with its other arguments as Windows split
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
    // Appending access only: runs that overlap each add their whole line.
    const HANDLE file =
        CreateFileW(words[count - 1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    const std::string bytes = utf8Of(line);
    DWORD written = 0;
    const bool wrote =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    CloseHandle(file);
    return wrote && written == bytes.size() ? 0 : 4;
}
