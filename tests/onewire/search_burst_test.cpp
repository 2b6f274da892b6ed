// The search and the transactions send their slots in few writes: the same
// slots in the same order, the same results and status codes as a master that
// exchanges every slot on its own, with far fewer round trips.
#include <algorithm>
#include <random>

#include "bus_fixture.h"

namespace onewire_test {
namespace {

using busmodel::FamilyDs18b20;
using busmodel::FamilyDs18s20;

// The search with one write, wait and read per slot, kept beside the library
// as the measure of what its search must find.
struct SlotBySlotSearch {
    int lastDiscrepancy = 0;
    bool lastDeviceFound = false;
    RomCode rom{};

    int bitOf(int bit) const {
        return (rom[static_cast<std::size_t>((bit - 1) / 8)] >> ((bit - 1) % 8)) & 1;
    }

    bool next(RomCode* out) {
        if (lastDeviceFound) return onewire::fail(onewire::NoData);
        if (!onewire::busReset() || !onewire::writeByte(0xF0)) return false;
        int lastZero = 0;
        for (int bit = 1; bit <= 64; ++bit) {
            const int id = onewire::readSlot(true, true, true);
            if (onewire::lastStatus() != onewire::Ok) return false;
            const int cmp = onewire::readSlot(true, true, true);
            if (onewire::lastStatus() != onewire::Ok) return false;
            if (id == 1 && cmp == 1) return onewire::fail(onewire::SearchError);
            int direction = id;
            if (id == 0 && cmp == 0) {
                direction = bit < lastDiscrepancy ? bitOf(bit) : (bit == lastDiscrepancy ? 1 : 0);
                if (direction == 0) lastZero = bit;
            }
            auto& byte = rom[static_cast<std::size_t>((bit - 1) / 8)];
            const auto mask = static_cast<std::uint8_t>(1u << ((bit - 1) % 8));
            byte = static_cast<std::uint8_t>(direction != 0 ? byte | mask : byte & ~mask);
            onewire::writeSlot(direction, true, true);
        }
        lastDiscrepancy = lastZero;
        lastDeviceFound = lastZero == 0;
        *out = rom;
        onewire::setStatus(onewire::Ok);
        return true;
    }
};

// What one call of a search gave.
struct Outcome {
    bool found = false;
    RomCode rom{};
    std::int32_t status = 0;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << (o.found ? busmodel::FormatRom(o.rom) : "none") << " status " << o.status;
}

// Calls the search until it reports no more data, going on after other
// failures as a caller that retries would, for at most `calls` calls.
template <typename Next>
std::vector<Outcome> runSearch(Next next, std::size_t calls) {
    std::vector<Outcome> outcomes;
    while (outcomes.size() < calls) {
        Outcome o;
        o.found = next(&o.rom);
        o.status = o.found ? 0 : onewire::lastStatus();
        if (!o.found) o.rom = {};
        outcomes.push_back(o);
        if (o.status == onewire::NoData) break;
    }
    return outcomes;
}

class SearchBurstTest : public BusTest {
  protected:
    // The library's enumeration and the slot-by-slot one, each on a freshly
    // powered bus of `devices`; with `sameWire` also the bytes on the wire.
    void expectSameAsSlotBySlot(const std::vector<Device>& devices, bool sameWire,
                                const std::string& what) {
        const std::size_t calls = devices.size() + 4;
        busmodel::SetDevices(devices);
        busmodel::RecordWire(true);
        onewire::searchReset();
        const auto library =
            runSearch([](RomCode* rom) { return onewire::searchNext(rom); }, calls);
        const auto libraryWire = busmodel::WireLog();

        busmodel::SetDevices(devices);
        busmodel::RecordWire(true);
        SlotBySlotSearch reference;
        const auto expected = runSearch([&](RomCode* rom) { return reference.next(rom); }, calls);
        busmodel::RecordWire(false);
        EXPECT_EQ(library, expected) << what;
        if (sameWire) {
            EXPECT_TRUE(libraryWire == busmodel::WireLog()) << what;
        }
    }
};

std::vector<Device> randomDevices(std::mt19937_64& random, std::size_t count, bool narrow) {
    std::vector<Device> devices;
    while (devices.size() < count) {
        const std::uint8_t family = random() % 3 == 0 ? FamilyDs18s20 : FamilyDs18b20;
        // Serial numbers from a narrow range share long prefixes, which puts
        // the discrepancies deep into the code and makes the bursts long.
        const std::uint64_t serial = narrow ? (random() % 64) << 40 : random();
        Device device;
        device.rom = busmodel::MakeRomCode(family, serial);
        bool known = false;
        for (const Device& d : devices) known = known || d.rom == device.rom;
        if (!known) devices.push_back(device);
    }
    return devices;
}

TEST_F(SearchBurstTest, RandomBusesSeeTheSameSlotsAndResults) {
    std::mt19937_64 random(61);
    open();
    for (int round = 0; round < 30; ++round) {
        const auto devices = randomDevices(random, 1 + random() % 12, round % 2 == 0);
        expectSameAsSlotBySlot(devices, true, "round " + std::to_string(round));
    }
}

TEST_F(SearchBurstTest, DevicesLeavingMidPassGiveTheSlotBySlotResults) {
    std::mt19937_64 random(62);
    open();
    for (int round = 0; round < 60; ++round) {
        auto devices = randomDevices(random, 2 + random() % 8, round % 2 == 0);
        // One device leaves somewhere in its next pass: in the burst of the
        // known stretch, or in the bits after it.
        Device& leaver = devices[random() % devices.size()];
        leaver.leaveAfterSearchSlots = static_cast<std::int32_t>(random() % 200);
        expectSameAsSlotBySlot(devices, false, "round " + std::to_string(round));
    }
}

// Two devices whose codes agree up to bit 50: the second pass knows bits 1 to
// 49 and sends them in one burst.
struct DeepPair {
    Device low;
    Device high;
    DeepPair() {
        low.rom = busmodel::MakeRomCode(FamilyDs18b20, 0x0000'1234'5678'9A);
        high.rom = low.rom;
        high.rom[6] |= 0x04;  // bit 51 (bit 2 of byte 6)
        high.rom[7] = busmodel::Crc8(std::span(high.rom.data(), 7));
    }
};

TEST_F(SearchBurstTest, BothBitsOneInTheBurstFailsThePassAsSlotBySlot) {
    DeepPair pair;
    busmodel::SetDevices({pair.low, pair.high});
    open();
    onewire::searchReset();
    RomCode rom{};
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, pair.low.rom);
    const onewire::SearchState before = onewire::searchState();
    // Only the leaver is left on the known path, and it leaves in bit 14.
    ASSERT_TRUE(busmodel::RemoveDevice(pair.low.rom));
    ASSERT_TRUE(
        busmodel::ChangeDevice(pair.high.rom, [](Device& d) { d.leaveAfterSearchSlots = 40; }));

