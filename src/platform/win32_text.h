#pragma once
// UTF-8 texts as the wide (UTF-16) strings that the W functions of Windows
// take, and back. Internal to the Win32 platform files.
#include <string>
#include <string_view>

namespace platform {

// Bytes that are not UTF-8 become U+FFFD, so every text yields some name and
// never a shortened one.
std::wstring WideFromUtf8(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace platform
