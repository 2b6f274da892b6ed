#pragma once
// The simulated bus shown as the Linux kernel's w1 stack shows a real one:
// a folder standing for /sys/bus/w1/devices with the master's folder
// w1_bus_master1 (w1_master_slaves, therm_bulk_read) and a folder per slave
// inside it (w1_slave, id, ext_power, temperature, name), linked beside it
// by name. The kernel's side of the wire (search, conversions, reads) runs
// on the bus model's devices, so their faults show as the kernel would show
// them.
#include <string>

#include "sim/pty_server.h"

namespace sim {

struct W1Tree {
    std::string root;    // stands for /sys/bus/w1/devices
    std::string master;  // root + "/w1_bus_master1", set by CreateW1Tree
    bool bulk = true;    // therm_bulk_read is offered
    // Conversions take no time and w1_slave is a plain file rewritten after
    // each; otherwise w1_slave is a pipe whose every read waits for its own
    // conversion (750 ms), as the kernel's read does.
    bool instant = false;
    bool createdRoot = false;
};

// Creates the root (when missing) and the master's folder. false with
// `error` when they cannot be made.
bool CreateW1Tree(W1Tree& tree, std::string& error);

// Keeps the files as the devices come, go and change, and answers bulk
// conversions, until control.stop is set. `ready` is called once the slaves
// of the start are in place.
void ServeW1Tree(const W1Tree& tree, ServeControl& control, void (*ready)());

// Removes what CreateW1Tree and the serving made.
void RemoveW1Tree(const W1Tree& tree);

}  // namespace sim
