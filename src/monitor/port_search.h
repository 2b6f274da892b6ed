#pragma once
// (Re)establishing what the monitor talks to: the serial port and the devices
// on its bus. Monitor thread only; search texts go straight to status field 0.
#include <cstddef>
#include <string>
#include <vector>

#include "monitor/bus_device.h"
#include "monitor/mailbox.h"

namespace monitor {

// A search stops after this many devices. A wire that answers every bit of
// the search with a discrepancy would enumerate 2^64 codes; no real UART
// adapter drives more than a few dozen thermometers.
inline constexpr std::size_t MaxBusDevices = 100;

std::string PortOpenFailedText(const std::string& name);

// Closes the port and opens `name` (nothing when empty), setting the status
// text. Unless `keepDevices`, empties both lists and searches when the bus
// reports no error.
void ReopenPort(const std::string& name, BusDeviceList& devices, MonitorMailbox& pending,
                bool keepDevices);

// Replaces `devices` by the codes found on the bus (in search order, at most
// MaxBusDevices) and identifies them; an empty result empties the rows.
void SearchBus(BusDeviceList& devices, const std::string& name, MonitorMailbox& pending);

// What the searches the monitor starts by itself remember. A glitch during a
// search (a short read as 0/0 on every bit) can deliver a code that no device
// has, so a code met for the first time is taken only once confirmed: found
// again by the next complete search, or answering a read.
struct SearchMemory {
    // The codes given at start and every code polled since: they need no
    // confirmation, and those not polled are tried again now and then.
    std::vector<RomCode> known;
    // Found by the last complete search only, in search order.
    std::vector<RomCode> unconfirmed;
};

bool Contains(const std::vector<RomCode>& codes, const RomCode& rom);
// Adds the codes of `devices` that `memory` does not know yet.
void RememberDevices(SearchMemory& memory, const BusDeviceList& devices);
// A code confirmed by a read: known from now on.
void ConfirmCode(SearchMemory& memory, const RomCode& rom);

struct SearchOutcome {
    bool complete = false;  // the enumeration ended with status 7
    bool changed = false;   // `devices` changed
};

// The search of the failure path and of a port that came back: SearchBus's
// texts and rebuilt rows, but only a complete enumeration changes the lists,
// and a code met for the first time waits for confirmation. After a search
// cut short, status field 0 shows why.
SearchOutcome SearchBusConfirmed(BusDeviceList& devices, const std::string& name,
                                 MonitorMailbox& pending, SearchMemory& memory);

// Searches the bus to check the polled devices, without a search's texts.
// Only a complete enumeration counts: devices it found again keep their
// entries and rows, those it did not are dropped, known and confirmed new
// ones are identified and appended. After any other end nothing changes.
SearchOutcome VerifyDevices(BusDeviceList& devices, MonitorMailbox& pending, SearchMemory& memory);

// The enumeration alone: appends every code that searchNext delivers until it
// answers false, the limit is reached, or quitRequested is set. The last
// status is that of the call that ended it.
void EnumerateBus(BusDeviceList& devices);

}  // namespace monitor
