// The kernel master through the ROM layer, against folders laid out as the
// kernel documents its w1 files (Documentation/w1/slaves/w1_therm.rst and
// ABI/testing/sysfs-driver-w1_therm): w1_master_slaves one name a line or
// "not found.", id the eight code bytes, w1_slave two lines of nine hex bytes
// ending in ": crc=xx YES|NO" and "t=millidegrees", ext_power 1 or 0.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "busmodel/virtual_clock.h"
#include "onewire/bus_master.h"
#include "onewire/link.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "pty_support.h"

namespace {

using onewire::RomCode;
using Scratchpad = std::array<std::uint8_t, 9>;

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

RomCode code(std::uint8_t family, std::uint64_t serial) {
    RomCode rom{family};
    for (std::size_t i = 1; i <= 6; ++i)
        rom[i] = static_cast<std::uint8_t>(serial >> (8 * (i - 1)));
    rom[7] = onewire::crc8(rom.data(), 7);
    return rom;
}

// "%02x-%012llx": the family, then the serial printed as one number.
std::string kernelName(std::uint8_t family, std::uint64_t serial) {
    char name[32];
    std::snprintf(name, sizeof name, "%02x-%012llx", family,
                  static_cast<unsigned long long>(serial));
    return name;
}

Scratchpad ds18b20Scratchpad(std::int16_t raw) {
    Scratchpad bytes{static_cast<std::uint8_t>(raw & 0xFF),
                     static_cast<std::uint8_t>(raw >> 8),
                     0x4B,
                     0x46,
                     0x7F,
                     0xFF,
                     0x0C,
                     0x10,
                     0};
    bytes[8] = onewire::crc8(bytes.data(), 8);
    return bytes;
}

// The two lines of w1_slave; `crcOk` chooses the kernel's verdict.
std::string w1SlaveLines(const Scratchpad& bytes, bool crcOk, long milli) {
    std::string hex;
    char part[8];
    for (std::uint8_t byte : bytes) {
        std::snprintf(part, sizeof part, "%02x ", byte);
        hex += part;
    }
    std::snprintf(part, sizeof part, "%02x", onewire::crc8(bytes.data(), 8));
    return hex + ": crc=" + part + (crcOk ? " YES\n" : " NO\n") + hex +
           "t=" + std::to_string(milli) + "\n";
}

class W1KernelMaster : public ::testing::Test {
  protected:
    void SetUp() override {
        // A bulk read whose end nobody reports is waited out on this clock.
        busmodel::UseVirtualClock(busmodel::ClockMode::Instant);
        master = dir.path() + "/w1_bus_master1";
        mkdir(master.c_str(), 0755);
        writeFile(master + "/w1_master_slaves", "not found.\n");
    }
    void TearDown() override {
        (void)onewire::closePort();
        busmodel::UseSystemClock();
    }

    std::string addSlave(const std::string& name, bool withId, const RomCode& rom) {
        const std::string folder = master + "/" + name;
        mkdir(folder.c_str(), 0755);
        if (withId) writeFile(folder + "/id", std::string(rom.begin(), rom.end()));
        listed += name + "\n";
        writeFile(master + "/w1_master_slaves", listed);
        return folder;
    }

    std::vector<RomCode> search() {
        std::vector<RomCode> found;
        onewire::searchReset();
        RomCode rom{};
        while (onewire::searchNext(&rom)) found.push_back(rom);
        return found;
    }

