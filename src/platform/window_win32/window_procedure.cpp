// The one window procedure: WM_COMMAND and WM_NOTIFY of every control, menu
// choices, the timer, the close and end-of-session requests, and the messages
// other threads post. Frames hand their children's messages on to it.
#include "platform/window_win32/window_state.h"

namespace platform {

const wchar_t* const MainWindowClass = L"KelvarianMainWindow";
const wchar_t* const FrameClass = L"KelvarianFrame";

namespace {

Event CloseEvent() {
    return {EventKind::Close, MainWindowId, 0, EventType::None};
}

LRESULT OnCommand(WPARAM wParam, LPARAM lParam) {
    WindowLayer& layer = Layer();
    const int code = HIWORD(wParam);
    if (lParam == 0) {
        // A menu item (code 0). Enter and Escape in the window arrive as
        // IDOK and IDCANCEL, which lie below every item's command and match
        // none.
        const int item = static_cast<int>(LOWORD(wParam)) - MenuCommandBase;
        if (code == 0 && layer.menuItems.count(item) != 0) {
            ReportEvent({EventKind::Menu, MainWindowId, item, EventType::None});
        }
        return 0;
    }
    const auto found = layer.controlIds.find(reinterpret_cast<HWND>(lParam));
    if (found == layer.controlIds.end()) return 0;
    const int id = found->second;
    Control& control = layer.controls.at(id);
    switch (control.kind) {
        case ControlKind::DropDownList:
            OnDropDownCommand(id, control, code);
            break;
        case ControlKind::SpinField:
            if (code == EN_CHANGE) OnSpinTextChanged(control);
            if (code == EN_KILLFOCUS) OnSpinFocusLost(control);
            break;
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) ReportControlEvent(id, EventType::Clicked);
            break;
        default:
            break;
    }
    return 0;
}

LRESULT OnNotify(NMHDR* header) {
    WindowLayer& layer = Layer();
    if (header->hwndFrom == layer.cellToolTip && layer.cellToolTip != nullptr) {
        OnCellToolTipNotify(header);
        return 0;
    }
    const auto found = layer.controlIds.find(header->hwndFrom);
    if (found == layer.controlIds.end()) return 0;
    Control& control = layer.controls.at(found->second);
    if (control.kind == ControlKind::ListView) {
        return OnListViewNotify(found->second, control, header);
    }
    if (control.kind == ControlKind::SpinField && header->code == UDN_DELTAPOS) {
        OnSpinDeltaPos(control);
    }
    return 0;
}

// The up-down arrows report every press with WM_VSCROLL after the value and
// the text changed, also when the end of the range kept the value.
void OnScroll(WPARAM wParam, LPARAM lParam) {
    Control* spin = ControlOfWindow(reinterpret_cast<HWND>(lParam));
    if (spin != nullptr && spin->kind == ControlKind::SpinField && LOWORD(wParam) == SB_THUMBPOSITION) {
        OnSpinScrolled(*spin);
    }
}

void OnContextMenu(WPARAM wParam) {
    WindowLayer& layer = Layer();
    const auto found = layer.controlIds.find(reinterpret_cast<HWND>(wParam));
    if (found != layer.controlIds.end() &&
        layer.controls.at(found->second).kind == ControlKind::ListView) {
        ReportControlEvent(found->second, EventType::RightClick);
    }
}

void OnTimer(WPARAM timer) {
    const auto found = Layer().timers.find(static_cast<int>(timer - TimerIdBase));
    if (found != Layer().timers.end()) found->second();
}

void ShowPendingPopup(HMENU menu) {
    WindowLayer& layer = Layer();
    if (layer.pendingPopup != menu || menu == nullptr) return;
    layer.pendingPopup = nullptr;
    POINT at{};
    GetCursorPos(&at);
    // A pop-up menu closes on a click elsewhere only when its owner is the
    // foreground window, and the message after it lets it close at once.
    SetForegroundWindow(layer.window);
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, layer.window, nullptr);
    PostMessageW(layer.window, WM_NULL, 0, 0);
}

}  // namespace

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowLayer& layer = Layer();
    // The probe window of InitWindowSystem, and the main window while it is
    // being created, take the defaults.
    if (window != layer.window || window == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_COMMAND:
            return OnCommand(wParam, lParam);
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_VSCROLL:
            OnScroll(wParam, lParam);
            return 0;
        case WM_CONTEXTMENU:
            OnContextMenu(wParam);
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        case WM_CLOSE:
            // The window stays; the caller hides it in its own time.
            ReportEvent(CloseEvent());
            return 0;
        case WM_QUERYENDSESSION:
            // The system may end the process at any moment once it has
            // answered WM_ENDSESSION, so the normal shutdown (the settings
            // saved) starts here: the event loop reports a close next, and
            // the process has ended before the end-session message is
            // answered.
            RequestTermination();
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != 0) RequestTermination();
            return 0;
        case WM_SIZE:
            LayOutStatusBar();
            return 0;
        case WM_DPICHANGED:
            ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case CustomEventMessage:
            ReportEvent({EventKind::Custom, MainWindowId,
                         static_cast<std::int32_t>(static_cast<std::uint32_t>(wParam)),
                         EventType::None});
            return 0;
        case StatusTextMessage:
            ShowPostedStatusText(lParam);
            return 0;
        case TerminationMessage:
            TakeTerminationRequest();
            return 0;
        case PopupMenuMessage:
            ShowPendingPopup(reinterpret_cast<HMENU>(wParam));
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// A frame is a plain window with a thin sunken edge: what its children
// report goes to the main window's procedure, as if they sat in it.
LRESULT CALLBACK FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_VSCROLL:
        case WM_CONTEXTMENU:
            if (Layer().window != nullptr) {
                return MainWindowProcedure(Layer().window, message, wParam, lParam);
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace platform
