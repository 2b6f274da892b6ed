// The Qt layer's side of window_testing.h: reads the widgets back and plays
// the user's gestures into them as the window system would deliver them.
#include "platform/window/window_testing.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include <csignal>
#include <memory>

#include "platform/monitor_window.h"
#include "platform/window/desktop_notifications.h"
#include "platform/window/window_state.h"

namespace platform {
namespace {

QSpinBox* Spin(int id) {
    return static_cast<QSpinBox*>(FindControl(id, ControlKind::SpinField));
}

QComboBox* DropDown(int id) {
    return static_cast<QComboBox*>(FindControl(id, ControlKind::DropDownList));
}

// A point in the list's viewport on `row`, or below the last row.
QPoint PointOnRow(QTableWidget* view, int row, int x = 10) {
    const bool onRow = row >= 0 && row < view->rowCount();
    return {x, onRow ? view->rowViewportPosition(row) + 2 : view->viewport()->height() - 2};
}

QDialog* OpenDialog() {
    return qobject_cast<QDialog*>(QApplication::activeModalWidget());
}

}  // namespace

void DestroyMainWindow() {
    WindowLayer& layer = Layer();
    BindMonitorWindow(nullptr);
    sharedStatusField0.store(nullptr);
    delete layer.window;  // its children: controls, menus, timers, hook
    QApplication* app = layer.app;
    layer = WindowLayer{};
    layer.app = app;
    ForgetEvents();
}

bool PollEvent(Event& event) {
    WindowLayer& layer = Layer();
    QCoreApplication::processEvents();
    if (layer.terminationRequested) {
        event = {EventKind::Close, MainWindowId, 0, EventType::None};
        return true;
    }
    return TakeQueuedEvent(layer.routing, event);
}

void DispatchPendingWork() {
    QCoreApplication::processEvents();
}

bool TerminationRequested() {
    return Layer().terminationRequested;
}

void SimulateTerminationRequest() {
    std::raise(SIGTERM);
}

bool TimerRunning(int timerId) {
    const auto found = Layer().timers.find(timerId);
    return found != Layer().timers.end() && found->second->isActive();
}

bool MainWindowVisible() {
    return Layer().window != nullptr && Layer().window->isVisible();
}

std::string MainWindowTitle() {
    return Layer().window != nullptr ? ToStdString(Layer().window->windowTitle()) : std::string();
}

bool MainWindowHasIcon() {
    return Layer().window != nullptr && !Layer().window->windowIcon().isNull();
}

NotificationIconView NotificationIcon() {
    const WindowLayer& layer = Layer();
    NotificationIconView view;
    view.desktopPending = DesktopNotificationsPending();
    if (layer.tray == nullptr) return view;
    view.shown = layer.tray->isVisible();
    view.hasIcon = !layer.tray->icon().isNull();
    view.tooltip = layer.tray->toolTip().toStdString();
    view.title = layer.trayTitle;
    view.message = layer.trayMessage;
    return view;
}

Rect InnerRect() {
    QMainWindow* window = Layer().window;
    if (window == nullptr) return {};
    return {0, 0, window->width(), window->height()};
}

std::string ToolTip(int id) {
    const auto found = Layer().controls.find(id);
    if (found == Layer().controls.end()) return {};
    return ToStdString(found->second.widget->toolTip());
}

std::string SpinText(int id) {
    QSpinBox* spin = Spin(id);
    return spin != nullptr ? ToStdString(spin->text()) : std::string();
}

std::string DropDownShownText(int id) {
    QComboBox* list = DropDown(id);
    return list != nullptr ? ToStdString(list->currentText()) : std::string();
}

int StatusFieldCount() {
    // findChild, not statusBar(): asking for the bar would create one.
    QMainWindow* window = Layer().window;
    QStatusBar* bar = window != nullptr ? window->findChild<QStatusBar*>() : nullptr;
    return bar != nullptr ? static_cast<int>(bar->findChildren<QLabel*>().size()) : 0;
}

Rect StatusFieldRect(int field) {
    if (field < 0 || field > 1 || Layer().statusFields[field] == nullptr) return {};
    const QRect g = Layer().statusFields[field]->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

std::string StatusText(int field) {
    if (field < 0 || field > 1 || Layer().statusFields[field] == nullptr) return {};
    return ToStdString(Layer().statusFields[field]->text());
}

int ListColumnCount(int id) {
    QTableWidget* view = FindListView(id);
    return view != nullptr ? view->columnCount() : 0;
}

std::string ListColumnTitle(int id, int column) {
    QTableWidget* view = FindListView(id);
    if (view == nullptr || view->horizontalHeaderItem(column) == nullptr) return {};
    return ToStdString(view->horizontalHeaderItem(column)->text());
}

int ListColumnWidth(int id, int column) {
    QTableWidget* view = FindListView(id);
    return view != nullptr ? view->columnWidth(column) : 0;
}

std::int32_t ListCellColor(int id, int row, int column) {
    QTableWidget* view = FindListView(id);
    QTableWidgetItem* cell = view != nullptr ? view->item(row, column) : nullptr;
    if (cell == nullptr || !cell->data(Qt::BackgroundRole).isValid()) return -1;
    const QColor c = cell->background().color();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(c.red()) |
                                     static_cast<std::uint32_t>(c.green()) << 8 |
                                     static_cast<std::uint32_t>(c.blue()) << 16);
}

std::string ListCellToolTip(int id, int row, int column) {
    QTableWidget* view = FindListView(id);
    if (view == nullptr) return {};
    // A tooltip fades out: the previous one must be gone before this is read.
    QToolTip::hideText();
    [[maybe_unused]] const bool hidden =
        QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 5000);
    const QPoint at = PointOnRow(view, row, view->columnViewportPosition(column) + 10);
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &help);
    return QToolTip::isVisible() ? ToStdString(QToolTip::text()) : std::string();
}

