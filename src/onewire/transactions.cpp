#include <algorithm>

#include "onewire/bus_master.h"
#include "onewire/commands.h"
#include "onewire/port_adapter.h"
#include "onewire/rom.h"
#include "onewire/status.h"

namespace onewire {
namespace {

constexpr std::int32_t ScratchpadBytes = 9;

bool resetMaster() {
    ResetAnswer answer = ResetAnswer::NoPresence;
    return busMaster().reset(answer);
}

bool writeMaster(const std::uint8_t* data, std::int32_t n) {
    return busMaster().writeBytes(data, n);
}

// Masters without a block operation read by one burst of slots all the same:
// the device answers within each slot, so nothing waits on an answer.
bool writeThenReadBySlots(const std::uint8_t* command, std::int32_t commandBytes,
                          std::uint8_t* data, std::int32_t n) {
    std::uint8_t bits[8 * (1 + 8 + 1 + ScratchpadBytes)];  // up to Match ROM and its read
    const std::int32_t total = commandBytes + n;
    if (total > static_cast<std::int32_t>(sizeof bits) / 8) return fail(BadArgument);
    for (std::int32_t i = 0; i < 8 * total; ++i) {
        bits[i] = i < 8 * commandBytes ? (command[i / 8] >> (i % 8)) & 1 : 1;
    }
    if (!busMaster().touchBits(bits, 8 * total)) return false;
    for (std::int32_t i = 0; i < n; ++i) {
        unsigned byte = 0;
        for (int bit = 7; bit >= 0; --bit) byte = (byte << 1) | bits[8 * (commandBytes + i) + bit];
        data[i] = static_cast<std::uint8_t>(byte);
    }
    return true;
}

}  // namespace

bool matchRom(const RomCode* code) {
    if (!requirePort()) return false;
    if (code == nullptr) return fail(BadArgument);
    if (!resetMaster()) return false;
    // The command and the code wait on no answer: one 9-byte block, one round
    // trip, the same 72 slots.
    std::uint8_t block[1 + 8];
    block[0] = MatchRomCommand;
    std::copy(code->begin(), code->end(), block + 1);
    return writeMaster(block, static_cast<std::int32_t>(sizeof block));
}

bool resetAndSkipRom() {
    if (!requirePort()) return false;
    if (!resetMaster()) return false;
    return writeMaster(&SkipRomCommand, 1);
}

bool startConversion(std::uint32_t sleepAfterMs) {
    if (!requirePort()) return false;
    // Parasite-powered thermometers draw their conversion current from the
    // wire: a master that can hold it up strongly does so from the last bit on.
    const BusMaster& master = busMaster();
    const bool sent = master.writeBytePowered != nullptr ? master.writeBytePowered(ConvertTCommand)
                                                         : master.writeBytes(&ConvertTCommand, 1);
    if (!sent) return false;
    if (sleepAfterMs > 0) sleepMs(sleepAfterMs);
    return true;
}

bool readScratchpad(std::uint8_t* buffer) {
    if (!requirePort()) return false;
    if (buffer == nullptr) return fail(BadArgument);
    // The command's eight write slots and the 72 read slots go out as one
    // block: the device answers within each slot, so nothing waits on an echo.
    const BusMaster& master = busMaster();
    if (master.writeThenRead != nullptr) {
        return master.writeThenRead(&ReadScratchpadCommand, 1, buffer, ScratchpadBytes);
    }
    return writeThenReadBySlots(&ReadScratchpadCommand, 1, buffer, ScratchpadBytes);
}

bool matchRomAndReadScratchpad(const RomCode* code, std::uint8_t* buffer) {
    if (!requirePort()) return false;
    if (code == nullptr || buffer == nullptr) return fail(BadArgument);
    std::uint8_t command[1 + 8 + 1];
    command[0] = MatchRomCommand;
    std::copy(code->begin(), code->end(), command + 1);
    command[9] = ReadScratchpadCommand;
    constexpr auto commandBytes = static_cast<std::int32_t>(sizeof command);
    const BusMaster& master = busMaster();
    // A chip that resets on command does it all in one round trip.
    if (master.resetWriteThenRead != nullptr) {
        return master.resetWriteThenRead(command, commandBytes, buffer, ScratchpadBytes);
    }
    if (!resetMaster()) return false;
    // Nothing between the reset and the read waits on an answer: the command,
    // the code and Read Scratchpad are written slots whose echoes only count,
    // so one block of 80 written and 72 read slots does it. An echo lost or
    // doubled anywhere fails it with status 3, as it fails either of the two
    // blocks sent apart.
    if (master.writeThenRead != nullptr) {
        return master.writeThenRead(command, commandBytes, buffer, ScratchpadBytes);
    }
    return writeThenReadBySlots(command, commandBytes, buffer, ScratchpadBytes);
}

int readPowerSupply() {
    if (!requirePort()) return 0;
    if (!writeMaster(&ReadPowerSupplyCommand, 1)) return 0;
    return busMaster().touchBit(1);
}

}  // namespace onewire
