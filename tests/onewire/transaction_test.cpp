// Addressing devices and the thermometer transactions on the simulated bus.
#include "bus_fixture.h"

namespace onewire_test {
namespace {

using busmodel::FamilyDs18b20;
using busmodel::FamilyDs18s20;
using Pad = std::vector<std::uint8_t>;

class TransactionTest : public BusTest {
  protected:
    static Pad readPad(const RomCode& rom) {
        std::uint8_t pad[9]{};
        EXPECT_TRUE(onewire::matchRom(&rom));
        EXPECT_TRUE(onewire::readScratchpad(pad));
        return Pad(pad, pad + 9);
    }
    static Pad expectedPad(const Device& device) {
        const auto pad = busmodel::MakeScratchpad(device.rom[0], device.temperatureRaw);
        return Pad(pad.begin(), pad.end());
    }
};

TEST_F(TransactionTest, EachAddressedDeviceAnswersWithItsOwnReading) {
    const Device devices[] = {
        thermometer(FamilyDs18b20, 0x0B013C5A, 0x0191),   // +25.0625
        thermometer(FamilyDs18b20, 0x0B013C5B, -0x01B8),  // -27.5
        thermometer(FamilyDs18s20, 0x77, -3),             // -1.5
        thermometer(FamilyDs18s20, 0x78, 0x32),           // +25.0
    };
    busmodel::SetDevices({devices[0], devices[1], devices[2], devices[3]});
    open();
    ASSERT_TRUE(onewire::resetAndSkipRom());
    ASSERT_TRUE(onewire::startConversion(800));
    for (const Device& device : devices) {
        const Pad pad = readPad(device.rom);
        EXPECT_EQ(pad, expectedPad(device));
        EXPECT_EQ(onewire::crc8(pad.data(), 8), pad[8]);
    }
}

TEST_F(TransactionTest, ConversionSleepsOnlyWhenAsked) {
    busmodel::SetDevices({thermometer(FamilyDs18b20, 1)});
    open();
    ASSERT_TRUE(onewire::resetAndSkipRom());
    std::uint64_t start = busmodel::VirtualNowMs();
    ASSERT_TRUE(onewire::startConversion(0));
    EXPECT_EQ(busmodel::VirtualNowMs(), start);
    ASSERT_TRUE(onewire::resetAndSkipRom());
    start = busmodel::VirtualNowMs();
    ASSERT_TRUE(onewire::startConversion(750));
    EXPECT_EQ(busmodel::VirtualNowMs() - start, 750u);
}

TEST_F(TransactionTest, CorruptedScratchpadFailsItsCrc) {
    Device device = thermometer(FamilyDs18b20, 5, 0x0150);
    device.corruptScratchpad = true;
    busmodel::SetDevices({device});
    open();
    ASSERT_TRUE(onewire::resetAndSkipRom());
    ASSERT_TRUE(onewire::startConversion(800));
    const Pad pad = readPad(device.rom);
    EXPECT_NE(onewire::crc8(pad.data(), 8), pad[8]);
}

TEST_F(TransactionTest, PowerSupplyTellsParasiteFromExternal) {
    Device parasite = thermometer(FamilyDs18s20, 1);
    parasite.power = busmodel::Power::Parasite;
    const Device external = thermometer(FamilyDs18b20, 2);
    busmodel::SetDevices({parasite, external});
    open();
    ASSERT_TRUE(onewire::matchRom(&parasite.rom));
    EXPECT_EQ(onewire::readPowerSupply(), 0);
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
    ASSERT_TRUE(onewire::matchRom(&external.rom));
    EXPECT_EQ(onewire::readPowerSupply(), 1);
}

TEST_F(TransactionTest, PowerSupplyWithoutEchoReadsOneWithExchangeError) {
    Device parasite = thermometer(FamilyDs18b20, 1);
    parasite.power = busmodel::Power::Parasite;
    busmodel::SetDevices({parasite});
    open();
    ASSERT_TRUE(onewire::matchRom(&parasite.rom));
    // The command byte's eight echoes come back, the read slot's does not.
    busmodel::SetFaults([] {
        busmodel::Faults f;
        f.echoesBeforeUnplug = 8;
        return f;
    }());
    EXPECT_EQ(onewire::readPowerSupply(), 1);
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
}

TEST_F(TransactionTest, MissingPlacesAreJudgedAfterThePort) {
    open();
    EXPECT_FALSE(onewire::matchRom(nullptr));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
    EXPECT_FALSE(onewire::readScratchpad(nullptr));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
}

TEST_F(TransactionTest, AddressingAnEmptyBusGivesNoResponse) {
    open();
    const RomCode rom = busmodel::MakeRomCode(FamilyDs18b20, 1);
    EXPECT_FALSE(onewire::matchRom(&rom));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);
    EXPECT_FALSE(onewire::resetAndSkipRom());
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);
}

TEST_F(TransactionTest, AnAbsentCodeLeavesTheBusSilent) {
    busmodel::SetDevices({thermometer(FamilyDs18b20, 1, 0x0100)});
    open();
    const RomCode other = busmodel::MakeRomCode(FamilyDs18b20, 2);
    EXPECT_EQ(readPad(other), Pad(9, 0xFF));
}

}  // namespace
}  // namespace onewire_test
