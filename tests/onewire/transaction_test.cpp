#include "bus_fixture.h"

namespace onewire_test {
namespace {

using busmodel::FamilyDs18b20;
using busmodel::FamilyDs18s20;

class TransactionTest : public BusTest {};

TEST_F(TransactionTest, ConvertedTemperaturesReachTheScratchpads) {
    const Device b20 = thermometer(FamilyDs18b20, 0x0B013C5A, 0x0191);  // 25.0625
    const Device s20 = thermometer(FamilyDs18s20, 0x77, -3);           // -1.5
    busmodel::SetDevices({b20, s20});
    open();
    ASSERT_TRUE(onewire::resetAndSkipRom());
    ASSERT_TRUE(onewire::startConversion(800));
    for (const Device& device : {b20, s20}) {
        ASSERT_TRUE(onewire::matchRom(&device.rom));
        std::uint8_t pad[9]{};
        ASSERT_TRUE(onewire::readScratchpad(pad));
        const auto expected = busmodel::MakeScratchpad(device.rom[0], device.temperatureRaw);
        EXPECT_EQ(std::vector<std::uint8_t>(pad, pad + 9),
                  std::vector<std::uint8_t>(expected.begin(), expected.end()));
        EXPECT_EQ(onewire::crc8(pad, 8), pad[8]);
    }
}

}  // namespace
}  // namespace onewire_test
