#pragma once
// What tests need from a window layer beyond window.h: reading back what the
// user sees, and acting as the user does, through the same ids. Each layer
// realises it in a target of its own (kelvarian_window_testing) that only
// tests link, so the program carries none of it. User-interface thread only.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace platform {

// --- The window's life and its event queue ----------------------------------
// Unbinds and destroys the window with every control, menu, timer, handler and
// queued event, and forgets a termination request (a fresh window per test).
void DestroyMainWindow();
// Runs pending window-system work (posted custom events, status texts from
// other threads, due timers: bound handlers run); false when then no event is
// queued, else takes the next one. A termination request reads as a close.
bool PollEvent(Event& event);
// Runs pending window-system work once, as PollEvent does, taking no event.
void DispatchPendingWork();
// A termination request has reached the window (see WatchTerminationSignals).
bool TerminationRequested();
// Makes the request the operating system makes when it asks the program to
// end (SIGTERM on POSIX; on Windows a console's close or Ctrl+C), through the
// process layer's own path; it reaches the window from another thread.
void SimulateTerminationRequest();
bool TimerRunning(int timerId);

// --- What the user sees -----------------------------------------------------
bool MainWindowVisible();
std::string MainWindowTitle();
bool MainWindowHasIcon();
Rect InnerRect();  // x and y are 0

std::string ToolTip(int id);  // of a control; empty when none
// The text a spin field shows, and the one the closed drop-down list shows.
std::string SpinText(int id);
std::string DropDownShownText(int id);

// Status bar fields as laid out: how many there are, each one's rectangle in
// the bar and its text.
int StatusFieldCount();
Rect StatusFieldRect(int field);
std::string StatusText(int field);

int ListColumnCount(int id);
std::string ListColumnTitle(int id, int column);
int ListColumnWidth(int id, int column);
// 0x00BBGGRR, or -1 for the view's default colours.
std::int32_t ListCellColor(int id, int row, int column);
// The tooltip the view shows while the mouse rests on the cell: its whole text
// when it is cut off, else empty.
std::string ListCellToolTip(int id, int row, int column);

// Texts of the items of the pop-up menu that is open, in order; empty when
// none is open. ClosePopupMenu closes it without choosing.
std::vector<std::string> OpenPopupMenuItems();
void ClosePopupMenu();

// The notification-area icon as the layer last handed it to the system, and
// the last notification shown through it.
struct NotificationIconView {
    bool shown = false;
    bool hasIcon = false;
    std::string tooltip;
    std::string title;
    std::string message;
    // Notifications handed to the desktop's notification service (no tray)
    // that it has not answered yet; 0 in a layer that has no such path.
    int desktopPending = 0;
};
NotificationIconView NotificationIcon();

// --- Acting as the user -----------------------------------------------------
// Each reports its events as the real gesture does: queued, or to the bound
// handler. None of them runs the event loop.
// A Menu event; check marks stay as they are.
void ChooseMenuItem(int itemId);
// The list shows entry `index` and reports SelectionChanged, also when it was
// the entry already selected.
void PickDropDownEntry(int id, int index);
enum class SpinArrow { Up, Down };
// One press of the arrow: at the end of the range nothing happens; otherwise
// the value steps by 1 and ValueChanged, then SteppedUp or SteppedDown, are
// reported.
void PressSpinArrow(int id, SpinArrow arrow);
// Selects the field's whole text and types `text` key by key; a read-only
// field keeps its value. Each accepted change reports ValueChanged.
void TypeIntoSpinField(int id, std::string_view text);
void ClickCheckBox(int id);  // toggles it; Clicked
// The user's click on `row` (-1 or past the last row clears the selection);
// nothing is reported.
void SelectListRow(int id, int row);
// A right click on `row`, or below the last row when `row` is -1 or past it;
// reports RightClick and leaves the selection as it is.
void RightClickListRow(int id, int row);
// Drops dragged data on `row`, or below the last row when `row` is -1 or past
// it. The list's own drag data is accepted as "move": the row under the mouse
// becomes the selection and a Drop event with PrivateData is reported. Other
// data is refused and changes nothing.
enum class DragData { ListsOwn, Foreign };
void DropOnListRow(int id, int row, DragData data);
// The close button of the window's frame: a Close event; the window stays.
void ClickCloseButton();

// --- Modal dialogs ------------------------------------------------------------
// Runs `action` from inside the modal loop as soon as the next modal dialog is
// open (arm it before the step that opens one); when none opens within about
// ten seconds it is dropped.
void WhenModalOpens(std::function<void()> action);

enum class ModalKind { None, MessageBox, Prompt };
struct ModalDialog {
    ModalKind kind = ModalKind::None;
    std::string title;
    std::string text;   // the message box's text, or the prompt's message line
    std::string input;  // the prompt's edit field
    int buttons = 0;
    bool hasIcon = false;
};
// The modal dialog that is open now; kind None when there is none.
ModalDialog OpenModal();
void SetPromptInput(std::string_view text);
// OK (or Enter), and Cancel (or Escape), on the open dialog.
void ConfirmModal();
void CancelModal();

}  // namespace platform
