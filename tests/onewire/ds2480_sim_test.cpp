// The simulated DS2480B line driver, spoken to byte by byte through the
// in-process port as a host program would.
#include <vector>

#include "bus_fixture.h"
#include "busmodel/ds2480_engine.h"
#include "busmodel/rom_tools.h"
#include "platform/serial_port.h"

namespace onewire_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Ds2480SimTest : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        busmodel::SetAdapter(busmodel::Adapter::Ds2480b);
        port = ops().open("COM1");
        ASSERT_NE(port, nullptr);
        ASSERT_TRUE(ops().setSpeed(port, 9600));
    }
    void TearDown() override {
        if (port != nullptr) ops().close(port);
        BusTest::TearDown();
    }
    static const platform::SerialPortOps& ops() { return busmodel::SerialOps(); }

    Bytes send(const Bytes& bytes) {
        EXPECT_EQ(ops().write(port, bytes.data(), static_cast<std::int32_t>(bytes.size())),
                  static_cast<std::int32_t>(bytes.size()));
        Bytes answers(static_cast<std::size_t>(ops().inputWaiting(port)));
        if (!answers.empty()) {
            (void)ops().read(port, answers.data(), static_cast<std::int32_t>(answers.size()));
        }
        return answers;
    }
    // The timing byte and the peers' parameters, as every host starts.
    void calibrate() {
        EXPECT_TRUE(send({0xC1}).empty());
        EXPECT_EQ(send({0x17, 0x45, 0x5B, 0x0F, 0x91}), (Bytes{0x16, 0x44, 0x5A, 0x00, 0x93}));
    }

    platform::SerialPort* port = nullptr;
};

TEST_F(Ds2480SimTest, CalibrationAnswersWhatNoEchoCouldAndResetsTellPresenceNoneAndShort) {
    calibrate();
    EXPECT_EQ(send({0xC1}), (Bytes{0xCF}));  // nobody on the bus
    busmodel::SetDevices({thermometer(busmodel::FamilyDs18b20, 5)});
    EXPECT_EQ(send({0xC1}), (Bytes{0xCD}));
    busmodel::SetFaults([] {
        busmodel::Faults f;
        f.shorted = true;
        return f;
    }());
    EXPECT_EQ(send({0xC1}), (Bytes{0xCC}));
}

TEST_F(Ds2480SimTest, ChipThatLostItsPowerOrHostAtAnotherSpeedAnswersNothing) {
    calibrate();
    ASSERT_TRUE(ops().setSpeed(port, 115200));
    EXPECT_TRUE(send({0xC1}).empty());  // the chip still listens at 9600
    ASSERT_TRUE(ops().setSpeed(port, 9600));
    busmodel::SetFaults([] {
        busmodel::Faults f;
        f.noEcho = true;
        return f;
    }());
    EXPECT_TRUE(send({0xC1, 0x0F}).empty());
}

TEST_F(Ds2480SimTest, DataModeReadsTheScratchpadWithE3DoubledAndLeavesOnASingleE3) {
    // A serial whose code carries 0xE3 bytes, so the escape must be doubled.
    const Device device = thermometer(busmodel::FamilyDs18b20, 0xE3E3E3);
    busmodel::SetDevices({device});
    calibrate();
    Bytes data{0xC1, 0xE1, 0x55};
    for (std::uint8_t b : device.rom) {
        data.push_back(b);
        if (b == 0xE3) data.push_back(b);
    }
    data.push_back(0xBE);
    data.insert(data.end(), 9, 0xFF);
    data.push_back(0xE3);  // back to command mode
    data.push_back(0xC1);
    const Bytes answers = send(data);
    ASSERT_EQ(answers.size(), 1u + 1 + 8 + 1 + 9 + 1);
    EXPECT_EQ(answers[0], 0xCD);
    EXPECT_EQ(Bytes(answers.begin() + 2, answers.begin() + 10),
              Bytes(device.rom.begin(), device.rom.end()));
    const Bytes pad(answers.begin() + 11, answers.begin() + 20);
    EXPECT_EQ(busmodel::Crc8(pad), 0);
    EXPECT_EQ(pad[0], 0x50);  // the power-on 85 degC
    EXPECT_EQ(pad[1], 0x05);
    EXPECT_EQ(answers.back(), 0xCD);
}

