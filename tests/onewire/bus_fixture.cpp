#include "bus_fixture.h"

namespace onewire_test {

void BusTest::SetUp() {
    busmodel::UseVirtualClock();
    busmodel::ResetBus();
    busmodel::Install();
    onewire::setLinkOptions(0);
}

void BusTest::TearDown() {
    onewire::releasePortAtExit();
    busmodel::Uninstall();
    busmodel::UseSystemClock();
}

void BusTest::open() {
    ASSERT_TRUE(onewire::openPort("COM1"));
}

Device BusTest::thermometer(std::uint8_t family, std::uint64_t serial, std::int16_t raw) {
    Device device;
    device.rom = busmodel::MakeRomCode(family, serial);
    device.temperatureRaw = raw;
    return device;
}

std::vector<RomCode> BusTest::enumerate() {
    std::vector<RomCode> found;
    onewire::searchReset();
    RomCode rom{};
    while (onewire::searchNext(&rom)) {
        found.push_back(rom);
        if (found.size() > 200) break;  // a search that never ends is a failure too
    }
    return found;
}

}  // namespace onewire_test
