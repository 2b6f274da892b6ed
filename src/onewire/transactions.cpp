#include <algorithm>

#include "onewire/port_adapter.h"
#include "onewire/primitives.h"
#include "onewire/rom.h"
#include "onewire/status.h"

namespace onewire {
namespace {

constexpr std::uint8_t MatchRomCommand = 0x55;
constexpr std::uint8_t SkipRomCommand = 0xCC;
constexpr std::uint8_t ConvertTCommand = 0x44;
constexpr std::uint8_t ReadScratchpadCommand = 0xBE;
constexpr std::uint8_t ReadPowerSupplyCommand = 0xB4;
constexpr std::int32_t ScratchpadBytes = 9;

}  // namespace

bool matchRom(const RomCode* code) {
    if (!requirePort()) return false;
    if (code == nullptr) return fail(BadArgument);
    if (!busReset()) return false;
    // The command and the code wait on no answer: one 9-byte block, one round
    // trip, the same 72 slots.
    std::uint8_t block[1 + 8];
    block[0] = MatchRomCommand;
    std::copy(code->begin(), code->end(), block + 1);
    return writeBytes(block, static_cast<std::int32_t>(sizeof block));
}

bool resetAndSkipRom() {
    if (!requirePort()) return false;
    if (!busReset()) return false;
    return writeByte(SkipRomCommand);
}

bool startConversion(std::uint32_t sleepAfterMs) {
    if (!requirePort()) return false;
    if (!writeByte(ConvertTCommand)) return false;
    if (sleepAfterMs > 0) sleepMs(sleepAfterMs);
    return true;
}

bool readScratchpad(std::uint8_t* buffer) {
    if (!requirePort()) return false;
    if (buffer == nullptr) return fail(BadArgument);
    // The command's eight write slots and the 72 read slots go out as one
    // block: the device answers within each slot, so nothing waits on an echo.
    return writeThenRead(&ReadScratchpadCommand, 1, buffer, ScratchpadBytes);
}

bool matchRomAndReadScratchpad(const RomCode* code, std::uint8_t* buffer) {
    if (!requirePort()) return false;
    if (code == nullptr || buffer == nullptr) return fail(BadArgument);
    if (!busReset()) return false;
    // Nothing between the reset and the read waits on an answer: the command,
    // the code and Read Scratchpad are written slots whose echoes only count,
    // so one block of 80 written and 72 read slots does it. An echo lost or
    // doubled anywhere fails it with status 3, as it fails either of the two
    // blocks sent apart.
    std::uint8_t command[1 + 8 + 1];
    command[0] = MatchRomCommand;
    std::copy(code->begin(), code->end(), command + 1);
    command[9] = ReadScratchpadCommand;
    return writeThenRead(command, static_cast<std::int32_t>(sizeof command), buffer,
                         ScratchpadBytes);
}

int readPowerSupply() {
    if (!requirePort()) return 0;
    if (!writeByte(ReadPowerSupplyCommand)) return 0;
    return readSlot(true, true, true);
}

}  // namespace onewire