    EXPECT_FALSE(onewire::searchNext(&rom));
    EXPECT_EQ(onewire::lastStatus(), onewire::SearchError);
    EXPECT_EQ(onewire::searchState().lastDiscrepancy, before.lastDiscrepancy);
    EXPECT_EQ(onewire::searchState().rom, before.rom);

    ASSERT_TRUE(busmodel::ChangeDevice(pair.high.rom, [](Device& d) { d.present = true; }));
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, pair.high.rom);
}

TEST_F(SearchBurstTest, AnswersOffTheKnownPathRedoThePassSlotBySlot) {
    DeepPair pair;
    busmodel::SetDevices({pair.low, pair.high});
    open();
    onewire::searchReset();
    RomCode rom{};
    ASSERT_TRUE(onewire::searchNext(&rom));
    // A device that agrees with the known path up to bit 9 and then has the
    // other value comes, and the two known ones go: the burst's answers leave
    // the path at bit 10, and the pass is done again from a new reset.
    Device other;
    other.rom = pair.low.rom;
    other.rom[1] ^= 0x02;
    other.rom[7] = busmodel::Crc8(std::span(other.rom.data(), 7));
    busmodel::SetDevices({other});
    const std::uint64_t resetsBefore = busmodel::CurrentPortState().resets;
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, other.rom);
    EXPECT_EQ(busmodel::CurrentPortState().resets - resetsBefore, 2u);
    EXPECT_EQ(onewire::searchState().lastDeviceFound, 1);
}

