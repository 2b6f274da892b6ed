#pragma once
// The bus master behind the ROM layer: one record of operations per kind of
// adapter. The ROM layer speaks only through the master bound to the open
// port, so a new adapter is a new record and a line in the detection order,
// never a change above this library. Internal to the 1-Wire library.
#include <cstdint>
#include <string_view>

#include "onewire/rom.h"

namespace onewire {

// What a reset saw. A master that cannot tell an alarming presence from a
// plain one reports Presence.
enum class ResetAnswer : std::uint8_t { NoPresence, Presence, AlarmPresence, Short };

struct BusMaster {
    // The adapter kind as users see it ("passive", "DS2480B", "w1 kernel").
    std::string_view name;

    // Required. Takes over a freshly opened port: true when the hardware
    // behind it answers as this master's does. Leaves the bus idle, its
    // devices ready for a reset; status untouched.
    bool (*attach)();
    // A reset pulse: true on a presence (a short counts, as the answer tells).
    // Status 0, 1, 2 (no presence), 3, 4.
    bool (*reset)(ResetAnswer& answer);
    // One time slot writing `bit` (1 is also a read slot): the bit the wire
    // carried, 1 with status 3 when the slot got no answer.
    int (*touchBit)(int bit);
    // `count` slots that wait on no answer, in one round trip: each entry of
    // `bits` (0 or 1) is written and replaced by the bit read. Status 0, 1, 3, 6.
    bool (*touchBits)(std::uint8_t* bits, std::int32_t count);
    // Whole bytes, least significant bit first. Status 0, 1, 3, 6.
    bool (*writeBytes)(const std::uint8_t* data, std::int32_t n);
    bool (*readBytes)(std::uint8_t* data, std::int32_t n);

    // Optional (nullptr: the ROM layer composes it from the required ones).
    // `commandBytes` written and `n` bytes read as one round trip.
    bool (*writeThenRead)(const std::uint8_t* command, std::int32_t commandBytes,
                          std::uint8_t* data, std::int32_t n);
    // A whole search pass from its reset along `state`'s path: the code into
    // `rom` and the last bit where 0 was taken at a discrepancy into
    // `lastZero`. Status as searchNext's pass (2 also for a wire held low, 5
    // when no device answered a bit).
    bool (*searchPass)(const SearchState& state, RomCode& rom, int& lastZero);
    // A reset, then `commandBytes` written and `n` bytes read, all as one
    // round trip (Match ROM, the code, Read Scratchpad and its nine bytes).
    // Status as reset, then as writeThenRead.
    bool (*resetWriteThenRead)(const std::uint8_t* command, std::int32_t commandBytes,
                               std::uint8_t* data, std::int32_t n);
    // One byte whose last bit leaves the strong pull-up on for parasite
    // devices, until the master's next operation. Status as writeBytes.
    bool (*writeBytePowered)(std::uint8_t value);

    // Optional, for a master that owns the bus without a serial port (the
    // kernel's w1 stack): whether the bus it opened is gone for good, and
    // letting it go at closing.
    bool (*lost)() = nullptr;
    void (*detach)() = nullptr;
};

// The master bound to the open port; the passive one while none is open.
const BusMaster& busMaster();

// The adapter without a chip: the UART's own echo on a wire joined to TX and RX.
const BusMaster& passiveMaster();
// A DS2480B line driver on the port (DS9097U, LinkUSB, USB9097).
const BusMaster& ds2480Master();

}  // namespace onewire
