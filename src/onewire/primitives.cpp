#include "onewire/primitives.h"

#include <cstring>
#include <memory>
#include <new>

#include "onewire/echo_wait.h"
#include "onewire/port_adapter.h"
#include "onewire/status.h"

namespace onewire {
namespace {

using Buffer = std::unique_ptr<std::uint8_t[]>;

// The 8*n slot bytes plus two spare bytes; empty when memory is short.
Buffer slotBuffer(std::int32_t n) {
    const std::size_t size = 8u * static_cast<std::size_t>(n) + 2u;
    return Buffer(new (std::nothrow) std::uint8_t[size]);
}

bool validTransfer(const void* data, std::int32_t n) {
    return data != nullptr && n >= 1 && n < MaxTransferBytes;
}

// Reads the single echo of a reset into `echo`: presence when it differs from
// the byte sent. Status 2 without presence, 3 when the echo is missing or doubled.
bool readPresence(std::uint8_t& echo) {
    if (inputWaiting() != 1) {
        setStatus(ExchangeError);
        discardInput();
        return false;
    }
    if (readPort(&echo, 1) != 1) {
        setStatus(ExchangeError);
        discardInput();
        return false;
    }
    if (echo == ResetByte) return fail(NoResponse);
    return true;
}

// After a write of `slots` slot bytes: waits for their echoes, at most the
// block limit of `bytes` 1-Wire bytes, and reads them into `echoes`. false
// with status 3 on a wrong count or a short read.
bool collectSlotEchoes(std::uint8_t* echoes, std::int32_t slots, std::int32_t bytes,
                       std::uint64_t startMs) {
    waitForEcho(slots, startMs, blockLimitMs(bytes), EchoWait::Block);
    if (inputWaiting() != slots) {
        discardInput();
        return fail(ExchangeError);
    }
    if (readPort(echoes, slots) != slots) return fail(ExchangeError);
    return true;
}

bool collectEchoes(std::uint8_t* echoes, std::int32_t n, std::uint64_t startMs) {
    return collectSlotEchoes(echoes, 8 * n, n, startMs);
}

void encodeBytes(const std::uint8_t* data, std::int32_t n, std::uint8_t* slots) {
    for (std::int32_t i = 0; i < n; ++i) {
        for (int bit = 0; bit < 8; ++bit) slots[8 * i + bit] = slotFor((data[i] >> bit) & 1);
    }
}

// Byte i from echoes 8i..8i+7, least significant bit first; only an exact
// 0xFF echo reads as 1 (any device pulling low shortens it).
void decodeBytes(const std::uint8_t* echoes, std::int32_t n, std::uint8_t* data) {
    for (std::int32_t i = 0; i < n; ++i) {
        unsigned byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
            byte = echoes[8 * i + bit] == SlotOne ? (byte >> 1) | 0x80u : byte >> 1;
        }
        data[i] = static_cast<std::uint8_t>(byte);
    }
}

}  // namespace

bool busReset() {
    std::uint8_t echo = ResetByte;
    return resetWithEcho(echo);
}

bool resetWithEcho(std::uint8_t& echo) {
    echo = ResetByte;
    if (!requirePort()) return false;
    if (!setSpeed(ResetSpeed)) return false;
    discardInput();
    bool presence = false;
    if (writePort(&ResetByte, 1) != 1) {
        setStatus(ExchangeError);
    } else {
        waitForEcho(1, elapsedMs(), ResetEchoLimitMs, EchoWait::Reset);
        presence = readPresence(echo);
    }
    // A failed switch back leaves the port slow until a later change succeeds;
    // the presence already seen stands.
    (void)setSpeed(DataSpeed);
    return presence;
}

void writeSlot(int bit, bool waitForEchoOption, bool consumeEcho) {
    const std::uint8_t slot = bit != 0 ? SlotOne : SlotZero;
    (void)writePort(&slot, 1);
    if (waitForEchoOption) waitForEcho(1, elapsedMs(), SlotEchoLimitMs, EchoWait::Slot);
    if (consumeEcho && inputWaiting() > 0) {
        std::uint8_t echo = 0;
        (void)readPort(&echo, 1);
    }
}

