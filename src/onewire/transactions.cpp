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
    if (!writeByte(MatchRomCommand)) return false;
    return writeBytes(code->data(), static_cast<std::int32_t>(code->size()));
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
    if (!writeByte(ReadScratchpadCommand)) return false;
    return readBytes(buffer, ScratchpadBytes);
}

int readPowerSupply() {
    if (!requirePort()) return 0;
    if (!writeByte(ReadPowerSupplyCommand)) return 0;
    return readSlot(true, true, true);
}

}  // namespace onewire