TEST_F(SearchBurstTest, AShortedBusHasNobodyToFind) {
    // Every echo 0: the reset's counts as presence, but every bit would then
    // be a discrepancy and every pass deliver an invented code.
    busmodel::Faults shorted;
    shorted.shorted = true;
    busmodel::SetFaults(shorted);
    open();
    busmodel::RecordWire(true);
    onewire::searchReset();
    const auto outcomes = runSearch([](RomCode* rom) { return onewire::searchNext(rom); }, 3);
    for (const Outcome& outcome : outcomes) EXPECT_EQ(outcome, (Outcome{false, {}, 2}));
    // Each call sent its reset and nothing more.
    EXPECT_EQ(busmodel::WireLog(), std::vector<busmodel::WireByte>(3, {0xF0, 9600}));
}

std::uint64_t writes() {
    return busmodel::CurrentPortState().writes;
}

TEST_F(SearchBurstTest, RoundTripsPerPass) {
    DeepPair pair;
    busmodel::SetDevices({pair.low, pair.high});
    open();
    onewire::searchReset();
    RomCode rom{};
    std::uint64_t start = writes();
    ASSERT_TRUE(onewire::searchNext(&rom));
    // The reset, then one write per bit (its direction with the next bit's
    // reads) where three were needed; 194 slot by slot.
    EXPECT_LE(writes() - start, 64u + 2u);
    start = writes();
    ASSERT_TRUE(onewire::searchNext(&rom));
    // Bits 1 to 50 in one burst with the command: the reset, the burst, and
    // one write for each of the 14 bits after it.
    EXPECT_LE(writes() - start, 64u - 50u + 3u);
}

TEST_F(SearchBurstTest, AddressingAndReadingTakeThreeRoundTripsOnTheSameWire) {
    const Device device = thermometer(FamilyDs18b20, 7, 0x0191);
    busmodel::SetDevices({device});
    open();
    std::uint8_t pad[9]{};
    const std::uint64_t start = writes();
    busmodel::RecordWire(true);
    ASSERT_TRUE(onewire::matchRom(&device.rom));
    ASSERT_TRUE(onewire::readScratchpad(pad));
    EXPECT_EQ(writes() - start, 3u);  // the reset, 0x55 with the code, 0xBE with the reads
    const auto wire = busmodel::WireLog();
    // Power-on scratchpad: 85 degC.
    EXPECT_EQ(std::vector<std::uint8_t>(pad, pad + 9),
              (std::vector<std::uint8_t>{0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10, 0x1C}));

    // The same transaction a byte and a block at a time.
    busmodel::RecordWire(true);
    std::uint8_t again[9]{};
    ASSERT_TRUE(onewire::busReset());
    ASSERT_TRUE(onewire::writeByte(0x55));
    ASSERT_TRUE(onewire::writeBytes(device.rom.data(), 8));
    ASSERT_TRUE(onewire::writeByte(0xBE));
    ASSERT_TRUE(onewire::readBytes(again, 9));
    EXPECT_TRUE(wire == busmodel::WireLog());
    EXPECT_TRUE(std::equal(pad, pad + 9, again));
}

