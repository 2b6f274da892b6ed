#pragma once
// The window layer: one top-level window with menus, controls addressed by
// integer ids, a report list view, a two-field status bar, an event queue with
// bound handlers, and modal dialogs. All calls belong to the user-interface
// thread except SetStatusText(0, ...) and QueueCustomEvent, which any thread may
// call. Positions and sizes are pixels at 96 dots per inch; the toolkit scales
// them for other screens. Texts are UTF-8. Each window layer (Qt in
// platform/window, Win32 in platform/window_win32) realises exactly this
// header; what only tests need is in window_testing.h.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace platform {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The window layer's single top-level window.
inline constexpr int MainWindowId = 0;
// Parent id for controls placed directly in the window's client area.
inline constexpr int ClientArea = -1;

enum class EventKind { Menu, Control, Drop, Close, Custom };

enum class EventType {
    None,
    SelectionChanged,  // drop-down list: the user picked an entry
    ValueChanged,      // spin field: the value was typed or set
    SteppedUp,         // spin field: the up arrow raised the value (already changed)
    SteppedDown,       // spin field: the down arrow lowered it (already changed)
    Clicked,           // check box
    DragStart,         // list view: the user began to drag a row
    RightClick,        // list view
    PrivateData,       // drop: the dropped data is the list's own private drag
};

struct Event {
    EventKind kind = EventKind::Close;
    int window = MainWindowId;
    int id = 0;  // menu item id, control id or custom event number
    EventType type = EventType::None;
};

using Handler = void (*)();

// --- Window ---------------------------------------------------------------
// Creates the toolkit's application object once per process. false when no
// display can be opened.
[[nodiscard]] bool InitWindowSystem();
// false when the window system draws on no screen that anyone sees (Qt's
// offscreen platform, named by QT_QPA_PLATFORM or taken because no display
// answered): a modal dialog would then wait for ever. Call after
// InitWindowSystem succeeded. A layer on a desktop system returns true.
bool ScreenVisible();
// Shows the toolkit's own texts (dialog buttons, edit menus) in `language`
// ("ru"); false when the toolkit has no translation for it installed.
bool UseToolkitLanguage(std::string_view language);

// Creates the window hidden and centred, with a fixed frame (caption, system
// menu, minimise button; no maximise, no resizing). The inner size counts the
// menu bar and the status bar. Binds the monitor thread's status-field and
// custom-event operations to this window.
[[nodiscard]] bool CreateMainWindow(std::string_view title, int innerWidth, int innerHeight);
// Sets the window icon from the bytes of an .ico file; false when unreadable.
bool SetWindowIconFromIco(std::span<const std::uint8_t> icoBytes);
// The notification-area icon with the window's icon and `tooltip`, shown
// while `on`; false when the desktop has no notification area. Either way
// `on` turns notifications on or off.
bool ShowNotificationIcon(bool on, std::string_view tooltip);
// A notification from that icon, or, on a desktop without a notification
// area, through the desktop's notification service where it has one (the Qt
// layer); nothing while notifications are off. Never waits for an answer.
void ShowNotification(std::string_view title, std::string_view text);
void ShowMainWindow();
void HideMainWindow();
void SetInnerSize(int width, int height);
int MenuBarHeight();
int StatusBarHeight();  // 0 before CreateStatusBar

// --- Menus ----------------------------------------------------------------
// Returns a menu handle, or -1 when the menu cannot be created.
int AddMenuBarMenu(std::string_view title);
int CreatePopupMenu();
void AddMenuItem(int menu, int itemId, std::string_view text);
void AddMenuSeparator(int menu);
// Check marks belong to the caller: choosing an item reports a menu event and
// toggles nothing by itself.
bool MenuItemChecked(int itemId);
void SetMenuItemChecked(int itemId, bool checked);
void ShowPopupMenuAtCursor(int menu);

