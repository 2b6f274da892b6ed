// Enumerating the simulated bus with the ROM search.
#include <algorithm>
#include <random>

#include "bus_fixture.h"

namespace onewire_test {
namespace {

// The order of the search: codes read as 64-bit strings in transmission
// order, bit 1 (the least significant bit of byte 0) first, 0 before 1.
bool searchOrderLess(const RomCode& a, const RomCode& b) {
    for (int bit = 0; bit < 64; ++bit) {
        const int x = (a[bit / 8] >> (bit % 8)) & 1;
        const int y = (b[bit / 8] >> (bit % 8)) & 1;
        if (x != y) return x < y;
    }
    return false;
}

class SearchTest : public BusTest {};

TEST_F(SearchTest, FindsRandomDeviceSetsInAscendingBusOrder) {
    std::mt19937_64 random(20240601);
    open();
    for (int round = 0; round < 40; ++round) {
        const std::size_t count = 1 + static_cast<std::size_t>(random() % 12);
        std::vector<Device> devices;
        std::vector<RomCode> expected;
        while (devices.size() < count) {
            // Serial numbers from a narrow range share long prefixes, which
            // puts discrepancies deep into the code.
            const std::uint8_t family =
                random() % 3 == 0 ? busmodel::FamilyDs18s20 : busmodel::FamilyDs18b20;
            const std::uint64_t serial = round % 2 == 0 ? random() % 16 : random();
            Device device = thermometer(family, serial);
            if (std::find(expected.begin(), expected.end(), device.rom) != expected.end()) continue;
            devices.push_back(device);
            expected.push_back(device.rom);
        }
        busmodel::SetDevices(devices);
        std::sort(expected.begin(), expected.end(), searchOrderLess);
        EXPECT_EQ(enumerate(), expected) << "round " << round;
        EXPECT_EQ(onewire::lastStatus(), onewire::NoData);
    }
}

TEST_F(SearchTest, OneDeviceThenNoDataUntilARestart) {
    const Device device = thermometer(busmodel::FamilyDs18b20, 0xABCDEF);
    busmodel::SetDevices({device});
    open();
    onewire::searchReset();
    RomCode rom{};
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, device.rom);
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
    EXPECT_EQ(onewire::searchState().lastDeviceFound, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(onewire::searchNext(&rom));
        EXPECT_EQ(onewire::lastStatus(), onewire::NoData);
    }
    onewire::searchReset();
    EXPECT_TRUE(onewire::searchNext(&rom));
}

TEST_F(SearchTest, EmptyBusGivesNoResponse) {
    open();
    onewire::searchReset();
    RomCode rom{};
    EXPECT_FALSE(onewire::searchNext(&rom));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);
}

TEST_F(SearchTest, MissingPlaceIsJudgedBeforeThePort) {
    EXPECT_FALSE(onewire::searchNext(nullptr));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
}

TEST_F(SearchTest, TwoDevicesSplitAtTheirFirstDifferentBit) {
    // Serial numbers 0x04 and 0x0C first differ in bit 3 of byte 1: bit 12.
    const Device low = thermometer(busmodel::FamilyDs18b20, 0x04);
    const Device high = thermometer(busmodel::FamilyDs18b20, 0x0C);
    busmodel::SetDevices({high, low});
    open();
    onewire::searchReset();
    RomCode rom{};
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, low.rom);
    EXPECT_EQ(onewire::searchState().lastDiscrepancy, 12);
    EXPECT_EQ(onewire::searchState().lastDeviceFound, 0);
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, high.rom);
    EXPECT_EQ(onewire::searchState().lastDeviceFound, 1);
    EXPECT_FALSE(onewire::searchNext(&rom));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoData);
}

TEST_F(SearchTest, ADeviceLeavingMidSearchFailsThePassAndKeepsTheState) {
    const Device first = thermometer(busmodel::FamilyDs18b20, 0x10);
    Device second = thermometer(busmodel::FamilyDs18b20, 0x30);
    busmodel::SetDevices({first, second});
    open();
    onewire::searchReset();
    RomCode rom{};
    ASSERT_TRUE(onewire::searchNext(&rom));
    const onewire::SearchState before = onewire::searchState();

    ASSERT_TRUE(
        busmodel::ChangeDevice(second.rom, [](Device& d) { d.leaveAfterSearchSlots = 60; }));
    EXPECT_FALSE(onewire::searchNext(&rom));
    EXPECT_EQ(onewire::lastStatus(), onewire::SearchError);
    EXPECT_EQ(onewire::searchState().lastDiscrepancy, before.lastDiscrepancy);
    EXPECT_EQ(onewire::searchState().lastDeviceFound, 0);

    // Back on the bus, the same pass is simply repeated.
    ASSERT_TRUE(busmodel::ChangeDevice(second.rom, [](Device& d) { d.present = true; }));
    ASSERT_TRUE(onewire::searchNext(&rom));
    EXPECT_EQ(rom, second.rom);
}

TEST_F(SearchTest, ACodeWithAWrongCrcIsStillDelivered) {
    Device device = thermometer(busmodel::FamilyDs18b20, 0x55AA);
    device.rom[7] ^= 0x01;
    busmodel::SetDevices({device});
    open();
    ASSERT_EQ(enumerate(), std::vector<RomCode>{device.rom});
    EXPECT_NE(onewire::crc8(device.rom.data(), 7), device.rom[7]);
}

TEST_F(SearchTest, DevicesOfUnknownFamiliesTakePart) {
    const Device other = thermometer(0x01, 0x99);
    const Device b20 = thermometer(busmodel::FamilyDs18b20, 0x99);
    busmodel::SetDevices({other, b20});
    open();
    // 0x28 sends 0 first, 0x01 sends 1 first.
    EXPECT_EQ(enumerate(), (std::vector<RomCode>{b20.rom, other.rom}));
}

TEST_F(SearchTest, LostEchoFailsThePassWithExchangeError) {
    busmodel::SetDevices({thermometer(busmodel::FamilyDs18b20, 1)});
    open();
    // Reset, Search ROM command and 20 slots, then the adapter is gone.
    busmodel::SetFaults([] {
        busmodel::Faults f;
        f.echoesBeforeUnplug = 1 + 8 + 20;
        return f;
    }());
    onewire::searchReset();
    RomCode rom{};
    EXPECT_FALSE(onewire::searchNext(&rom));
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    EXPECT_EQ(onewire::searchState().lastDeviceFound, 0);
}

}  // namespace
}  // namespace onewire_test
