// What kelvarian-sim takes from its flags and config file.
#include <gtest/gtest.h>

#include "busmodel/rom_tools.h"
#include "sim/sim_config.h"

namespace onewire_test {
namespace {

TEST(SimConfig, DeviceSpecsCarryCodeTemperatureAndFaults) {
    busmodel::Device device;
    std::string error;
    ASSERT_TRUE(sim::ParseDevice("28-00000B013C5A,temp=21.5,power=parasite", device, error));
    EXPECT_EQ(device.rom, busmodel::MakeRomCode(0x28, 0x0B013C5A));
    EXPECT_EQ(device.temperatureRaw, 21 * 16 + 8);
    EXPECT_EQ(device.power, busmodel::Power::Parasite);

    ASSERT_TRUE(sim::ParseDevice("10:77 temp=-10.5 corrupt-scratchpad leave-after=30 absent",
                                 device, error));
    EXPECT_EQ(device.rom, busmodel::MakeRomCode(0x10, 0x77));
    EXPECT_EQ(device.temperatureRaw, -21);
    EXPECT_TRUE(device.corruptScratchpad);
    EXPECT_EQ(device.leaveAfterSearchSlots, 30);
    EXPECT_FALSE(device.present);

    ASSERT_TRUE(sim::ParseDevice("28-00000B013C5A-00,raw=-1", device, error));
    EXPECT_EQ(device.rom[7], 0x00);  // a wrong CRC byte is served as given
    EXPECT_EQ(device.temperatureRaw, -1);

    ASSERT_TRUE(sim::ParseDevice("28:1", device, error));
    EXPECT_EQ(device.temperatureRaw, 20 * 16);
}

TEST(SimConfig, BadSpecsAreRefusedWithAReason) {
    const char* bad[] = {"",
                         "28",
                         "28-XYZ",
                         "28:1,temp=abc",
                         "28:1,raw=99999",
                         "28:1,power=solar",
                         "28:1,bogus",
                         "1FF:1",
                         "28:1234567890ABC",
                         "28:1,temp=500"};
    for (const char* item : bad) {
        busmodel::Device device;
        std::string error;
        EXPECT_FALSE(sim::ParseDevice(item, device, error)) << item;
        EXPECT_FALSE(error.empty()) << item;
    }
}

TEST(SimConfig, ConfigTextAddsDevicesFaultsAndLink) {
    sim::SimConfig config;
    std::string error;
    ASSERT_TRUE(
        sim::ParseConfigText("# bench bus\n"
                             "device 28-00000B013C5A temp=21.5   # kitchen\n"
                             "\n"
                             "device 10:77 power=parasite\r\n"
                             "fault double-echo\n"
                             "fault unplug-after=100\n"
                             "link /tmp/bus/COM3\n"
                             "latency-ms 2\n"
                             "wire-timing\n",
                             config, error))
        << error;
    ASSERT_EQ(config.devices.size(), 2u);
    EXPECT_EQ(config.devices[1].power, busmodel::Power::Parasite);
    EXPECT_TRUE(config.faults.doubleEcho);
    EXPECT_EQ(config.faults.echoesBeforeUnplug, 100);
    EXPECT_EQ(config.linkPath, "/tmp/bus/COM3");
    EXPECT_EQ(config.latencyMs, 2u);
    EXPECT_TRUE(config.wireTiming);

    sim::SimConfig other;
    EXPECT_FALSE(sim::ParseConfigText("device 28:1\nfault melted\n", other, error));
    EXPECT_NE(error.find("melted"), std::string::npos);
}

TEST(SimConfig, FlagsAreReadInOrder) {
    const char* argv[] = {"kelvarian-sim", "--link",        "/tmp/x/COM1",  "--device", "28:1",
                          "--device",      "10:2",          "--fault",      "shorted",  "--fault",
                          "no-echo",       "--wire-timing", "--latency-ms", "4"};
    sim::SimConfig config;
    std::string error;
    ASSERT_TRUE(sim::ParseArgs(14, argv, config, error)) << error;
    EXPECT_EQ(config.linkPath, "/tmp/x/COM1");
    EXPECT_EQ(config.devices.size(), 2u);
    EXPECT_TRUE(config.faults.shorted);
    EXPECT_TRUE(config.faults.noEcho);
    EXPECT_TRUE(config.wireTiming);  // a switch: takes no value
    EXPECT_EQ(config.latencyMs, 4u);

    const char* dangling[] = {"kelvarian-sim", "--device"};
    EXPECT_FALSE(sim::ParseArgs(2, dangling, config, error));
    const char* unknown[] = {"kelvarian-sim", "--colour", "red"};
    EXPECT_FALSE(sim::ParseArgs(3, unknown, config, error));
}

TEST(SimConfig, AdapterIsPassiveUnlessADs2480bIsAskedFor) {
    sim::SimConfig config;
    std::string error;
    EXPECT_EQ(config.adapter, busmodel::Adapter::Passive);
    ASSERT_TRUE(sim::ParseConfigText("adapter ds2480b\n", config, error)) << error;
    EXPECT_EQ(config.adapter, busmodel::Adapter::Ds2480b);
    const char* argv[] = {"kelvarian-sim", "--adapter", "passive"};
    ASSERT_TRUE(sim::ParseArgs(3, argv, config, error)) << error;
    EXPECT_EQ(config.adapter, busmodel::Adapter::Passive);
    const char* bad[] = {"kelvarian-sim", "--adapter", "ds9490"};
    EXPECT_FALSE(sim::ParseArgs(3, bad, config, error));
    EXPECT_NE(error.find("ds9490"), std::string::npos);
}

}  // namespace
}  // namespace onewire_test
