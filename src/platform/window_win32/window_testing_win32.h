#pragma once
// What tests of the Win32 layer itself do beyond window_testing.h: the whole
// mouse gesture of a row drag, through the list's own messages. The shell's
// tests, which run against either layer, drop with DropOnListRow instead.
#include "platform/window/window_testing.h"

namespace platform {

// The user presses on row `from`, drags and releases the button over row
// `to` (below the last row when -1 or past it): the list reports DragStart,
// and a private drag that its handler starts (StartPrivateDrag) ends there.
void PressAndDragListRow(int id, int from, int to);

}  // namespace platform
