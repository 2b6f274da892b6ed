#include "platform/window/event_routing.h"

namespace platform {

bool RouteEvent(EventRouting& routing, const Event& event) {
    Handler bound = nullptr;
    if (event.kind == EventKind::Control) {
        const auto found = routing.controlHandlers.find({event.id, event.type});
        if (found != routing.controlHandlers.end()) bound = found->second;
    } else if (event.kind == EventKind::Custom) {
        const auto found = routing.customHandlers.find(event.id);
        if (found != routing.customHandlers.end()) bound = found->second;
    }
    if (bound != nullptr) {
        bound();
        return false;
    }
    routing.queue.push_back(event);
    return true;
}

void BindControlHandler(int id, EventType type, Handler handler) {
    Routing().controlHandlers[{id, type}] = handler;
}

void BindCustomEventHandler(int number, Handler handler) {
    Routing().customHandlers[number] = handler;
}

bool TakeQueuedEvent(EventRouting& routing, Event& event) {
    if (routing.queue.empty()) return false;
    event = routing.queue.front();
    routing.queue.pop_front();
    return true;
}

}  // namespace platform
