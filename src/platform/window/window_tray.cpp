// The notification-area icon through Qt's system tray: the window's own
// icon, a tooltip, and the tray's messages as notifications.
#include <QMainWindow>
#include <QSystemTrayIcon>

#include "platform/window/window.h"
#include "platform/window/window_state.h"

namespace platform {
namespace {

QSystemTrayIcon* tray = nullptr;

}  // namespace

bool ShowNotificationIcon(bool on, std::string_view tooltip) {
    WindowLayer& layer = Layer();
    if (!on) {
        if (tray != nullptr) tray->hide();
        return true;
    }
    if (layer.window == nullptr || !QSystemTrayIcon::isSystemTrayAvailable()) return false;
    if (tray == nullptr) tray = new QSystemTrayIcon(layer.window->windowIcon(), layer.window);
    tray->setToolTip(ToQString(tooltip));
    tray->show();
    return true;
}

void ShowNotification(std::string_view title, std::string_view text) {
    if (tray == nullptr || !tray->isVisible()) return;
    tray->showMessage(ToQString(title), ToQString(text), QSystemTrayIcon::Information);
}

}  // namespace platform