// What one read of a scratchpad gave.
struct ReadOutcome {
    bool read = false;
    std::int32_t status = 0;
    std::vector<std::uint8_t> pad;
    bool operator==(const ReadOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ReadOutcome& o) {
    out << (o.read ? "read" : "failed") << " status " << o.status << " pad";
    for (const std::uint8_t byte : o.pad) out << ' ' << static_cast<int>(byte);
    return out;
}

ReadOutcome readApart(const RomCode& rom) {
    std::uint8_t pad[9]{};
    ReadOutcome o;
    o.read = onewire::matchRom(&rom) && onewire::readScratchpad(pad);
    o.status = onewire::lastStatus();
    o.pad.assign(pad, pad + 9);
    return o;
}

ReadOutcome readTogether(const RomCode& rom) {
    std::uint8_t pad[9]{};
    ReadOutcome o;
    o.read = onewire::matchRomAndReadScratchpad(&rom, pad);
    o.status = onewire::lastStatus();
    o.pad.assign(pad, pad + 9);
    return o;
}

TEST_F(SearchBurstTest, MatchAndReadTogetherTakeTwoRoundTripsOnTheSameWire) {
    const Device device = thermometer(FamilyDs18b20, 7, 0x0191);
    busmodel::SetDevices({device});
    open();
    ASSERT_TRUE(onewire::resetAndSkipRom());
    ASSERT_TRUE(onewire::startConversion(800));
    busmodel::RecordWire(true);
    const ReadOutcome apart = readApart(device.rom);
    const auto apartWire = busmodel::WireLog();

    busmodel::RecordWire(true);
    const std::uint64_t start = writes();
    const std::uint64_t resets = busmodel::CurrentPortState().resets;
    const ReadOutcome together = readTogether(device.rom);
    EXPECT_EQ(writes() - start, 2u);  // the reset, then 0x55, the code, 0xBE and the reads
    EXPECT_EQ(busmodel::CurrentPortState().resets - resets, 1u);
    EXPECT_TRUE(apartWire == busmodel::WireLog());
    EXPECT_EQ(together, apart);
    EXPECT_TRUE(together.read);
    EXPECT_EQ(together.status, onewire::Ok);
    const auto expected = busmodel::MakeScratchpad(FamilyDs18b20, 0x0191);
    EXPECT_TRUE(std::equal(together.pad.begin(), together.pad.end(), expected.begin()));
}

// Whatever goes wrong on the way, the read in one block fails (or succeeds)
// exactly as Match ROM and Read Scratchpad sent apart do.
TEST_F(SearchBurstTest, MatchAndReadTogetherFailAsTheSeparateCalls) {
    const Device device = thermometer(FamilyDs18b20, 8, -0x01B8);
    open();
    struct Damage {
        std::string name;
        bool device = true;
        busmodel::Faults faults{};
        std::vector<std::uint8_t> script{};  // echo values, the reset's first
    };
    std::vector<Damage> damages;
    damages.push_back({"none"});
    damages.push_back({"nobody on the bus", false});
    // The reset's echo is the first; the 80 written slots follow, then the 72 reads.
    for (const int lost : {0, 1, 9, 40, 72, 79, 80, 100, 151}) {
        Damage d{"echoes lost after " + std::to_string(lost) + " slots"};
        d.faults.echoesBeforeUnplug = 1 + lost;
        damages.push_back(d);
    }
    for (const int limit : {0, 5, 71}) {
        Damage d{"writes cut to " + std::to_string(limit) + " bytes"};
        d.faults.writeLimit = limit;
        damages.push_back(d);
    }
    Damage doubled{"echoes doubled"};
    doubled.faults.doubleEcho = true;
    damages.push_back(doubled);
    Damage slow{"no switch to 9600"};
    slow.faults.failResetSpeed = true;
    damages.push_back(slow);
    // Echo values of written slots are not read: a device pulling the wire
    // low in them changes nothing, apart or together.
    for (const int value : {0x00, 0x7F, 0xFE}) {
        Damage d{"written echoes read " + std::to_string(value)};
        d.script.assign(1 + 80, static_cast<std::uint8_t>(value));
        d.script[0] = 0xE0;
        damages.push_back(d);
    }

    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        ReadOutcome outcomes[2];
        for (const bool together : {false, true}) {
            busmodel::ResetBus();
            if (damage.device) busmodel::SetDevices({device});
            busmodel::SetFaults(damage.faults);
            busmodel::ScriptEchoes(damage.script);
            outcomes[together ? 1 : 0] =
                together ? readTogether(device.rom) : readApart(device.rom);
            busmodel::SetFaults({});
            EXPECT_EQ(onewire::inputWaiting(), 0);
        }
        EXPECT_EQ(outcomes[1], outcomes[0]);
    }
}

