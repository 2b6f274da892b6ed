#pragma once
// The Linux kernel's w1 stack as a bus master: a port name whose entry leads
// to a kernel master's folder (/sys/bus/w1/devices/w1_bus_master1) opens it
// instead of a serial port. Elsewhere no name ever does. Internal to the
// 1-Wire library; only the monitor thread calls it.
#include <cstdint>
#include <string_view>

#include "onewire/bus_master.h"

namespace onewire {

enum class KernelOpen : std::uint8_t {
    NotKernel,  // the name leads elsewhere: open it as a serial port
    Opened,     // `master` now owns the bus
    Failed,     // a reopen of a name that reached a kernel master, which is gone
};

// Binds the kernel master to the folder `name` leads to. With `again` (the
// bus recovering) a name that last reached a kernel master gives Failed while
// that folder is missing, so the bus never comes back on a serial device the
// same name could also lead to. Sets no status.
KernelOpen openKernelMaster(std::string_view name, bool again, const BusMaster*& master);

}  // namespace onewire
