// The notification-area icon through Qt's system tray: the window's own
// icon, a tooltip, and the tray's messages as notifications. Without a tray
// the notifications go to the desktop's notification service.
#include <QMainWindow>
#include <QSystemTrayIcon>

#include "platform/window/desktop_notifications.h"
#include "platform/window/window.h"
#include "platform/window/window_state.h"

namespace platform {

bool ShowNotificationIcon(bool on, std::string_view tooltip) {
    WindowLayer& layer = Layer();
    layer.notificationsOn = on && layer.window != nullptr;
    if (!on) {
        if (layer.tray != nullptr) layer.tray->hide();
        return true;
    }
    if (layer.window == nullptr || !QSystemTrayIcon::isSystemTrayAvailable()) return false;
    // Held by the layer, so it goes with the window that owns it.
    if (layer.tray == nullptr) {
        layer.tray = new QSystemTrayIcon(layer.window->windowIcon(), layer.window);
    }
    layer.tray->setToolTip(ToQString(tooltip));
    layer.tray->show();
    return true;
}

void ShowNotification(std::string_view title, std::string_view text) {
    WindowLayer& layer = Layer();
    if (!layer.notificationsOn) return;
    if (layer.tray == nullptr || !layer.tray->isVisible()) {
        SendDesktopNotification(title, text);
        return;
    }
    layer.tray->showMessage(ToQString(title), ToQString(text), QSystemTrayIcon::Information);
    layer.trayTitle = title;
    layer.trayMessage = text;
}

}  // namespace platform
