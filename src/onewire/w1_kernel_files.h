#pragma once
// The files through which the Linux kernel's w1 stack shows a bus master and
// its slaves (/sys/bus/w1/devices). Linux only; internal to the 1-Wire library.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "onewire/rom_code.h"

namespace onewire {

// A kernel attribute file whole; false when it cannot be read or is far
// longer than any the kernel writes.
bool readW1File(const std::string& path, std::string& text);

// true when `dir` is a kernel master's folder: it holds `w1_master_slaves`.
bool isW1MasterFolder(const std::string& dir);

// The slave folder names `w1_master_slaves` lists, as listed ("not found."
// and blank lines left out). false when the list cannot be read.
bool readW1SlaveNames(const std::string& masterDir, std::vector<std::string>& names);

// The ROM codes of the master's slaves in the order a search on the wire finds
// them. Each code comes from the slave's `id` file, or, where that cannot be
// read, from its folder name with the CRC byte computed. false when the list
// itself cannot be read.
bool listW1Slaves(const std::string& masterDir, std::vector<RomCode>& roms);

// A slave as listed: its code and the folder it came from.
struct W1Slave {
    RomCode rom{};
    std::string folder;  // the name in w1_master_slaves
};

// listW1Slaves, keeping each code's folder.
bool listW1SlaveFolders(const std::string& masterDir, std::vector<W1Slave>& slaves);

// The folder name the kernel gives a slave: "28-00000b013c5a".
std::string w1SlaveName(const RomCode& rom);

// A slave's folder name back into its code; false for a name of another form.
bool romFromW1SlaveName(const std::string& name, RomCode& rom);

enum class W1SlaveAnswer : std::uint8_t { Read, CrcFailed, NoAnswer };

// Line 1 of `w1_slave`: the nine scratchpad bytes and the kernel's CRC verdict.
// NoAnswer for a missing folder, an empty read (a failed conversion) or a line
// of any other form.
W1SlaveAnswer readW1Scratchpad(const std::string& slaveDir, std::array<std::uint8_t, 9>& bytes);

// `ext_power`: 1 external supply, 0 parasite, -1 when it cannot be read.
int readW1ExtPower(const std::string& slaveDir);

}  // namespace onewire
