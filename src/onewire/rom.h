#pragma once
// The ROM layer: enumerating the bus, addressing one device or all of them, the
// function commands the thermometers need, and the Dallas/Maxim CRC-8.
#include <cstdint>

#include "onewire/rom_code.h"

namespace onewire {

// Per-thread state of a running search, kept beside the last status.
struct SearchState {
    std::int32_t lastDiscrepancy = 0;  // bit 1..64 of the last 0 branch, 0 for none
    std::uint8_t lastDeviceFound = 0;
    RomCode rom{};
};

// Starts a new enumeration on the calling thread. Status 0.
bool searchReset();
// Delivers the next code in ascending bus order into *out. false with status 1,
// 2 (no presence, or a wire held low), 3, 4, 5 (no device answered a bit), 6
// (out is null) or 7 (no more devices).
[[nodiscard]] bool searchNext(RomCode* out);
// The calling thread's search state (for tests and diagnostics).
const SearchState& searchState();

// Reset, Match ROM 0x55 and the eight code bytes. Status 0, 1, 2, 3, 4, 6.
[[nodiscard]] bool matchRom(const RomCode* code);
// Reset and Skip ROM 0xCC. Status 0, 1, 2, 3, 4.
[[nodiscard]] bool resetAndSkipRom();
// Convert T 0x44, then sleeps `sleepAfterMs`. Status 0, 1, 3.
[[nodiscard]] bool startConversion(std::uint32_t sleepAfterMs);
// Read Scratchpad 0xBE and nine bytes into `buffer`. Status 0, 1, 3, 6.
[[nodiscard]] bool readScratchpad(std::uint8_t* buffer);
// matchRom and readScratchpad in two round trips: the reset, then Match ROM,
// the code, Read Scratchpad and the 72 read slots as one block. The same bytes
// on the wire and the same outcomes, except that a missing place sends
// nothing. Status 0, 1, 2, 3, 4, 6 (code or buffer null).
[[nodiscard]] bool matchRomAndReadScratchpad(const RomCode* code, std::uint8_t* buffer);
// Read Power Supply 0xB4 and one read slot: 1 external power, 0 parasite.
// Status 0, 1 (result 0), 3 (result 1).
int readPowerSupply();

// CRC-8, polynomial x^8+x^5+x^4+1 reflected (0x8C), initial 0. Status 0, or 6
// with result 0 when data is null or count < 1.
std::uint8_t crc8(const std::uint8_t* data, std::int32_t count);

}  // namespace onewire