TEST_F(SearchBurstTest, MatchAndReadTogetherWithoutAPlaceSendNothing) {
    const Device device = thermometer(FamilyDs18b20, 9);
    busmodel::SetDevices({device});
    open();
    std::uint8_t pad[9]{};
    const std::uint64_t before = bytesWritten();
    EXPECT_FALSE(onewire::matchRomAndReadScratchpad(nullptr, pad));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_FALSE(onewire::matchRomAndReadScratchpad(&device.rom, nullptr));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_EQ(bytesWritten(), before);
    // No presence: the reset alone went out.
    busmodel::SetDevices({});
    busmodel::RecordWire(true);
    EXPECT_FALSE(onewire::matchRomAndReadScratchpad(&device.rom, pad));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);
    EXPECT_EQ(busmodel::WireLog(), std::vector<busmodel::WireByte>(1, {0xF0, 9600}));
}

TEST_F(SearchBurstTest, BurstsKeepTheBlockRules) {
    busmodel::SetDevices({thermometer(FamilyDs18b20, 9)});
    open();
    std::uint8_t slots[80]{};
    std::uint8_t data[9]{};
    const std::uint8_t command = 0xBE;
    const std::uint64_t before = bytesWritten();
    EXPECT_FALSE(onewire::exchangeSlots(nullptr, 3));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_FALSE(onewire::exchangeSlots(slots, 0));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_FALSE(onewire::writeThenRead(&command, 1, nullptr, 9));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_FALSE(onewire::writeThenRead(&command, 0, data, 9));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_EQ(bytesWritten(), before);

    // Two echoes a byte: a wrong count, the queue emptied.
    busmodel::Faults doubled;
    doubled.doubleEcho = true;
    busmodel::SetFaults(doubled);
    std::fill(std::begin(slots), std::end(slots), onewire::SlotOne);
    EXPECT_FALSE(onewire::exchangeSlots(slots, 3));
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    EXPECT_EQ(onewire::inputWaiting(), 0);

    // No echo: the wait ends at the block limit of its bytes, 2 ms each + 36.
    busmodel::Faults unplugged;
    unplugged.noEcho = true;
    busmodel::SetFaults(unplugged);
    const std::uint64_t start = busmodel::VirtualNowMs();
    EXPECT_FALSE(onewire::exchangeSlots(slots, 80));
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    EXPECT_GE(busmodel::VirtualNowMs() - start, 2u * 10u + 36u);
    EXPECT_LE(busmodel::VirtualNowMs() - start, 2u * 10u + 38u);
}

TEST_F(SearchBurstTest, EchoesLostInABurstFailWithExchangeError) {
    DeepPair pair;
    busmodel::SetDevices({pair.low, pair.high});
    open();
    onewire::searchReset();
    RomCode rom{};
    ASSERT_TRUE(onewire::searchNext(&rom));
    const onewire::SearchState before = onewire::searchState();
    // The reset's echo, then 100 of the burst's 8 + 3 * 50 + 2.
    busmodel::Faults unplug;
    unplug.echoesBeforeUnplug = 1 + 100;
    busmodel::SetFaults(unplug);
    EXPECT_FALSE(onewire::searchNext(&rom));
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    EXPECT_EQ(onewire::searchState().lastDiscrepancy, before.lastDiscrepancy);
    EXPECT_EQ(onewire::inputWaiting(), 0);

    // The scratchpad's block loses its echoes half-way.
    busmodel::SetFaults({});
    ASSERT_TRUE(onewire::matchRom(&pair.low.rom));
    unplug.echoesBeforeUnplug = 40;
    busmodel::SetFaults(unplug);
    std::uint8_t pad[9]{};
    EXPECT_FALSE(onewire::readScratchpad(pad));
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
}

}  // namespace
}  // namespace onewire_test
