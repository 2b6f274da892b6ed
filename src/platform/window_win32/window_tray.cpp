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

void RemoveNotificationIcon() {
    WindowLayer& layer = Layer();
    if (!layer.trayShown) return;
    NOTIFYICONDATAW data = iconData();
    Shell_NotifyIconW(NIM_DELETE, &data);
    layer.trayShown = false;
}

bool ShowNotificationIcon(bool on, std::string_view tooltip) {
    WindowLayer& layer = Layer();
    if (layer.window == nullptr) return false;
    if (!on) {
        RemoveNotificationIcon();
        return true;
    }
    NOTIFYICONDATAW data = iconData();
    data.uFlags = NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.hIcon = reinterpret_cast<HICON>(SendMessageW(layer.window, WM_GETICON, ICON_SMALL, 0));
    if (data.hIcon == nullptr) data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    copyText(data.szTip, tooltip);
    bool accepted = false;
    if (layer.trayShown) {
        accepted = Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    } else if (Shell_NotifyIconW(NIM_ADD, &data) != FALSE) {
        accepted = layer.trayShown = true;
        data.uVersion = NOTIFYICON_VERSION_4;
        Shell_NotifyIconW(NIM_SETVERSION, &data);
    }
    if (accepted) {
        layer.trayHasIcon = data.hIcon != nullptr;
        layer.trayTip = Utf8(data.szTip);
    }
    return accepted;
}

void ShowNotification(std::string_view title, std::string_view text) {
    WindowLayer& layer = Layer();
    if (!layer.trayShown) return;
    NOTIFYICONDATAW data = iconData();
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_INFO;
    copyText(data.szInfoTitle, title);
    copyText(data.szInfo, text);
    if (Shell_NotifyIconW(NIM_MODIFY, &data) == FALSE) return;
    layer.trayTitle = Utf8(data.szInfoTitle);
    layer.trayMessage = Utf8(data.szInfo);
}

}  // namespace platform
