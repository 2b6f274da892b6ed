// What every system's files share: an AppendFile owns its open file, and
// CloseFile (per system) is the one way to let it go.
#include "platform/files.h"

#include <cstdint>
#include <string_view>
#include <utility>

namespace platform {

AppendFile::AppendFile(AppendFile&& other) noexcept
    : descriptor(std::exchange(other.descriptor, -1)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        CloseFile(*this);
        descriptor = std::exchange(other.descriptor, -1);
    }
    return *this;
}

AppendFile::~AppendFile() {
    CloseFile(*this);
}

namespace {

// Digits only, at least one, with no room for an overflow.
bool readNumber(std::string_view digits, std::uint64_t& value) {
    if (digits.empty() || digits.size() > 19) return false;
    value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

}  // namespace

bool IsTemporaryOf(std::string_view name, std::string_view target, std::uint64_t& processId) {
    constexpr std::string_view mark = ".tmp";
    if (name.size() <= target.size() + mark.size() || name.substr(0, target.size()) != target ||
        name.substr(target.size(), mark.size()) != mark) {
        return false;
    }
    const std::string_view rest = name.substr(target.size() + mark.size());
    const std::size_t underscore = rest.find('_');
    std::uint64_t count = 0;
    return underscore != std::string_view::npos &&
           readNumber(rest.substr(0, underscore), processId) &&
           readNumber(rest.substr(underscore + 1), count);
}

}  // namespace platform
