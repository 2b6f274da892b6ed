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