TEST_F(Ds2480SimTest, SearchAcceleratorWalksTwoDevicesInOnePassEach) {
    const Device a = thermometer(busmodel::FamilyDs18b20, 0x01);
    const Device b = thermometer(busmodel::FamilyDs18b20, 0x03);  // first differs at bit 10
    busmodel::SetDevices({b, a});
    calibrate();
    auto pass = [&](const Bytes& directions) {
        Bytes data{0xC1, 0xE1, 0xF0, 0xE3, 0xB1, 0xE1};
        data.insert(data.end(), directions.begin(), directions.end());
        data.insert(data.end(), {0xE3, 0xA1});
        const Bytes answers = send(data);
        EXPECT_EQ(answers.size(), 1u + 1 + 16);
        return Bytes(answers.begin() + 2, answers.end());
    };
    auto romOf = [](const Bytes& answers) {
        RomCode rom{};
        for (int n = 0; n < 64; ++n) {
            const int bit = (answers[static_cast<std::size_t>(n / 4)] >> ((n % 4) * 2 + 1)) & 1;
            rom[static_cast<std::size_t>(n / 8)] |= static_cast<std::uint8_t>(bit << (n % 8));
        }
        return rom;
    };
    const Bytes first = pass(Bytes(16, 0x00));
    EXPECT_EQ(romOf(first), a.rom);
    // Bit 10 (index 9) was a discrepancy: flagged in its even bit.
    EXPECT_EQ((first[9 / 4] >> ((9 % 4) * 2)) & 1, 1);
    Bytes directions(16, 0x00);
    for (int n = 0; n < 9; ++n) {
        const int bit = (a.rom[static_cast<std::size_t>(n / 8)] >> (n % 8)) & 1;
        directions[static_cast<std::size_t>(n / 4)] |=
            static_cast<std::uint8_t>(bit << ((n % 4) * 2 + 1));
    }
    directions[9 / 4] |= static_cast<std::uint8_t>(1 << ((9 % 4) * 2 + 1));
    EXPECT_EQ(romOf(pass(directions)), b.rom);
    EXPECT_EQ(busmodel::CurrentDs2480Counters().searchPasses, 2u);
}

// What --wire-timing charges each byte: the chip's own 1-Wire time, at the
// speed of the last command; an accelerated search answers byte by byte.
TEST_F(Ds2480SimTest, EveryByteCostsTheChipsOneWireTimeAtItsSpeed) {
    busmodel::SetDevices({thermometer(busmodel::FamilyDs18b20, 0x01)});
    calibrate();  // write-1 low time 10 us, data sample offset 8 us
    constexpr std::int64_t Us = 1000;
    Bytes answers;
    auto cost = [&](std::uint8_t byte) {
        answers.clear();
        return busmodel::HostByte(byte, 9600, answers);
    };
    EXPECT_EQ(cost(0xC1), 1096 * Us);  // reset at standard speed
    EXPECT_EQ(cost(0xE1), 0);
    EXPECT_EQ(cost(0xCC), 8 * 60 * Us);
    EXPECT_EQ(cost(0xE3), 0);
    EXPECT_EQ(cost(0xB1), 0);  // accelerator on
    EXPECT_EQ(cost(0xE1), 0);
    EXPECT_EQ(cost(0x00), 12 * 60 * Us);
    EXPECT_EQ(answers.size(), 1u);
    EXPECT_EQ(cost(0xE3), 0);
    EXPECT_EQ(cost(0xA5), 0);  // accelerator off, flexible speed
    EXPECT_EQ(cost(0xE1), 0);
    // Write-1 slots stretch to 10 + 8 + 49 us, write-0 slots to 57 + 8 us.
    EXPECT_EQ(cost(0xF0), 4 * 67 * Us + 4 * 65 * Us);
}

TEST_F(Ds2480SimTest, StrongPullUpHoldsFromThePrimedLastBitUntilThePulseIsStopped) {
    busmodel::SetDevices({thermometer(busmodel::FamilyDs18b20, 5)});
    calibrate();
    Bytes data{0xC1, 0xE1, 0xCC, 0xE3, 0x3F};
    for (int bit = 0; bit < 8; ++bit) {
        const int value = (0x44 >> bit) & 1;
        data.push_back(static_cast<std::uint8_t>(0x81 | (value << 4) | (bit == 7 ? 0x02 : 0)));
    }
    const Bytes answers = send(data);
    ASSERT_EQ(answers.size(), 1u + 1 + 1 + 8);
    EXPECT_EQ(answers[2], 0x3E);
    EXPECT_EQ(busmodel::CurrentDs2480Counters().pullUps, 1u);
    EXPECT_EQ(busmodel::CurrentDs2480Counters().pullUpsEnded, 0u);
    // Back to the normal level as the peers do: stop, a pulse, stop; two answers.
    const Bytes stop = send({0xF1, 0xED, 0xF1});
    ASSERT_EQ(stop.size(), 2u);
    EXPECT_EQ(stop[0] & 0xE0, 0xE0);
    EXPECT_EQ(stop[1] & 0xE0, 0xE0);
    EXPECT_EQ(busmodel::CurrentDs2480Counters().pullUpsEnded, 2u);
}

}  // namespace
}  // namespace onewire_test
