#include "monitor/monitor_thread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "monitor/monitor_cycle.h"

namespace monitor {
namespace {

// The thread handle and its end mark; touched by the user-interface thread
// (start, wait, detach) and by the monitor thread (the end mark only).
struct ThreadSlot {
    std::mutex lock;
    std::condition_variable endedSignal;
    bool ended = false;
    std::thread thread;
};

// Never destroyed: a detached thread may still mark its end during exit.
ThreadSlot& threadSlot() {
    static auto* slot = new ThreadSlot;
    return *slot;
}

void monitorThreadEntry() {
    {
        // The state lives on this thread's stack and goes with it.
        MonitorState state;
        MonitorStart(state);
        while (RunMonitorCycle(state)) {
        }
    }
    ThreadSlot& slot = threadSlot();
    std::lock_guard<std::mutex> guard(slot.lock);
    slot.ended = true;
    slot.endedSignal.notify_all();
}

}  // namespace

bool StartMonitorThread() {
    ThreadSlot& slot = threadSlot();
    std::lock_guard<std::mutex> guard(slot.lock);
    if (slot.thread.joinable()) {
        if (!slot.ended) return false;
        slot.thread.join();
    }
    slot.ended = false;
    slot.thread = std::thread(monitorThreadEntry);
    return slot.thread.joinable();
}

bool WaitMonitorThread(std::uint32_t timeoutMs) {
    ThreadSlot& slot = threadSlot();
    std::unique_lock<std::mutex> guard(slot.lock);
    if (!slot.thread.joinable()) return true;
    if (!slot.endedSignal.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                   [&slot] { return slot.ended; })) {
        return false;
    }
    std::thread finished = std::move(slot.thread);
    guard.unlock();
    finished.join();
    return true;
}

void DetachMonitorThread() {
    ThreadSlot& slot = threadSlot();
    std::lock_guard<std::mutex> guard(slot.lock);
    if (slot.thread.joinable()) slot.thread.detach();
}

}  // namespace monitor
