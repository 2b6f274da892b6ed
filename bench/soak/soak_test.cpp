// The soak run's judges and its bus: damage that CRC-8 must catch, the log
// check, the memory trend, and the record of what the bus served.
#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <string>

#include "bus_script.h"
#include "busmodel/bus_model.h"
#include "busmodel/rom_tools.h"
#include "busmodel/virtual_clock.h"
#include "log_check.h"
#include "memory_trend.h"
#include "onewire/link.h"
#include "onewire/rom.h"
#include "sim/sim_config.h"
#include "status_check.h"

namespace soak {
namespace {

using Pad = std::array<std::uint8_t, 9>;

class DamageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        busmodel::UseVirtualClock();
        busmodel::ResetBus();
        busmodel::Install();
        onewire::setLinkOptions(0);
    }
    void TearDown() override {
        onewire::releasePortAtExit();
        busmodel::Uninstall();
        busmodel::UseSystemClock();
    }

    // `reads` reads of the one device `item` describes, after a conversion.
    static std::vector<Pad> read(const std::string& item, int reads) {
        busmodel::Device device;
        std::string error;
        EXPECT_TRUE(sim::ParseDevice(item, device, error)) << error;
        busmodel::SetDevices({device});
        EXPECT_TRUE(onewire::openPort("COM1"));
        EXPECT_TRUE(onewire::resetAndSkipRom());
        EXPECT_TRUE(onewire::startConversion(800));
        std::vector<Pad> pads;
        for (int i = 0; i < reads; ++i) {
            Pad pad{};
            EXPECT_TRUE(onewire::matchRom(&device.rom));
            EXPECT_TRUE(onewire::readScratchpad(pad.data()));
            pads.push_back(pad);
        }
        return pads;
    }
};

struct DamageCase {
    const char* option;
    bool oneBit;  // exactly one bit differs (else: exactly one byte)
    bool samePlaceAlways;
};

TEST_F(DamageTest, EveryDamagedReadFailsCrcAndDiffersAsNamed) {
    const Pad clean = busmodel::MakeScratchpad(0x28, 350);
    const DamageCase cases[] = {
        {"corrupt-scratchpad", true, true},
        {"corrupt-scratchpad=any-bit", true, false},
        {"corrupt-scratchpad=any-byte", false, false},
    };
    for (const DamageCase& c : cases) {
        std::set<std::size_t> places;
        for (const Pad& pad : read(std::string("28:5,raw=350,") + c.option, 200)) {
            EXPECT_NE(onewire::crc8(pad.data(), 8), pad[8]) << c.option;
            int bits = 0, bytes = 0;
            for (std::size_t i = 0; i < pad.size(); ++i) {
                const int differing = std::popcount(static_cast<unsigned>(pad[i] ^ clean[i]));
                bits += differing;
                if (differing > 0) {
                    ++bytes;
                    places.insert(i);
                }
            }
            EXPECT_EQ(bytes, 1) << c.option;
            if (c.oneBit) {
                EXPECT_EQ(bits, 1) << c.option;
            }
        }
        if (c.samePlaceAlways) {
            EXPECT_EQ(places.size(), 1u) << c.option;
        } else {
            EXPECT_EQ(places.size(), 9u) << c.option;  // 200 draws reach all nine bytes
        }
    }
}

TEST(DamageOption, UnknownKindIsRefused) {
    busmodel::Device device;
    std::string error;
    EXPECT_FALSE(sim::ParseDevice("28:5,corrupt-scratchpad=any", device, error));
    EXPECT_FALSE(sim::ParseDevice("28:5,corrupt-scratchpad=", device, error));
}

const std::string Rom = "28-00000050AC00-4E";
const std::string Stamp = "[07/12/2026 22:05:09]  ";

std::string reading(const std::string& rom, const std::string& value) {
    return Stamp + rom + "  \u2014  " + value + " \u00B0C";
}

TEST(LogCheck, ReadingsPassOnlyWithAServedValueOfTheirRom) {
    const std::set<Served> served{{Rom, 85.0}, {Rom, 21.25}, {Rom, -0.0625}, {"10-OTHER", 3.5}};
    struct Case {
        std::string line;
        bool good;
    } cases[] = {
        {reading(Rom, "85.0"), true},
        {reading(Rom, "21.2"), true},  // 21.25 shown with one decimal, either way
        {reading(Rom, "21.3"), true},
        {reading(Rom, "-0.1"), true},
        {reading(Rom, "21.4"), false},                   // a value never sent
        {reading(Rom, "3.5"), false},                    // another device's value
        {reading("28-00000050AC01-11", "85.0"), false},  // a device never served
    };
    for (const Case& c : cases) {
        const LogVerdict verdict = CheckLog(c.line + "\r\n", served);
        EXPECT_EQ(verdict.readings, 1) << c.line;
        EXPECT_EQ(verdict.bad.size(), c.good ? 0u : 1u) << c.line;
    }
}

