// Controls made from one table: labels, the drop-down list, spin fields (an
// edit box with up-down arrows), the check box, the frame; their rects at the
// screen's resolution, tooltips and values.
#include <algorithm>
#include <charconv>
#include <climits>

#include "platform/window_win32/window_state.h"

namespace platform {
namespace {

struct ControlClass {
    ControlKind kind;
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

// clang-format off
const ControlClass ControlClasses[] = {
    {ControlKind::Label,        WC_STATICW,   SS_LEFT | SS_NOPREFIX,                        0},
    {ControlKind::DropDownList, WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,   0},
    {ControlKind::SpinField,    WC_EDITW,     ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP,        WS_EX_CLIENTEDGE},
    {ControlKind::CheckBox,     WC_BUTTONW,   BS_AUTOCHECKBOX | WS_TABSTOP,                 0},
    {ControlKind::Frame,        FrameClass,   0,                            WS_EX_STATICEDGE | WS_EX_CONTROLPARENT},
    {ControlKind::ListView,     WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                                                                                            WS_EX_CLIENTEDGE},
};
// clang-format on

// The drop-down list's window also holds its open list: room for all 30
// ports without a scroll bar at the usual item height.
constexpr int DropDownListRoom = 30 * 16;

const ControlClass& ClassOf(ControlKind kind) {
    return *std::find_if(std::begin(ControlClasses), std::end(ControlClasses),
                         [kind](const ControlClass& c) { return c.kind == kind; });
}

int Clamp(const Control& spin, int value) {
    return std::clamp(value, spin.minimum, spin.maximum);
}

// The value a spin field's text spells, when it is a whole number in range.
bool ParseSpinText(const Control& spin, int& value) {
    const std::string text = Utf8(WindowText(spin.hwnd));
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        parsed < spin.minimum || parsed > spin.maximum) {
        return false;
    }
    value = parsed;
    return true;
}

// Sets the arrows' position and the text; the text's change notification
// (OnSpinTextChanged) takes the value and reports it when it changed.
void ShowSpinValue(Control& spin, int value) {
    SendMessageW(spin.upDown, UDM_SETPOS32, 0, value);
    SetWindowTextW(spin.hwnd, std::to_wstring(value).c_str());
}

// Only whole non-negative numbers can be typed where the range allows no
// minus sign.
void UpdateDigitsOnly(const Control& spin) {
    LONG_PTR style = GetWindowLongPtrW(spin.hwnd, GWL_STYLE);
    style = spin.minimum >= 0 ? (style | ES_NUMBER) : (style & ~static_cast<LONG_PTR>(ES_NUMBER));
    SetWindowLongPtrW(spin.hwnd, GWL_STYLE, style);
}

Control* DropDown(int id) {
    return FindControl(id, ControlKind::DropDownList);
}
Control* Spin(int id) {
    return FindControl(id, ControlKind::SpinField);
}
Control* Check(int id) {
    return FindControl(id, ControlKind::CheckBox);
}

int MeasureText(HWND window, const std::wstring& text) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, Layer().font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

void AddToolTip(HWND tip, HWND tool, std::wstring& text) {
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = Layer().window;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = text.data();
    SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace

Control* FindControl(int id, ControlKind kind) {
    const auto found = Layer().controls.find(id);
    if (found == Layer().controls.end() || found->second.kind != kind) return nullptr;
    return &found->second;
}

Control* ControlOfWindow(HWND window) {
    const auto found = Layer().controlIds.find(window);
    return found != Layer().controlIds.end() ? &Layer().controls.at(found->second) : nullptr;
}

HWND ParentWindow(int parent) {
    if (parent == ClientArea) return Layer().window;
    Control* frame = FindControl(parent, ControlKind::Frame);
    return frame != nullptr ? frame->hwnd : nullptr;
}

void ApplyFont(HWND window) {
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(Layer().font), TRUE);
}

void PlaceControl(Control& control) {
    const Rect& r = control.rect;
    const int room = control.kind == ControlKind::DropDownList ? DropDownListRoom : 0;
    SetWindowPos(control.hwnd, nullptr, Scale(r.x), Scale(r.y), Scale(r.width),
                 Scale(r.height + room), SWP_NOZORDER | SWP_NOACTIVATE);
    // The arrows take the right end of the rect and narrow the edit box.
    if (control.upDown != nullptr) {
        SendMessageW(control.upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(control.hwnd), 0);
    }
}

// Creates the control of `kind` from the table, with `extraStyle`, and
// records it; nullptr when the id is taken or the parent is unknown.
Control* CreateControl(int id, int parent, ControlKind kind, std::string_view text, Rect rect,
                       DWORD extraStyle) {
    WindowLayer& layer = Layer();
    HWND owner = ParentWindow(parent);
    if (owner == nullptr || layer.controls.count(id) != 0) return nullptr;
    const ControlClass& type = ClassOf(kind);
    HWND window = CreateWindowExW(
        type.exStyle, type.className, Wide(text).c_str(),
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | type.style | extraStyle, 0, 0, 0, 0, owner,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdBase + id)), layer.instance, nullptr);
    if (window == nullptr) return nullptr;
    Control& control = layer.controls[id];
    control.kind = kind;
    control.hwnd = window;
    control.parent = parent;
    control.rect = rect;
    layer.controlIds[window] = id;
    ApplyFont(window);
    PlaceControl(control);
    return &control;
}

