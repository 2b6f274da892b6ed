#include "onewire/port_adapter.h"
#include "onewire/primitives.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "onewire/thread_state.h"

namespace onewire {
namespace {

constexpr std::uint8_t SearchRomCommand = 0xF0;
constexpr int RomBits = 64;

int romBit(const RomCode& rom, int bitNumber) {
    const int index = bitNumber - 1;
    return (rom[static_cast<std::size_t>(index / 8)] >> (index % 8)) & 1;
}

void setRomBit(RomCode& rom, int bitNumber, int value) {
    const int index = bitNumber - 1;
    auto& byte = rom[static_cast<std::size_t>(index / 8)];
    const auto mask = static_cast<std::uint8_t>(1u << (index % 8));
    byte = static_cast<std::uint8_t>(value != 0 ? byte | mask : byte & ~mask);
}

// The branch this pass takes where the devices disagree: the previous pass's
// path below its last 0 branch, 1 at it, and 0 beyond it.
int discrepancyDirection(const SearchState& state, int bitNumber) {
    if (bitNumber < state.lastDiscrepancy) return romBit(state.rom, bitNumber);
    return bitNumber == state.lastDiscrepancy ? 1 : 0;
}

}  // namespace

bool searchReset() {
    threadBlock().search = SearchState{};
    setStatus(Ok);
    return true;
}

const SearchState& searchState() {
    return threadBlock().search;
}

// One pass of the 1-Wire binary tree search. For each of the 64 ROM bits every
// device still taking part sends its bit and then its complement (wired-AND):
// 1/0 or 0/1 means all agree, 0/0 is a discrepancy, 1/1 means nobody is left.
// The master then writes the chosen direction and only the devices with that
// bit stay in. Taking 0 at every new discrepancy and 1 at the previous pass's
// last 0 branch walks the codes in ascending transmission order.
bool searchNext(RomCode* out) {
    if (out == nullptr) return fail(BadArgument);
    if (!requirePort()) return false;
    SearchState& state = threadBlock().search;
    if (state.lastDeviceFound != 0) return fail(NoData);
    discardInput();
    if (!busReset()) return false;
    if (!writeByte(SearchRomCommand)) return false;

    int lastZero = 0;
    int bitNumber = 1;
    for (; bitNumber <= RomBits; ++bitNumber) {
        const int idBit = readSlot(true, true, true);
        if (lastStatus() != Ok) break;
        const int cmpBit = readSlot(true, true, true);
        if (lastStatus() != Ok) break;
        if (idBit == 1 && cmpBit == 1) {
            setStatus(SearchError);
            break;
        }
        int direction = idBit;
        if (idBit == 0 && cmpBit == 0) {
            direction = discrepancyDirection(state, bitNumber);
            if (direction == 0) lastZero = bitNumber;
        }
        setRomBit(state.rom, bitNumber, direction);
        writeSlot(direction, true, true);
    }
    if (bitNumber <= RomBits) return false;

    state.lastDiscrepancy = lastZero;
    if (lastZero == 0) state.lastDeviceFound = 1;
    *out = state.rom;
    setStatus(Ok);
    return true;
}

}  // namespace onewire
