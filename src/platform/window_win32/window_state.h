#pragma once
// Private to the Win32 window layer: the one record of everything the layer
// holds, the messages it posts to its own window, and the helpers its files
// share. Only the user-interface thread touches the record; the two atomics
// below are what other threads reach.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/window/event_routing.h"
#include "platform/window/window.h"

namespace platform {

enum class ControlKind { Label, DropDownList, SpinField, CheckBox, Frame, ListView };

struct Control {
    ControlKind kind = ControlKind::Label;
    HWND hwnd = nullptr;    // the control; a spin field's edit box
    HWND upDown = nullptr;  // a spin field's arrows
    int parent = ClientArea;
    Rect rect;  // as the caller gave it, at 96 dots per inch
    // Spin fields: the value the field holds (the text may be a half-typed
    // one), its range, and the value before the arrows were pressed.
    int value = 0;
    int minimum = 0;
    int maximum = 0;
    int valueBeforeStep = 0;
    // List views: column widths at 96 dots per inch, and each cell's
    // background, [row][column], -1 for the view's own.
    std::vector<int> columnWidths;
    std::vector<std::vector<std::int32_t>> cellColors;
};

// Messages the layer posts to its own window, so that other threads never
// wait for the user-interface thread (PostMessage, never SendMessage).
enum : UINT {
    CustomEventMessage = WM_APP + 1,  // wParam: the custom event number
    StatusTextMessage,                // lParam: a new std::wstring, freed by the receiver
    TerminationMessage,               // a termination request is pending
    PopupMenuMessage,                 // wParam: the menu handle to show at the cursor
};

// Win32 ids of menu items and controls: offsets keep them clear of 0 and of
// IDOK/IDCANCEL, which dialogs and the system use.
inline constexpr int MenuCommandBase = 0x1000;
inline constexpr int ControlIdBase = 0x2000;
inline constexpr UINT_PTR TimerIdBase = 0x100;

struct WindowLayer {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HWND statusBar = nullptr;
    HWND toolTip = nullptr;      // the controls' tooltips
    HWND cellToolTip = nullptr;  // cut-off texts of list cells
    HMENU menuBar = nullptr;
    std::vector<HMENU> menus;         // index = menu handle
    std::map<int, HMENU> menuItems;   // item id -> the menu that holds it
    std::map<int, Control> controls;  // by the caller's id
    std::map<HWND, int> controlIds;   // every window of a control -> its id
    UINT dpi = USER_DEFAULT_SCREEN_DPI;
    HFONT font = nullptr;
    bool ownFont = false;  // created for this dpi, deleted when replaced
    int innerWidth = 0;    // at 96 dots per inch, menu bar included
    int innerHeight = 0;
    EventRouting routing;  // bound handlers and the queue
    std::map<int, Handler> timers;
    bool terminationRequested = false;
    bool dragRunning = false;
    HMENU pendingPopup = nullptr;             // posted by ShowPopupMenuAtCursor, not yet shown
    std::pair<int, int> toolTipCell{-1, -1};  // the list cell the tooltip speaks of
    // The notification-area icon as last accepted by the system.
    bool trayShown = false;
    bool trayHasIcon = false;
    std::string trayTip;
    std::string trayTitle;  // the last balloon
    std::string trayMessage;
};

WindowLayer& Layer();

// The window as other threads see it: set while it exists.
extern std::atomic<HWND> sharedWindow;
// Set by a termination request from any thread; the user-interface thread
// acts on it (TakeTerminationRequest).
extern std::atomic<bool> terminationPending;

// Sizes at 96 dots per inch to the window's pixels, and back.
int Scale(int logical);
int Unscale(int physical);

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
// Takes the notification-area icon away while its window still exists: an
// icon left behind would stay in the area until the mouse passed over it.
void RemoveNotificationIcon();
std::wstring WindowText(HWND window);

// The control `id` when it exists and is of `kind`, else nullptr.
Control* FindControl(int id, ControlKind kind);
Control* ControlOfWindow(HWND window);
HWND ParentWindow(int parent);
// Creates a control of `kind` from the layer's table, with `extraStyle`, and
// records it; nullptr when the id is taken or the parent is unknown.
Control* CreateControl(int id, int parent, ControlKind kind, std::string_view text, Rect rect,
                       DWORD extraStyle);
// Places the control's windows at its rect for the current dpi.
void PlaceControl(Control& control);
void ApplyFont(HWND window);

// Queues the event, or calls the handler bound to it.
void ReportControlEvent(int id, EventType type);
void ReportEvent(const Event& event);

// The window procedure's routing (window_procedure.cpp), for the frames that
// forward their children's messages to it.
LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
extern const wchar_t* const MainWindowClass;
extern const wchar_t* const FrameClass;

// Spin fields (window_controls.cpp): the edit box's text changed, the arrows
// are about to step, the arrows stepped, the edit box lost the focus.
void OnSpinTextChanged(Control& spin);
void OnSpinDeltaPos(Control& spin);
void OnSpinScrolled(Control& spin);
void OnSpinFocusLost(Control& spin);
void OnDropDownCommand(int id, Control& list, int code);

// List views (window_list_view.cpp).
LRESULT OnListViewNotify(int id, Control& list, NMHDR* header);
void OnListViewMouseMove(Control& list);
// The text the cell's tooltip shows: its whole text when cut off, else empty.
std::wstring CellToolTipText(const Control& list, int row, int column);
// The drop of the list's own drag at `clientPoint` of the list: the row
// under it becomes the selection, then the Drop event is reported.
void DropPrivateDataAt(int id, POINT clientPoint);

// Runs the window procedure for one message from the queue.
void DispatchOne(MSG& message);
// Dispatches every queued message without waiting; with `showPopups` false a
// pop-up menu asked for stays pending instead of opening its modal loop.
void PumpPendingMessages(bool showPopups);
// On the user-interface thread: acts on a pending termination request.
void TakeTerminationRequest();
// Dismisses open modal dialogs (as cancelled), pop-up menus and a running
// drag, and makes the event queue report a close. Idempotent.
void RequestTermination();
// Lays everything out again for `dpi` (the window moved to another screen),
// at the position the system suggests.
void ApplyDpi(UINT dpi, const RECT* suggested);
// Shows a text that another thread posted for status field 0, and frees it.
void ShowPostedStatusText(LPARAM text);
// The cell tooltip's request for its text.
void OnCellToolTipNotify(NMHDR* header);
// Recomputes the status bar's two equal fields.
void LayOutStatusBar();

}  // namespace platform
