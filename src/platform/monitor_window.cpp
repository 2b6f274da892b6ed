#include "platform/monitor_window.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<const MonitorWindowOps*> boundWindow{nullptr};
}

void BindMonitorWindow(const MonitorWindowOps* ops) { boundWindow.store(ops); }

void SetStatusField0(std::string_view utf8Text) {
    if (const MonitorWindowOps* ops = boundWindow.load()) ops->setStatusField0(utf8Text);
}

void PostCustomEvent(std::int32_t number) {
    if (const MonitorWindowOps* ops = boundWindow.load()) ops->postCustomEvent(number);
}

}  // namespace platform
