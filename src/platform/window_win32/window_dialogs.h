#pragma once
// Private to the Win32 window layer: what the testing side needs to know of
// the prompt dialog.
#include <windows.h>

namespace platform {

// The window property that marks a dialog as the layer's prompt.
extern const wchar_t* const PromptProperty;
inline constexpr int PromptMessageId = 100;
inline constexpr int PromptEditId = 101;

}  // namespace platform
