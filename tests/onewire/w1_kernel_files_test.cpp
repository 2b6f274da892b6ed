// The kernel's w1 files as its documentation describes them, read back into
// ROM codes, scratchpads and the supply mode.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fstream>

#include "onewire/rom.h"
#include "onewire/w1_kernel_files.h"
#include "pty_support.h"

namespace {

using onewire::RomCode;
using onewire::W1SlaveAnswer;

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string slaveFolder(const std::string& master, const std::string& name) {
    const std::string dir = master + "/" + name;
    mkdir(dir.c_str(), 0755);
    return dir;
}

TEST(W1KernelFiles, SlaveListGivesCodesInSearchOrder) {
    onewire_test::ScratchDir dir;
    const std::string master = dir.path();
    EXPECT_FALSE(onewire::isW1MasterFolder(master));
    std::vector<RomCode> roms;
    EXPECT_FALSE(onewire::listW1Slaves(master, roms));

    writeFile(master + "/w1_master_slaves", "not found.\n");
    EXPECT_TRUE(onewire::isW1MasterFolder(master));
    EXPECT_TRUE(onewire::listW1Slaves(master, roms));
    EXPECT_TRUE(roms.empty());

    // The folder name prints the serial as a number, its bytes reversed; the
    // id file holds the code in bus order, whatever the name says.
    const RomCode named{0x28, 0x5A, 0x3C, 0x01, 0x0B, 0x00, 0x00, 0x14};
    const RomCode withId{0x10, 0x77, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE6};
    const RomCode adapterChip{0x81, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00};
    EXPECT_EQ(onewire::w1SlaveName(named), "28-00000b013c5a");
    slaveFolder(master, "28-00000b013c5a");
    writeFile(slaveFolder(master, "10-000000000099") + "/id",
              std::string(withId.begin(), withId.end()));
    slaveFolder(master, "81-060504030201");
    writeFile(master + "/w1_master_slaves",
              "28-00000b013c5a\n10-000000000099\n81-060504030201\nbogus\n");
    ASSERT_TRUE(onewire::listW1Slaves(master, roms));
    RomCode chip = adapterChip;
    chip[7] = onewire::crc8(chip.data(), 7);
    // 0x10 and 0x28 differ first in bit 3 (0 for 0x10), 0x81 and 0x10 in bit 0.
    EXPECT_EQ(roms, (std::vector<RomCode>{withId, named, chip}));
}

TEST(W1KernelFiles, ScratchpadLineAndItsFaults) {
    onewire_test::ScratchDir dir;
    const std::string slave = slaveFolder(dir.path(), "28-00000b013c5a");
    std::array<std::uint8_t, 9> bytes{};
    writeFile(slave + "/w1_slave",
              "91 01 4b 46 7f ff 0f 10 25 : crc=25 YES\n91 01 4b 46 7f ff 0f 10 25 t=25062\n");
    EXPECT_EQ(onewire::readW1Scratchpad(slave, bytes), W1SlaveAnswer::Read);
    EXPECT_EQ(bytes,
              (std::array<std::uint8_t, 9>{0x91, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0F, 0x10, 0x25}));
    writeFile(slave + "/w1_slave",
              "91 01 4b 46 7f ff 0f 10 26 : crc=25 NO\n91 01 4b 46 7f ff 0f 10 26 t=25062\n");
    EXPECT_EQ(onewire::readW1Scratchpad(slave, bytes), W1SlaveAnswer::CrcFailed);
    for (const char* broken : {"", "91 01 4b : crc=25 YES\n", "91 01 4b 46 7f ff 0f 10 25\n",
                               "zz 01 4b 46 7f ff 0f 10 25 : crc=25 YES\n"}) {
        writeFile(slave + "/w1_slave", broken);
        EXPECT_EQ(onewire::readW1Scratchpad(slave, bytes), W1SlaveAnswer::NoAnswer) << broken;
    }
    EXPECT_EQ(onewire::readW1Scratchpad(dir.path() + "/28-000000000001", bytes),
              W1SlaveAnswer::NoAnswer);
    // A file far longer than any of the kernel's (a link to a log, say) is no
    // answer, whatever its first line says.
    writeFile(slave + "/w1_slave", "91 01 4b 46 7f ff 0f 10 25 : crc=25 YES\n" +
                                       std::string(200 * 1024, 'x'));
    EXPECT_EQ(onewire::readW1Scratchpad(slave, bytes), W1SlaveAnswer::NoAnswer);

    EXPECT_EQ(onewire::readW1ExtPower(slave), -1);
    writeFile(slave + "/ext_power", "1\n");
    EXPECT_EQ(onewire::readW1ExtPower(slave), 1);
    writeFile(slave + "/ext_power", "0\n");
    EXPECT_EQ(onewire::readW1ExtPower(slave), 0);
}

}  // namespace
