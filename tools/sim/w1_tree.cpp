#include "sim/w1_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "busmodel/bus_model.h"
#include "busmodel/rom_tools.h"
#include "platform/clock.h"

namespace sim {
namespace {

namespace fs = std::filesystem;
using busmodel::Scratchpad;
using onewire::RomCode;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t MatchRom = 0x55;
constexpr std::uint8_t SkipRom = 0xCC;
constexpr std::uint8_t ConvertT = 0x44;
constexpr std::uint8_t ReadScratchpad = 0xBE;
constexpr std::uint8_t ReadPowerSupply = 0xB4;
// The kernel waits the longest conversion of a 12-bit part after Convert T.
constexpr std::uint32_t ConversionMs = 750;
constexpr auto LoopRest = std::chrono::milliseconds(5);
// Plain files are rewritten this often; a reader of a pipe is left this long
// to reach its end before the pipe is offered again.
constexpr auto RefreshPeriod = std::chrono::milliseconds(200);
constexpr auto PipeRest = std::chrono::milliseconds(20);

// The kernel's side of the wire, on the bus model: a reset at 9600 baud and
// slots at 115200, as a passive adapter sends them.
bool wireReset() {
    std::vector<std::uint8_t> echoes;
    busmodel::Transmit(0xF0, 9600, echoes);
    return !echoes.empty() && echoes[0] != 0xF0 && echoes[0] != 0x00;
}

int wireSlot(int bit) {
    std::vector<std::uint8_t> echoes;
    busmodel::Transmit(bit != 0 ? 0xFF : 0x00, 115200, echoes);
    return !echoes.empty() && echoes[0] == 0xFF ? 1 : 0;
}

void wireWrite(std::uint8_t byte) {
    for (int bit = 0; bit < 8; ++bit) (void)wireSlot((byte >> bit) & 1);
}

std::uint8_t wireRead() {
    unsigned byte = 0;
    for (int bit = 0; bit < 8; ++bit) byte |= static_cast<unsigned>(wireSlot(1)) << bit;
    return static_cast<std::uint8_t>(byte);
}

bool select(const RomCode& rom) {
    if (!wireReset()) return false;
    wireWrite(MatchRom);
    for (std::uint8_t byte : rom) wireWrite(byte);
    return true;
}

// Sleeps on the bus model's clock, which the devices' conversions run on:
// at once under --w1-instant (the virtual clock moves on).
void convert(const RomCode* one) {
    if (one != nullptr ? !select(*one) : !wireReset()) return;
    if (one == nullptr) wireWrite(SkipRom);
    wireWrite(ConvertT);
    platform::SleepMs(ConversionMs);
}

bool readScratchpad(const RomCode& rom, Scratchpad& bytes) {
    if (!select(rom)) return false;
    wireWrite(ReadScratchpad);
    for (std::uint8_t& byte : bytes) byte = wireRead();
    return true;
}

bool isThermometer(std::uint8_t family) {
    return family == 0x28 || family == 0x22 || family == 0x42 || family == 0x10;
}

// The kernel's temperature_from_RAM, in millidegrees.
long millidegrees(std::uint8_t family, const Scratchpad& bytes) {
    const auto raw = static_cast<std::int16_t>(bytes[1] << 8 | bytes[0]);
    if (family != 0x10) return long{raw} * 1000 / 16;
    if (bytes[7] == 0) return long{raw} * 1000 / 2;
    return long{raw >> 1} * 1000 - 250 + 1000L * (bytes[7] - bytes[6]) / bytes[7];
}

std::string hexBytes(const Scratchpad& bytes) {
    std::string hex;
    char part[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(part, sizeof part, "%02x ", byte);
        hex += part;
    }
    return hex;
}

// The two lines of w1_slave as the kernel prints them: the bytes read with
// the CRC it computed and its verdict, then the last bytes that passed
// (`lastGood`, zeros until one did) with the temperature of those read.
// Empty when the read failed.
std::string w1SlaveText(std::uint8_t family, const Scratchpad& bytes, Scratchpad& lastGood) {
    const std::uint8_t crc = busmodel::Crc8(std::span(bytes.data(), 8));
    if (crc == bytes[8]) lastGood = bytes;
    char part[4];
    std::snprintf(part, sizeof part, "%02x", crc);
    return hexBytes(bytes) + ": crc=" + part + (crc == bytes[8] ? " YES\n" : " NO\n") +
           hexBytes(lastGood) + "t=" + std::to_string(millidegrees(family, bytes)) + "\n";
}

// A reader never sees half a file: the new text goes to a file beside it
// and is renamed over the old one.
void writeAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::error_code error;
    fs::rename(temporary, path, error);
}

std::string readSmall(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    std::getline(in, text, '\0');
    return text;
}

// A reader blocked opening a pipe that is about to go would wait for ever:
// it gets an empty read, as from a slave that went away mid-read.
void releaseReader(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISFIFO(info.st_mode)) return;
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
}