    onewire_test::ScratchDir dir;
    std::string master;
    std::string listed;
};

TEST_F(W1KernelMaster, OpensByPathAndListsSlavesInTheSearchOrderOfAWire) {
    ASSERT_TRUE(onewire::openPort(master));
    EXPECT_EQ(onewire::adapterName(), "w1 kernel");
    EXPECT_TRUE(search().empty());
    EXPECT_EQ(onewire::lastStatus(), onewire::NoResponse);  // "not found."

    const RomCode fromName = code(0x28, 0x00000B013C5A);
    const RomCode fromId = code(0x10, 0x000802B4A1C3);
    const RomCode sister = code(0x22, 0x0000000000A7);
    const RomCode adapterChip = code(0x81, 0x00000012ABCD);
    // The name says another serial than the id: the id is the code.
    addSlave(kernelName(0x10, 0x999), true, fromId);
    addSlave(kernelName(0x28, 0x00000B013C5A), false, {});
    addSlave(kernelName(0x81, 0x00000012ABCD), true, adapterChip);
    addSlave(kernelName(0x22, 0x0000000000A7), false, {});
    // A wire's search takes the 0 branch first, least significant bit first:
    // 0x81 alone has bit 0 set, 0x22 alone bit 1, and 0x28 bit 3.
    EXPECT_EQ(search(), (std::vector<RomCode>{fromId, fromName, sister, adapterChip}));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoData);
    EXPECT_EQ(fromName[1], 0x5A);  // the name's last serial byte is the first on the wire
    // The slave whose name is not its code's is read from its own folder.
    const Scratchpad bytes = ds18b20Scratchpad(0x0032);
    writeFile(master + "/" + kernelName(0x10, 0x999) + "/w1_slave",
              w1SlaveLines(bytes, true, 3125));
    Scratchpad read{};
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&fromId, read.data()));
    EXPECT_EQ(read, bytes);

    // Raw slots fit no file of the kernel's.
    std::uint8_t bits[2] = {1, 1};
    ASSERT_TRUE(onewire::resetAndSkipRom());
    EXPECT_FALSE(onewire::busMaster().touchBits(bits, 2));
    EXPECT_EQ(onewire::lastStatus(), onewire::BadArgument);
}

TEST_F(W1KernelMaster, ReadsScratchpadsSupplyAndEveryFault) {
    const RomCode good = code(0x28, 0x01);
    const RomCode corrupt = code(0x28, 0x02);
    const RomCode empty = code(0x28, 0x03);
    const RomCode leaving = code(0x28, 0x04);
    const Scratchpad bytes = ds18b20Scratchpad(0x0172);
    writeFile(addSlave(kernelName(0x28, 0x01), true, good) + "/w1_slave",
              w1SlaveLines(bytes, true, 23125));
    writeFile(master + "/" + kernelName(0x28, 0x01) + "/ext_power", "1\n");
    Scratchpad damaged = bytes;
    damaged[0] ^= 0x10;
    writeFile(addSlave(kernelName(0x28, 0x02), true, corrupt) + "/w1_slave",
              w1SlaveLines(damaged, false, 24125));
    writeFile(master + "/" + kernelName(0x28, 0x02) + "/ext_power", "0\n");
    writeFile(addSlave(kernelName(0x28, 0x03), true, empty) + "/w1_slave", "");
    const std::string gone = addSlave(kernelName(0x28, 0x04), true, leaving);
    writeFile(gone + "/w1_slave", w1SlaveLines(bytes, true, 23125));
    ASSERT_TRUE(onewire::openPort(master));

    Scratchpad read{};
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&good, read.data()));
    EXPECT_EQ(read, bytes);
    ASSERT_TRUE(onewire::matchRom(&good));
    EXPECT_EQ(onewire::readPowerSupply(), 1);
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);

    // crc=NO: the bytes as read, for the CRC check above to refuse.
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&corrupt, read.data()));
    EXPECT_EQ(read, damaged);
    EXPECT_NE(onewire::crc8(read.data(), 8), read[8]);
    ASSERT_TRUE(onewire::matchRom(&corrupt));
    EXPECT_EQ(onewire::readPowerSupply(), 0);

    // An empty read (a failed conversion) answers nothing, as a silent device.
    const Scratchpad nobody{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&empty, read.data()));
    EXPECT_EQ(read, nobody);
    EXPECT_EQ(onewire::lastStatus(), onewire::Ok);
    // No ext_power: the supply check fails.
    ASSERT_TRUE(onewire::matchRom(&empty));
    (void)onewire::readPowerSupply();
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);

    // The slave's folder vanishes between the list and the read, then from
    // the list too; a code nobody has and a wrong CRC byte match nobody.
    std::filesystem::remove_all(gone);
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&leaving, read.data()));
    EXPECT_EQ(read, nobody);
    writeFile(master + "/w1_master_slaves",
              kernelName(0x28, 0x01) + "\n" + kernelName(0x28, 0x02) + "\n");
    RomCode wrongCrc = good;
    wrongCrc[7] ^= 1;
    for (const RomCode& rom : {leaving, code(0x28, 0x77), wrongCrc}) {
        ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&rom, read.data()));
        EXPECT_EQ(read, nobody);
    }
    EXPECT_EQ(search(), (std::vector<RomCode>{corrupt, good}));  // serial 02 before 01: bit 0
}

