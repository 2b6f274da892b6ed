// Menu bar, pop-up menu and check marks.
#include "platform/window_win32/window_state.h"

namespace platform {
namespace {

HMENU FindMenu(int menu) {
    WindowLayer& layer = Layer();
    if (menu < 0 || menu >= static_cast<int>(layer.menus.size())) return nullptr;
    return layer.menus[static_cast<std::size_t>(menu)];
}

int Remember(HMENU menu) {
    if (menu == nullptr) return -1;
    Layer().menus.push_back(menu);
    return static_cast<int>(Layer().menus.size()) - 1;
}

UINT CommandOf(int itemId) {
    return static_cast<UINT>(MenuCommandBase + itemId);
}

}  // namespace

int AddMenuBarMenu(std::string_view title) {
    WindowLayer& layer = Layer();
    if (layer.window == nullptr) return -1;
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) return -1;
    if (!AppendMenuW(layer.menuBar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menu),
                     Wide(title).c_str())) {
        DestroyMenu(menu);
        return -1;
    }
    DrawMenuBar(layer.window);
    return Remember(menu);
}

int CreatePopupMenu() {
    if (Layer().window == nullptr) return -1;
    return Remember(::CreatePopupMenu());
}

void AddMenuItem(int menu, int itemId, std::string_view text) {
    HMENU owner = FindMenu(menu);
    if (owner == nullptr || itemId < 0 || itemId >= 0xFFFF - MenuCommandBase) return;
    if (AppendMenuW(owner, MF_STRING, CommandOf(itemId), Wide(text).c_str())) {
        Layer().menuItems[itemId] = owner;
    }
}

void AddMenuSeparator(int menu) {
    if (HMENU owner = FindMenu(menu)) AppendMenuW(owner, MF_SEPARATOR, 0, nullptr);
}

bool MenuItemChecked(int itemId) {
    const auto found = Layer().menuItems.find(itemId);
    if (found == Layer().menuItems.end()) return false;
    const UINT state = GetMenuState(found->second, CommandOf(itemId), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

void SetMenuItemChecked(int itemId, bool checked) {
    const auto found = Layer().menuItems.find(itemId);
    if (found == Layer().menuItems.end()) return;
    CheckMenuItem(found->second, CommandOf(itemId),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

// The menu opens from the queue, once the caller's handler has returned (as
// a right click's menu does), and runs its own modal loop there.
void ShowPopupMenuAtCursor(int menu) {
    WindowLayer& layer = Layer();
    HMENU popup = FindMenu(menu);
    if (popup == nullptr || layer.window == nullptr) return;
    layer.pendingPopup = popup;
    PostMessageW(layer.window, PopupMenuMessage, reinterpret_cast<WPARAM>(popup), 0);
}

}  // namespace platform
