// The DS2480B serial line driver (DS9097U, LinkUSB, USB9097 and their kin) as
// a bus master. The chip times the 1-Wire slots itself; the host speaks to it
// at 9600 baud in command mode (resets, single bits, the search accelerator,
// pulses, parameters) and in data mode (whole bytes, 0xE3 doubled). Every
// operation is one write and one read of all its answers.
#include <algorithm>
#include <cstddef>
#include <iterator>

#include "onewire/bus_master.h"
#include "onewire/commands.h"
#include "onewire/echo_wait.h"
#include "onewire/port_adapter.h"
#include "onewire/primitives.h"
#include "onewire/status.h"

namespace onewire {
namespace {

// At 9600 baud a byte takes longer on the UART than the chip needs for it on
// the wire, so its one-byte input buffer cannot be overrun, whatever the
// burst. At 19200 baud and above a read's burst overruns it (the bus
// benchmark loses a byte in every read); sent byte by byte nothing is lost,
// but a read becomes 21 round trips: slower as soon as a USB adapter adds a
// millisecond to each, and without latency (a native port) faster by some
// 80 ms a pass of ten reads, beside a conversion of 750 ms. So the rate is
// not negotiated.
constexpr std::uint32_t ChipSpeed = 9600;

constexpr std::uint8_t ResetCommand = 0xC1;
constexpr std::uint8_t DataMode = 0xE1;
constexpr std::uint8_t CommandMode = 0xE3;
constexpr std::uint8_t PulseStop = 0xF1;
constexpr std::uint8_t SearchOn = 0xB1;
constexpr std::uint8_t SearchOff = 0xA1;
constexpr std::uint8_t BitCommand = 0x81;  // bit 4: the value, bit 1: pull-up after it
constexpr std::uint8_t BitValueOne = 0x10;
constexpr std::uint8_t BitPullUp = 0x02;
constexpr std::uint8_t PullUpUntilStopped = 0x3F;  // strong pull-up duration: infinite

// The peers' proven timing at standard speed: pull-down slew rate 1.37 V/us,
// write-1 low time 10 us, data sample offset 8 us; then the baud-rate
// parameter is read and one bit is sent. An echo can only clear bits of what
// was sent; the bit's answer sets bit 1, which no echo of 0x91 can.
constexpr std::uint8_t Calibration[] = {0x17, 0x45, 0x5B, 0x0F, 0x91};
constexpr std::uint8_t CalibrationAnswer[] = {0x16, 0x44, 0x5A, 0x00};
constexpr std::size_t CalibrationBytes = sizeof Calibration;

// Once five answers are in, the one or two that a running chip or a passive
// echo still owes follow within a byte time or two.
constexpr std::uint32_t TimingAnswerMs = 5;
// Five answers at 9600 baud take 5 ms; a USB adapter adds its latency.
constexpr std::uint32_t CalibrationLimitMs = 20;
// The supply off long enough for the chip to lose its state.
constexpr std::uint32_t PowerCycleMs = 10;

// One byte at 9600 baud is 1.04 ms on the UART, a 1-Wire byte 0.6 ms and a
// reset 1 ms on the wire; twice that per byte, plus a USB adapter's latency.
constexpr std::uint32_t limitFor(std::int32_t bytes) {
    return 2u * static_cast<std::uint32_t>(bytes) + 36u;
}

// A command or data burst and its answers; a search pass is the largest.
constexpr std::int32_t Capacity = 256;
// Above it a transfer goes in pieces, each its own round trip.
constexpr std::int32_t Piece = 64;

// What the host believes the chip is doing. Only the monitor thread drives the
// bus, so it carries no lock.
struct ChipState {
    bool calibrated = false;
    bool dataMode = false;
    bool pullUp = false;  // a strong pull-up holds the wire until stopped
};
ChipState chip;

struct Burst {
    std::uint8_t bytes[Capacity];
    std::int32_t count = 0;
    std::int32_t answers = 0;  // answers the chip owes for it
    std::int32_t skip = 0;     // leading answers that are not the operation's

