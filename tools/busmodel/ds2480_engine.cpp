// A DS2480B serial 1-Wire line driver in front of the simulated wire. It
// starts in command mode at 9600 baud and takes its first byte as the timing
// byte; commands (reset, single bits, search accelerator, pulses,
// configuration) answer in command mode, bytes in data mode are eight time
// slots each, and 0xE3 leaves data mode unless it is doubled.
#include "busmodel/ds2480_engine.h"

#include <array>
#include <mutex>

#include "busmodel/adapter_locked.h"

namespace busmodel {
namespace {

constexpr std::uint8_t DataModeCommand = 0xE1;
constexpr std::uint8_t CommandModeCommand = 0xE3;
constexpr std::uint8_t PulseStop = 0xF1;

// Configuration parameter codes (bits 6-4 of a configuration command).
constexpr int ParamPullUpDuration = 3;
constexpr int ParamBaud = 7;
constexpr std::uint8_t DurationInfinite = 7;

// Reset answers in bits 1-0, the chip revision of a DS2480B in bits 4-2.
constexpr std::uint8_t ResetAnswerBase = 0xCC;
constexpr std::uint8_t ShortCode = 0x00;
constexpr std::uint8_t PresenceCode = 0x01;
constexpr std::uint8_t NoPresenceCode = 0x03;

constexpr std::size_t SearchBlockBytes = 16;

// 1-Wire times at standard and overdrive speed; at flexible speed a slot
// stretches with the write-1 low time and the data sample offset.
constexpr std::int64_t Us = 1000;
constexpr std::int64_t ResetNs = 1096 * Us;  // 512 us low, 584 us high
constexpr std::int64_t OverdriveResetNs = 138 * Us;
constexpr std::int64_t SlotNs = 60 * Us;
constexpr std::int64_t OverdriveSlotNs = 10 * Us;
constexpr int ParamWrite1Low = 4;
constexpr int ParamSampleOffset = 5;
constexpr std::uint8_t SpeedFlexible = 1;
constexpr std::uint8_t SpeedOverdrive = 2;
// Strong pull-up durations by value code (ms); 6 is undefined, 7 infinite.
constexpr std::int64_t PullUpMs[] = {16, 66, 131, 262, 524, 1048, 0, 0};

struct Chip {
    Adapter adapter = Adapter::Passive;
    bool timed = false;  // the timing byte after power-up was taken
    bool dataMode = false;
    bool escape = false;  // data mode: an 0xE3 waits for the next byte
    bool searchOn = false;
    std::uint8_t speed = 0;  // bits 3-2 of the last reset, bit or search command
    std::int64_t wireNs = 0;  // 1-Wire time of the byte being taken
    bool armed = false;   // strong pull-up after every data byte
    bool pullUp = false;  // a strong pull-up holds the wire now
    int deferred = -1;    // the answer of a pulse that ends with the next byte
    std::array<std::uint8_t, 8> params{};
    std::size_t searchBytes = 0;  // bytes of the running accelerated pass
    Ds2480Counters counters;
    bool hangNext = false;  // the next power-up hangs the chip
    bool hung = false;
};

// Guarded by the bus lock, like the wire it drives.
Chip chip;

std::uint32_t chipBaud() {
    // Codes 4-7 are the same rates with the serial lines inverted.
    switch (chip.params[ParamBaud] & 3) {
        case 1:
            return 19200;
        case 2:
            return 57600;
        case 3:
            return 115200;
        default:
            return 9600;
    }
}

// The power-on state: command mode, 9600 baud, waiting for the timing byte.
void masterReset() {
    const Ds2480Counters counters = chip.counters;
    const Adapter adapter = chip.adapter;
    const bool hang = chip.hangNext;
    chip = Chip{};
    chip.adapter = adapter;
    chip.counters = counters;
    chip.hung = hang;
    chip.counters.chipBaud = 9600;
    chip.params[ParamPullUpDuration] = 4;  // 524 ms after power-up
}

void setSpeed(std::uint8_t command) {
    chip.speed = static_cast<std::uint8_t>((command >> 2) & 3);
}

std::int64_t slotNs(int bit) {
    if (chip.speed == SpeedOverdrive) return OverdriveSlotNs;
    if (chip.speed != SpeedFlexible) return SlotNs;
    const std::int64_t offset = 3 + chip.params[ParamSampleOffset];
    return (bit != 0 ? (8 + chip.params[ParamWrite1Low]) + offset + 49 : 57 + offset) * Us;
}

// The chip answers nothing while it has no power or no port behind it.
bool silent(const BusState& bus) {
    return bus.faults.noEcho || bus.faults.echoesBeforeUnplug == 0;
}

// The wire's reset through the passive model: an unchanged 0xF0 is no
// presence, 0x00 a wire held low.
std::uint8_t wireReset(BusState& bus) {
    chip.wireNs += chip.speed == SpeedOverdrive ? OverdriveResetNs : ResetNs;
    std::vector<std::uint8_t> echo;
    TransmitLocked(bus, 0xF0, 9600, echo);
    if (echo.empty() || echo[0] == 0xF0) return NoPresenceCode;
    if (echo[0] == 0x00) return ShortCode;
    return PresenceCode;
}

int wireSlot(BusState& bus, int bit) {
    chip.wireNs += slotNs(bit);
    std::vector<std::uint8_t> echo;
    TransmitLocked(bus, bit != 0 ? 0xFF : 0x00, 115200, echo);
    return !echo.empty() && echo[0] == 0xFF ? 1 : 0;
}

std::uint8_t wireByte(BusState& bus, std::uint8_t value) {
    unsigned read = 0;
    for (int bit = 0; bit < 8; ++bit) {
        read |= static_cast<unsigned>(wireSlot(bus, (value >> bit) & 1)) << bit;
    }
    return static_cast<std::uint8_t>(read);
}

void startPullUp() {
    chip.pullUp = true;
    ++chip.counters.pullUps;
}

// Four ROM bits of an accelerated search pass per data byte, as the chip
// answers each byte once its twelve slots are done: the host's byte carries
// the direction to take at each discrepancy (odd bits), the answer the path
// taken (odd bits) and where the devices disagreed (even bits).
std::uint8_t searchQuarter(BusState& bus, std::uint8_t directions) {
    unsigned out = 0;
    for (int n = 0; n < 4; ++n) {
        const int shift = n * 2;
        const int wanted = (directions >> (shift + 1)) & 1;
        const int id = wireSlot(bus, 1);
        const int cmp = wireSlot(bus, 1);
        int discrepancy = 0;
        int direction = id;
        if (id == cmp) {
            discrepancy = 1;
            direction = id == 0 ? wanted : 1;
        }
        (void)wireSlot(bus, direction);
        out |= static_cast<unsigned>((discrepancy << shift) | (direction << (shift + 1)));
    }
    return static_cast<std::uint8_t>(out);
}

void dataByte(BusState& bus, std::uint8_t value, std::vector<std::uint8_t>& answers) {
    if (chip.searchOn) {
        // A pass is counted at its first byte; after sixteen the next byte
        // begins another, as on the chip.
        if (chip.searchBytes == 0) ++chip.counters.searchPasses;
        chip.searchBytes = (chip.searchBytes + 1) % SearchBlockBytes;
        answers.push_back(searchQuarter(bus, value));
        return;
    }
    answers.push_back(wireByte(bus, value));
    if (chip.armed) startPullUp();
}

void configuration(std::uint8_t command, std::vector<std::uint8_t>& answers) {
    const int param = (command >> 4) & 7;
    if (param == 0) {
        // A read: bits 3-1 name the parameter, the answer carries its value there.
        answers.push_back(static_cast<std::uint8_t>(chip.params[(command >> 1) & 7] << 1));
        return;
    }
    chip.params[static_cast<std::size_t>(param)] = static_cast<std::uint8_t>((command >> 1) & 7);
    answers.push_back(static_cast<std::uint8_t>(command & 0xFE));
    if (param == ParamBaud) chip.counters.chipBaud = chipBaud();
}

void pulse(std::uint8_t command, std::vector<std::uint8_t>& answers) {
    chip.armed = (command & 0x02) != 0;
    const auto answer = static_cast<std::uint8_t>(command & 0xFC);
    // Bit 4 asks for the 12 V programming pulse, which this adapter lacks:
    // it answers at once and the wire stays as it is.
    if ((command & 0x10) == 0 && chip.params[ParamPullUpDuration] == DurationInfinite) {
        startPullUp();
        chip.deferred = answer;
        return;
    }
    // A timed pull-up answers when its time is over.
    if ((command & 0x10) == 0) chip.wireNs += PullUpMs[chip.params[ParamPullUpDuration]] * 1000 * Us;
    answers.push_back(answer);
}

void command(BusState& bus, std::uint8_t byte, std::vector<std::uint8_t>& answers) {
    if (byte == DataModeCommand) {
        chip.dataMode = true;
        return;
    }
    if (byte == CommandModeCommand) return;
    if ((byte & 0x80) == 0) {
        configuration(byte, answers);
        return;
    }
    switch ((byte >> 5) & 3) {
        case 0: {  // a single time slot, bit 4 the value written
            setSpeed(byte);
            const int read = wireSlot(bus, (byte >> 4) & 1);
            answers.push_back(static_cast<std::uint8_t>((byte & 0xFC) | (read != 0 ? 3 : 0)));
            if ((byte & 0x02) != 0) startPullUp();
            return;
        }
        case 1:  // search accelerator on (bit 4) or off
            chip.searchOn = (byte & 0x10) != 0;
            chip.searchBytes = 0;
            setSpeed(byte);
            return;
        case 2:
            setSpeed(byte);
            answers.push_back(static_cast<std::uint8_t>(ResetAnswerBase | wireReset(bus)));
            return;
        default:
            pulse(byte, answers);
            return;
    }
}

// Any byte ends a strong pull-up; a pulse that waited for it answers now,
// and the stop command that ended it is taken up by it.
bool endPullUp(std::uint8_t byte, std::vector<std::uint8_t>& answers) {
    if (!chip.pullUp) return false;
    chip.pullUp = false;
    ++chip.counters.pullUpsEnded;
    if (chip.deferred < 0) return false;
    answers.push_back(static_cast<std::uint8_t>(chip.deferred));
    chip.deferred = -1;
    return byte == PulseStop;
}

void ds2480Byte(BusState& bus, std::uint8_t byte, std::uint32_t baud,
                std::vector<std::uint8_t>& answers) {
    if (silent(bus)) return;
    if (chip.hung) {
        answers.push_back(0xFF);
        return;
    }
    if (chip.timed && baud != chipBaud()) {
        // A host back at 9600 baud stands for the break that resets the chip;
        // at any other mismatch the chip hears only framing errors.
        if (baud != 9600) return;
        masterReset();
    }
    if (!chip.timed) {
        if (baud != 9600) return;
        chip.timed = true;
        ++chip.counters.masterResets;
        // The timing byte is only measured, never answered; a reset command
        // still resets the wire.
        if (byte == 0xC1) (void)wireReset(bus);
        return;
    }
    if (endPullUp(byte, answers)) return;
    if (chip.dataMode) {
        if (chip.escape) {
            chip.escape = false;
            if (byte == CommandModeCommand) {
                dataByte(bus, byte, answers);
                return;
            }
            chip.dataMode = false;
            command(bus, byte, answers);
            return;
        }
        if (byte == CommandModeCommand) {
            chip.escape = true;
            return;
        }
        dataByte(bus, byte, answers);
        return;
    }
    command(bus, byte, answers);
}

}  // namespace

std::int64_t HostByteLocked(BusState& bus, std::uint8_t byte, std::uint32_t baud,
                            std::vector<std::uint8_t>& answers) {
    if (chip.adapter == Adapter::Passive) {
        TransmitLocked(bus, byte, baud, answers);
        return 0;
    }
    chip.wireNs = 0;
    ds2480Byte(bus, byte, baud, answers);
    return chip.wireNs;
}

void PowerUpAdapterLocked() {
    masterReset();
}

void ResetAdapterLocked() {
    chip = Chip{};
}

void SetAdapter(Adapter adapter) {
    std::lock_guard guard(Bus().lock);
    chip = Chip{};
    chip.adapter = adapter;
    masterReset();
}

Adapter CurrentAdapter() {
    std::lock_guard guard(Bus().lock);
    return chip.adapter;
}

std::int64_t HostByte(std::uint8_t byte, std::uint32_t baud, std::vector<std::uint8_t>& answers) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    return HostByteLocked(bus, byte, baud, answers);
}

void PowerUpAdapter() {
    std::lock_guard guard(Bus().lock);
    masterReset();
}

void HangAdapterAtNextPowerUp() {
    std::lock_guard guard(Bus().lock);
    chip.hangNext = true;
}

Ds2480Counters CurrentDs2480Counters() {
    std::lock_guard guard(Bus().lock);
    return chip.counters;
}

}  // namespace busmodel
