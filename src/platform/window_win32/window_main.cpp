// The top-level window, its size at the screen's resolution, the font, the
// status bar, and the binding that lets the monitor thread reach status field
// 0 and the event queue.
#include <memory>

#include "platform/clock_system.h"
#include "platform/monitor_window.h"
#include "platform/win32_text.h"
#include "platform/window_win32/window_state.h"

namespace platform {

std::atomic<HWND> sharedWindow{nullptr};

namespace {

WindowLayer layer;

constexpr DWORD MainWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD MainWindowExStyle = WS_EX_CONTROLPARENT;
constexpr int StatusBarId = 1;  // a child id of its own; controls start at ControlIdBase

bool IsUserInterfaceThread(HWND window) {
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// The window's frame (caption, borders) without the menu bar, in pixels.
SIZE FrameExtent() {
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectExForDpi(&frame, MainWindowStyle, FALSE, MainWindowExStyle, layer.dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void CentreOnScreen() {
    MONITORINFO screen{};
    screen.cbSize = sizeof screen;
    if (!GetMonitorInfoW(MonitorFromWindow(layer.window, MONITOR_DEFAULTTOPRIMARY), &screen)) {
        return;
    }
    RECT window{};
    GetWindowRect(layer.window, &window);
    const RECT& area = screen.rcWork;
    SetWindowPos(layer.window, nullptr,
                 area.left + (area.right - area.left - (window.right - window.left)) / 2,
                 area.top + (area.bottom - area.top - (window.bottom - window.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// At exactly 96 dots per inch the system's default control font; elsewhere
// Segoe UI 9 pt drawn for the screen's resolution.
void ChooseFont() {
    HFONT font = nullptr;
    bool own = false;
    if (layer.dpi != USER_DEFAULT_SCREEN_DPI) {
        font = CreateFontW(-MulDiv(9, static_cast<int>(layer.dpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                           FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
        own = font != nullptr;
    }
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (layer.ownFont) DeleteObject(layer.font);
    layer.font = font;
    layer.ownFont = own;
}

void ShowStatusText(int field, const std::wstring& text) {
    if (layer.statusBar == nullptr) return;
    SendMessageW(layer.statusBar, SB_SETTEXTW, static_cast<WPARAM>(field),
                 reinterpret_cast<LPARAM>(text.c_str()));
    // A field holds half the bar; the tooltip shows a text that does not fit.
    SendMessageW(layer.statusBar, SB_SETTIPTEXTW, static_cast<WPARAM>(field),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

HWND CreateToolTipWindow() {
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, layer.window, nullptr,
                               layer.instance, nullptr);
    if (tip != nullptr) SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, Scale(600));
    return tip;
}

void SetStatusField0FromAnyThread(std::string_view text) {
    SetStatusText(0, text);
}

const MonitorWindowOps monitorWindowOps{&SetStatusField0FromAnyThread, &QueueCustomEvent};

bool RegisterClasses() {
    WNDCLASSEXW main{};
    main.cbSize = sizeof main;
    main.lpfnWndProc = MainWindowProcedure;
    main.hInstance = layer.instance;
    // The program's icon resource, where the executable carries one.
    main.hIcon = LoadIconW(layer.instance, MAKEINTRESOURCEW(1));
    main.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    main.lpszClassName = MainWindowClass;
    WNDCLASSEXW frame = main;
    frame.lpfnWndProc = FrameProcedure;
    frame.hIcon = nullptr;
    frame.lpszClassName = FrameClass;
    return RegisterClassExW(&main) != 0 && RegisterClassExW(&frame) != 0;
}

}  // namespace

WindowLayer& Layer() {
    return layer;
}

int Scale(int logical) {
    return MulDiv(logical, static_cast<int>(layer.dpi), USER_DEFAULT_SCREEN_DPI);
}

int Unscale(int physical) {
    return MulDiv(physical, USER_DEFAULT_SCREEN_DPI, static_cast<int>(layer.dpi));
}

std::wstring Wide(std::string_view utf8) {
    return WideFromUtf8(utf8);
}

std::string Utf8(std::wstring_view wide) {
    return Utf8FromWide(wide);
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

bool InitWindowSystem() {
    if (layer.instance != nullptr) return true;
    // The monitor's echo waits sleep 1 or 2 ms; the system timer must tick
    // at 1 ms from the start.
    RaiseTimerResolution();
    // The manifest declares it for the program; this covers a host that
    // reads no manifest. A second declaration fails harmlessly.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                     ICC_UPDOWN_CLASS | ICC_WIN95_CLASSES;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    layer.instance = instance;
    if (!InitCommonControlsEx(&controls) || !RegisterClasses()) {
        layer.instance = nullptr;
        return false;
    }
    // A window that cannot be made (no display behind the session) is
    // found here, before anything is built.
    HWND probe = CreateWindowExW(0, MainWindowClass, L"", WS_OVERLAPPED, 0, 0, 1, 1, nullptr,
                                 nullptr, instance, nullptr);
    if (probe == nullptr) {
        UnregisterClassW(FrameClass, instance);
        UnregisterClassW(MainWindowClass, instance);
        layer.instance = nullptr;
        return false;
    }
    DestroyWindow(probe);
    return true;
}

// A window that could be made (InitWindowSystem's probe) is on the desktop of
// the user's session.
bool ScreenVisible() {
    return true;
}

// Dialog buttons that Windows labels itself (the message box's) follow the
// thread's user-interface language where that language is installed.
bool UseToolkitLanguage(std::string_view language) {
    const std::wstring name = Wide(language);
    const LCID locale = LocaleNameToLCID(name.c_str(), 0);
    if (locale == 0) return false;
    const LANGID wanted = LANGIDFROMLCID(locale);
    return SetThreadUILanguage(wanted) == wanted;
}

bool CreateMainWindow(std::string_view title, int innerWidth, int innerHeight) {
    if (layer.instance == nullptr || layer.window != nullptr) return false;
    HWND window = CreateWindowExW(MainWindowExStyle, MainWindowClass, Wide(title).c_str(),
                                  MainWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                                  nullptr, nullptr, layer.instance, nullptr);
    if (window == nullptr) return false;
    layer.window = window;
    layer.dpi = GetDpiForWindow(window);
    if (layer.dpi == 0) layer.dpi = USER_DEFAULT_SCREEN_DPI;
    ChooseFont();
    layer.menuBar = CreateMenu();
    SetMenu(window, layer.menuBar);
    layer.toolTip = CreateToolTipWindow();
    layer.cellToolTip = CreateToolTipWindow();
    SetInnerSize(innerWidth, innerHeight);
    sharedWindow.store(window);
    BindMonitorWindow(&monitorWindowOps);
    return true;
}

bool SetWindowIconFromIco(std::span<const std::uint8_t> icoBytes) {
    // An .ico file: a 6-byte header, 16-byte entries (size of the image at
    // 8, its offset at 12), then the images; the first image is taken.
    constexpr std::size_t HeaderBytes = 6;
    constexpr std::size_t EntryBytes = 16;
    if (layer.window == nullptr || icoBytes.size() < HeaderBytes + EntryBytes) return false;
    auto dword = [&](std::size_t at) {
        return static_cast<std::size_t>(icoBytes[at]) | icoBytes[at + 1] << 8 |
               icoBytes[at + 2] << 16 | static_cast<std::size_t>(icoBytes[at + 3]) << 24;
    };
    const std::size_t size = dword(HeaderBytes + 8);
    const std::size_t offset = dword(HeaderBytes + 12);
    if (icoBytes[2] != 1 || offset > icoBytes.size() || size > icoBytes.size() - offset) {
        return false;
    }
    auto* image = const_cast<PBYTE>(icoBytes.data() + offset);
    bool all = true;
    for (const auto& [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
        const int side = GetSystemMetricsForDpi(metric, layer.dpi);
        HICON icon = CreateIconFromResourceEx(image, static_cast<DWORD>(size), TRUE, 0x00030000,
                                              side, side, LR_DEFAULTCOLOR);
        if (icon == nullptr) {
            all = false;
            continue;
        }
        HICON old = reinterpret_cast<HICON>(
            SendMessageW(layer.window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon)));
        // Icons from the class (the resource) are shared and never destroyed.
        if (old != nullptr && old != reinterpret_cast<HICON>(GetClassLongPtrW(
                                          layer.window, which == ICON_BIG ? GCLP_HICON
                                                                          : GCLP_HICONSM))) {
            DestroyIcon(old);
        }
    }
    return all;
}

void ShowMainWindow() {
    if (layer.window == nullptr) return;
    ShowWindow(layer.window, SW_SHOW);
    UpdateWindow(layer.window);
}

void HideMainWindow() {
    if (layer.window != nullptr) ShowWindow(layer.window, SW_HIDE);
}

// The inner size counts the menu bar: the window is the frame plus it, so the
// client area below the menu bar is what remains.
void SetInnerSize(int width, int height) {
    if (layer.window == nullptr) return;
    layer.innerWidth = width;
    layer.innerHeight = height;
    const SIZE frame = FrameExtent();
    SetWindowPos(layer.window, nullptr, 0, 0, frame.cx + Scale(width), frame.cy + Scale(height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Still being built: it shows centred at its final size.
    if (!IsWindowVisible(layer.window)) CentreOnScreen();
}

int MenuBarHeight() {
    if (layer.window == nullptr) return 0;
    RECT window{};
    RECT client{};
    GetWindowRect(layer.window, &window);
    GetClientRect(layer.window, &client);
    return Unscale((window.bottom - window.top) - client.bottom - FrameExtent().cy);
}

int StatusBarHeight() {
    if (layer.statusBar == nullptr) return 0;
    RECT bar{};
    GetWindowRect(layer.statusBar, &bar);
    return Unscale(bar.bottom - bar.top);
}

void CreateStatusBar() {
    if (layer.window == nullptr || layer.statusBar != nullptr) return;
    // No size grip: the frame is fixed.
    layer.statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBT_TOOLTIPS,
                                      0, 0, 0, 0, layer.window,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(StatusBarId)),
                                      layer.instance, nullptr);
    LayOutStatusBar();
}

void LayOutStatusBar() {
    if (layer.statusBar == nullptr) return;
    SendMessageW(layer.statusBar, WM_SIZE, 0, 0);
    RECT client{};
    GetClientRect(layer.window, &client);
    int edges[2] = {client.right / 2, -1};
    SendMessageW(layer.statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
}

void SetStatusText(int field, std::string_view text) {
    HWND window = sharedWindow.load();
    if (window == nullptr || field < 0 || field > 1) return;
    if (!IsUserInterfaceThread(window)) {
        // Only field 0 is set from other threads. The text travels with the
        // message behind the events that thread posted before it.
        if (field != 0) return;
        auto text16 = std::make_unique<std::wstring>(Wide(text));
        if (PostMessageW(window, StatusTextMessage, 0, reinterpret_cast<LPARAM>(text16.get()))) {
            text16.release();
        }
        return;
    }
    ShowStatusText(field, Wide(text));
}

void ShowPostedStatusText(LPARAM text) {
    const std::unique_ptr<std::wstring> owned(reinterpret_cast<std::wstring*>(text));
    ShowStatusText(0, *owned);
}

void ApplyDpi(UINT dpi, const RECT* suggested) {
    layer.dpi = dpi;
    ChooseFont();
    for (auto& [id, control] : layer.controls) {
        PlaceControl(control);
        ApplyFont(control.hwnd);
        for (std::size_t column = 0; column < control.columnWidths.size(); ++column) {
            SendMessageW(control.hwnd, LVM_SETCOLUMNWIDTH, column, Scale(control.columnWidths[column]));
        }
    }
    if (suggested != nullptr) {
        SetWindowPos(layer.window, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetInnerSize(layer.innerWidth, layer.innerHeight);
    LayOutStatusBar();
}

}  // namespace platform
