#pragma once
// Private to the Qt window layer: the question asked before Qt is started
// when nobody named a platform for it.
namespace platform {

// true when the X server named by DISPLAY accepts this process, or the
// Wayland compositor named by WAYLAND_DISPLAY accepts a connection; false
// when neither is set or neither answers.
bool DisplayAnswers();

}  // namespace platform
