// kelvarian-scan's work in process, against the simulated bus: the cases a
// pseudo-terminal cannot stage.
#include "busmodel/ds2480_engine.h"
#include "cycle_fixture.h"
#include "scan.h"

using monitor_test::PollCycleTest;
using monitor_test::Thermometer;

namespace {

using ScanBusTest = PollCycleTest;
constexpr std::uint8_t B20 = busmodel::FamilyDs18b20;

TEST_F(ScanBusTest, ReadFailureShowsTheBusMessage) {
    busmodel::SetDevices({Thermometer(B20, 1, 0x0191)});
    clock.atStep(1, [] {  // the conversion wait
        busmodel::Faults unplugged;
        unplugged.noEcho = true;
        busmodel::SetFaults(unplugged);
    });
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(scan::ScanBus("COM1", lines, error));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], monitor::FormatRomCode(busmodel::MakeRomCode(B20, 1)) +
                            "\tDS18B20\t3 вывода\tОшибка обмена данными");
}

TEST_F(ScanBusTest, DevicesFoundBeforeASearchErrorAreListed) {
    busmodel::Device leaving = Thermometer(B20, 3, 0x0100);
    // Drops out of the first pass at bit 10 (30 slots); leaves in the second.
    leaving.leaveAfterSearchSlots = 60;
    busmodel::SetDevices({Thermometer(B20, 1, 0x0191), leaving});
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(scan::ScanBus("COM1", lines, error));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(lines[0].rfind('\t') + 1), "25.1 °C");
}

TEST_F(ScanBusTest, LineDriverIsNamedAndReadsAsThePassiveAdapterDoes) {
    busmodel::Device parasite = Thermometer(B20, 2, -0x0100);
    parasite.power = busmodel::Power::Parasite;
    busmodel::SetDevices({Thermometer(B20, 1, 0x0191), parasite});
    busmodel::SetAdapter(busmodel::Adapter::Ds2480b);
    std::vector<std::string> lines;
    std::string error;
    std::string adapter;
    ASSERT_TRUE(scan::ScanBus("COM1", lines, error, &adapter)) << error;
    EXPECT_EQ(adapter, "DS2480B");
    ASSERT_EQ(lines.size(), 2u);  // in bus order: serial 2 sends its 0 first
    EXPECT_EQ(lines[1], monitor::FormatRomCode(busmodel::MakeRomCode(B20, 1)) +
                            "\tDS18B20\t3 вывода\t25.1 °C");
    EXPECT_EQ(lines[0].substr(lines[0].rfind('\t') + 1), "-16.0 °C");
    EXPECT_NE(lines[0].find("2 вывода"), std::string::npos);
}

TEST_F(ScanBusTest, PortThatCannotOpenIsReported) {
    std::vector<std::string> lines;
    std::string error;
    EXPECT_FALSE(scan::ScanBus("COM2", lines, error));
    EXPECT_EQ(error, "Нет открытого COM порта");
    EXPECT_TRUE(lines.empty());
}

}  // namespace
