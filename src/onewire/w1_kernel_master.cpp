// The Linux kernel's w1 stack as a bus master. The kernel drives the wire
// itself (DS9490R, w1-gpio, DS2482) and shows the result as files, so this
// master works at the level of transactions: it follows the ROM layer's
// bytes after each reset (Match ROM and a code, or Skip ROM, then one
// function command) and answers them from the master's and slaves' files.
// Single time slots or searches by slots fit no file: they fail with status
// 6 instead of inventing what the wire would have said.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "onewire/commands.h"
#include "onewire/kernel_master.h"
#include "onewire/port_adapter.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "onewire/w1_kernel_files.h"
#include "platform/port_entry.h"

namespace onewire {
namespace {

constexpr int RomBits = 64;

// The kernel's store of therm_bulk_read takes exactly "trigger" and its
// newline, as `echo trigger` writes it, and returns once every thermometer
// has had its conversion time (750 ms at 12 bits). A reader of the file sees
// -1 meanwhile, then 1 until every result was read, then 0.
constexpr char BulkTrigger[] = "trigger\n";
// Anything but 0 or 1 is waited out this long, in steps, from the first read
// after the trigger: twice the longest conversion, so a bulk read the kernel
// holds up is not taken for a finished one.
constexpr std::uint32_t BulkWaitLimitMs = 1500;
constexpr std::uint32_t BulkWaitStepMs = 10;

// Where the bytes after a reset have got to.
enum class Phase : std::uint8_t {
    Idle,        // no reset since the last function command
    RomCommand,  // after a reset with presence
    MatchCode,   // after Match ROM: `codeBytes` of the code so far
    Selected,    // a slave (or all of them) awaits its function command
    Scratchpad,  // Read Scratchpad: `scratchpad` is what the read slots give
    Supply,      // Read Power Supply: the next read slot answers
};

// The bus the kernel master opened. Only the monitor thread uses it.
struct KernelBus {
    std::string folder;               // the master's folder as reached by the port name
    std::string openedName;           // the port name that last reached a kernel master
    std::vector<std::string> listed;  // slave folders at the last reset
    // The codes the last search read from id files, with their folders: a
    // folder whose name is not its code's (never the kernel's) is still found.
    std::vector<W1Slave> searched;
    Phase phase = Phase::Idle;
    bool all = false;   // Skip ROM: every slave
    std::string slave;  // the slave matched; empty when nobody has the code
    RomCode code{};
    int codeBytes = 0;
    std::array<std::uint8_t, 9> scratchpad{};
    int scratchpadRead = 0;
    bool bulkPending = false;  // a trigger was written; its completion not yet seen
};
KernelBus bus;

// false where the file is missing (before kernel 5.10, or on a second
// master: the kernel makes it on the master of the first thermometer only)
// or not writable for this user (it is 0644 root:root unless a udev rule
// opens it up): each thermometer is then converted by its own read.
bool triggerBulkConversion() {
    const std::string path = bus.folder + "/therm_bulk_read";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const auto size = static_cast<ssize_t>(sizeof BulkTrigger - 1);
    const bool written = ::write(fd, BulkTrigger, static_cast<std::size_t>(size)) == size;
    ::close(fd);
    return written;
}

bool bulkConversionDone() {
    std::string text;
    if (!readW1File(bus.folder + "/therm_bulk_read", text)) return true;
    return text.rfind("0", 0) == 0 || text.rfind("1", 0) == 0;
}

void awaitBulkConversion() {
    if (!bus.bulkPending) return;
    bus.bulkPending = false;
    for (std::uint32_t waited = 0; waited < BulkWaitLimitMs && !bulkConversionDone();
         waited += BulkWaitStepMs) {
        sleepMs(BulkWaitStepMs);
    }
}

// What the read slots after Read Scratchpad carry. A slave that is gone, or
// whose read came back empty (the kernel's conversion failed), answers
// nothing: nine 0xFF bytes, as no device drives a read slot on a wire. The
// bytes of a read the kernel judged corrupt ("crc=NO") go on for the ROM
// layer's own CRC check to judge again.
void fetchScratchpad() {
    bus.scratchpad.fill(0xFF);
    bus.scratchpadRead = 0;
    std::string slave = bus.slave;
    // Skip ROM and Read Scratchpad reach one device unharmed only when it is alone.
    if (bus.all && bus.listed.size() == 1) slave = bus.listed.front();
    if (slave.empty()) return;
    awaitBulkConversion();
    std::array<std::uint8_t, 9> bytes{};
    const W1SlaveAnswer answer = readW1Scratchpad(bus.folder + "/" + slave, bytes);
    if (answer == W1SlaveAnswer::NoAnswer) return;
    // The kernel's verdict stands: a read it called corrupt must not pass
    // the check here by some odd line.
    if (answer == W1SlaveAnswer::CrcFailed && crc8(bytes.data(), 8) == bytes[8]) {
        bytes[8] = static_cast<std::uint8_t>(~bytes[8]);
    }
    bus.scratchpad = bytes;
}

bool takeRomCommand(std::uint8_t byte) {
    if (byte == MatchRomCommand) {
        bus.phase = Phase::MatchCode;
        bus.codeBytes = 0;
        return true;
    }
    if (byte == SkipRomCommand) {
        bus.all = true;
        bus.phase = Phase::Selected;
        return true;
    }
    return fail(BadArgument);
}

// The folder of the slave with `code`, as the last search found it, else
// as the kernel names it.
std::string folderOf(const RomCode& code) {
    for (const W1Slave& slave : bus.searched) {
        if (slave.rom == code) return slave.folder;
    }
    return w1SlaveName(code);
}

// A code that no listed slave has, or whose CRC byte is wrong, matches
// nobody, as on a wire.
void takeCodeByte(std::uint8_t byte) {
    bus.code[static_cast<std::size_t>(bus.codeBytes++)] = byte;
    if (bus.codeBytes < 8) return;
    const std::string name = folderOf(bus.code);
    const bool listed = std::find(bus.listed.begin(), bus.listed.end(), name) != bus.listed.end();
    bus.slave = listed && crc8(bus.code.data(), 7) == bus.code[7] ? name : std::string();
    bus.all = false;
    bus.phase = Phase::Selected;
}

bool takeFunctionCommand(std::uint8_t byte) {
    switch (byte) {
        case ConvertTCommand:
            // One device's conversion happens at its read; so does everyone's
            // where no bulk conversion can be asked for.
            if (bus.all && triggerBulkConversion()) bus.bulkPending = true;
            bus.phase = Phase::Idle;
            return true;
        case ReadScratchpadCommand:
            fetchScratchpad();
            bus.phase = Phase::Scratchpad;
            return true;
        case ReadPowerSupplyCommand:
            bus.phase = Phase::Supply;
            return true;
        default:
            bus.phase = Phase::Idle;
            return fail(BadArgument);
    }
}

bool attachKernel() {
    return true;
}

bool resetKernel(ResetAnswer& answer) {
    answer = ResetAnswer::NoPresence;
    bus.phase = Phase::Idle;
    bus.all = false;
    bus.slave.clear();
    if (!readW1SlaveNames(bus.folder, bus.listed)) return fail(ExchangeError);
    // "not found.": the kernel's last search met nobody.
    if (bus.listed.empty()) return fail(NoResponse);
    answer = ResetAnswer::Presence;
    bus.phase = Phase::RomCommand;
    setStatus(Ok);
    return true;
}

bool writeKernel(const std::uint8_t* data, std::int32_t n) {
    if (data == nullptr || n < 1) return fail(BadArgument);
    for (std::int32_t i = 0; i < n; ++i) {
        bool taken = true;
        switch (bus.phase) {
            case Phase::RomCommand:
                taken = takeRomCommand(data[i]);
                break;
            case Phase::MatchCode:
                takeCodeByte(data[i]);
                break;
            case Phase::Selected:
                taken = takeFunctionCommand(data[i]);
                break;
            default:
                taken = fail(BadArgument);
                break;
        }
        if (!taken) return false;
    }
    setStatus(Ok);
    return true;
}

bool readKernel(std::uint8_t* data, std::int32_t n) {
    if (data == nullptr || n < 1 || bus.phase != Phase::Scratchpad) return fail(BadArgument);
    for (std::int32_t i = 0; i < n; ++i) {
        const bool inside = bus.scratchpadRead < static_cast<int>(bus.scratchpad.size());
        // Read slots beyond the scratchpad are driven by nobody.
        data[i] = inside ? bus.scratchpad[static_cast<std::size_t>(bus.scratchpadRead++)] : 0xFF;
    }
    setStatus(Ok);
    return true;
}

// Only the read slot after Read Power Supply has a file behind it. A slave
// that is not listed answers 1, as nobody pulls a wire's slot low; one whose
// ext_power cannot be read gives status 3 (the supply check failed).
int touchBitKernel(int bit) {
    if (bus.phase != Phase::Supply || bit == 0 || bus.all) {
        setStatus(BadArgument);
        return 1;
    }
    bus.phase = Phase::Idle;
    setStatus(Ok);
    if (bus.slave.empty()) return 1;
    const int power = readW1ExtPower(bus.folder + "/" + bus.slave);
    if (power < 0) {
        setStatus(ExchangeError);
        return 1;
    }
    return power;
}

bool touchBitsKernel(std::uint8_t*, std::int32_t) {
    return fail(BadArgument);
}

bool writeThenReadKernel(const std::uint8_t* command, std::int32_t commandBytes, std::uint8_t* data,
                         std::int32_t n) {
    return writeKernel(command, commandBytes) && readKernel(data, n);
}

bool resetWriteThenReadKernel(const std::uint8_t* command, std::int32_t commandBytes,
                              std::uint8_t* data, std::int32_t n) {
    ResetAnswer answer = ResetAnswer::NoPresence;
    return resetKernel(answer) && writeThenReadKernel(command, commandBytes, data, n);
}

int romBit(const RomCode& rom, int bitNumber) {
    const int index = bitNumber - 1;
    return (rom[static_cast<std::size_t>(index / 8)] >> (index % 8)) & 1;
}

// The pass a wire's binary search would make along `state`'s path over the
// listed codes: the wired-AND of the bits still taking part, the previous
// path below its last 0 branch, 1 at it and 0 beyond. So the codes come in
// the ROM layer's order and the search ends as on a wire.
bool searchPassKernel(const SearchState& state, RomCode& rom, int& lastZero) {
    lastZero = 0;
    ResetAnswer answer = ResetAnswer::NoPresence;
    if (!resetKernel(answer)) return false;
    bus.phase = Phase::Idle;
    if (!listW1SlaveFolders(bus.folder, bus.searched)) return fail(ExchangeError);
    std::vector<RomCode> codes;
    for (const W1Slave& slave : bus.searched) codes.push_back(slave.rom);
    if (codes.empty()) return fail(NoResponse);
    for (int bitNumber = 1; bitNumber <= RomBits; ++bitNumber) {
        bool anyZero = false;
        bool anyOne = false;
        for (const RomCode& code : codes) (romBit(code, bitNumber) != 0 ? anyOne : anyZero) = true;
        int direction = anyOne ? 1 : 0;
        if (anyZero && anyOne) {
            if (bitNumber < state.lastDiscrepancy) {
                direction = romBit(state.rom, bitNumber);
            } else {
                direction = bitNumber == state.lastDiscrepancy ? 1 : 0;
            }
            if (direction == 0) lastZero = bitNumber;
        }
        codes.erase(std::remove_if(
                        codes.begin(), codes.end(),
                        [&](const RomCode& code) { return romBit(code, bitNumber) != direction; }),
                    codes.end());
    }
    rom = codes.front();
    setStatus(Ok);
    return true;
}

// The folder went away with its adapter (a DS9490R pulled out, its module
// unloaded), or the entry now leads elsewhere.
bool lostKernel() {
    return !isW1MasterFolder(bus.folder);
}

void detachKernel() {
    bus.folder.clear();
    bus.listed.clear();
    bus.searched.clear();
    bus.phase = Phase::Idle;
    bus.bulkPending = false;
}

constexpr BusMaster Kernel{
    .name = "w1 kernel",
    .attach = attachKernel,
    .reset = resetKernel,
    .touchBit = touchBitKernel,
    .touchBits = touchBitsKernel,
    .writeBytes = writeKernel,
    .readBytes = readKernel,
    .writeThenRead = writeThenReadKernel,
    .searchPass = searchPassKernel,
    .resetWriteThenRead = resetWriteThenReadKernel,
    .writeBytePowered = nullptr,
    .lost = lostKernel,
    .detach = detachKernel,
};

}  // namespace

KernelOpen openKernelMaster(std::string_view name, bool again, const BusMaster*& master) {
    const std::string path = platform::PortEntryPath(name);
    if (!path.empty() && isW1MasterFolder(path)) {
        detachKernel();
        bus.folder = path;
        bus.openedName = std::string(name);
        master = &Kernel;
        return KernelOpen::Opened;
    }
    if (again && !bus.openedName.empty() && bus.openedName == name) return KernelOpen::Failed;
    bus.openedName.clear();
    return KernelOpen::NotKernel;
}

}  // namespace onewire