std::vector<std::string> OpenPopupMenuItems() {
    std::vector<std::string> texts;
    if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        for (QAction* item : popup->actions()) {
            if (!item->isSeparator()) texts.push_back(ToStdString(item->text()));
        }
    }
    return texts;
}

void ClosePopupMenu() {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

void ChooseMenuItem(int itemId) {
    const auto found = Layer().menuItems.find(itemId);
    if (found != Layer().menuItems.end()) found->second->trigger();
}

void PickDropDownEntry(int id, int index) {
    QComboBox* list = DropDown(id);
    if (list == nullptr || index < 0 || index >= list->count()) return;
    // What the list does when the user picks an entry from its pop-up.
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void PressSpinArrow(int id, SpinArrow arrow) {
    if (QSpinBox* spin = Spin(id)) {
        QTest::keyClick(spin, arrow == SpinArrow::Up ? Qt::Key_Up : Qt::Key_Down);
    }
}

void TypeIntoSpinField(int id, std::string_view text) {
    if (QSpinBox* spin = Spin(id)) {
        spin->selectAll();
        QTest::keyClicks(spin, ToQString(text));
    }
}

void ClickCheckBox(int id) {
    if (QWidget* check = FindControl(id, ControlKind::CheckBox)) {
        QTest::mouseClick(check, Qt::LeftButton);
    }
}

void SelectListRow(int id, int row) {
    QTableWidget* view = FindListView(id);
    if (view == nullptr) return;
    if (row < 0 || row >= view->rowCount()) {
        view->clearSelection();
        return;
    }
    view->selectRow(row);
}

void RightClickListRow(int id, int row) {
    QTableWidget* view = FindListView(id);
    if (view == nullptr) return;
    const QPoint at = PointOnRow(view, row);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &click);
}

void DropOnListRow(int id, int row, DragData data) {
    QTableWidget* view = FindListView(id);
    QMainWindow* window = Layer().window;
    if (view == nullptr || window == nullptr) return;
    // Through the top-level window, as the window system delivers a drop.
    const QPointF at = view->viewport()->mapTo(window, PointOnRow(view, row));
    QMimeData dragged;
    dragged.setData(data == DragData::ListsOwn ? PrivateDragMimeType : "text/plain", QByteArray());
    QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &enter);
    QDropEvent drop(at, Qt::MoveAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &drop);
}

void ClickCloseButton() {
    if (Layer().window != nullptr) Layer().window->close();
}

void WhenModalOpens(std::function<void()> action) {
    auto* timer = new QTimer(QCoreApplication::instance());
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action, ticks] {
        const bool open = QApplication::activeModalWidget() != nullptr;
        // Bounded, so that a dialog that never opens cannot leave the timer to
        // a later test.
        if (!open && ++*ticks < 2000) return;
        timer->stop();
        timer->deleteLater();
        if (open) action();
    });
    timer->start(5);
}

ModalDialog OpenModal() {
    ModalDialog dialog;
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        dialog.kind = ModalKind::MessageBox;
        dialog.title = ToStdString(box->windowTitle());
        dialog.text = ToStdString(box->text());
        dialog.buttons = static_cast<int>(box->buttons().size());
        dialog.hasIcon = box->icon() != QMessageBox::NoIcon;
    } else if (auto* prompt = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
        dialog.kind = ModalKind::Prompt;
        dialog.title = ToStdString(prompt->windowTitle());
        dialog.text = ToStdString(prompt->labelText());
        dialog.input = ToStdString(prompt->textValue());
        if (auto* buttons = prompt->findChild<QDialogButtonBox*>()) {
            dialog.buttons = static_cast<int>(buttons->buttons().size());
        }
    }
    return dialog;
}

void SetPromptInput(std::string_view text) {
    if (auto* prompt = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
        prompt->setTextValue(ToQString(text));
    }
}

void ConfirmModal() {
    if (QDialog* dialog = OpenDialog()) dialog->accept();
}

void CancelModal() {
    if (QDialog* dialog = OpenDialog()) dialog->reject();
}

}  // namespace platform
