#include "platform/termination_requests.h"

#include <mutex>

#include "platform/process.h"

namespace platform {
namespace {

// Written by the thread that sets the notifier and by the thread that reports
// a request, both under `lock`. The notifier is called under the lock too, so
// that once SetTerminationNotifier returns the old one is never running.
struct TerminationWatch {
    std::mutex lock;
    TerminationNotifier notifier = nullptr;
    bool pending = false;  // a request arrived while nobody listened
};

TerminationWatch watch;

}  // namespace

void ReportTerminationRequest() {
    std::lock_guard<std::mutex> guard(watch.lock);
    if (watch.notifier != nullptr) {
        watch.notifier();
    } else {
        watch.pending = true;
    }
}

void SetTerminationNotifier(TerminationNotifier notifier) {
    std::lock_guard<std::mutex> guard(watch.lock);
    watch.notifier = notifier;
    if (notifier != nullptr && watch.pending) {
        watch.pending = false;
        notifier();
    }
}

}  // namespace platform
