// Desktop notifications over D-Bus, for desktops without a system tray (a
// tiling window manager with a notification daemon, GNOME without its tray
// extension). Every call is asynchronous: a notification service that hangs
// must not hold the window, and one that is absent costs one error reply.
#include "platform/window/desktop_notifications.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>
#include <deque>
#include <functional>
#include <utility>

#include "platform/window/window_state.h"

namespace platform {
namespace {

constexpr const char* ServiceName = "org.freedesktop.Notifications";
constexpr const char* ServicePath = "/org/freedesktop/Notifications";
constexpr const char* ServiceInterface = "org.freedesktop.Notifications";
// The name the package installs the icon and the menu entry under.
constexpr const char* ProgramIconName = "kelvarian";
// Announcements come a few at a time; a service that does not answer (it
// waits up to the bus's 25 s call limit) must not make them pile up.
constexpr std::size_t WaitingLimit = 8;
// Let the server pick how long a notification stays.
constexpr qint32 ServerDefaultTimeout = -1;

enum class Markup { Unknown, Asking, Yes, No };

struct Notification {
    QString summary;
    QString body;
};

struct DesktopNotifications {
    // Whether the server reads markup in the body: one that does would take
    // a sensor named "<b>" or "R&D" as markup, one that does not would show
    // the escapes. Asked once, and again after a failed notification (the
    // service may have been replaced).
    Markup markup = Markup::Unknown;
    std::deque<Notification> waiting;  // until the server's answer about markup
    int inFlight = 0;
    bool failureTold = false;
};

DesktopNotifications instance;

void TellFailureOnce(const QDBusError& error) {
    if (instance.failureTold) return;
    instance.failureTold = true;
    std::fprintf(stderr, "kelvarian: no desktop notifications (%s)\n",
                 error.message().toUtf8().constData());
}

void CallService(const QString& method, const QVariantList& arguments,
                 std::function<void(const QDBusPendingCallWatcher&)> answered) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(ServiceName, ServicePath, ServiceInterface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call),
                                                QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [answered = std::move(answered)](QDBusPendingCallWatcher* done) {
                         answered(*done);
                         done->deleteLater();
                     });
}

// The program's own picture for servers that find no "kelvarian" in the icon
// theme (a build run from its folder, not installed): the freedesktop
// "image-data" structure, 8-bit RGBA rows. None while no window icon is set.
constexpr int NotificationImageSize = 48;

void AddProgramImage(QVariantMap& hints) {
    const QIcon icon = QGuiApplication::windowIcon();
    if (icon.isNull()) return;
    const QImage image = icon.pixmap(NotificationImageSize, NotificationImageSize)
                             .toImage()
                             .convertToFormat(QImage::Format_RGBA8888);
    if (image.isNull()) return;
    QDBusArgument data;
    data.beginStructure();
    data << image.width() << image.height() << static_cast<int>(image.bytesPerLine()) << true << 8
         << 4
         << QByteArray(reinterpret_cast<const char*>(image.constBits()),
                       static_cast<int>(image.sizeInBytes()));
    data.endStructure();
    hints.insert("image-data", QVariant::fromValue(data));
}

void Notify(const Notification& notification) {
    QVariantMap hints;
    hints.insert("desktop-entry", QString(ProgramIconName));
    AddProgramImage(hints);
    const QString body =
        instance.markup == Markup::Yes ? notification.body.toHtmlEscaped() : notification.body;
    ++instance.inFlight;
    CallService("Notify",
                {QString("Kelvarian"), 0u, QString(ProgramIconName), notification.summary, body,
                 QStringList(), hints, ServerDefaultTimeout},
                [](const QDBusPendingCallWatcher& done) {
                    --instance.inFlight;
                    if (!done.isError()) return;
                    TellFailureOnce(done.error());
                    instance.markup = Markup::Unknown;
                });
}

void AskAboutMarkup() {
    instance.markup = Markup::Asking;
    CallService("GetCapabilities", {}, [](const QDBusPendingCallWatcher& done) {
        const QDBusPendingReply<QStringList> reply = done;
        if (reply.isError()) {
            // No service: what waited is not shown later by surprise.
            TellFailureOnce(reply.error());
            instance.markup = Markup::Unknown;
            instance.waiting.clear();
            return;
        }
        instance.markup = reply.value().contains("body-markup") ? Markup::Yes : Markup::No;
        while (!instance.waiting.empty()) {
            Notify(instance.waiting.front());
            instance.waiting.pop_front();
        }
    });
}

}  // namespace

void SendDesktopNotification(std::string_view summary, std::string_view body) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        TellFailureOnce(QDBusConnection::sessionBus().lastError());
        return;
    }
    Notification notification{ToQString(summary), ToQString(body)};
    switch (instance.markup) {
        case Markup::Yes:
        case Markup::No:
            if (instance.inFlight < static_cast<int>(WaitingLimit)) Notify(notification);
            return;
        case Markup::Unknown:
            AskAboutMarkup();
            break;
        case Markup::Asking:
            break;
    }
    if (instance.waiting.size() < WaitingLimit) instance.waiting.push_back(std::move(notification));
}

int DesktopNotificationsPending() {
    return static_cast<int>(instance.waiting.size()) + instance.inFlight +
           (instance.markup == Markup::Asking ? 1 : 0);
}

}  // namespace platform
