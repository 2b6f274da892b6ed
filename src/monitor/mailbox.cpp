#include "monitor/mailbox.h"

#include "platform/monitor_window.h"

namespace monitor {

MonitorMailbox& SharedMailbox() {
    // Never destroyed, like the settings block: see app_settings.cpp.
    static auto* mailbox = new MonitorMailbox;
    return *mailbox;
}

void PublishUpdate(MonitorMailbox& pending) {
    if (pending.changes == 0) return;
    MonitorMailbox& shared = SharedMailbox();
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        // Merged, not replaced: a window that has not yet taken over earlier
        // rows must still see that rows changed when only the status follows.
        shared.changes |= pending.changes;
        if (pending.changes & RowsChanged) shared.rows = pending.rows;
        if (pending.changes & StatusChanged) shared.statusText = pending.statusText;
        shared.figures = pending.figures;
    }
    platform::PostCustomEvent(platform::SensorsUpdatedEvent);
    pending.changes = 0;
}

void TakeOverMailbox(MonitorMailbox& copy) {
    MonitorMailbox& shared = SharedMailbox();
    std::lock_guard<std::mutex> guard(shared.lock);
    copy.changes = shared.changes;
    if (copy.changes == 0) return;
    if (copy.changes & RowsChanged) copy.rows = shared.rows;
    if (copy.changes & StatusChanged) copy.statusText = shared.statusText;
    copy.figures = shared.figures;
    shared.changes = 0;
}

}  // namespace monitor
