#pragma once
// Generic reading of an INI-style text as the settings file uses it: line
// structure, groups, keys, and the number and text forms of a value. Knows no
// key of the settings file.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace persistence {

// Keys of one group (or the top section), folded to lower case, each mapped to
// the first value given for it, leading spaces and tabs removed.
using IniSection = std::unordered_map<std::string, std::string>;

struct IniFile {
    IniSection top;                                      // key lines before the first group
    std::unordered_map<std::string, IniSection> groups;  // first group of each folded name
};

// The file's bytes as UTF-8. After a leading byte order mark EF BB BF the rest
// is UTF-8 (invalid sequences become U+FFFD); without it every byte is the code
// point of the same value (ISO 8859-1).
std::string DecodeIniBytes(std::string_view fileBytes);

// Splits at CR, LF or CR LF; skips empty lines, leading spaces and tabs, and ";"
// comments; "[name" or "[name]..." opens a group; other lines are "key = value"
// (no "=" gives an empty value). Later groups of an already seen name, and later
// lines of a key already seen in its section, are never found.
IniFile ParseIni(std::string_view utf8Text);

// nullptr when the file has no group of this name (A-Z compared without case).
const IniSection* FindGroup(const IniFile& file, std::string_view name);

// The raw value of `key` in `section` (nullptr section: no such group), or
// nullptr when the key is missing.
const std::string* FindKey(const IniSection* section, std::string_view key);

// Optional leading white space, an optional sign, then decimal digits up to the
// first other character; no digits gives 0. A number beyond 32 bits stays at
// the nearest 32-bit limit: "Count = 2147483648" must not wrap to a negative
// count that loads no sensor, and no 32-bit key takes a value it was not near.
std::int32_t ParseInt32(std::string_view value);
// Leading spaces and tabs, an optional sign, decimal digits accumulated modulo
// 2^64; "-" negates. No digits gives 0.
std::int64_t ParseInt64(std::string_view value);

// Reads of a key with its default for a missing key (or a missing group). A text
// is trimmed of spaces and tabs at both ends; present but empty gives "".
std::string ReadText(const IniSection* section, std::string_view key, std::string_view fallback);
std::int32_t ReadInt32(const IniSection* section, std::string_view key, std::int32_t fallback);
std::int64_t ReadInt64(const IniSection* section, std::string_view key, std::int64_t fallback);

}  // namespace persistence
