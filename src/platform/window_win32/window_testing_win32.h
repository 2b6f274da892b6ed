#pragma once
// What tests of the Win32 layer itself do beyond window_testing.h: the whole
// mouse gesture of a row drag, through the list's own messages, and the texts
// of a dialog's buttons. The shell's tests, which run against either layer,
// drop with DropOnListRow instead.
#include <string>

#include "platform/window/window_testing.h"

namespace platform {

// The user presses on row `from`, drags and releases the button over row
// `to` (below the last row when -1 or past it): the list reports DragStart,
// and a private drag that its handler starts (StartPrivateDrag) ends there.
void PressAndDragListRow(int id, int from, int to);

// The text of button `item` (IDOK, IDCANCEL) of this program's modal dialog
// open now; empty when there is none. Not the active window's: under a Wine
// desktop shared with other test programs, that may be one of theirs.
std::string ModalButtonText(int item);

}  // namespace platform
