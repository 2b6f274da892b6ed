// What every system's files share: an AppendFile owns its open file, and
// CloseFile (per system) is the one way to let it go.
#include "platform/files.h"

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

}  // namespace platform