TEST_F(W1KernelMaster, BulkConversionWhereTheMasterOffersIt) {
    const RomCode rom = code(0x28, 0x01);
    const Scratchpad bytes = ds18b20Scratchpad(0x0191);
    writeFile(addSlave(kernelName(0x28, 0x01), true, rom) + "/w1_slave",
              w1SlaveLines(bytes, true, 25062));
    const std::string bulk = master + "/therm_bulk_read";
    ASSERT_TRUE(onewire::openPort(master));

    // Without the file each read converts by itself: nothing to write.
    ASSERT_TRUE(onewire::resetAndSkipRom());
    ASSERT_TRUE(onewire::startConversion(0));
    EXPECT_FALSE(std::filesystem::exists(bulk));

    writeFile(bulk, "0\n");
    // One device's Convert T is left to its read.
    ASSERT_TRUE(onewire::matchRom(&rom));
    ASSERT_TRUE(onewire::startConversion(0));
    EXPECT_EQ(readFile(bulk), "0\n");
    ASSERT_TRUE(onewire::resetAndSkipRom());
    ASSERT_TRUE(onewire::startConversion(0));
    EXPECT_EQ(readFile(bulk), "trigger\n");

    // The read waits while the kernel reports the conversion running (-1);
    // one that never reports its end is waited out within bounds.
    writeFile(bulk, "-1\n");
    const std::uint64_t before = busmodel::VirtualNowMs();
    Scratchpad read{};
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&rom, read.data()));
    EXPECT_EQ(read, bytes);
    const std::uint64_t waited = busmodel::VirtualNowMs() - before;
    EXPECT_GE(waited, 750u);
    EXPECT_LE(waited, 2000u);
    // Done (1): the reads that follow go straight on.
    ASSERT_TRUE(onewire::resetAndSkipRom());
    ASSERT_TRUE(onewire::startConversion(0));
    writeFile(bulk, "1\n");
    const std::uint64_t second = busmodel::VirtualNowMs();
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&rom, read.data()));
    EXPECT_EQ(busmodel::VirtualNowMs(), second);
}

TEST_F(W1KernelMaster, AComEntryLeadsToTheMasterUntilItsFolderVanishes) {
    onewire_test::WorkingDirectory cwd(dir.path());
    ASSERT_EQ(symlink(master.c_str(), "COM5"), 0);
    addSlave(kernelName(0x28, 0x01), false, {});
    ASSERT_TRUE(onewire::openPort("COM5"));
    EXPECT_EQ(onewire::adapterName(), "w1 kernel");
    EXPECT_FALSE(onewire::portLost());
    ASSERT_TRUE(onewire::resetAndSkipRom());

    // The DS9490R pulled out: the folder goes, the link dangles.
    std::filesystem::remove_all(master);
    EXPECT_TRUE(onewire::portLost());
    EXPECT_FALSE(onewire::resetAndSkipRom());
    EXPECT_EQ(onewire::lastStatus(), onewire::ExchangeError);
    EXPECT_TRUE(onewire::closePort());
    EXPECT_EQ(onewire::adapterName(), "");
    EXPECT_FALSE(onewire::closePort());
    // Coming back only through the kernel, even with the link gone, never on
    // the serial port COM5 would otherwise name.
    EXPECT_FALSE(onewire::reopenPort("COM5"));
    unlink("COM5");
    EXPECT_FALSE(onewire::reopenPort("COM5"));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoPort);
    EXPECT_FALSE(onewire::portLost());

    mkdir(master.c_str(), 0755);
    writeFile(master + "/w1_master_slaves", kernelName(0x28, 0x01) + "\n");
    ASSERT_EQ(symlink(master.c_str(), "COM5"), 0);
    ASSERT_TRUE(onewire::reopenPort("COM5"));
    EXPECT_EQ(search(), (std::vector<RomCode>{code(0x28, 0x01)}));
}

}  // namespace