struct Slave {
    busmodel::Device device;
    std::string folder;
    bool bulkResult = false;  // a bulk conversion's result waits for its read
    Scratchpad lastGood{};    // what the kernel keeps of the last read that passed
    Clock::time_point pipeFree{};
};

// The kernel's name of a slave: family, then the 48-bit serial as a number.
std::string slaveName(const RomCode& rom) {
    char name[32];
    std::snprintf(name, sizeof name, "%02x-%02x%02x%02x%02x%02x%02x", rom[0], rom[6], rom[5],
                  rom[4], rom[3], rom[2], rom[1]);
    return name;
}

class TreeKeeper {
  public:
    explicit TreeKeeper(const W1Tree& tree) : tree_(tree) {}

    void serve(ServeControl& control, void (*ready)()) {
        syncSlaves();
        ready();
        auto nextRefresh = Clock::now();
        while (!control.stop.load()) {
            if (control.reload.exchange(false) && control.onReload != nullptr) control.onReload();
            syncSlaves();
            if (tree_.bulk) answerBulkTrigger();
            if (tree_.instant && Clock::now() >= nextRefresh) {
                refreshPlainFiles();
                nextRefresh = Clock::now() + RefreshPeriod;
            }
            if (!tree_.instant) servePipes();
            std::this_thread::sleep_for(LoopRest);
        }
    }

  private:
    void syncSlaves() {
        std::vector<busmodel::Device> present;
        for (const busmodel::Device& device : busmodel::Devices()) {
            if (device.present) present.push_back(device);
        }
        bool changed = false;
        for (auto it = slaves_.begin(); it != slaves_.end();) {
            bool kept = false;
            for (const busmodel::Device& device : present) kept = kept || device.rom == it->first;
            if (kept) {
                ++it;
                continue;
            }
            removeSlave(it->second);
            it = slaves_.erase(it);
            changed = true;
        }
        for (const busmodel::Device& device : present) {
            auto found = slaves_.find(device.rom);
            if (found != slaves_.end()) {
                found->second.device = device;
                continue;
            }
            addSlave(device);
            changed = true;
        }
        if (changed || !listed_) writeSlaveList(present);
    }

    // In the order the slaves were met, as the kernel keeps them.
    void writeSlaveList(const std::vector<busmodel::Device>& present) {
        std::string text;
        for (const busmodel::Device& device : present) text += slaveName(device.rom) + "\n";
        writeAtomically(tree_.master + "/w1_master_slaves", text.empty() ? "not found.\n" : text);
        listed_ = true;
    }

    void addSlave(const busmodel::Device& device) {
        const std::string name = slaveName(device.rom);
        Slave slave{device, tree_.master + "/" + name};
        std::error_code error;
        fs::create_directory(slave.folder, error);
        fs::create_symlink("w1_bus_master1/" + name, tree_.root + "/" + name, error);
        writeAtomically(slave.folder + "/id", std::string(device.rom.begin(), device.rom.end()));
        writeAtomically(slave.folder + "/name", name + "\n");
        if (isThermometer(device.rom[0])) {
            std::string power;
            if (select(device.rom)) {
                wireWrite(ReadPowerSupply);
                power = wireSlot(1) != 0 ? "1\n" : "0\n";
            }
            writeAtomically(slave.folder + "/ext_power", power);
            if (tree_.instant) {
                convert(&device.rom);
                writeReading(slave);
            } else {
                (void)mkfifo((slave.folder + "/w1_slave").c_str(), 0644);
            }
        }
        slaves_.emplace(device.rom, std::move(slave));
    }