// --- Controls -------------------------------------------------------------
// `parent` is ClientArea or the id of a frame. Ids are the caller's and unique.
bool CreateLabel(int id, int parent, std::string_view text, Rect rect);
bool CreateDropDownList(int id, int parent, Rect rect);  // not editable
bool CreateSpinField(int id, int parent, Rect rect, int minimum, int maximum, bool editable);
bool CreateCheckBox(int id, int parent, std::string_view text, Rect rect);
bool CreateFrame(int id, int parent, Rect rect);  // thin sunken border
Rect ControlRect(int id);                         // in its parent's coordinates
void SetControlRect(int id, Rect rect);
// Width that shows the control's whole text (a check box: box and text).
int TextWidth(int id);
void SetToolTip(int id, std::string_view text);

void ClearDropDown(int id);
void AddDropDownEntry(int id, std::string_view text);
int DropDownCount(int id);
std::string DropDownText(int id, int index);
int DropDownSelection(int id);                 // -1: none
void SetDropDownSelection(int id, int index);  // -1 clears

// Sets the value and shows it as decimal text (raises ValueChanged when it changes).
void SetSpinValue(int id, int value);
int SpinValue(int id);
// Sets the range of spin field `id`; its value is kept when inside the new
// range, else clamped into it; raises ValueChanged only when the value changes.
void SetSpinRange(int id, int minimum, int maximum);

void SetChecked(int id, bool checked);
bool IsChecked(int id);

// --- Report list view -----------------------------------------------------
// One whole row selectable at a time, selection kept visible without focus,
// grid lines, cut-off cell texts shown whole as tooltips, drops of its own
// private drag accepted with the action "move" only.
bool CreateListView(int id, int parent, Rect rect);
void AddListColumn(int id, std::string_view title, int width);
int ListRowCount(int id);
// Removes every row, then adds `rows` rows with empty texts and default colours.
void ResetListRows(int id, int rows);
std::string ListCellText(int id, int row, int column);
void SetListCellText(int id, int row, int column, std::string_view text);
// Colours are 0x00BBGGRR; -1 restores the view's default colours.
void SetListCellColor(int id, int row, int column, std::int32_t color);
int SelectedListRow(int id);  // -1: none
// Runs a drag of the list's private data allowing only "move"; returns true
// when the drag ended with "move".
bool StartPrivateDrag(int id);

// --- Status bar -----------------------------------------------------------
// Two fields sharing the bar's width equally, both empty at first.
void CreateStatusBar();
// Field 0 may be set from any thread; the text shows once the user-interface
// thread runs its queue. Field 1 only from the user-interface thread.
void SetStatusText(int field, std::string_view text);

// --- Events ---------------------------------------------------------------
// Waits without limit for the next queued event; a termination request
// (see WatchTerminationSignals) is reported as a close of the main window.
Event WaitEvent();
// Runs pending window-system work and drops every queued event. A
// termination request is not dropped.
void DiscardPendingEvents();

// Bound handlers run on the user-interface thread in place of queuing.
void BindControlHandler(int id, EventType type, Handler handler);
void BindCustomEventHandler(int number, Handler handler);
// A repeating timer of the main window; false when it cannot be created.
bool StartTimer(int timerId, int periodMs, Handler handler);

// Queued, never waited for; any thread. Numbers need not fit the toolkit's
// own event numbering.
void QueueCustomEvent(std::int32_t number);

// Listens to the process's termination requests (platform/process.h). Each
// one, on the user-interface thread, dismisses open modal dialogs (as
// cancelled), pop-up menus and a running drag, and makes the event queue
// report a close from then on. Call once InitWindowSystem succeeded.
void WatchTerminationSignals();

// --- Dialogs --------------------------------------------------------------
// Modal message box: title, text (lines separated by '\n'), one OK, no icon.
void ShowMessageBox(std::string_view title, std::string_view text);
// Modal one-line prompt; returns the text confirmed by OK or Enter, or an
// empty text when cancelled.
std::string PromptText(std::string_view title, std::string_view message,
                       std::string_view initialText);

}  // namespace platform