    void put(std::uint8_t b) {
        if (count < Capacity) bytes[count++] = b;
    }
    void command() {
        if (chip.dataMode) put(CommandMode);
        chip.dataMode = false;
    }
    void data() {
        if (!chip.dataMode) put(DataMode);
        chip.dataMode = true;
    }
    void dataByte(std::uint8_t b) {
        put(b);
        if (b == CommandMode) put(b);  // a single 0xE3 would leave data mode
        ++answers;
    }
    // A reset pulse, answered by one byte that tells presence and short.
    void reset() {
        command();
        put(ResetCommand);
        ++answers;
    }
};

// Every burst first ends a strong pull-up that is still on: the stop command
// answers with one byte of its own.
Burst opening() {
    Burst burst;
    if (chip.pullUp) {
        burst.command();
        burst.put(PulseStop);
        ++burst.answers;
        ++burst.skip;
        chip.pullUp = false;
    }
    return burst;
}

// The chip took no part or answered out of step: it is calibrated again
// before the next operation.
bool lose() {
    chip.calibrated = false;
    discardInput();
    return fail(ExchangeError);
}

bool exchange(Burst& burst, std::uint8_t* answers) {
    const std::int32_t owed = burst.answers;
    const std::uint64_t start = elapsedMs();
    if (writePort(burst.bytes, burst.count) != burst.count) return lose();
    waitForEcho(owed, start, limitFor(burst.count + owed), EchoWait::Block);
    if (inputWaiting() != owed) return lose();
    if (readPort(answers, owed) != owed) return lose();
    return true;
}

// The timing byte and the parameters. true when the answer is the chip's;
// `garbled` when something answered that no echo could be.
bool matchesCalibration(const std::uint8_t* answer) {
    for (std::size_t i = 0; i < sizeof CalibrationAnswer; ++i) {
        if (answer[i] != CalibrationAnswer[i]) return false;
    }
    return (answer[4] & 0xFC) == 0x90;
}

bool calibrateOnce(bool leaveDataMode, bool& garbled) {
    garbled = false;
    if (!setSpeed(ChipSpeed)) return false;
    discardInput();
    chip = ChipState{};
    // The timing byte and the parameters in one write. A chip left in data
    // mode by an earlier program would take the reset as a data byte, so the
    // retry leaves data mode first.
    std::uint8_t sent[2 + CalibrationBytes] = {CommandMode, ResetCommand};
    std::copy(std::begin(Calibration), std::end(Calibration), sent + 2);
    const std::int32_t skip = leaveDataMode ? 0 : 1;
    const auto count = static_cast<std::int32_t>(sizeof sent) - skip;
    const std::uint8_t* out = sent + skip;
    const std::uint64_t start = elapsedMs();
    if (writePort(out, count) != count) return false;
    // A freshly powered chip answers only the parameters; a running one
    // answers the reset too, as a passive adapter echoes every byte. Those
    // answers come with the others, so a short wait for them suffices, and
    // none is left to arrive after the master is chosen.
    const auto params = static_cast<std::int32_t>(CalibrationBytes);
    waitForEcho(params, start, CalibrationLimitMs, EchoWait::Block);
    waitForEcho(count, elapsedMs(), TimingAnswerMs, EchoWait::Block);
    std::uint8_t answer[2 + CalibrationBytes]{};
    const std::int32_t got = inputWaiting();
    if (got < 1 || got > count) {
        discardInput();
        return false;
    }
    if (readPort(answer, got) != got) return false;
    // Aligned on the last bytes sent: an echo can only clear bits.
    for (std::int32_t i = 0; i < got; ++i) {
        if ((answer[i] & ~out[count - got + i]) != 0) garbled = true;
    }
    if (got < params || !matchesCalibration(answer + got - params)) return false;
    chip.calibrated = true;
    return true;
}

bool calibrate() {
    bool garbled = false;
    if (calibrateOnce(false, garbled)) return true;
    // A passive adapter echoes the bytes, each with at most some bits cleared
    // by the wire, or nothing when unplugged. Anything else is a chip that
    // hung at start or answers out of step: it comes back after a master
    // reset, its supply off and on again.
    if (!garbled) return false;
    setSupply(false);
    sleepMs(PowerCycleMs);
    setSupply(true);
    sleepMs(PowerCycleMs);
    return calibrateOnce(true, garbled);
}

bool ready() {
    if (!requirePort()) return false;
    if (!chip.calibrated && !calibrate()) return fail(ExchangeError);
    setStatus(Ok);
    return true;
}

bool attachDs2480() {
    chip = ChipState{};
    return calibrate();
}

// Bits 1-0 of the reset's answer.
ResetAnswer resetAnswer(std::uint8_t answer) {
    switch (answer & 0x03) {
        case 0:
            return ResetAnswer::Short;
        case 1:
            return ResetAnswer::Presence;
        case 2:
            return ResetAnswer::AlarmPresence;
        default:
            return ResetAnswer::NoPresence;
    }
}

bool validResetAnswer(std::uint8_t answer) {
    return (answer & 0xC0) == 0xC0;
}

bool judgeReset(std::uint8_t answer, ResetAnswer& result) {
    if (!validResetAnswer(answer)) return lose();
    result = resetAnswer(answer);
    if (result == ResetAnswer::NoPresence) return fail(NoResponse);
    return true;
}

bool resetDs2480(ResetAnswer& result) {
    result = ResetAnswer::NoPresence;
    if (!ready()) return false;
    Burst burst = opening();
    burst.reset();
    std::uint8_t answers[Capacity];
    if (!exchange(burst, answers)) return false;
    return judgeReset(answers[burst.skip], result);
}

bool touchBitsDs2480(std::uint8_t* bits, std::int32_t count) {
    if (bits == nullptr || count < 1 || count >= 8 * MaxTransferBytes) return fail(BadArgument);
    if (!ready()) return false;
    for (std::int32_t done = 0; done < count;) {
        const std::int32_t n = count - done < Piece ? count - done : Piece;
        Burst burst = opening();
        burst.command();
        for (std::int32_t i = 0; i < n; ++i) {
            burst.put(
                static_cast<std::uint8_t>(BitCommand | (bits[done + i] != 0 ? BitValueOne : 0)));
            ++burst.answers;
        }
        std::uint8_t answers[Capacity];
        if (!exchange(burst, answers)) return false;
        for (std::int32_t i = 0; i < n; ++i)
            bits[done + i] = (answers[burst.skip + i] & 0x03) == 0x03;
        done += n;
    }
    return true;
}

int touchBitDs2480(int bit) {
    std::uint8_t value = bit != 0 ? 1 : 0;
    if (!touchBitsDs2480(&value, 1)) return 1;
    return value;
}

// Bytes in data mode: `write` bytes sent as given, then `read` read slots.
bool dataBytes(const std::uint8_t* write, std::int32_t writeCount, std::uint8_t* read,
               std::int32_t readCount) {
    if (!ready()) return false;
    Burst burst = opening();
    burst.data();
    for (std::int32_t i = 0; i < writeCount; ++i) burst.dataByte(write[i]);
    for (std::int32_t i = 0; i < readCount; ++i) burst.dataByte(0xFF);
    std::uint8_t answers[Capacity];
    if (!exchange(burst, answers)) return false;
    for (std::int32_t i = 0; i < readCount; ++i) read[i] = answers[burst.skip + writeCount + i];
    return true;
}

bool validTransfer(const void* data, std::int32_t n) {
    return data != nullptr && n >= 1 && n < MaxTransferBytes;
}

bool writeBytesDs2480(const std::uint8_t* data, std::int32_t n) {
    if (!validTransfer(data, n)) return fail(BadArgument);
    for (std::int32_t done = 0; done < n; done += Piece) {
        const std::int32_t count = n - done < Piece ? n - done : Piece;
        if (!dataBytes(data + done, count, nullptr, 0)) return false;
    }
    return true;
}

bool readBytesDs2480(std::uint8_t* data, std::int32_t n) {
    if (!validTransfer(data, n)) return fail(BadArgument);
    for (std::int32_t done = 0; done < n; done += Piece) {
        const std::int32_t count = n - done < Piece ? n - done : Piece;
        if (!dataBytes(nullptr, 0, data + done, count)) return false;
    }
    return true;
}

bool writeThenReadDs2480(const std::uint8_t* command, std::int32_t commandBytes, std::uint8_t* data,
                         std::int32_t n) {
    if (!validTransfer(command, commandBytes) || !validTransfer(data, n) ||
        commandBytes + n > Piece) {
        return fail(BadArgument);
    }
    return dataBytes(command, commandBytes, data, n);
}

bool resetWriteThenReadDs2480(const std::uint8_t* command, std::int32_t commandBytes,
                              std::uint8_t* data, std::int32_t n) {
    if (!validTransfer(command, commandBytes) || !validTransfer(data, n) ||
        commandBytes + n > Piece) {
        return fail(BadArgument);
    }
    if (!ready()) return false;
    Burst burst = opening();
    burst.reset();
    burst.data();
    for (std::int32_t i = 0; i < commandBytes; ++i) burst.dataByte(command[i]);
    for (std::int32_t i = 0; i < n; ++i) burst.dataByte(0xFF);
    std::uint8_t answers[Capacity];
    if (!exchange(burst, answers)) return false;
    ResetAnswer reset = ResetAnswer::NoPresence;
    if (!judgeReset(answers[burst.skip], reset)) return false;
    for (std::int32_t i = 0; i < n; ++i) data[i] = answers[burst.skip + 1 + commandBytes + i];
    setStatus(Ok);
    return true;
}

int romBit(const RomCode& rom, int index) {
    return (rom[static_cast<std::size_t>(index / 8)] >> (index % 8)) & 1;
}

// One pass with the accelerator: the reset, Search ROM, 16 bytes that carry
// the direction for each discrepancy, and back to command mode, as one write.
bool searchPassDs2480(const SearchState& state, RomCode& rom, int& lastZero) {
    lastZero = 0;
    if (!ready()) return false;
    Burst burst = opening();
    burst.reset();
    burst.data();
    burst.dataByte(SearchRomCommand);
    burst.command();
    burst.put(SearchOn);
    burst.data();
    std::uint8_t directions[16]{};
    for (int n = 0; n < 64; ++n) {
        const int bitNumber = n + 1;
        int wanted = 0;
        if (bitNumber < state.lastDiscrepancy) wanted = romBit(state.rom, n);
        if (bitNumber == state.lastDiscrepancy) wanted = 1;
        directions[n / 4] |= static_cast<std::uint8_t>(wanted << ((n % 4) * 2 + 1));
    }
    for (std::uint8_t b : directions) burst.dataByte(b);
    burst.command();
    burst.put(SearchOff);
    std::uint8_t answers[Capacity];
    if (!exchange(burst, answers)) return false;
    ResetAnswer reset = ResetAnswer::NoPresence;
    if (!judgeReset(answers[burst.skip], reset)) return false;
    // A wire held low answers every bit with a discrepancy, so the search
    // would deliver one invented code after another: there is nobody to find.
    if (reset == ResetAnswer::Short) return fail(NoResponse);
    const std::uint8_t* result = &answers[burst.skip + 2];
    rom = RomCode{};
    bool allOnes = true;
    for (int n = 0; n < 64; ++n) {
        const int shift = (n % 4) * 2;
        const int discrepancy = (result[n / 4] >> shift) & 1;
        const int taken = (result[n / 4] >> (shift + 1)) & 1;
        const int wanted = (directions[n / 4] >> (shift + 1)) & 1;
        // A flagged bit taken 1 where 0 was asked for: both answers were 1,
        // nobody was left on the bus.
        if (discrepancy != 0 && taken != wanted) return fail(SearchError);
        if (discrepancy != 0 && taken == 0) lastZero = n + 1;
        allOnes = allOnes && taken == 1;
        rom[static_cast<std::size_t>(n / 8)] |= static_cast<std::uint8_t>(taken << (n % 8));
    }
    if (allOnes) return fail(SearchError);
    return true;
}

// Convert T and the like: the byte as eight single bits, the last one
// leaving the strong pull-up on, which the next operation stops.
bool writeBytePoweredDs2480(std::uint8_t value) {
    if (!ready()) return false;
    Burst burst = opening();
    burst.command();
    burst.put(PullUpUntilStopped);
    ++burst.answers;
    for (int bit = 0; bit < 8; ++bit) {
        burst.put(static_cast<std::uint8_t>(BitCommand |
                                            (((value >> bit) & 1) != 0 ? BitValueOne : 0) |
                                            (bit == 7 ? BitPullUp : 0)));
        ++burst.answers;
    }
    std::uint8_t answers[Capacity];
    if (!exchange(burst, answers)) return false;
    chip.pullUp = true;
    return true;
}

constexpr BusMaster Ds2480{
    .name = "DS2480B",
    .attach = attachDs2480,
    .reset = resetDs2480,
    .touchBit = touchBitDs2480,
    .touchBits = touchBitsDs2480,
    .writeBytes = writeBytesDs2480,
    .readBytes = readBytesDs2480,
    .writeThenRead = writeThenReadDs2480,
    .searchPass = searchPassDs2480,
    .resetWriteThenRead = resetWriteThenReadDs2480,
    .writeBytePowered = writeBytePoweredDs2480,
};

}  // namespace

const BusMaster& ds2480Master() {
    return Ds2480;
}

}  // namespace onewire
