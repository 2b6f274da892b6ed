#pragma once
// Private to the window layers (Qt and Win32 alike): where an event goes. A
// handler bound to it runs at once, on the user-interface thread; any other
// event waits in the queue for WaitEvent or PollEvent. User-interface thread
// only.
#include <deque>
#include <map>
#include <utility>

#include "platform/window/window.h"

namespace platform {

struct EventRouting {
    std::deque<Event> queue;
    std::map<std::pair<int, EventType>, Handler> controlHandlers;
    std::map<int, Handler> customHandlers;
};

// The layer's one routing record; each layer defines it. BindControlHandler
// and BindCustomEventHandler (window.h) bind into it.
EventRouting& Routing();

// Calls the handler bound to `event`, or queues the event; true when queued.
bool RouteEvent(EventRouting& routing, const Event& event);
// Takes the oldest queued event; false when none waits.
bool TakeQueuedEvent(EventRouting& routing, Event& event);

}  // namespace platform