    void removeSlave(const Slave& slave) {
        releaseReader(slave.folder + "/w1_slave");
        std::error_code error;
        fs::remove(tree_.root + "/" + slaveName(slave.device.rom), error);
        fs::remove_all(slave.folder, error);
    }

    // What a read of w1_slave gives now, the scratchpad taken off the wire;
    // `temperature` follows it.
    std::string readingText(Slave& slave) {
        Scratchpad bytes{};
        std::string text;
        if (!slave.device.emptyReads && readScratchpad(slave.device.rom, bytes)) {
            text = w1SlaveText(slave.device.rom[0], bytes, slave.lastGood);
        }
        const std::size_t t = text.rfind("t=");
        writeAtomically(slave.folder + "/temperature",
                        t == std::string::npos ? "" : text.substr(t + 2));
        return text;
    }

    void writeReading(Slave& slave) {
        writeAtomically(slave.folder + "/w1_slave", readingText(slave));
    }

    void refreshPlainFiles() {
        convert(nullptr);
        for (auto& [rom, slave] : slaves_) {
            if (isThermometer(rom[0])) writeReading(slave);
        }
    }

    // The kernel's store blocks for the conversion time while a reader sees
    // -1, then every thermometer's next read gives that conversion's result.
    void answerBulkTrigger() {
        const std::string path = tree_.master + "/therm_bulk_read";
        if (readSmall(path).rfind("trigger", 0) != 0) return;
        writeAtomically(path, "-1\n");
        convert(nullptr);
        for (auto& [rom, slave] : slaves_) {
            if (!isThermometer(rom[0])) continue;
            slave.bulkResult = true;
            if (tree_.instant) writeReading(slave);
        }
        writeAtomically(path, "1\n");
    }

    // A pipe opens for writing without blocking only while a reader has it
    // open: that reader then gets its own conversion, or the bulk result.
    void servePipes() {
        for (auto& [rom, slave] : slaves_) {
            if (!isThermometer(rom[0]) || Clock::now() < slave.pipeFree) continue;
            const std::string path = slave.folder + "/w1_slave";
            const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) continue;
            if (!slave.bulkResult) convert(&slave.device.rom);
            slave.bulkResult = false;
            const std::string text = readingText(slave);
            // A reader gone meanwhile leaves nobody to tell.
            if (!text.empty() && ::write(fd, text.data(), text.size()) < 0)
                slave.bulkResult = false;
            ::close(fd);
            slave.pipeFree = Clock::now() + PipeRest;
        }
    }

    const W1Tree& tree_;
    std::map<RomCode, Slave> slaves_;
    bool listed_ = false;
};

}  // namespace

bool CreateW1Tree(W1Tree& tree, std::string& error) {
    std::error_code code;
    tree.createdRoot = !fs::exists(tree.root, code);
    fs::create_directories(tree.root, code);
    tree.master = tree.root + "/w1_bus_master1";
    if (fs::exists(tree.master, code)) {
        error = tree.master + " exists already";
        return false;
    }
    if (!fs::create_directory(tree.master, code)) {
        error = "cannot create " + tree.master + ": " + code.message();
        return false;
    }
    if (tree.bulk) {
        writeAtomically(tree.master + "/therm_bulk_read", "0\n");
        // The kernel's mode: its owner (root) may trigger, others only read.
        fs::permissions(tree.master + "/therm_bulk_read", fs::perms(0644), code);
    }
    return true;
}

void ServeW1Tree(const W1Tree& tree, ServeControl& control, void (*ready)()) {
    TreeKeeper(tree).serve(control, ready);
}

void RemoveW1Tree(const W1Tree& tree) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(tree.root, error)) {
        if (entry.is_symlink(error) &&
            fs::read_symlink(entry.path(), error).string().rfind("w1_bus_master1/", 0) == 0) {
            fs::remove(entry.path(), error);
        }
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(tree.master, error)) {
        releaseReader(entry.path().string() + "/w1_slave");
    }
    fs::remove_all(tree.master, error);
    if (tree.createdRoot) fs::remove(tree.root, error);
}

}  // namespace sim
