// The Win32 layer's side of window_testing.h: reads the controls back through
// their own messages and plays the user's gestures into them as the system
// delivers them (clicks, keys, notifications to the parent).
#include "platform/window_win32/window_testing_win32.h"

#include <thread>

#include "platform/monitor_window.h"
#include "platform/termination_requests.h"
#include "platform/window_win32/window_dialogs.h"
#include "platform/window_win32/window_state.h"

// windows.h names MessageBox as a macro; here it is the enumerator.
#undef MessageBox

namespace platform {
namespace {

Control* ListView(int id) {
    return FindControl(id, ControlKind::ListView);
}

// A point in the list's client area on `row`, or below the last row.
POINT PointOnRow(const Control& list, int row, int x = 10) {
    const auto rows = static_cast<int>(SendMessageW(list.hwnd, LVM_GETITEMCOUNT, 0, 0));
    RECT client{};
    GetClientRect(list.hwnd, &client);
    if (row < 0 || row >= rows) return {x, client.bottom - 2};
    RECT item{};
    item.left = LVIR_BOUNDS;
    SendMessageW(list.hwnd, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return {x, item.top + 2};
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The dialog that is open now: a visible dialog window of this thread.
BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    if (ClassName(window) == L"#32770" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND OpenDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool IsPrompt(HWND dialog) {
    return GetPropW(dialog, PromptProperty) != nullptr;
}

struct MessageBoxParts {
    std::wstring text;
    int buttons = 0;
    bool hasIcon = false;
};

BOOL CALLBACK ReadMessageBoxChild(HWND child, LPARAM partsAddress) {
    auto& parts = *reinterpret_cast<MessageBoxParts*>(partsAddress);
    if (!IsWindowVisible(child)) return TRUE;
    const std::wstring name = ClassName(child);
    if (name == L"Button") {
        ++parts.buttons;
    } else if (name == L"Static") {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            parts.hasIcon = parts.hasIcon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
        } else if (parts.text.empty()) {
            parts.text = WindowText(child);
        }
    }
    return TRUE;
}

// Thread timers run in every message loop of the thread, modal ones too.
std::function<void()> modalAction;
int modalTicks = 0;
UINT_PTR modalTimer = 0;

void CALLBACK WatchForModal(HWND, UINT, UINT_PTR, DWORD) {
    const bool open = OpenDialog() != nullptr;
    // Bounded, so that a dialog that never opens cannot leave the timer to a
    // later test.
    if (!open && ++modalTicks < 2000) return;
    KillTimer(nullptr, modalTimer);
    modalTimer = 0;
    std::function<void()> action = std::move(modalAction);
    modalAction = nullptr;
    if (open && action) action();
}

void DrainPostedStatusTexts(HWND window) {
    MSG message;
    while (PeekMessageW(&message, window, StatusTextMessage, StatusTextMessage, PM_REMOVE)) {
        delete reinterpret_cast<std::wstring*>(message.lParam);
    }
}

}  // namespace

void DestroyMainWindow() {
    WindowLayer& layer = Layer();
    BindMonitorWindow(nullptr);
    sharedWindow.store(nullptr);
    if (layer.window != nullptr) {
        DrainPostedStatusTexts(layer.window);
        for (const auto& [timerId, handler] : layer.timers) {
            KillTimer(layer.window, TimerIdBase + static_cast<UINT_PTR>(timerId));
        }
        RemoveNotificationIcon();
        // The children, the menu bar with its menus and the owned tooltips
        // go with the window; a pop-up menu belongs to nobody.
        DestroyWindow(layer.window);
    }
    for (HMENU menu : layer.menus) {
        if (IsMenu(menu)) DestroyMenu(menu);
    }
    if (layer.ownFont) DeleteObject(layer.font);
    const HINSTANCE instance = layer.instance;
    layer = WindowLayer{};
    layer.instance = instance;
    terminationPending.store(false);
}

bool PollEvent(Event& event) {
    WindowLayer& layer = Layer();
    PumpPendingMessages(false);
    if (layer.terminationRequested) {
        event = {EventKind::Close, MainWindowId, 0, EventType::None};
        return true;
    }
    return TakeQueuedEvent(layer.routing, event);
}

void DispatchPendingWork() {
    PumpPendingMessages(false);
}

bool TerminationRequested() {
    TakeTerminationRequest();
    return Layer().terminationRequested;
}

// As the system's console control thread reports a Ctrl+C or a close.
void SimulateTerminationRequest() {
    std::thread(&ReportTerminationRequest).join();
}

bool TimerRunning(int timerId) {
    return Layer().timers.count(timerId) != 0;
}

bool MainWindowVisible() {
    return Layer().window != nullptr && IsWindowVisible(Layer().window);
}

std::string MainWindowTitle() {
    return Layer().window != nullptr ? Utf8(WindowText(Layer().window)) : std::string();
}

NotificationIconView NotificationIcon() {
    const WindowLayer& layer = Layer();
    if (!layer.trayShown) return {};
    return {true, layer.trayHasIcon, layer.trayTip, layer.trayTitle, layer.trayMessage, 0};
}

bool MainWindowHasIcon() {
    HWND window = Layer().window;
    return window != nullptr && (SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0 ||
                                 GetClassLongPtrW(window, GCLP_HICON) != 0);
}

Rect InnerRect() {
    HWND window = Layer().window;
    if (window == nullptr) return {};
    RECT client{};
    GetClientRect(window, &client);
    return {0, 0, Unscale(client.right), Unscale(client.bottom) + MenuBarHeight()};
}

std::string ToolTip(int id) {
    const auto found = Layer().controls.find(id);
    if (found == Layer().controls.end() || Layer().toolTip == nullptr) return {};
    wchar_t text[1024] = {};
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = Layer().window;
    info.uId = reinterpret_cast<UINT_PTR>(found->second.hwnd);
    info.lpszText = text;
    SendMessageW(Layer().toolTip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&info));
    return Utf8(text);
}

std::string SpinText(int id) {
    Control* spin = FindControl(id, ControlKind::SpinField);
    return spin != nullptr ? Utf8(WindowText(spin->hwnd)) : std::string();
}

std::string DropDownShownText(int id) {
    Control* list = FindControl(id, ControlKind::DropDownList);
    return list != nullptr ? Utf8(WindowText(list->hwnd)) : std::string();
}

int StatusFieldCount() {
    HWND bar = Layer().statusBar;
    return bar != nullptr ? static_cast<int>(SendMessageW(bar, SB_GETPARTS, 0, 0)) : 0;
}

Rect StatusFieldRect(int field) {
    if (field < 0 || field >= StatusFieldCount()) return {};
    RECT r{};
    SendMessageW(Layer().statusBar, SB_GETRECT, static_cast<WPARAM>(field),
                 reinterpret_cast<LPARAM>(&r));
    return {Unscale(r.left), Unscale(r.top), Unscale(r.right - r.left), Unscale(r.bottom - r.top)};
}

std::string StatusText(int field) {
    if (field < 0 || field >= StatusFieldCount()) return {};
    HWND bar = Layer().statusBar;
    const auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(field), 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(field),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return Utf8(text);
}

int ListColumnCount(int id) {
    Control* list = ListView(id);
    if (list == nullptr) return 0;
    HWND header = reinterpret_cast<HWND>(SendMessageW(list->hwnd, LVM_GETHEADER, 0, 0));
    return static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

std::string ListColumnTitle(int id, int column) {
    Control* list = ListView(id);
    if (list == nullptr) return {};
    wchar_t title[256] = {};
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = title;
    info.cchTextMax = 256;
    if (!SendMessageW(list->hwnd, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                      reinterpret_cast<LPARAM>(&info))) {
        return {};
    }
    return Utf8(title);
}

int ListColumnWidth(int id, int column) {
    Control* list = ListView(id);
    if (list == nullptr) return 0;
    return Unscale(static_cast<int>(
        SendMessageW(list->hwnd, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0)));
}

// The colour the list paints behind the cell: the list draws itself into a
// bitmap (custom draw runs as on screen) and the pixel near the cell's right
// top corner, clear of the text and the grid lines, is read.
std::int32_t ListCellColor(int id, int row, int column) {
    Control* list = ListView(id);
    if (list == nullptr || row < 0 || row >= ListRowCount(id)) return -1;
    RECT cell{};
    cell.top = column;
    cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    SendMessageW(list->hwnd, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&cell));
    RECT client{};
    GetClientRect(list->hwnd, &client);
    const POINT at{cell.right - 3, cell.top + 2};
    if (!PtInRect(&client, at)) return -1;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = client.right;
    format.bmiHeader.biHeight = -client.bottom;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(list->hwnd);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(list->hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                 PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    const std::uint32_t pixel =
        static_cast<const std::uint32_t*>(bits)[at.y * client.right + at.x] & 0xFFFFFF;  // 0xRRGGBB
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(list->hwnd, screen);
    const COLORREF painted = RGB(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF);
    COLORREF background = static_cast<COLORREF>(SendMessageW(list->hwnd, LVM_GETBKCOLOR, 0, 0));
    if (background == CLR_NONE || background == CLR_DEFAULT) background = GetSysColor(COLOR_WINDOW);
    return painted == background ? -1 : static_cast<std::int32_t>(painted);
}

std::string ListCellToolTip(int id, int row, int column) {
    Control* list = ListView(id);
    return list != nullptr ? Utf8(CellToolTipText(*list, row, column)) : std::string();
}

std::vector<std::string> OpenPopupMenuItems() {
    std::vector<std::string> texts;
    HMENU menu = Layer().pendingPopup;
    if (menu == nullptr) return texts;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) continue;
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        texts.push_back(Utf8(text));
    }
    return texts;
}

void ClosePopupMenu() {
    Layer().pendingPopup = nullptr;
    EndMenu();
}

void ChooseMenuItem(int itemId) {
    if (Layer().window != nullptr && Layer().menuItems.count(itemId) != 0) {
        SendMessageW(Layer().window, WM_COMMAND, MAKEWPARAM(MenuCommandBase + itemId, 0), 0);
    }
}

void PickDropDownEntry(int id, int index) {
    Control* list = FindControl(id, ControlKind::DropDownList);
    if (list == nullptr || index < 0 || index >= DropDownCount(id)) return;
    // What the list tells its parent when the user picks an entry.
    SendMessageW(list->hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(list->hwnd), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(list->hwnd), CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(list->hwnd));
}

// A click on the upper or lower half of the arrows.
void PressSpinArrow(int id, SpinArrow arrow) {
    Control* spin = FindControl(id, ControlKind::SpinField);
    if (spin == nullptr || spin->upDown == nullptr) return;
    RECT arrows{};
    GetClientRect(spin->upDown, &arrows);
    const int y = arrow == SpinArrow::Up ? arrows.bottom / 4 : arrows.bottom * 3 / 4;
    const LPARAM at = MAKELPARAM(arrows.right / 2, y);
    SendMessageW(spin->upDown, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(spin->upDown, WM_LBUTTONUP, 0, at);
}

void TypeIntoSpinField(int id, std::string_view text) {
    Control* spin = FindControl(id, ControlKind::SpinField);
    if (spin == nullptr) return;
    SendMessageW(spin->hwnd, EM_SETSEL, 0, -1);
    for (const wchar_t c : Wide(text)) SendMessageW(spin->hwnd, WM_CHAR, c, 1);
}

void ClickCheckBox(int id) {
    if (Control* check = FindControl(id, ControlKind::CheckBox)) {
        SendMessageW(check->hwnd, BM_CLICK, 0, 0);
    }
}

void SelectListRow(int id, int row) {
    Control* list = ListView(id);
    if (list == nullptr) return;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    const bool onRow = row >= 0 && row < ListRowCount(id);
    state.state = onRow ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    SendMessageW(list->hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(onRow ? row : -1),
                 reinterpret_cast<LPARAM>(&state));
}

void RightClickListRow(int id, int row) {
    Control* list = ListView(id);
    if (list == nullptr) return;
    POINT at = PointOnRow(*list, row);
    ClientToScreen(list->hwnd, &at);
    SendMessageW(list->hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->hwnd),
                 MAKELPARAM(at.x, at.y));
}

// Only the list's own drag can end over it: the drag is private, so data
// from elsewhere never arrives.
void DropOnListRow(int id, int row, DragData data) {
    Control* list = ListView(id);
    if (list == nullptr || data != DragData::ListsOwn) return;
    DropPrivateDataAt(id, PointOnRow(*list, row));
}

void PressAndDragListRow(int id, int from, int to) {
    Control* list = ListView(id);
    if (list == nullptr) return;
    SelectListRow(id, from);
    // The release waits in the queue for the drag's loop, as the mouse's would.
    const POINT end = PointOnRow(*list, to);
    PostMessageW(list->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(end.x, end.y));
    NMLISTVIEW begin{};
    begin.hdr.hwndFrom = list->hwnd;
    begin.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list->hwnd));
    begin.hdr.code = LVN_BEGINDRAG;
    begin.iItem = from;
    begin.ptAction = PointOnRow(*list, from);
    SendMessageW(GetParent(list->hwnd), WM_NOTIFY, begin.hdr.idFrom,
                 reinterpret_cast<LPARAM>(&begin));
}

