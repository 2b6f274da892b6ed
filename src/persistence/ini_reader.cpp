#include "persistence/ini_reader.h"

#include <algorithm>
#include <limits>

#include "platform/utf8.h"

namespace persistence {
namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view blanks = " \t";

std::string foldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::string_view trimLeft(std::string_view text, std::string_view chars) {
    const std::size_t first = text.find_first_not_of(chars);
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

std::string_view trimRight(std::string_view text, std::string_view chars) {
    const std::size_t last = text.find_last_not_of(chars);
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// Digits up to the first other character, accumulated modulo 2^64.
std::uint64_t accumulateDigits(std::string_view text) {
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10u + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// Leading `skip` characters and an optional sign, removed from `value`; true
// for "-".
bool takeSign(std::string_view& value, std::string_view skip) {
    value = trimLeft(value, skip);
    if (value.empty() || (value.front() != '+' && value.front() != '-')) return false;
    const bool negative = value.front() == '-';
    value.remove_prefix(1);
    return negative;
}

// Digits up to the first other character, stopping once the value is beyond
// every 32-bit number, so that no count of digits can wrap it.
std::uint64_t accumulateDigitsBelow(std::string_view text, std::uint64_t limit) {
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > limit) break;
        value = value * 10u + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

void addLine(std::string_view line, IniFile& file, IniSection*& current) {
    line = trimLeft(line, blanks);
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') {
        const std::string_view name = line.substr(1, line.find(']', 1) - 1);
        const auto [group, isNew] = file.groups.try_emplace(foldCase(name));
        // A repeated group is never selected; its lines go nowhere.
        current = isNew ? &group->second : nullptr;
        return;
    }
    if (current == nullptr) return;
    const std::size_t equals = line.find('=');
    const std::string_view key = trimRight(line.substr(0, equals), blanks);
    const std::string_view value = equals == std::string_view::npos
                                       ? std::string_view{}
                                       : trimLeft(line.substr(equals + 1), blanks);
    current->try_emplace(foldCase(key), value);
}

}  // namespace

std::string DecodeIniBytes(std::string_view fileBytes) {
    if (fileBytes.substr(0, byteOrderMark.size()) == byteOrderMark) {
        return platform::ValidUtf8(fileBytes.substr(byteOrderMark.size()));
    }
    return latin1ToUtf8(fileBytes);
}

IniFile ParseIni(std::string_view utf8Text) {
    IniFile file;
    IniSection* current = &file.top;
    while (!utf8Text.empty()) {
        const std::size_t end = utf8Text.find_first_of("\r\n");
        // A CR LF pair leaves an empty line between CR and LF, which is skipped.
        addLine(utf8Text.substr(0, end), file, current);
        if (end == std::string_view::npos) break;
        utf8Text.remove_prefix(end + 1);
    }
    return file;
}

const IniSection* FindGroup(const IniFile& file, std::string_view name) {
    const auto found = file.groups.find(foldCase(name));
    return found == file.groups.end() ? nullptr : &found->second;
}

const std::string* FindKey(const IniSection* section, std::string_view key) {
    if (section == nullptr) return nullptr;
    const auto found = section->find(foldCase(key));
    return found == section->end() ? nullptr : &found->second;
}

std::int32_t ParseInt32(std::string_view value) {
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
    const bool negative = takeSign(value, " \t\v\f\r\n");
    const auto magnitude = static_cast<std::int64_t>(
        accumulateDigitsBelow(value, static_cast<std::uint64_t>(highest) + 1u));
    return static_cast<std::int32_t>(
        std::clamp(negative ? -magnitude : magnitude, lowest, highest));
}

std::int64_t ParseInt64(std::string_view value) {
    const bool negative = takeSign(value, blanks);
    const std::uint64_t magnitude = accumulateDigits(value);
    return static_cast<std::int64_t>(negative ? 0u - magnitude : magnitude);
}

std::string ReadText(const IniSection* section, std::string_view key, std::string_view fallback) {
    const std::string* value = FindKey(section, key);
    if (value == nullptr) return std::string(fallback);
    return std::string(trimRight(trimLeft(*value, blanks), blanks));
}

std::int32_t ReadInt32(const IniSection* section, std::string_view key, std::int32_t fallback) {
    const std::string* value = FindKey(section, key);
    return value == nullptr ? fallback : ParseInt32(*value);
}

std::int64_t ReadInt64(const IniSection* section, std::string_view key, std::int64_t fallback) {
    const std::string* value = FindKey(section, key);
    return value == nullptr ? fallback : ParseInt64(*value);
}

}  // namespace persistence
