// The passive adapter as a bus master: every operation is the UART-echo
// primitive it always was, so the bytes on the wire are those of the
// primitives themselves.
#include <memory>
#include <new>

#include "onewire/bus_master.h"
#include "onewire/port_adapter.h"
#include "onewire/primitives.h"
#include "onewire/status.h"

namespace onewire {
namespace {

bool attachPassive() {
    // Detection may have left the port at another speed.
    if (!setSpeed(DataSpeed)) return true;
    // Clocks the bus once so that every device starts from an idle wire; the
    // answer does not matter and a dead bus still opens.
    (void)exchangeByte(0xFF);
    discardInput();
    return true;
}

bool resetPassive(ResetAnswer& answer) {
    std::uint8_t echo = ResetByte;
    const bool presence = resetWithEcho(echo);
    if (!presence) {
        answer = ResetAnswer::NoPresence;
    } else {
        answer = echo == ShortedResetEcho ? ResetAnswer::Short : ResetAnswer::Presence;
    }
    return presence;
}

int touchBitPassive(int bit) {
    if (bit != 0) return readSlot(true, true, true);
    discardInput();
    writeSlot(0, true, false);
    return readSlot(false, false, false);
}

bool touchBitsPassive(std::uint8_t* bits, std::int32_t count) {
    if (bits == nullptr || count < 1 || count >= 8 * MaxTransferBytes) return fail(BadArgument);
    std::unique_ptr<std::uint8_t[]> slots(new (std::nothrow)
                                              std::uint8_t[static_cast<std::size_t>(count)]);
    if (!slots) return fail(BadArgument);
    for (std::int32_t i = 0; i < count; ++i) slots[i] = slotFor(bits[i]);
    if (!exchangeSlots(slots.get(), count)) return false;
    // Only an exact 0xFF echo reads as 1: any device pulling low shortens it.
    for (std::int32_t i = 0; i < count; ++i) bits[i] = slots[i] == SlotOne ? 1 : 0;
    return true;
}

constexpr BusMaster Passive{
    .name = "passive",
    .attach = attachPassive,
    .reset = resetPassive,
    .touchBit = touchBitPassive,
    .touchBits = touchBitsPassive,
    .writeBytes = writeBytes,
    .readBytes = readBytes,
    .writeThenRead = writeThenRead,
    .searchPass = nullptr,
    .resetWriteThenRead = nullptr,
    .writeBytePowered = nullptr,
};

}  // namespace

const BusMaster& passiveMaster() {
    return Passive;
}

}  // namespace onewire