TEST(LogCheck, WholeFileWithByteOrderMarkAndForeignLines) {
    const std::set<Served> served{{Rom, 20.0}};
    const std::string log = "\xEF\xBB\xBF" + reading(Rom, "20.0") + "\r\n\r\n" +
                            "garbage line\r\n" + reading(Rom, "20.0") + "\r\n";
    const LogVerdict verdict = CheckLog(log, served);
    EXPECT_EQ(verdict.readings, 2);
    EXPECT_TRUE(verdict.bad.empty());
    ASSERT_EQ(verdict.alien.size(), 1u);
    EXPECT_EQ(verdict.alien[0], "garbage line");
}

TEST(MemoryTrend, GrowthDuringTheFirstMinuteDoesNotCount) {
    std::vector<MemorySample> flat, growing;
    for (int s = 0; s <= 600; s += 5) {
        flat.push_back({double(s), s < 60 ? 1000.0 + 10 * s : 1600.0 + (s % 10 == 0 ? 4 : 0)});
        growing.push_back({double(s), 1000.0 + 2.0 * s});  // 120 KiB a minute
    }
    const MemoryTrend still = Trend(flat, 60);
    EXPECT_EQ(still.minKib, 1600);
    EXPECT_EQ(still.maxKib, 1604);
    EXPECT_NEAR(still.slopeKibPerMin, 0, 0.1);
    EXPECT_NEAR(Trend(growing, 60).slopeKibPerMin, 120, 1e-6);
}

TEST(SoakBus, EveryStateServesOnlyRecordedTemperatures) {
    SoakBus bus = StartBus(7);
    SoakBus twin = StartBus(7);
    for (int step = 0; step < 300; ++step) {
        Step(bus);
        Step(twin);
        // Every state, glitch included, is one the simulator takes.
        sim::SimConfig config;
        std::string error;
        EXPECT_TRUE(sim::ParseConfigText(ConfigText(bus, 1), config, error)) << error;
        EXPECT_EQ(config.faults.searchGlitch.kind != busmodel::Glitch::None, !bus.glitch.empty());
        for (const SoakDevice& device : bus.devices) {
            const std::string rom = busmodel::FormatRom(device.rom);
            EXPECT_TRUE(bus.served.count({rom, Celsius(device.rom[0], device.raw)}));
            // Its power-on value is never a reading of a new thermometer.
            if (Celsius(device.rom[0], device.raw) != 85.0) {
                EXPECT_FALSE(bus.served.count({rom, 85.0}));
            }
        }
    }
    EXPECT_EQ(ConfigText(bus, 1), ConfigText(twin, 1));  // the seed decides the run
    EXPECT_GT(bus.glitchSteps, 250u);
}

TEST(StatusCheck, ListedThermometersMustReadAndNoCodeMayBeAPhantom) {
    busmodel::Device boiler;
    boiler.rom = busmodel::MakeRomCode(busmodel::FamilyDs18b20, 0x3C5A);
    boiler.temperatureRaw = 21 * 16 + 8;
    busmodel::Device cellar = boiler;
    cellar.rom = busmodel::MakeRomCode(busmodel::FamilyDs18b20, 0x0777);
    const std::string boilerText = busmodel::FormatRom(boiler.rom);
    const std::string cellarText = busmodel::FormatRom(cellar.rom);
    const std::set<Served> served{{boilerText, 21.5}, {cellarText, 21.5}};
    auto sensor = [](const std::string& rom, const char* celsius) {
        return "{\"rom\":\"" + rom + "\",\"temperature\":" + celsius + ",\"cells\":{}}";
    };

    StatusVerdict verdict =
        CheckStatus("{\"sensors\":[" + sensor(boilerText, "21.5") + "]}", {boiler, cellar}, served);
    EXPECT_TRUE(verdict.parsed);
    EXPECT_EQ(verdict.onBus, 2);
    EXPECT_EQ(verdict.listed, 1);  // the other not yet found by a search
    EXPECT_EQ(verdict.reading, 1);
    EXPECT_TRUE(verdict.notReading.empty());

    busmodel::RomCode phantom = boiler.rom;
    phantom[7] = 0;
    verdict = CheckStatus("{\"sensors\":[" + sensor(boilerText, "null") + "," +
                              sensor(busmodel::FormatRom(phantom), "null") + "]}",
                          {boiler}, served);
    EXPECT_EQ(verdict.notReading.size(), 1u);
    ASSERT_EQ(verdict.strangers.size(), 1u);
    EXPECT_EQ(verdict.strangers[0], busmodel::FormatRom(phantom));
    EXPECT_FALSE(CheckStatus("<html>", {boiler}, served).parsed);

    const std::int64_t boilerId =
        static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(boiler.rom));
    const std::int64_t phantomId = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(phantom));
    EXPECT_EQ(SavedStrangers({boilerId, phantomId}, served), std::vector<std::int64_t>{phantomId});
}

}  // namespace
}  // namespace soak
