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
    EXPECT_EQ(device.noise, busmodel::Noise::None);

    ASSERT_TRUE(sim::ParseDevice("28:1,noise,noise-seed=7", device, error));
    EXPECT_EQ(device.noise, busmodel::Noise::AnyBits);
    EXPECT_EQ(device.noiseSeed, 7u);
    ASSERT_TRUE(sim::ParseDevice("28:1 noise=valid-crc", device, error));
    EXPECT_EQ(device.noise, busmodel::Noise::ValidCrc);
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
                         "28:1,temp=500",
                         "28:1,noise=pink",
                         "28:1,noise-seed=-1"};
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
                             "fault no-echo-in-search=2 bit=40, ms=25\n"
                             "link /tmp/bus/COM3\n"
                             "latency-ms 2\n"
                             "wire-timing\n",
                             config, error))
        << error;
    ASSERT_EQ(config.devices.size(), 2u);
    EXPECT_EQ(config.devices[1].power, busmodel::Power::Parasite);
    EXPECT_TRUE(config.faults.doubleEcho);
    EXPECT_EQ(config.faults.echoesBeforeUnplug, 100);
    EXPECT_EQ(config.faults.searchGlitch.kind, busmodel::Glitch::NoEcho);
    EXPECT_EQ(config.faults.searchGlitch.afterBits, 40);
    EXPECT_EQ(config.linkPath, "/tmp/bus/COM3");
    EXPECT_EQ(config.latencyMs, 2u);
    EXPECT_TRUE(config.wireTiming);

    sim::SimConfig other;
    EXPECT_FALSE(sim::ParseConfigText("device 28:1\nfault melted\n", other, error));
    EXPECT_NE(error.find("melted"), std::string::npos);
}

TEST(SimConfig, SearchGlitchesTakeTheirMomentAndLength) {
    busmodel::Faults faults;
    std::string error;
    ASSERT_TRUE(sim::ParseFault("short-in-search=3,bit=12,ms=45,every=4", faults, error)) << error;
    const busmodel::SearchGlitch& glitch = faults.searchGlitch;
    EXPECT_EQ(glitch.kind, busmodel::Glitch::Short);
    EXPECT_EQ(glitch.atSearch, 3);
    EXPECT_EQ(glitch.afterBits, 12);
    EXPECT_EQ(glitch.lastingMs, 45u);
    EXPECT_EQ(glitch.every, 4);

    ASSERT_TRUE(sim::ParseFault("no-echo-in-search=1", faults, error));
    EXPECT_EQ(glitch.kind, busmodel::Glitch::NoEcho);
    EXPECT_EQ(glitch.afterBits, 0);  // right after the command
    EXPECT_EQ(glitch.lastingMs, 30u);
    EXPECT_EQ(glitch.every, 0);  // once
    ASSERT_TRUE(sim::ParseFault("short-in-search=1 bit=56 bits=8", faults, error));
    EXPECT_EQ(glitch.lastingBits, 8);

    const char* bad[] = {"short-in-search=0",      "short-in-search=1,bit=64",
                         "short-in-search=1,ms=0", "no-echo-in-search=1,colour=3",
                         "no-echo-in-search=x",    "shorted,bit=3",
                         "short-in-search=1,bit",  "short-in-search=1,bits=65"};
    for (const char* item : bad) {
        busmodel::Faults untouched;
        EXPECT_FALSE(sim::ParseFault(item, untouched, error)) << item;
        EXPECT_EQ(untouched.searchGlitch.kind, busmodel::Glitch::None) << item;
    }
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
