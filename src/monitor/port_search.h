#pragma once
// (Re)establishing what the monitor talks to: the serial port and the devices
// on its bus. Monitor thread only; search texts go straight to status field 0.
#include <cstddef>
#include <string>

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

// Searches the bus to check the polled devices, without a search's texts.
// Only a complete enumeration (one that ended with status 7) counts: devices
// it found again keep their entries and rows, those it did not are dropped,
// new ones are identified and appended. After any other end nothing changes.
// true when `devices` changed.
bool VerifyDevices(BusDeviceList& devices, MonitorMailbox& pending);

// The enumeration alone: appends every code that searchNext delivers until it
// answers false, the limit is reached, or quitRequested is set. The last
// status is that of the call that ended it.
void EnumerateBus(BusDeviceList& devices);

}  // namespace monitor