bool CreateLabel(int id, int parent, std::string_view text, Rect rect) {
    return CreateControl(id, parent, ControlKind::Label, text, rect, 0) != nullptr;
}

bool CreateDropDownList(int id, int parent, Rect rect) {
    Control* list = CreateControl(id, parent, ControlKind::DropDownList, {}, rect, 0);
    if (list == nullptr) return false;
    SendMessageW(list->hwnd, CB_SETMINVISIBLE, 30, 0);
    return true;
}

bool CreateSpinField(int id, int parent, Rect rect, int minimum, int maximum, bool editable) {
    Control* spin = CreateControl(id, parent, ControlKind::SpinField, {}, rect,
                                  editable ? 0 : ES_READONLY);
    if (spin == nullptr) return false;
    spin->minimum = minimum;
    spin->maximum = std::max(minimum, maximum);
    // As a fresh numeric field: 0 where the range allows, else its nearer end.
    spin->value = Clamp(*spin, 0);
    UpdateDigitsOnly(*spin);
    spin->upDown = CreateWindowExW(
        0, UPDOWN_CLASSW, nullptr,
        WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS |
            UDS_HOTTRACK,
        0, 0, 0, 0, ParentWindow(parent), nullptr, Layer().instance, nullptr);
    if (spin->upDown != nullptr) Layer().controlIds[spin->upDown] = id;
    SendMessageW(spin->upDown, UDM_SETRANGE32, static_cast<WPARAM>(spin->minimum), spin->maximum);
    PlaceControl(*spin);
    ShowSpinValue(*spin, spin->value);
    return true;
}

bool CreateCheckBox(int id, int parent, std::string_view text, Rect rect) {
    return CreateControl(id, parent, ControlKind::CheckBox, text, rect, 0) != nullptr;
}

bool CreateFrame(int id, int parent, Rect rect) {
    return CreateControl(id, parent, ControlKind::Frame, {}, rect, 0) != nullptr;
}

Rect ControlRect(int id) {
    const auto found = Layer().controls.find(id);
    return found != Layer().controls.end() ? found->second.rect : Rect{};
}

void SetControlRect(int id, Rect rect) {
    const auto found = Layer().controls.find(id);
    if (found == Layer().controls.end()) return;
    found->second.rect = rect;
    PlaceControl(found->second);
}

int TextWidth(int id) {
    const auto found = Layer().controls.find(id);
    if (found == Layer().controls.end()) return 0;
    const Control& control = found->second;
    if (control.kind != ControlKind::Label && control.kind != ControlKind::CheckBox) return 0;
    int pixels = MeasureText(control.hwnd, WindowText(control.hwnd));
    // A check box draws its box and a gap before the text.
    if (control.kind == ControlKind::CheckBox) {
        pixels += GetSystemMetricsForDpi(SM_CXMENUCHECK, Layer().dpi) + Scale(4);
    }
    return MulDiv(pixels, USER_DEFAULT_SCREEN_DPI, static_cast<int>(Layer().dpi)) +
           (pixels * USER_DEFAULT_SCREEN_DPI % static_cast<int>(Layer().dpi) != 0 ? 1 : 0);
}