namespace {

bool matches(const std::string& text, const char* pattern) {
    return std::regex_match(text, std::regex(pattern));
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// kelvarian-sim's tree holds the kernel's documented formats, and the master
// reads it as it reads the kernel's.
TEST(W1SimTree, ShowsTheBusInTheKernelsFormatsAndTheMasterReadsIt) {
    onewire_test::ScratchDir dir;
    const std::string root = dir.path() + "/devices";
    const std::string master = root + "/w1_bus_master1";
    onewire_test::SimProcess sim(
        {"--w1-sysfs", root, "--w1-instant", "--device", "28-00000B013C5A,temp=23.125", "--device",
         "10:77,power=parasite", "--device", "28:99,empty-reads", "--device",
         "28:98,corrupt-scratchpad", "--device", "28:97,absent", "--device", "81:12ABCD"});
    ASSERT_TRUE(sim.started());

    const std::vector<std::string> names = lines(readFile(master + "/w1_master_slaves"));
    ASSERT_EQ(names.size(), 5u);  // not the absent one
    for (const std::string& name : names) {
        EXPECT_TRUE(matches(name, "[0-9a-f]{2}-[0-9a-f]{12}")) << name;
        EXPECT_EQ(std::filesystem::read_symlink(root + "/" + name), "w1_bus_master1/" + name);
        EXPECT_EQ(readFile(master + "/" + name + "/id").size(), 8u);
    }
    const std::string hex = "([0-9a-f]{2} ){9}";
    EXPECT_TRUE(matches(readFile(master + "/28-00000b013c5a/w1_slave"),
                        (hex + ": crc=[0-9a-f]{2} YES\n" + hex + "t=23125\n").c_str()));
    EXPECT_EQ(readFile(master + "/28-00000b013c5a/temperature"), "23125\n");
    EXPECT_EQ(readFile(master + "/28-00000b013c5a/ext_power"), "1\n");
    EXPECT_EQ(readFile(master + "/10-000000000077/ext_power"), "0\n");
    EXPECT_TRUE(matches(readFile(master + "/28-000000000098/w1_slave"),
                        (hex + ": crc=[0-9a-f]{2} NO\n" + hex + "t=-?[0-9]+\n").c_str()));
    EXPECT_EQ(readFile(master + "/28-000000000099/w1_slave"), "");
    EXPECT_FALSE(std::filesystem::exists(master + "/81-00000012abcd/w1_slave"));

    // echo trigger > therm_bulk_read, then -1 while it converts and 1 once done.
    writeFile(master + "/therm_bulk_read", "trigger\n");
    std::string bulk;
    for (int i = 0; i < 200 && bulk != "1\n"; ++i) {
        usleep(10000);
        bulk = readFile(master + "/therm_bulk_read");
    }
    EXPECT_EQ(bulk, "1\n");

    ASSERT_TRUE(onewire::openPort(master));
    std::vector<RomCode> found;
    onewire::searchReset();
    for (RomCode rom{}; onewire::searchNext(&rom);) found.push_back(rom);
    EXPECT_EQ(found.size(), 5u);
    const RomCode boiler = code(0x28, 0x00000B013C5A);
    Scratchpad read{};
    ASSERT_TRUE(onewire::matchRomAndReadScratchpad(&boiler, read.data()));
    EXPECT_EQ(read[0], 0x72);  // 23.125 degC is 0x0172 sixteenths
    EXPECT_EQ(read[1], 0x01);
    EXPECT_EQ(onewire::crc8(read.data(), 8), read[8]);
    (void)onewire::closePort();

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(root));
}

}  // namespace
