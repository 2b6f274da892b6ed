// The DS2480B master against the simulated line driver: detection, and the
// ROM layer's operations as the chip's byte streams.
#include "bus_fixture.h"
#include "busmodel/ds2480_engine.h"
#include "onewire/bus_master.h"

namespace onewire_test {
namespace {

class Ds2480MasterTest : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        busmodel::SetAdapter(busmodel::Adapter::Ds2480b);
    }
    static std::uint64_t writes() { return busmodel::CurrentPortState().writes; }
    static void setNoEcho(bool on) {
        busmodel::Faults f;
        f.noEcho = on;
        busmodel::SetFaults(f);
    }
};

TEST_F(Ds2480MasterTest, OpeningFindsTheChipAndAPassiveOrDeadPortStaysPassive) {
    open();
    EXPECT_EQ(onewire::adapterName(), "DS2480B");
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
    EXPECT_EQ(busmodel::CurrentPortState().baud, 9600u);

    busmodel::SetAdapter(busmodel::Adapter::Passive);
    open();
    EXPECT_EQ(onewire::adapterName(), "passive");
    EXPECT_EQ(busmodel::CurrentPortState().baud, 115200u);

    busmodel::SetAdapter(busmodel::Adapter::Ds2480b);
    setNoEcho(true);
    const std::uint64_t before = busmodel::VirtualNowMs();
    open();
    EXPECT_EQ(onewire::adapterName(), "passive");
    // On the virtual clock: a dead port's open as ever (the supply's settling,
    // one slot's echo limit) and at most 50 ms for the detection.
    EXPECT_LE(busmodel::VirtualNowMs() - before, 20u + 36u + 50u);
}

TEST_F(Ds2480MasterTest, ChipThatHangsAtStartIsFoundAfterAMasterReset) {
    busmodel::SetDevices({thermometer(busmodel::FamilyDs18b20, 5)});
    busmodel::HangAdapterAtNextPowerUp();
    open();
    EXPECT_EQ(onewire::adapterName(), "DS2480B");
    EXPECT_EQ(enumerate().size(), 1u);
}

TEST_F(Ds2480MasterTest, SearchIsOneRoundTripPerPassAndReadsGiveTheScratchpad) {
    const Device a = thermometer(busmodel::FamilyDs18b20, 0xE3E3E3, 0x0155);
    const Device b = thermometer(busmodel::FamilyDs18s20, 0x42, 0x0031);
    const Device c = thermometer(busmodel::FamilyDs18b20, 0x43, -0x0100);
    busmodel::SetDevices({a, b, c});
    open();
    ASSERT_EQ(onewire::adapterName(), "DS2480B");
    const std::uint64_t start = writes();
    const std::vector<RomCode> found = enumerate();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(writes() - start, 3u);  // the fourth call ends without the bus
    EXPECT_EQ(onewire::lastStatus(), onewire::NoData);
    EXPECT_EQ(found[0], b.rom);  // family 0x10 comes first in bus order

    ASSERT_TRUE(onewire::resetAndSkipRom());
    ASSERT_TRUE(onewire::startConversion(0));
    busmodel::AdvanceClockMs(800);
    for (const Device& device : {a, b, c}) {
        ASSERT_TRUE(onewire::matchRom(&device.rom));
        std::uint8_t pad[9]{};
        ASSERT_TRUE(onewire::readScratchpad(pad));
        EXPECT_EQ(onewire::crc8(pad, 9), 0);
        EXPECT_EQ(static_cast<std::int16_t>(pad[0] | pad[1] << 8), device.temperatureRaw);
    }
    EXPECT_EQ(busmodel::CurrentDs2480Counters().pullUps, 1u);
    EXPECT_EQ(busmodel::CurrentDs2480Counters().pullUpsEnded, 1u);

    // The ROM layer's whole read is one round trip here: reset, Match ROM,
    // code, 0xBE, nine bytes.
    std::uint8_t pad[9]{};
    const std::uint64_t before = writes();
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&a.rom, pad));
    EXPECT_EQ(writes() - before, 1u);
    EXPECT_EQ(onewire::crc8(pad, 9), 0);
    EXPECT_EQ(static_cast<std::int16_t>(pad[0] | pad[1] << 8), a.temperatureRaw);
    busmodel::SetDevices({});
    EXPECT_FALSE(onewire::matchRomAndReadScratchpad(&a.rom, pad));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);
}

TEST_F(Ds2480MasterTest, ShortIsNoResponseForASearchAndPowerSupplyIsRead) {
    Device parasite = thermometer(busmodel::FamilyDs18b20, 9);
    parasite.power = busmodel::Power::Parasite;
    busmodel::SetDevices({parasite});
    open();
    ASSERT_TRUE(onewire::matchRom(&parasite.rom));
    EXPECT_EQ(onewire::readPowerSupply(), 0);
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);

    busmodel::Faults f;
    f.shorted = true;
    busmodel::SetFaults(f);
    EXPECT_TRUE(enumerate().empty());
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);
    busmodel::SetDevices({});
    busmodel::SetFaults({});
    EXPECT_FALSE(onewire::resetAndSkipRom());
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);
}

TEST_F(Ds2480MasterTest, ChipThatStopsAnsweringIsCalibratedAgainAtTheNextOperation) {
    const Device a = thermometer(busmodel::FamilyDs18b20, 5);
    busmodel::SetDevices({a});
    open();
    const std::uint32_t resets = busmodel::CurrentDs2480Counters().masterResets;
    setNoEcho(true);
    EXPECT_FALSE(onewire::matchRom(&a.rom));
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    setNoEcho(false);
    busmodel::PowerUpAdapter();  // the chip restarted meanwhile
    ASSERT_TRUE(onewire::matchRom(&a.rom)) << onewire::lastStatus();
    std::uint8_t pad[9]{};
    ASSERT_TRUE(onewire::readScratchpad(pad));
    EXPECT_EQ(onewire::crc8(pad, 9), 0);
    EXPECT_GT(busmodel::CurrentDs2480Counters().masterResets, resets);
}

}  // namespace
}  // namespace onewire_test
