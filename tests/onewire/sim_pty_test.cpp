// The library against kelvarian-sim over a real pseudo-terminal, through the
// operating system's serial port. Echo waits here run on the real clock, and a
// simulator descheduled for longer than an echo's limit (a loaded machine, a
// sanitizer build) makes an exchange fail, as a real adapter's would: each
// bus operation gets many attempts before it counts as failed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "busmodel/rom_tools.h"
#include "onewire/link.h"
#include "onewire/primitives.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "platform/serial_port.h"
#include "pty_support.h"

namespace onewire_test {
namespace {

using onewire::RomCode;

bool retried(const std::function<bool()>& step) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (step()) return true;
    }
    return false;
}

std::vector<RomCode> enumerate() {
    std::vector<RomCode> found;
    const bool complete = retried([&] {
        found.clear();
        onewire::searchReset();
        RomCode rom{};
        while (onewire::searchNext(&rom)) found.push_back(rom);
        return onewire::lastStatus() == onewire::NoData;
    });
    EXPECT_TRUE(complete) << onewire::statusMessage(onewire::lastStatus());
    return found;
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

class SimPtyTest : public ::testing::Test {
  protected:
    void TearDown() override { (void)onewire::closePort(); }
};

TEST_F(SimPtyTest, ReadsTemperaturesFromTheSimulator) {
    ScratchDir dir;
    const std::string link = dir.path() + "/COM5";
    SimProcess sim({"--link", link, "--device", "28-00000B013C5A,temp=21.5", "--device",
                    "10:77,temp=-10.5,power=parasite", "--device", "28:1234,raw=-200"});
    ASSERT_TRUE(sim.started());
    {
        WorkingDirectory cwd(dir.path());
        ASSERT_TRUE(onewire::openPort("COM5")) << onewire::statusMessage(onewire::lastStatus());
    }
    const RomCode b20 = *busmodel::ParseRom("28-00000B013C5A");
    const RomCode s20 = busmodel::MakeRomCode(0x10, 0x77);
    const RomCode cold = busmodel::MakeRomCode(0x28, 0x1234);
    std::vector<RomCode> found = enumerate();
    std::vector<RomCode> expected{b20, s20, cold};
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);

    ASSERT_TRUE(
        retried([] { return onewire::resetAndSkipRom() && onewire::startConversion(800); }));
    const std::pair<RomCode, std::int16_t> readings[] = {
        {b20, 21 * 16 + 8}, {s20, -21}, {cold, -200}};
    for (const auto& [rom, raw] : readings) {
        std::uint8_t pad[9]{};
        ASSERT_TRUE(
            retried([&] { return onewire::matchRom(&rom) && onewire::readScratchpad(pad); }));
        const auto expectedPad = busmodel::MakeScratchpad(rom[0], raw);
        EXPECT_TRUE(std::equal(expectedPad.begin(), expectedPad.end(), pad));
    }
    int power = -1;
    ASSERT_TRUE(retried([&] {
        if (!onewire::matchRom(&s20)) return false;
        power = onewire::readPowerSupply();
        return onewire::lastStatus() == onewire::Ok;
    }));
    EXPECT_EQ(power, 0);

    EXPECT_TRUE(onewire::closePort());
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(exists(link));
}

TEST_F(SimPtyTest, ASecondOpenerIsKeptOutAndTheBusFaultsArrive) {
    ScratchDir dir;
    const std::string link = dir.path() + "/COM6";
    SimProcess sim({"--link", link, "--fault", "double-echo", "--device", "28:1"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(onewire::openPort(link));
    EXPECT_EQ(platform::SystemSerialPort().open(link), nullptr);
    EXPECT_FALSE(onewire::busReset());
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    EXPECT_TRUE(onewire::closePort());
    // Closed, it can be opened again.
    EXPECT_TRUE(onewire::openPort(link));
}

// Lower bounds only: a slow machine may take longer, never shorter.
TEST_F(SimPtyTest, WithWireTimingEchoesWaitForTheWireAndTheLatency) {
    ScratchDir dir;
    const std::string link = dir.path() + "/COM7";
    SimProcess sim({"--link", link, "--wire-timing", "--latency-ms", "3", "--device", "28:1",
                    "--device", "28:2", "--device", "10:3"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(onewire::openPort(link));
    EXPECT_EQ(enumerate().size(), 3u);

    const RomCode rom = busmodel::MakeRomCode(0x28, 2);
    std::uint8_t pad[9]{};
    ASSERT_TRUE(retried([&] { return onewire::matchRom(&rom); }));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(onewire::readScratchpad(pad));
    const auto spent = std::chrono::steady_clock::now() - start;
    // One write of 80 slots: the latency once, then 80 frames of 86.8 us.
    EXPECT_GE(spent, std::chrono::microseconds(3000 + 80 * 86));
    EXPECT_EQ(onewire::crc8(pad, 8), pad[8]);
}

TEST_F(SimPtyTest, WithoutEchoTheResetGivesUp) {
    ScratchDir dir;
    SimProcess sim({"--link", dir.path() + "/COM2", "--fault", "no-echo"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(onewire::openPort(dir.path() + "/COM2"));
    EXPECT_FALSE(onewire::busReset());
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
}

}  // namespace
}  // namespace onewire_test
