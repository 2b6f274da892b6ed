#pragma once
// Well-formed UTF-8 for texts that came from outside (a hand-edited file, a
// name typed by the user): portable, shared by the modules above.
#include <string>
#include <string_view>

namespace platform {

// `text` with every byte that does not start a well-formed sequence (a stray
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF, a
// sequence cut short) replaced by U+FFFD.
[[nodiscard]] std::string ValidUtf8(std::string_view text);

}  // namespace platform
