// Menu bar, pop-up menu and check marks.
#include <QAction>
#include <QCursor>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "platform/window/window_state.h"

namespace platform {
namespace {

QMenu* FindMenu(int menu) {
    WindowLayer& layer = Layer();
    if (menu < 0 || menu >= static_cast<int>(layer.menus.size())) return nullptr;
    return layer.menus[static_cast<std::size_t>(menu)];
}

int Remember(QMenu* menu) {
    Layer().menus.push_back(menu);
    return static_cast<int>(Layer().menus.size()) - 1;
}

}  // namespace

int AddMenuBarMenu(std::string_view title) {
    WindowLayer& layer = Layer();
    if (layer.window == nullptr) return -1;
    return Remember(layer.window->menuBar()->addMenu(ToQString(title)));
}

int CreatePopupMenu() {
    WindowLayer& layer = Layer();
    if (layer.window == nullptr) return -1;
    return Remember(new QMenu(layer.window));
}

void AddMenuItem(int menu, int itemId, std::string_view text) {
    QMenu* owner = FindMenu(menu);
    if (owner == nullptr) return;
    QAction* item = owner->addAction(ToQString(text));
    item->setObjectName(QStringLiteral("menuItem%1").arg(itemId));
    Layer().menuItems[itemId] = item;
    QObject::connect(item, &QAction::triggered, item, [item, itemId](bool checked) {
        // Qt flips a checkable item before reporting it; the caller owns the
        // mark, so undo the flip and let the caller decide.
        if (item->isCheckable()) item->setChecked(!checked);
        ReportEvent({EventKind::Menu, MainWindowId, itemId, EventType::None});
    });
}

void AddMenuSeparator(int menu) {
    if (QMenu* owner = FindMenu(menu)) owner->addSeparator();
}

bool MenuItemChecked(int itemId) {
    const auto found = Layer().menuItems.find(itemId);
    return found != Layer().menuItems.end() && found->second->isChecked();
}

void SetMenuItemChecked(int itemId, bool checked) {
    const auto found = Layer().menuItems.find(itemId);
    if (found == Layer().menuItems.end()) return;
    found->second->setCheckable(true);
    found->second->setChecked(checked);
}

void ShowPopupMenuAtCursor(int menu) {
    if (QMenu* popup = FindMenu(menu)) popup->popup(QCursor::pos());
}

}  // namespace platform
