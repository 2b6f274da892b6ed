// The event queue, bound handlers, timers, custom events from other threads,
// termination requests, and the hook that watches the window and the list.
#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDrag>
#include <QDropEvent>
#include <QEventLoop>
#include <QHelpEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>

#include "platform/process.h"
#include "platform/window/window_state.h"

namespace platform {

namespace {

Event CloseEvent() {
    return {EventKind::Close, MainWindowId, 0, EventType::None};
}

QTableWidget* ListOfViewport(QObject* viewport) {
    return qobject_cast<QTableWidget*>(viewport->parent());
}

int ListIdOfViewport(QObject* viewport) {
    return viewport->property("kelvarianControl").toInt();
}

// A left press remembers its row; moving past the drag distance with the
// button held reports one drag start. The moves are kept from the view so
// that dragging does not drag the selection along.
bool WatchDragStart(QObject* viewport, QEvent* event) {
    WindowLayer& layer = Layer();
    auto* mouse = static_cast<QMouseEvent*>(event);
    QTableWidget* view = ListOfViewport(viewport);
    if (event->type() == QEvent::MouseButtonPress) {
        layer.pressedRow = mouse->button() == Qt::LeftButton ? view->rowAt(mouse->pos().y()) : -1;
        layer.pressPoint = mouse->pos();
        layer.dragReported = false;
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        layer.pressedRow = -1;
        return false;
    }
    if (!(mouse->buttons() & Qt::LeftButton) || layer.pressedRow < 0) return false;
    if (!layer.dragReported &&
        (mouse->pos() - layer.pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
        layer.dragReported = true;
        ReportControlEvent(ListIdOfViewport(viewport), EventType::DragStart);
    }
    return true;
}

bool IsPrivateDrag(QEvent* event) {
    const QMimeData* data = static_cast<QDropEvent*>(event)->mimeData();
    return data != nullptr && data->hasFormat(PrivateDragMimeType);
}

// Only the list's own drag is accepted, and only as "move". The row under the
// mouse becomes the selected row before the drop is reported, so the handler
// reads the row the user dropped on; below the last row nothing changes.
bool WatchDrop(QObject* viewport, QEvent* event) {
    auto* drop = static_cast<QDropEvent*>(event);
    if (!IsPrivateDrag(event) || !(drop->possibleActions() & Qt::MoveAction)) {
        event->ignore();
        return true;
    }
    drop->setDropAction(Qt::MoveAction);
    drop->accept();
    if (event->type() == QEvent::Drop) {
        QTableWidget* view = ListOfViewport(viewport);
        const int row = view->rowAt(drop->position().toPoint().y());
        if (row >= 0) view->selectRow(row);
        ReportEvent(
            {EventKind::Drop, MainWindowId, ListIdOfViewport(viewport), EventType::PrivateData});
    }
    return true;
}

// A cell shows its whole text as a tooltip only when the text is cut off.
bool WatchToolTip(QObject* viewport, QEvent* event) {
    auto* help = static_cast<QHelpEvent*>(event);
    QTableWidget* view = ListOfViewport(viewport);
    const QModelIndex index = view->indexAt(help->pos());
    const QString text = index.data().toString();
    const QRect cell = view->visualRect(index);
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    if (index.isValid() &&
        view->fontMetrics().horizontalAdvance(text) + 2 * margin > cell.width()) {
        QToolTip::showText(help->globalPos(), text, view->viewport(), cell);
    } else {
        QToolTip::hideText();
    }
    return true;
}

// Qt hands a window's close request, and a list viewport's mouse, drag and
// tooltip events, only to the widgets' own virtual handlers or to an event
// filter; this filter is the one hook that needs no widget subclass.
class EventHook : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == Layer().window) {
            if (event->type() != QEvent::Close) return false;
            event->ignore();  // the caller hides the window in its own time
            ReportEvent(CloseEvent());
            return true;
        }
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseMove:
                return WatchDragStart(watched, event);
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
                return WatchDrop(watched, event);
            case QEvent::ToolTip:
                return WatchToolTip(watched, event);
            default:
                return false;
        }
    }
};

// The process layer calls this from a thread of its own; the request is
// acted on by the user-interface thread, behind the work posted before it.
void PostTerminationRequest() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [] { RequestTermination(); }, Qt::QueuedConnection);
    }
}

void DeliverCustomEvent(int number) {
    if (Layer().window == nullptr) return;
    ReportEvent({EventKind::Custom, MainWindowId, number, EventType::None});
}

}  // namespace

QObject* CreateHook() {
    WindowLayer& layer = Layer();
    auto* hook = new EventHook(layer.window);
    layer.window->installEventFilter(hook);
    return hook;
}

void WatchListViewport(QWidget* viewport) {
    if (Layer().hook != nullptr) viewport->installEventFilter(Layer().hook);
}

void ForgetEvents() {
    // Custom events and status texts queued for a window that is gone.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QCoreApplication::removePostedEvents(app, QEvent::MetaCall);
    }
}

void ReportControlEvent(int id, EventType type) {
    ReportEvent({EventKind::Control, MainWindowId, id, type});
}

void ReportEvent(const Event& event) {
    WindowLayer& layer = Layer();
    if (RouteEvent(layer.routing, event) && layer.waitLoop != nullptr) layer.waitLoop->quit();
}

Event WaitEvent() {
    WindowLayer& layer = Layer();
    for (;;) {
        if (layer.terminationRequested || layer.window == nullptr) return CloseEvent();
        Event next;
        if (TakeQueuedEvent(layer.routing, next)) return next;
        QEventLoop loop;
        layer.waitLoop = &loop;
        loop.exec();
        layer.waitLoop = nullptr;
    }
}

void DiscardPendingEvents() {
    QCoreApplication::processEvents();
    Layer().routing.queue.clear();
}

EventRouting& Routing() {
    return Layer().routing;
}

bool StartTimer(int timerId, int periodMs, Handler handler) {
    WindowLayer& layer = Layer();
    if (layer.window == nullptr || handler == nullptr) return false;
    QTimer*& timer = layer.timers[timerId];
    if (timer == nullptr) timer = new QTimer(layer.window);
    QObject::disconnect(timer, &QTimer::timeout, nullptr, nullptr);
    QObject::connect(timer, &QTimer::timeout, timer, [handler] { handler(); });
    timer->start(periodMs);
    return true;
}

void QueueCustomEvent(std::int32_t number) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    // A Qt event type has 16 bits and a custom number may not fit; the number
    // travels in a queued call instead, in order with other posted work.
    QMetaObject::invokeMethod(
        app, [number] { DeliverCustomEvent(number); }, Qt::QueuedConnection);
}

void RequestTermination() {
    WindowLayer& layer = Layer();
    layer.terminationRequested = true;
    if (layer.dragRunning) QDrag::cancel();
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    // Each dismissed dialog leaves the modal stack; the bound keeps a dialog
    // that refuses to close from holding this loop.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->done(QDialog::Rejected);
        } else {
            modal->close();
        }
    }
    if (layer.waitLoop != nullptr) layer.waitLoop->quit();
}

void WatchTerminationSignals() {
    if (Layer().app != nullptr) SetTerminationNotifier(&PostTerminationRequest);
}

}  // namespace platform