int readSlot(bool flushFirst, bool sendProbe, bool waitForEchoOption) {
    setStatus(Ok);
    if (flushFirst) discardInput();
    if (sendProbe && writePort(&SlotOne, 1) != 1) {
        setStatus(ExchangeError);
        return 0;
    }
    if (waitForEchoOption) waitForEcho(1, elapsedMs(), SlotEchoLimitMs, EchoWait::Slot);
    std::uint8_t echo = 0;
    if (inputWaiting() != 1 || readPort(&echo, 1) != 1) {
        setStatus(ExchangeError);
        return 1;
    }
    return echo == SlotOne ? 1 : 0;
}

std::uint8_t exchangeByte(std::uint8_t value) {
    if (!requirePort()) return 0;
    unsigned result = 0;
    for (int i = 0; i < 8; ++i) {
        writeSlot((value >> i) & 1, true, false);
        const int bit = readSlot(false, false, false);
        if (lastStatus() != Ok) return 0xFF;
        result = (result >> 1) | (static_cast<unsigned>(bit) << 7);
    }
    return static_cast<std::uint8_t>(result);
}

bool writeBytes(const std::uint8_t* data, std::int32_t n) {
    if (!validTransfer(data, n)) return fail(BadArgument);
    if (!requirePort()) return false;
    Buffer slots = slotBuffer(n);
    if (!slots) return fail(BadArgument);
    encodeBytes(data, n, slots.get());
    if (writePort(slots.get(), 8 * n) != 8 * n) {
        discardInput();
        return fail(ExchangeError);
    }
    return collectEchoes(slots.get(), n, elapsedMs());
}

bool writeByte(std::uint8_t value) {
    return writeBytes(&value, 1);
}

bool readBytes(std::uint8_t* data, std::int32_t n) {
    if (!validTransfer(data, n)) return fail(BadArgument);
    if (!requirePort()) return fail(NoPort);
    const std::uint64_t startMs = elapsedMs();
    Buffer slots = slotBuffer(n);
    if (!slots) return fail(BadArgument);
    std::memset(slots.get(), SlotOne, 8u * static_cast<std::size_t>(n));
    if (writePort(slots.get(), 8 * n) != 8 * n) return fail(ExchangeError);
    std::memset(slots.get(), 0, 8u * static_cast<std::size_t>(n));
    if (!collectEchoes(slots.get(), n, startMs)) return false;
    decodeBytes(slots.get(), n, data);
    return true;
}

bool exchangeSlots(std::uint8_t* slots, std::int32_t count) {
    if (slots == nullptr || count < 1 || count >= 8 * MaxTransferBytes) return fail(BadArgument);
    if (!requirePort()) return false;
    const std::uint64_t startMs = elapsedMs();
    if (writePort(slots, count) != count) {
        discardInput();
        return fail(ExchangeError);
    }
    return collectSlotEchoes(slots, count, (count + 7) / 8, startMs);
}

bool writeThenRead(const std::uint8_t* command, std::int32_t commandBytes, std::uint8_t* data,
                   std::int32_t n) {
    if (!validTransfer(command, commandBytes) || !validTransfer(data, n) ||
        commandBytes >= MaxTransferBytes - n) {
        return fail(BadArgument);
    }
    if (!requirePort()) return false;
    const std::int32_t total = commandBytes + n;
    Buffer slots = slotBuffer(total);
    if (!slots) return fail(BadArgument);
    encodeBytes(command, commandBytes, slots.get());
    std::memset(slots.get() + 8 * commandBytes, SlotOne, 8u * static_cast<std::size_t>(n));
    if (!exchangeSlots(slots.get(), 8 * total)) return false;
    decodeBytes(slots.get() + 8 * commandBytes, n, data);
    return true;
}

}  // namespace onewire
