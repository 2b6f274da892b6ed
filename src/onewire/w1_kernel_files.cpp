#include "onewire/w1_kernel_files.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "onewire/rom.h"

namespace onewire {
namespace {

constexpr std::size_t SerialDigits = 12;

// The kernel's attribute files hold at most a page; anything much longer is
// not one of them (a link to /dev/zero, a log), and reading it whole would
// hold the monitor thread and fill the memory.
constexpr std::size_t LongestKernelFile = 64 * 1024;

}  // namespace

bool readW1File(const std::string& path, std::string& text) {
    text.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (text.size() > LongestKernelFile) return false;
    }
    return !in.bad();
}

namespace {

bool hexByte(std::string_view text, std::uint8_t& value) {
    unsigned number = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), number, 16);
    if (result.ec != std::errc{} || result.ptr != text.data() + text.size() || number > 0xFF)
        return false;
    value = static_cast<std::uint8_t>(number);
    return true;
}

int romBit(const RomCode& rom, int index) {
    return (rom[static_cast<std::size_t>(index / 8)] >> (index % 8)) & 1;
}

// A search takes the 0 branch first at every bit, least significant bit of
// the family code first.
bool searchedBefore(const RomCode& a, const RomCode& b) {
    for (int i = 0; i < 64; ++i) {
        const int x = romBit(a, i);
        const int y = romBit(b, i);
        if (x != y) return x < y;
    }
    return false;
}

bool romFromIdFile(const std::string& slaveDir, RomCode& rom) {
    std::string bytes;
    if (!readW1File(slaveDir + "/id", bytes) || bytes.size() != rom.size()) return false;
    std::copy(bytes.begin(), bytes.end(), rom.begin());
    return true;
}

}  // namespace

bool isW1MasterFolder(const std::string& dir) {
    std::error_code error;
    return std::filesystem::is_regular_file(dir + "/w1_master_slaves", error);
}

std::string w1SlaveName(const RomCode& rom) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string name;
    name += Digits[rom[0] >> 4];
    name += Digits[rom[0] & 0xF];
    name += '-';
    // The kernel prints the 48-bit serial as a number: its last byte first.
    for (std::size_t i = 6; i >= 1; --i) {
        name += Digits[rom[i] >> 4];
        name += Digits[rom[i] & 0xF];
    }
    return name;
}

bool romFromW1SlaveName(const std::string& name, RomCode& rom) {
    if (name.size() != 3 + SerialDigits || name[2] != '-') return false;
    RomCode parsed{};
    if (!hexByte(std::string_view(name).substr(0, 2), parsed[0])) return false;
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string_view digits = std::string_view(name).substr(3 + 2 * i, 2);
        if (!hexByte(digits, parsed[6 - i])) return false;
    }
    parsed[7] = crc8(parsed.data(), 7);
    rom = parsed;
    return true;
}

bool readW1SlaveNames(const std::string& masterDir, std::vector<std::string>& names) {
    names.clear();
    std::string text;
    if (!readW1File(masterDir + "/w1_master_slaves", text)) return false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line == "not found.") continue;
        names.push_back(line);
    }
    return true;
}

bool listW1SlaveFolders(const std::string& masterDir, std::vector<W1Slave>& slaves) {
    slaves.clear();
    std::vector<std::string> names;
    if (!readW1SlaveNames(masterDir, names)) return false;
    for (const std::string& name : names) {
        RomCode rom{};
        if (romFromIdFile(masterDir + "/" + name, rom) || romFromW1SlaveName(name, rom)) {
            slaves.push_back({rom, name});
        }
    }
    std::stable_sort(slaves.begin(), slaves.end(), [](const W1Slave& a, const W1Slave& b) {
        return searchedBefore(a.rom, b.rom);
    });
    return true;
}

bool listW1Slaves(const std::string& masterDir, std::vector<RomCode>& roms) {
    roms.clear();
    std::vector<W1Slave> slaves;
    if (!listW1SlaveFolders(masterDir, slaves)) return false;
    for (const W1Slave& slave : slaves) roms.push_back(slave.rom);
    return true;
}

W1SlaveAnswer readW1Scratchpad(const std::string& slaveDir, std::array<std::uint8_t, 9>& bytes) {
    std::string text;
    if (!readW1File(slaveDir + "/w1_slave", text)) return W1SlaveAnswer::NoAnswer;
    const std::string line = text.substr(0, text.find('\n'));
    // "50 05 4b 46 7f ff 0c 10 1c : crc=1c YES"
    std::istringstream words(line);
    for (std::uint8_t& byte : bytes) {
        std::string word;
        if (!(words >> word) || !hexByte(word, byte)) return W1SlaveAnswer::NoAnswer;
    }
    std::string colon, crc, verdict;
    if (!(words >> colon >> crc >> verdict) || colon != ":" || crc.rfind("crc=", 0) != 0) {
        return W1SlaveAnswer::NoAnswer;
    }
    if (verdict == "YES") return W1SlaveAnswer::Read;
    return verdict == "NO" ? W1SlaveAnswer::CrcFailed : W1SlaveAnswer::NoAnswer;
}

int readW1ExtPower(const std::string& slaveDir) {
    std::string text;
    if (!readW1File(slaveDir + "/ext_power", text) || text.empty()) return -1;
    if (text[0] == '1') return 1;
    return text[0] == '0' ? 0 : -1;
}

}  // namespace onewire
