#pragma once
// Private to the window layer: the one record of everything the layer holds,
// and the helpers its files share. Only the user-interface thread touches the
// record, except the atomics marked below.
#include <QPoint>
#include <QString>

#include <atomic>
#include <deque>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/window/event_routing.h"
#include "platform/window/window.h"

class QAction;
class QApplication;
class QEventLoop;
class QLabel;
class QMainWindow;
class QMenu;
class QObject;
class QSystemTrayIcon;
class QTableWidget;
class QTimer;
class QWidget;

namespace platform {

enum class ControlKind { Label, DropDownList, SpinField, CheckBox, Frame, ListView };

struct Control {
    ControlKind kind;
    QWidget* widget;
};

struct WindowLayer {
    QApplication* app = nullptr;  // lives for the process
    QMainWindow* window = nullptr;
    QWidget* client = nullptr;  // the area below the menu bar
    QObject* hook = nullptr;    // watches the window and the list viewport
    std::map<int, Control> controls;
    std::vector<QMenu*> menus;  // index = menu handle
    std::map<int, QAction*> menuItems;
    QLabel* statusFields[2] = {nullptr, nullptr};
    EventRouting routing;  // bound handlers and the queue
    std::map<int, QTimer*> timers;
    QEventLoop* waitLoop = nullptr;  // the loop WaitEvent runs, when it runs
    bool terminationRequested = false;
    int pressedRow = -1;  // list row under a left press, for drag start
    QPoint pressPoint;
    bool dragReported = false;        // a drag start was reported for that press
    bool dragRunning = false;         // StartPrivateDrag is in its drag loop
    QSystemTrayIcon* tray = nullptr;  // a child of the window, made on first show
    std::string trayTitle;            // the last notification shown through it
    std::string trayMessage;
    // ShowNotificationIcon(true) was the last word, tray or not: without a
    // tray, notifications go to the desktop's notification service.
    bool notificationsOn = false;
};

WindowLayer& Layer();

// Status field 0 as other threads reach it; set while the window exists.
extern std::atomic<QLabel*> sharedStatusField0;

inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

// The widget of control `id` when it exists and is of `kind`, else nullptr.
QWidget* FindControl(int id, ControlKind kind);
QWidget* ParentWidget(int parent);
QTableWidget* FindListView(int id);

// Queues the event, or calls the handler bound to it.
void ReportControlEvent(int id, EventType type);
void ReportEvent(const Event& event);

// Dismisses open modal dialogs (as cancelled), pop-up menus and a running
// drag, and makes the event queue report a close. Idempotent.
void RequestTermination();

// The mime type that marks a drag as the list view's own.
extern const char* const PrivateDragMimeType;

// Window-layer parts that need the hook object's watch.
QObject* CreateHook();
void WatchListViewport(QWidget* viewport);
void ForgetEvents();

}  // namespace platform
