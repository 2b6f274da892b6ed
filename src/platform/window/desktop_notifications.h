#pragma once
// Private to the Qt window layer: notifications through the desktop's
// notification service (org.freedesktop.Notifications on the session bus),
// for desktops that have no system tray to show a balloon from.
// User-interface thread only.
#include <string_view>

namespace platform {

// Hands `summary` and `body` (plain text) to the service and returns at once;
// the answer is handled by the event loop. Without a session bus or without
// the service nothing is shown, and only the first failure of the process is
// told, in one line on standard error. While the service does not answer, at
// most a few notifications wait; later ones are dropped.
void SendDesktopNotification(std::string_view summary, std::string_view body);

// Notifications handed over and not yet answered (or waiting to be handed
// over); 0 once every one was shown or failed.
int DesktopNotificationsPending();

}  // namespace platform
