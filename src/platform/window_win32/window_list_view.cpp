// The report list view: columns, cells with their own background colours
// (custom draw), tooltips for cut-off cells, the selection, and the private
// drag of its rows.
#include <windowsx.h>

#include <algorithm>

#include "platform/window_win32/window_state.h"

namespace platform {
namespace {

Control* ListView(int id) {
    return FindControl(id, ControlKind::ListView);
}

int RowCount(const Control& list) {
    return static_cast<int>(SendMessageW(list.hwnd, LVM_GETITEMCOUNT, 0, 0));
}

bool IsCell(const Control& list, int row, int column) {
    return row >= 0 && row < RowCount(list) && column >= 0 &&
           column < static_cast<int>(list.columnWidths.size());
}

std::wstring CellText(const Control& list, int row, int column) {
    std::wstring text(256, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const auto length = static_cast<std::size_t>(SendMessageW(
            list.hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        // A text that filled the buffer may have been cut: ask again with more room.
        if (length + 1 < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

// The cell under a point of the list's client area; row -1 below the rows.
std::pair<int, int> CellAt(const Control& list, POINT at) {
    LVHITTESTINFO hit{};
    hit.pt = at;
    SendMessageW(list.hwnd, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    return {hit.iItem, hit.iSubItem};
}

std::pair<int, int> CellUnderCursor(const Control& list) {
    POINT at{};
    GetCursorPos(&at);
    ScreenToClient(list.hwnd, &at);
    return CellAt(list, at);
}

void SelectRow(const Control& list, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list.hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&state));
}

void HighlightDropTarget(const Control& list, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_DROPHILITED;
    SendMessageW(list.hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(&state));
    if (row < 0) return;
    state.state = LVIS_DROPHILITED;
    SendMessageW(list.hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&state));
}

// Paints every cell in its own background colour: the list asks before each
// row, then before each cell of it.
LRESULT OnCustomDraw(const Control& list, NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const auto row = static_cast<std::size_t>(draw->nmcd.dwItemSpec);
            const auto column = static_cast<std::size_t>(draw->iSubItem);
            std::int32_t color = -1;
            if (row < list.cellColors.size() && column < list.cellColors[row].size()) {
                color = list.cellColors[row][column];
            }
            draw->clrTextBk = color == -1 ? CLR_DEFAULT : static_cast<COLORREF>(color);
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

// The list's own mouse moves: a new cell under the mouse hides the tooltip of
// the last one, so that the next one asks for the new cell's text.
LRESULT CALLBACK ListSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR) {
    if (message == WM_MOUSEMOVE) {
        if (Control* list = ControlOfWindow(window)) OnListViewMouseMove(*list);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

bool CreateListView(int id, int parent, Rect rect) {
    Control* list = CreateControl(id, parent, ControlKind::ListView, {}, rect, 0);
    if (list == nullptr) return false;
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER;
    SendMessageW(list->hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    WindowLayer& layer = Layer();
    if (layer.cellToolTip != nullptr) {
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = layer.window;
        info.uId = reinterpret_cast<UINT_PTR>(list->hwnd);
        info.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(layer.cellToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    SetWindowSubclass(list->hwnd, &ListSubclass, 1, 0);
    return true;
}

void AddListColumn(int id, std::string_view title, int width) {
    Control* list = ListView(id);
    if (list == nullptr) return;
    std::wstring title16 = Wide(title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = Scale(width);
    column.pszText = title16.data();
    const auto index = static_cast<WPARAM>(list->columnWidths.size());
    if (SendMessageW(list->hwnd, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) < 0) {
        return;
    }
    list->columnWidths.push_back(width);
    for (auto& colors : list->cellColors) colors.push_back(-1);
}

int ListRowCount(int id) {
    Control* list = ListView(id);
    return list != nullptr ? RowCount(*list) : 0;
}

void ResetListRows(int id, int rows) {
    Control* list = ListView(id);
    if (list == nullptr) return;
    SendMessageW(list->hwnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list->hwnd, LVM_DELETEALLITEMS, 0, 0);
    for (int row = 0; row < rows; ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(L"");
        SendMessageW(list->hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    list->cellColors.assign(static_cast<std::size_t>(std::max(rows, 0)),
                            std::vector<std::int32_t>(list->columnWidths.size(), -1));
    SendMessageW(list->hwnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list->hwnd, nullptr, TRUE);
}

std::string ListCellText(int id, int row, int column) {
    Control* list = ListView(id);
    if (list == nullptr || !IsCell(*list, row, column)) return {};
    return Utf8(CellText(*list, row, column));
}

void SetListCellText(int id, int row, int column, std::string_view text) {
    Control* list = ListView(id);
    if (list == nullptr || !IsCell(*list, row, column)) return;
    std::wstring text16 = Wide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text16.data();
    SendMessageW(list->hwnd, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

void SetListCellColor(int id, int row, int column, std::int32_t color) {
    Control* list = ListView(id);
    if (list == nullptr || !IsCell(*list, row, column)) return;
    list->cellColors[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = color;
    SendMessageW(list->hwnd, LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
}

int SelectedListRow(int id) {
    Control* list = ListView(id);
    if (list == nullptr) return -1;
    return static_cast<int>(
        SendMessageW(list->hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The drag holds the mouse until the button is released: over a row of the
// list that row is the drop target; anywhere else, Escape, another button or
// a lost capture end it without a move. Other messages run as usual.
bool StartPrivateDrag(int id) {
    WindowLayer& layer = Layer();
    Control* list = ListView(id);
    if (list == nullptr || layer.dragRunning || layer.terminationRequested) return false;
    layer.dragRunning = true;
    SetCapture(list->hwnd);
    bool released = false;
    POINT at{};
    MSG message;
    while (!layer.terminationRequested && GetCapture() == list->hwnd &&
           GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_LBUTTONUP || message.message == WM_MOUSEMOVE) {
            at = {GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
            MapWindowPoints(message.hwnd, list->hwnd, &at, 1);
            if (message.message == WM_LBUTTONUP) {
                released = true;
                break;
            }
            // The button went up where the drag could not see it (before it
            // held the mouse): nothing is dropped.
            if ((message.wParam & MK_LBUTTON) == 0) break;
            HighlightDropTarget(*list, CellAt(*list, at).first);
            continue;
        }
        if (message.message == WM_RBUTTONDOWN ||
            (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE)) {
            break;
        }
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        DispatchOne(message);
    }
    HighlightDropTarget(*list, -1);
    if (GetCapture() == list->hwnd) ReleaseCapture();
    layer.dragRunning = false;
    RECT client{};
    GetClientRect(list->hwnd, &client);
    if (!released || layer.terminationRequested || !PtInRect(&client, at)) return false;
    DropPrivateDataAt(id, at);
    return true;
}

void DropPrivateDataAt(int id, POINT clientPoint) {
    Control* list = ListView(id);
    if (list == nullptr) return;
    const int row = CellAt(*list, clientPoint).first;
    if (row >= 0) SelectRow(*list, row);
    ReportEvent({EventKind::Drop, MainWindowId, id, EventType::PrivateData});
}

LRESULT OnListViewNotify(int id, Control& list, NMHDR* header) {
    switch (header->code) {
        case NM_CUSTOMDRAW:
            return OnCustomDraw(list, reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        case LVN_BEGINDRAG:
            ReportControlEvent(id, EventType::DragStart);
            return 0;
        default:
            return 0;
    }
}

void OnListViewMouseMove(Control& list) {
    WindowLayer& layer = Layer();
    const std::pair<int, int> cell = CellUnderCursor(list);
    if (cell == layer.toolTipCell) return;
    layer.toolTipCell = cell;
    if (layer.cellToolTip != nullptr) SendMessageW(layer.cellToolTip, TTM_POP, 0, 0);
}

std::wstring CellToolTipText(const Control& list, int row, int column) {
    if (!IsCell(list, row, column)) return {};
    std::wstring text = CellText(list, row, column);
    RECT cell{};
    cell.top = column;
    cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    SendMessageW(list.hwnd, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&cell));
    const auto width = SendMessageW(list.hwnd, LVM_GETSTRINGWIDTHW, 0,
                                    reinterpret_cast<LPARAM>(text.c_str()));
    // The list leaves about 6 pixels at 96 dots per inch on either side of a
    // cell's text.
    if (width + Scale(12) <= cell.right - cell.left) return {};
    return text;
}

void OnCellToolTipNotify(NMHDR* header) {
    if (header->code != TTN_GETDISPINFOW) return;
    // The tooltip reads the text after this returns: it must outlive the call.
    static std::wstring shown;
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    Control* list = ControlOfWindow(reinterpret_cast<HWND>(header->idFrom));
    shown.clear();
    if (list != nullptr && list->kind == ControlKind::ListView) {
        const std::pair<int, int> cell = CellUnderCursor(*list);
        shown = CellToolTipText(*list, cell.first, cell.second);
    }
    info->lpszText = shown.data();
}

}  // namespace platform
