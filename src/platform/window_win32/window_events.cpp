// The event queue, bound handlers, timers, custom events from other threads
// and termination requests.
#include "platform/process.h"
#include "platform/window_win32/window_state.h"

namespace platform {

std::atomic<bool> terminationPending{false};

namespace {

Event CloseEvent() {
    return {EventKind::Close, MainWindowId, 0, EventType::None};
}

// The process layer calls this from a thread of its own: the request waits
// in the flag, and the message wakes the user-interface thread for it.
void PostTerminationRequest() {
    terminationPending.store(true);
    if (HWND window = sharedWindow.load()) PostMessageW(window, TerminationMessage, 0, 0);
}

BOOL CALLBACK DismissDialog(HWND window, LPARAM) {
    wchar_t name[16] = {};
    // "#32770" is the class of every dialog: the prompt and message boxes.
    if (GetClassNameW(window, name, 16) > 0 && std::wstring_view(name) == L"#32770") {
        EndDialog(window, IDCANCEL);
    }
    return TRUE;
}

}  // namespace

void ReportControlEvent(int id, EventType type) {
    ReportEvent({EventKind::Control, MainWindowId, id, type});
}

void ReportEvent(const Event& event) {
    RouteEvent(Layer().routing, event);
}

void DispatchOne(MSG& message) {
    // Tab and the arrow keys move between the window's controls.
    HWND window = Layer().window;
    if (window != nullptr && IsDialogMessageW(window, &message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void PumpPendingMessages(bool showPopups) {
    MSG message;
    for (;;) {
        // Without showPopups a pop-up menu asked for stays in the queue: it
        // would open a modal menu loop of its own.
        const bool got =
            showPopups ? PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0
                       : PeekMessageW(&message, nullptr, 0, PopupMenuMessage - 1, PM_REMOVE) != 0 ||
                             PeekMessageW(&message, nullptr, PopupMenuMessage + 1, 0xFFFFFFFF,
                                          PM_REMOVE) != 0;
        if (!got) break;
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        DispatchOne(message);
    }
    TakeTerminationRequest();
}

Event WaitEvent() {
    WindowLayer& layer = Layer();
    for (;;) {
        TakeTerminationRequest();
        if (layer.terminationRequested || layer.window == nullptr) return CloseEvent();
        Event next;
        if (TakeQueuedEvent(layer.routing, next)) return next;
        MSG message;
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) return CloseEvent();
        DispatchOne(message);
    }
}

void DiscardPendingEvents() {
    PumpPendingMessages(true);
    Layer().routing.queue.clear();
}

EventRouting& Routing() {
    return Layer().routing;
}

bool StartTimer(int timerId, int periodMs, Handler handler) {
    WindowLayer& layer = Layer();
    if (layer.window == nullptr || handler == nullptr || timerId < 0 || periodMs <= 0) return false;
    if (SetTimer(layer.window, TimerIdBase + static_cast<UINT_PTR>(timerId),
                 static_cast<UINT>(periodMs), nullptr) == 0) {
        return false;
    }
    layer.timers[timerId] = handler;
    return true;
}

void QueueCustomEvent(std::int32_t number) {
    if (HWND window = sharedWindow.load()) {
        PostMessageW(window, CustomEventMessage,
                     static_cast<WPARAM>(static_cast<std::uint32_t>(number)), 0);
    }
}

void TakeTerminationRequest() {
    if (terminationPending.exchange(false)) RequestTermination();
}

void RequestTermination() {
    WindowLayer& layer = Layer();
    layer.terminationRequested = true;
    layer.pendingPopup = nullptr;
    EndMenu();
    // The drag's loop ends, without a move, once it sees the capture gone.
    if (layer.dragRunning) ReleaseCapture();
    EnumThreadWindows(GetCurrentThreadId(), &DismissDialog, 0);
}

void WatchTerminationSignals() {
    if (Layer().instance != nullptr) SetTerminationNotifier(&PostTerminationRequest);
}

}  // namespace platform
