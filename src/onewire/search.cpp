#include <array>

#include "onewire/bus_master.h"
#include "onewire/commands.h"
#include "onewire/port_adapter.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "onewire/thread_state.h"

namespace onewire {
namespace {

constexpr int RomBits = 64;
constexpr int CommandSlots = 8;
// Two read slots and one write slot per bit.
constexpr int SlotsPerBit = 3;
// The command, the known path below the last discrepancy (at most 63 bits)
// and the two read slots of the bit after it.
constexpr int MaxOpeningSlots = CommandSlots + SlotsPerBit * (RomBits - 1) + 2;

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

// One bit's two read slots as read: the devices' bit and its complement.
struct BitAnswers {
    int id = 1;
    int cmp = 1;
};

BitAnswers answersAt(const std::uint8_t* bits) {
    return {bits[0] != 0 ? 1 : 0, bits[1] != 0 ? 1 : 0};
}

// The direction the bit-by-bit search takes on these answers, -1 when no
// device answered (both 1). A 0 taken at a discrepancy is noted in lastZero.
int chooseDirection(const SearchState& state, BitAnswers answers, int bitNumber, int& lastZero) {
    if (answers.id == 1 && answers.cmp == 1) return -1;
    if (answers.id != answers.cmp) return answers.id;
    const int direction = discrepancyDirection(state, bitNumber);
    if (direction == 0) lastZero = bitNumber;
    return direction;
}

enum class PassEnd { Delivered, Failed, Diverged };

// Sends the command, the read and direction slots of the first `knownBits`
// bits (whose directions the previous pass fixed) and the read slots of the
// next bit, as one burst, and checks the answers against the known path.
// Until the first answer that disagrees, the burst's slots are exactly the
// bit-by-bit search's. Both bits 1 there ends the pass with status 5 as that
// search would at the same bit. Devices agreeing on the other value would
// have sent it another way: the slots after that bit took a path it would
// not have taken, so the pass is Diverged and must be done again.
PassEnd sendOpening(const SearchState& state, int knownBits, int& lastZero, BitAnswers& next) {
    std::array<std::uint8_t, MaxOpeningSlots> slots{};
    int count = 0;
    for (int bit = 0; bit < CommandSlots; ++bit) {
        slots[count++] = static_cast<std::uint8_t>((SearchRomCommand >> bit) & 1);
    }
    for (int bitNumber = 1; bitNumber <= knownBits; ++bitNumber) {
        slots[count++] = 1;
        slots[count++] = 1;
        slots[count++] = static_cast<std::uint8_t>(romBit(state.rom, bitNumber));
    }
    slots[count++] = 1;
    slots[count++] = 1;
    if (!busMaster().touchBits(slots.data(), count)) return PassEnd::Failed;

    for (int bitNumber = 1; bitNumber <= knownBits; ++bitNumber) {
        const std::uint8_t* echoes = &slots[CommandSlots + SlotsPerBit * (bitNumber - 1)];
        const int direction = chooseDirection(state, answersAt(echoes), bitNumber, lastZero);
        if (direction < 0) return (setStatus(SearchError), PassEnd::Failed);
        if (direction != romBit(state.rom, bitNumber)) return PassEnd::Diverged;
    }
    next = answersAt(&slots[CommandSlots + SlotsPerBit * knownBits]);
    return PassEnd::Delivered;
}

// One pass from its reset. Each bit's direction slot goes out with the next
// bit's two read slots, one round trip per bit; the last direction slot goes
// alone and, as ever, what it read does not matter.
PassEnd runPass(SearchState& state, int knownBits, int& lastZero) {
    lastZero = 0;
    ResetAnswer answer = ResetAnswer::NoPresence;
    if (!busMaster().reset(answer)) return PassEnd::Failed;
    // A wire held low answers every bit with a discrepancy, so the search
    // would deliver one invented code after another: there is nobody to find.
    if (answer == ResetAnswer::Short) return (setStatus(NoResponse), PassEnd::Failed);
    BitAnswers answers;
    const PassEnd opening = sendOpening(state, knownBits, lastZero, answers);
    if (opening != PassEnd::Delivered) return opening;
    for (int bitNumber = knownBits + 1;; ++bitNumber) {
        const int direction = chooseDirection(state, answers, bitNumber, lastZero);
        if (direction < 0) {
            setStatus(SearchError);
            return PassEnd::Failed;
        }
        setRomBit(state.rom, bitNumber, direction);
        if (bitNumber == RomBits) {
            (void)busMaster().touchBit(direction);
            return PassEnd::Delivered;
        }
        std::uint8_t slots[SlotsPerBit] = {static_cast<std::uint8_t>(direction), 1, 1};
        if (!busMaster().touchBits(slots, SlotsPerBit)) return PassEnd::Failed;
        answers = answersAt(&slots[1]);
    }
}

// The master's own pass where it has one, else the burst search above.
bool masterPass(SearchState& state, int& lastZero) {
    const BusMaster& master = busMaster();
    if (master.searchPass != nullptr) {
        RomCode rom{};
        if (!master.searchPass(state, rom, lastZero)) return false;
        state.rom = rom;
        return true;
    }
    const int knownBits = state.lastDiscrepancy > 0 ? state.lastDiscrepancy - 1 : 0;
    PassEnd end = runPass(state, knownBits, lastZero);
    if (end == PassEnd::Diverged) end = runPass(state, 0, lastZero);
    return end == PassEnd::Delivered;
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
//
// The slots are those of a search that exchanges every slot on its own; only
// their grouping into writes differs. Below the previous pass's last
// discrepancy the directions are known, so that stretch goes out as one burst
// with the command. On a bus that has not changed its answers agree with the
// known path; when devices left so that the rest agree on the other value,
// the pass is done again without the burst, so that the result is always the
// bit-by-bit one.
bool searchNext(RomCode* out) {
    if (out == nullptr) return fail(BadArgument);
    if (!requirePort()) return false;
    SearchState& state = threadBlock().search;
    if (state.lastDeviceFound != 0) return fail(NoData);
    discardInput();

    int lastZero = 0;
    if (!masterPass(state, lastZero)) return false;

    state.lastDiscrepancy = lastZero;
    if (lastZero == 0) state.lastDeviceFound = 1;
    *out = state.rom;
    setStatus(Ok);
    return true;
}

}  // namespace onewire