void ClickCloseButton() {
    if (Layer().window != nullptr) SendMessageW(Layer().window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void WhenModalOpens(std::function<void()> action) {
    modalAction = std::move(action);
    modalTicks = 0;
    if (modalTimer == 0) modalTimer = SetTimer(nullptr, 0, 5, &WatchForModal);
}

ModalDialog OpenModal() {
    ModalDialog dialog;
    HWND open = OpenDialog();
    if (open == nullptr) return dialog;
    dialog.title = Utf8(WindowText(open));
    MessageBoxParts parts;
    EnumChildWindows(open, &ReadMessageBoxChild, reinterpret_cast<LPARAM>(&parts));
    dialog.buttons = parts.buttons;
    if (IsPrompt(open)) {
        dialog.kind = ModalKind::Prompt;
        dialog.text = Utf8(WindowText(GetDlgItem(open, PromptMessageId)));
        dialog.input = Utf8(WindowText(GetDlgItem(open, PromptEditId)));
        return dialog;
    }
    dialog.kind = ModalKind::MessageBox;
    dialog.text = Utf8(parts.text);
    dialog.hasIcon = parts.hasIcon;
    return dialog;
}

std::string ModalButtonText(int item) {
    HWND open = OpenDialog();
    return open != nullptr ? Utf8(WindowText(GetDlgItem(open, item))) : std::string();
}

void SetPromptInput(std::string_view text) {
    HWND open = OpenDialog();
    if (open != nullptr && IsPrompt(open)) {
        SetDlgItemTextW(open, PromptEditId, Wide(text).c_str());
    }
}

void ConfirmModal() {
    if (HWND open = OpenDialog()) SendMessageW(open, WM_COMMAND, IDOK, 0);
}

void CancelModal() {
    if (HWND open = OpenDialog()) SendMessageW(open, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace platform