void SetToolTip(int id, std::string_view text) {
    WindowLayer& layer = Layer();
    const auto found = layer.controls.find(id);
    if (found == layer.controls.end() || layer.toolTip == nullptr) return;
    std::wstring text16 = Wide(text);
    AddToolTip(layer.toolTip, found->second.hwnd, text16);
    if (found->second.upDown != nullptr) AddToolTip(layer.toolTip, found->second.upDown, text16);
}

void ClearDropDown(int id) {
    if (Control* list = DropDown(id)) SendMessageW(list->hwnd, CB_RESETCONTENT, 0, 0);
}

void AddDropDownEntry(int id, std::string_view text) {
    if (Control* list = DropDown(id)) {
        SendMessageW(list->hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
    }
}

int DropDownCount(int id) {
    Control* list = DropDown(id);
    return list != nullptr ? static_cast<int>(SendMessageW(list->hwnd, CB_GETCOUNT, 0, 0)) : 0;
}

std::string DropDownText(int id, int index) {
    Control* list = DropDown(id);
    if (list == nullptr || index < 0 || index >= DropDownCount(id)) return {};
    const auto length = SendMessageW(list->hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list->hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return Utf8(text);
}

int DropDownSelection(int id) {
    Control* list = DropDown(id);
    if (list == nullptr) return -1;
    const auto selected = SendMessageW(list->hwnd, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void SetDropDownSelection(int id, int index) {
    Control* list = DropDown(id);
    if (list == nullptr || index < -1 || index >= DropDownCount(id)) return;
    SendMessageW(list->hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// The user's pick from the open list (also of the entry already selected, a
// way to retry a port), or a change by the arrow keys on the closed list.
void OnDropDownCommand(int id, Control& list, int code) {
    const bool open = SendMessageW(list.hwnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
    if (code == CBN_SELENDOK || (code == CBN_SELCHANGE && !open)) {
        ReportControlEvent(id, EventType::SelectionChanged);
    }
}

void SetSpinValue(int id, int value) {
    if (Control* spin = Spin(id)) ShowSpinValue(*spin, Clamp(*spin, value));
}

int SpinValue(int id) {
    Control* spin = Spin(id);
    return spin != nullptr ? spin->value : 0;
}

void SetSpinRange(int id, int minimum, int maximum) {
    Control* spin = Spin(id);
    if (spin == nullptr) return;
    spin->minimum = minimum;
    spin->maximum = std::max(minimum, maximum);
    UpdateDigitsOnly(*spin);
    SendMessageW(spin->upDown, UDM_SETRANGE32, static_cast<WPARAM>(spin->minimum), spin->maximum);
    const int kept = Clamp(*spin, spin->value);
    if (kept != spin->value) ShowSpinValue(*spin, kept);
}

// Typing and setting both end here: a text that spells a new value in range
// becomes the value. A half-typed text ("", "-") leaves the value as it was.
void OnSpinTextChanged(Control& spin) {
    int value = 0;
    if (!ParseSpinText(spin, value) || value == spin.value) return;
    spin.value = value;
    ReportControlEvent(Layer().controlIds.at(spin.hwnd), EventType::ValueChanged);
}

void OnSpinDeltaPos(Control& spin) {
    spin.valueBeforeStep = spin.value;
}

// After a press of the arrows the text (and with it the value) has changed,
// unless the end of the range held it.
void OnSpinScrolled(Control& spin) {
    if (spin.value == spin.valueBeforeStep) return;
    const EventType step = spin.value > spin.valueBeforeStep ? EventType::SteppedUp
                                                             : EventType::SteppedDown;
    spin.valueBeforeStep = spin.value;
    ReportControlEvent(Layer().controlIds.at(spin.hwnd), step);
}

// A field left with a text that is no value in range shows its value again.
void OnSpinFocusLost(Control& spin) {
    int value = 0;
    if (!ParseSpinText(spin, value) || value != spin.value) ShowSpinValue(spin, spin.value);
}

void SetChecked(int id, bool checked) {
    if (Control* check = Check(id)) {
        SendMessageW(check->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

bool IsChecked(int id) {
    Control* check = Check(id);
    return check != nullptr && SendMessageW(check->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace platform
