#include "monitor/app_settings.h"

#include <mutex>

namespace monitor {
namespace {

struct PortNameSlot {
    std::mutex lock;  // held only while the text is copied in or out
    std::string name;
};

// Never destroyed: a monitor thread left running at process exit may still
// read them after static destructors have begun.
PortNameSlot& portNameSlot() {
    static auto* slot = new PortNameSlot;
    return *slot;
}

}  // namespace

AppSettings& Settings() {
    static auto* settings = new AppSettings;
    return *settings;
}

void SetPortName(std::string name) {
    PortNameSlot& slot = portNameSlot();
    std::lock_guard<std::mutex> guard(slot.lock);
    slot.name = std::move(name);
}

std::string CopyPortName() {
    PortNameSlot& slot = portNameSlot();
    std::lock_guard<std::mutex> guard(slot.lock);
    return slot.name;
}

}  // namespace monitor
