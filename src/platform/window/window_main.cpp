// The top-level window, its status bar and the binding that lets the monitor
// thread reach status field 0 and the event queue.
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QThread>
#include <QTranslator>

#include <cstdio>

#include "platform/monitor_window.h"
#include "platform/window/display_probe.h"
#include "platform/window/window_state.h"

namespace platform {

std::atomic<QLabel*> sharedStatusField0{nullptr};

namespace {

WindowLayer layer;

// QApplication keeps references to argc and argv for its whole life.
int applicationArgc = 1;
char applicationName[] = "kelvarian";
char* applicationArgv[] = {applicationName, nullptr};

void SetStatusField0FromAnyThread(std::string_view text) {
    SetStatusText(0, text);
}

void CentreOnScreen() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        layer.window->move(area.center() -
                           QPoint(layer.window->width() / 2, layer.window->height() / 2));
    }
}

// A field holds half the bar; the tooltip shows a text that does not fit.
void ShowStatusText(QLabel* field, const QString& text) {
    field->setText(text);
    field->setToolTip(text);
}

const MonitorWindowOps monitorWindowOps{&SetStatusField0FromAnyThread, &QueueCustomEvent};

}  // namespace

WindowLayer& Layer() {
    return layer;
}

bool InitWindowSystem() {
    if (layer.app != nullptr) return true;
    if (QCoreApplication::instance() != nullptr) {
        layer.app = qobject_cast<QApplication*>(QCoreApplication::instance());
        return layer.app != nullptr;
    }
    // Unattended, the program must go on monitoring and serving its page when
    // no display answers: started by hand without one, or with a stale one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !DisplayAnswers()) {
        std::fputs(
            "kelvarian: no display answers; running without a window (offscreen), "
            "monitoring and serving the page as usual\n",
            stderr);
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    layer.app = new QApplication(applicationArgc, applicationArgv);
    // The shell runs its own loop and decides when the program ends.
    QApplication::setQuitOnLastWindowClosed(false);
    return true;
}

bool ScreenVisible() {
    // "minimal" draws nowhere either; both are Qt's headless platforms.
    const QString platform = QGuiApplication::platformName();
    return layer.app != nullptr && platform != QStringLiteral("offscreen") &&
           platform != QStringLiteral("minimal");
}

bool UseToolkitLanguage(std::string_view language) {
    if (layer.app == nullptr) return false;
    auto* translator = new QTranslator(layer.app);
    if (!translator->load(QStringLiteral("qtbase_") + ToQString(language),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

bool CreateMainWindow(std::string_view title, int innerWidth, int innerHeight) {
    if (layer.app == nullptr || layer.window != nullptr) return false;
    auto* window =
        new QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                     Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                     Qt::WindowCloseButtonHint);
    window->setWindowTitle(ToQString(title));
    window->setFixedSize(innerWidth, innerHeight);
    layer.client = new QWidget(window);
    window->setCentralWidget(layer.client);
    layer.window = window;
    CentreOnScreen();
    layer.hook = CreateHook();
    BindMonitorWindow(&monitorWindowOps);
    return true;
}

bool SetWindowIconFromIco(std::span<const std::uint8_t> icoBytes) {
    QPixmap picture;
    if (layer.window == nullptr ||
        !picture.loadFromData(icoBytes.data(), static_cast<uint>(icoBytes.size()), "ICO")) {
        return false;
    }
    layer.window->setWindowIcon(QIcon(picture));
    QApplication::setWindowIcon(QIcon(picture));
    return true;
}

void ShowMainWindow() {
    if (layer.window != nullptr) layer.window->show();
}

void HideMainWindow() {
    if (layer.window != nullptr) layer.window->hide();
}

void SetInnerSize(int width, int height) {
    if (layer.window == nullptr) return;
    layer.window->setFixedSize(width, height);
    // Still being built: it shows centred at its final size.
    if (!layer.window->isVisible()) CentreOnScreen();
}

int MenuBarHeight() {
    if (layer.window == nullptr) return 0;
    QMenuBar* bar = layer.window->menuBar();
    const int forWidth = bar->heightForWidth(layer.window->width());
    return forWidth > 0 ? forWidth : bar->sizeHint().height();
}

int StatusBarHeight() {
    if (layer.statusFields[0] == nullptr) return 0;
    return layer.window->statusBar()->sizeHint().height();
}

void CreateStatusBar() {
    if (layer.window == nullptr || layer.statusFields[0] != nullptr) return;
    QStatusBar* bar = layer.window->statusBar();
    bar->setSizeGripEnabled(false);  // the frame is fixed
    for (QLabel*& field : layer.statusFields) {
        field = new QLabel(bar);
        field->setMinimumWidth(1);  // long texts must not widen their field
        bar->addWidget(field, 1);   // equal stretch: equal halves
    }
    sharedStatusField0.store(layer.statusFields[0]);
}

void SetStatusText(int field, std::string_view text) {
    if (field == 0) {
        QString copy = ToQString(text);
        QLabel* label = sharedStatusField0.load();
        if (label == nullptr) return;
        if (QThread::currentThread() == label->thread()) {
            ShowStatusText(label, copy);
            return;
        }
        // Another thread: queue the change behind the events that thread posted
        // before, and look the label up again once on the user-interface thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [copy] {
                if (QLabel* now = sharedStatusField0.load()) ShowStatusText(now, copy);
            },
            Qt::QueuedConnection);
        return;
    }
    if (field == 1 && layer.statusFields[1] != nullptr) {
        ShowStatusText(layer.statusFields[1], ToQString(text));
    }
}

QWidget* FindControl(int id, ControlKind kind) {
    const auto found = layer.controls.find(id);
    if (found == layer.controls.end() || found->second.kind != kind) return nullptr;
    return found->second.widget;
}

QWidget* ParentWidget(int parent) {
    if (parent == ClientArea) return layer.client;
    return FindControl(parent, ControlKind::Frame);
}

QTableWidget* FindListView(int id) {
    return static_cast<QTableWidget*>(FindControl(id, ControlKind::ListView));
}

}  // namespace platform
