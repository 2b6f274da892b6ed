// The simulated thermometers beyond what the monitor uses, so that other
// 1-Wire masters can be run against kelvarian-sim.
#include "bus_fixture.h"

namespace onewire_test {
namespace {

using busmodel::FamilyDs18b20;
using busmodel::FamilyDs18s20;
using Pad = std::vector<std::uint8_t>;

class SimDeviceTest : public BusTest {
  protected:
    static void command(const RomCode& rom, std::uint8_t cmd) {
        ASSERT_TRUE(onewire::matchRom(&rom));
        ASSERT_TRUE(onewire::writeByte(cmd));
    }
    static Pad readPad(const RomCode& rom) {
        std::uint8_t pad[9]{};
        EXPECT_TRUE(onewire::matchRom(&rom));
        EXPECT_TRUE(onewire::readScratchpad(pad));
        return Pad(pad, pad + 9);
    }
    static void convertAll(std::uint32_t waitMs) {
        ASSERT_TRUE(onewire::resetAndSkipRom());
        ASSERT_TRUE(onewire::startConversion(waitMs));
    }
};

TEST_F(SimDeviceTest, PowerOnReadsEightyFiveDegrees) {
    const Device b20 = thermometer(FamilyDs18b20, 1, 0x0123);
    const Device s20 = thermometer(FamilyDs18s20, 2, 0x11);
    busmodel::SetDevices({b20, s20});
    open();
    EXPECT_EQ(readPad(b20.rom), (Pad{0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10, 0x1C}));
    EXPECT_EQ(readPad(s20.rom), (Pad{0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10, 0x87}));
}

TEST_F(SimDeviceTest, ConversionTakesItsTimeAndShowsBusyInReadSlots) {
    const Device device = thermometer(FamilyDs18b20, 1, 0x0123);
    busmodel::SetDevices({device});
    open();
    convertAll(0);
    EXPECT_EQ(onewire::readSlot(true, true, true), 0);  // still converting
    busmodel::AdvanceClockMs(700);
    EXPECT_EQ(readPad(device.rom)[0], 0x50);  // not done: still the old value
    busmodel::AdvanceClockMs(60);
    EXPECT_EQ(readPad(device.rom)[0], 0x23);
}

TEST_F(SimDeviceTest, StartConversionWaitsForEchoesOnly) {
    const Device device = thermometer(FamilyDs18b20, 1, 0x0123);
    busmodel::SetDevices({device});
    open();
    convertAll(0);
    ASSERT_TRUE(busmodel::SetTemperature(device.rom, 0x0200));
    busmodel::AdvanceClockMs(750);
    // The value at the end of the conversion counts.
    EXPECT_EQ(readPad(device.rom)[1], 0x02);
}

TEST_F(SimDeviceTest, WriteCopyAndRecallTheAlarmBytesAndResolution) {
    const Device device = thermometer(FamilyDs18b20, 1, 0x0127);  // 18.4375
    busmodel::SetDevices({device});
    open();
    command(device.rom, 0x4E);
    const std::uint8_t data[3] = {0x19, 0xF6, 0x1F};  // TH 25, TL -10, 9 bits
    ASSERT_TRUE(onewire::writeBytes(data, 3));
    Pad pad = readPad(device.rom);
    EXPECT_EQ(pad[2], 0x19);
    EXPECT_EQ(pad[3], 0xF6);
    EXPECT_EQ(pad[4], 0x1F);
    EXPECT_EQ(onewire::crc8(pad.data(), 8), pad[8]);

    convertAll(94);  // 9 bits need 93.75 ms
    pad = readPad(device.rom);
    EXPECT_EQ(pad[0], 0x20);  // the three undefined low bits read 0
    EXPECT_EQ(pad[1], 0x01);

    command(device.rom, 0x48);
    command(device.rom, 0x4E);
    const std::uint8_t other[3] = {0x50, 0x00, 0x7F};
    ASSERT_TRUE(onewire::writeBytes(other, 3));
    command(device.rom, 0xB8);
    pad = readPad(device.rom);
    EXPECT_EQ(pad[2], 0x19);
    EXPECT_EQ(pad[3], 0xF6);
    EXPECT_EQ(pad[4], 0x1F);
}

TEST_F(SimDeviceTest, AlarmSearchFindsOnlyDevicesBeyondTheirLimits) {
    const Device warm = thermometer(FamilyDs18b20, 1, 80 * 16);  // above TH 75
    const Device mild = thermometer(FamilyDs18b20, 2, 72 * 16);  // between 70 and 75
    busmodel::SetDevices({warm, mild});
    open();
    convertAll(800);
    ASSERT_TRUE(onewire::busReset());
    ASSERT_TRUE(onewire::writeByte(0xEC));
    RomCode found{};
    for (int bit = 0; bit < 64; ++bit) {
        const int id = onewire::readSlot(true, true, true);
        const int cmp = onewire::readSlot(true, true, true);
        ASSERT_NE(id + cmp, 2) << "nobody answered at bit " << bit;
        ASSERT_NE(id + cmp, 0) << "second device answered at bit " << bit;
        found[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(id << (bit % 8));
        onewire::writeSlot(id, true, true);
    }
    EXPECT_EQ(found, warm.rom);
}

TEST_F(SimDeviceTest, ReadRomAnswersWithTheOnlyDevicesCode) {
    const Device device = thermometer(FamilyDs18s20, 0x123456);
    busmodel::SetDevices({device});
    open();
    ASSERT_TRUE(onewire::busReset());
    ASSERT_TRUE(onewire::writeByte(0x33));
    RomCode rom{};
    ASSERT_TRUE(onewire::readBytes(rom.data(), 8));
    EXPECT_EQ(rom, device.rom);
}

TEST_F(SimDeviceTest, UnknownFamiliesIgnoreFunctionCommands) {
    const Device other = thermometer(0x01, 5);
    busmodel::SetDevices({other});
    open();
    EXPECT_EQ(readPad(other.rom), Pad(9, 0xFF));
}

// The noise a test relies on to see that no reading the device did not
// send gets through: every read new, and the same run after run.
TEST_F(SimDeviceTest, NoisyScratchpadsAreRandomAndRepeatable) {
    Device sealed = thermometer(FamilyDs18b20, 1, 0x0150);
    sealed.noise = busmodel::Noise::ValidCrc;
    sealed.noiseSeed = 42;
    Device raw = thermometer(FamilyDs18b20, 2, 0x0150);
    raw.noise = busmodel::Noise::AnyBits;
    busmodel::SetDevices({sealed, raw});
    open();
    std::vector<Pad> first;
    int rawCrcMatches = 0;
    for (int i = 0; i < 20; ++i) {
        const Pad pad = readPad(sealed.rom);
        EXPECT_EQ(onewire::crc8(pad.data(), 8), pad[8]);
        for (const Pad& earlier : first) EXPECT_NE(pad, earlier);
        first.push_back(pad);
        const Pad other = readPad(raw.rom);
        rawCrcMatches += onewire::crc8(other.data(), 8) == other[8] ? 1 : 0;
    }
    EXPECT_LT(rawCrcMatches, 3);

    busmodel::SetDevices({sealed});  // power-on: the generator starts again
    for (const Pad& pad : first) EXPECT_EQ(readPad(sealed.rom), pad);
}

// A glitch hits the Search ROM pass it is timed for, from its bit on, and
// is over once its time has passed.
TEST_F(SimDeviceTest, SearchGlitchesHitTheirPassFromTheirBit) {
    const Device a = thermometer(FamilyDs18b20, 0x12);
    const Device b = thermometer(FamilyDs18b20, 0x21);
    busmodel::SetDevices({a, b});
    open();
    busmodel::Faults faults;
    faults.searchGlitch = {busmodel::Glitch::Short, 1, 8, 30, 0, 0};
    busmodel::SetFaults(faults);
    // Shorted from bit 8 on, every later bit reads as a discrepancy and the
    // pass takes 0 all the way: a code that no device has, family byte intact.
    onewire::searchReset();
    RomCode rom{};
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, (RomCode{0x28, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(busmodel::SearchCommandsSeen(), 1);
    busmodel::AdvanceClockMs(30);
    EXPECT_EQ(enumerate(), (std::vector<RomCode>{a.rom, b.rom}));

    // Silent from bit 40 of the second pass, of every second search after it.
    faults.searchGlitch = {busmodel::Glitch::NoEcho, 2, 40, 30, 0, 2};
    busmodel::SetFaults(faults);
    EXPECT_EQ(busmodel::SearchCommandsSeen(), 0);
    onewire::searchReset();
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, a.rom);
    EXPECT_FALSE(onewire::searchNext(&rom));
    EXPECT_NE(onewire::lastStatus(), onewire::NoData);
    busmodel::AdvanceClockMs(30);
    EXPECT_EQ(enumerate().size(), 1u);  // third pass clean, fourth cut short
    busmodel::AdvanceClockMs(30);
    EXPECT_EQ(enumerate().size(), 1u);  // the sixth
    busmodel::SetFaults({});
    EXPECT_EQ(enumerate(), (std::vector<RomCode>{a.rom, b.rom}));

    // Shorted for the last eight bits of the first pass only: its code ends
    // in a CRC byte of 0x00, and the passes after it see the devices again.
    faults.searchGlitch = {busmodel::Glitch::Short, 1, 56, 30, 8, 0};
    busmodel::SetFaults(faults);
    const std::vector<RomCode> found = enumerate();
    ASSERT_FALSE(found.empty());
    RomCode phantom = a.rom;
    phantom[7] = 0;
    EXPECT_EQ(found[0], phantom);
    EXPECT_EQ(onewire::lastStatus(), onewire::NoData);  // the enumeration ended normally
}

TEST_F(SimDeviceTest, RomTextRoundTrips) {
    const RomCode rom = busmodel::MakeRomCode(FamilyDs18b20, 0x00000B013C5A);
    EXPECT_EQ(busmodel::FormatRom(rom).substr(0, 15), "28-00000B013C5A");
    EXPECT_EQ(busmodel::ParseRom(busmodel::FormatRom(rom)), rom);
    EXPECT_EQ(busmodel::ParseRom("28-00000B013C5A"), rom);
    RomCode wrong = rom;
    wrong[7] ^= 0xFF;
    EXPECT_EQ(busmodel::ParseRom(busmodel::FormatRom(wrong)), wrong);
    EXPECT_FALSE(busmodel::ParseRom("28-00000B013C5").has_value());
    EXPECT_FALSE(busmodel::ParseRom("28-00000B013C5G-14").has_value());
}

}  // namespace
}  // namespace onewire_test
