// The notification-area icon (Shell_NotifyIconW) with the window's small
// icon, a tooltip, and its balloon as the notification.
#include "platform/window_win32/window_state.h"  // windows.h first: shellapi.h needs it

#include <shellapi.h>

#include <algorithm>

#include "platform/win32_text.h"
#include "platform/window/window.h"

namespace platform {
namespace {

constexpr UINT IconId = 1;
bool shown = false;

NOTIFYICONDATAW iconData() {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = Layer().window;
    data.uID = IconId;
    return data;
}

// Cut to the field, always ended: the fields are fixed arrays.
template <std::size_t N>
void copyText(wchar_t (&field)[N], std::string_view text) {
    const std::wstring wide = WideFromUtf8(text);
    const std::size_t count = std::min(wide.size(), N - 1);
    std::copy_n(wide.data(), count, field);
    field[count] = L'\0';
}

}  // namespace

bool ShowNotificationIcon(bool on, std::string_view tooltip) {
    if (Layer().window == nullptr) return false;
    NOTIFYICONDATAW data = iconData();
    if (!on) {
        if (shown) Shell_NotifyIconW(NIM_DELETE, &data);
        shown = false;
        return true;
    }
    data.uFlags = NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.hIcon = reinterpret_cast<HICON>(SendMessageW(Layer().window, WM_GETICON, ICON_SMALL, 0));
    if (data.hIcon == nullptr) data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    copyText(data.szTip, tooltip);
    if (shown) return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    shown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    if (shown) {
        data.uVersion = NOTIFYICON_VERSION_4;
        Shell_NotifyIconW(NIM_SETVERSION, &data);
    }
    return shown;
}

void ShowNotification(std::string_view title, std::string_view text) {
    if (!shown) return;
    NOTIFYICONDATAW data = iconData();
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_INFO;
    copyText(data.szInfoTitle, title);
    copyText(data.szInfo, text);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

}  // namespace platform
