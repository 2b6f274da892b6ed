// The wire: reset pulses, time slots and their echoes, and the devices on it.
#include <algorithm>
#include <bit>

#include "busmodel/adapter_locked.h"
#include "busmodel/bus_state.h"
#include "platform/clock.h"

namespace busmodel {
namespace {

// A byte's low time is its start bit plus its leading 0 data bits (sent
// least significant first). At 9600 baud a bit lasts 104 us, so four or more
// 0 bits make a reset pulse of at least 521 us (480 us needed).
constexpr int ResetZeroBits = 4;
// At 115200 baud a bit lasts 8.7 us and devices sample the wire about 30 us
// into a slot: a low of up to three bit times reads as 1.
constexpr int WriteZeroBits = 3;
// A device answering 0 holds the wire through the first three data bits.
constexpr std::uint8_t ReadZeroMask = 0xF8;

int lowBits(std::uint8_t byte) {
    return byte == 0 ? 8 : std::countr_zero(byte);
}

std::vector<DeviceRuntime>::iterator findDevice(BusState& bus, const RomCode& rom) {
    return std::find_if(bus.devices.begin(), bus.devices.end(),
                        [&](const DeviceRuntime& d) { return d.config.rom == rom; });
}

// A device set to leave mid-search does so once it has taken part in its
// share of slots.
void dropLeavers(BusState& bus) {
    for (DeviceRuntime& device : bus.devices) {
        const std::int32_t limit = device.config.leaveAfterSearchSlots;
        const bool searching = device.phase == Phase::SearchId ||
                               device.phase == Phase::SearchComplement ||
                               device.phase == Phase::SearchDirection;
        if (limit >= 0 && searching && device.searchSlots >= limit) {
            device.config.present = false;
            device.config.leaveAfterSearchSlots = -1;
            device.phase = Phase::Idle;
        }
    }
}

// The presence pulse starts some 30 us after the wire is released and lasts
// 60-240 us: it clears the first 1 bit of the byte.
std::uint8_t resetPulse(BusState& bus, std::uint8_t byte) {
    ++bus.port.state.resets;
    bool presence = false;
    for (DeviceRuntime& device : bus.devices) presence = ResetDevice(device) || presence;
    if (!presence || byte == 0) return byte;
    return static_cast<std::uint8_t>(byte & ~(1u << lowBits(byte)));
}

std::uint8_t timeSlot(BusState& bus, std::uint8_t byte, bool longLow) {
    const std::uint64_t now = platform::ElapsedMs();
    dropLeavers(bus);
    const int masterBit = !longLow && lowBits(byte) < WriteZeroBits ? 1 : 0;
    bool pulled = false;
    for (DeviceRuntime& device : bus.devices) {
        if (device.config.present && PullsLow(device, now)) pulled = true;
    }
    const int line = masterBit != 0 && !pulled ? 1 : 0;
    for (DeviceRuntime& device : bus.devices) {
        if (device.config.present) SampleSlot(device, line, now);
    }
    return masterBit != 0 && pulled ? static_cast<std::uint8_t>(byte & ReadZeroMask) : byte;
}

constexpr std::uint8_t SearchRomCommand = 0xF0;
constexpr int SearchSlots = 64 * 3;

bool isResetPulse(std::uint8_t byte, std::uint32_t baud) {
    return baud == 9600 && lowBits(byte) >= ResetZeroBits;
}

// The bit the master writes in a slot (a read slot writes 1).
int masterBitOf(std::uint8_t byte, std::uint32_t baud) {
    return baud != 9600 && lowBits(byte) < WriteZeroBits ? 1 : 0;
}

bool glitchBeginsIn(const SearchGlitch& glitch, std::int32_t search) {
    if (glitch.kind == Glitch::None || search < glitch.atSearch) return false;
    if (search == glitch.atSearch) return true;
    return glitch.every > 0 && (search - glitch.atSearch) % glitch.every == 0;
}

// The glitch that holds the wire for this byte, if any: an armed search
// reaches its chosen bit, or one that began earlier has not yet run out.
Glitch glitchNow(BusState& bus, std::uint8_t byte, std::uint32_t baud, std::uint64_t nowMs) {
    GlitchWatch& watch = bus.glitch;
    const SearchGlitch& glitch = bus.faults.searchGlitch;
    if (watch.armed && !isResetPulse(byte, baud) && watch.searchSlots == glitch.afterBits * 3) {
        watch.armed = false;
        watch.active = true;
        watch.untilMs = nowMs + glitch.lastingMs;
        watch.slotsLeft = glitch.lastingBits * 3;
    }
    if (watch.active) {
        const bool over = glitch.lastingBits > 0 ? watch.slotsLeft == 0 : nowMs >= watch.untilMs;
        if (over) watch.active = false;
    }
    if (!watch.active) return Glitch::None;
    if (watch.slotsLeft > 0) --watch.slotsLeft;
    // Whatever the master was in the middle of is lost to the devices.
    watch.commandBits = -1;
    watch.searchSlots = -1;
    return glitch.kind;
}

// Follows the ROM command after every reset and the slots of a search.
void watchByte(BusState& bus, std::uint8_t byte, std::uint32_t baud) {
    GlitchWatch& watch = bus.glitch;
    if (isResetPulse(byte, baud)) {
        watch.commandBits = 0;
        watch.command = 0;
        watch.searchSlots = -1;
        watch.armed = false;
        return;
    }
    if (watch.commandBits >= 0) {
        watch.command = static_cast<std::uint8_t>((watch.command >> 1) |
                                                  (masterBitOf(byte, baud) != 0 ? 0x80 : 0));
        if (++watch.commandBits < 8) return;
        watch.commandBits = -1;
        if (watch.command != SearchRomCommand) return;
        ++watch.searches;
        watch.searchSlots = 0;
        watch.armed = glitchBeginsIn(bus.faults.searchGlitch, watch.searches);
        return;
    }
    if (watch.searchSlots >= 0 && ++watch.searchSlots >= SearchSlots) {
        watch.searchSlots = -1;
        watch.armed = false;
    }
}

bool unplugged(Faults& faults) {
    if (faults.noEcho || faults.echoesBeforeUnplug == 0) return true;
    if (faults.echoesBeforeUnplug > 0) --faults.echoesBeforeUnplug;
    return false;
}

}  // namespace

BusState& Bus() {
    static BusState bus;
    return bus;
}

void TransmitLocked(BusState& bus, std::uint8_t byte, std::uint32_t baud,
                    std::vector<std::uint8_t>& echoes) {
    const Glitch glitch = glitchNow(bus, byte, baud, platform::ElapsedMs());
    if (glitch == Glitch::NoEcho || unplugged(bus.faults)) return;
    ++bus.port.state.bytesWritten;
    if (bus.recording) bus.wireLog.push_back({byte, baud});
    std::uint8_t echo = 0;
    if (bus.faults.shorted || glitch == Glitch::Short) {
        echo = 0x00;
    } else if (baud == 9600) {
        // Shorter lows at 9600 baud (104-417 us) are long write-0 slots.
        echo = isResetPulse(byte, baud) ? resetPulse(bus, byte) : timeSlot(bus, byte, true);
    } else {
        echo = timeSlot(bus, byte, false);
    }
    if (glitch == Glitch::None && !bus.faults.shorted) watchByte(bus, byte, baud);
    if (!bus.script.empty() && bus.scriptDelay > 0) {
        --bus.scriptDelay;
    } else if (!bus.script.empty()) {
        echo = bus.script.front();
        bus.script.pop_front();
    }
    echoes.push_back(echo);
    if (bus.faults.doubleEcho) echoes.push_back(echo);
}

void Transmit(std::uint8_t byte, std::uint32_t baud, std::vector<std::uint8_t>& echoes) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    TransmitLocked(bus, byte, baud, echoes);
}

void ResetBus() {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    bus.devices.clear();
    bus.faults = Faults{};
    bus.glitch = GlitchWatch{};
    bus.script.clear();
    bus.scriptDelay = 0;
    bus.recording = false;
    bus.wireLog.clear();
    ResetAdapterLocked();
    bus.port.name = "COM1";
    const PortState before = bus.port.state;
    bus.port.state = PortState{};
    bus.port.state.open = before.open;
    bus.port.state.baud = before.baud;
    bus.port.state.dtr = before.dtr;
    bus.port.state.rts = before.rts;
}

void SetDevices(std::vector<Device> devices) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    bus.devices.clear();
    for (const Device& device : devices) bus.devices.push_back(PowerOn(device));
}

void AddDevice(const Device& device) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    bus.devices.push_back(PowerOn(device));
}

bool RemoveDevice(const RomCode& rom) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    auto it = findDevice(bus, rom);
    if (it == bus.devices.end()) return false;
    bus.devices.erase(it);
    return true;
}

bool ChangeDevice(const RomCode& rom, const std::function<void(Device&)>& change) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    auto it = findDevice(bus, rom);
    if (it == bus.devices.end()) return false;
    change(it->config);
    return true;
}

bool SetTemperature(const RomCode& rom, std::int16_t raw) {
    return ChangeDevice(rom, [raw](Device& d) { d.temperatureRaw = raw; });
}

std::vector<Device> Devices() {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    std::vector<Device> list;
    for (const DeviceRuntime& device : bus.devices) list.push_back(device.config);
    return list;
}

void SetFaults(const Faults& faults) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    bus.faults = faults;
    bus.glitch = GlitchWatch{};
    if (faults.adapterPulled && bus.port.id != 0) {
        bus.port.lostId = bus.port.id;
        bus.port.id = 0;
        bus.port.input.clear();
        bus.port.state.open = false;
    }
}

Faults CurrentFaults() {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    return bus.faults;
}

std::int32_t SearchCommandsSeen() {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    return bus.glitch.searches;
}

void RecordWire(bool on) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    bus.recording = on;
    if (on) bus.wireLog.clear();
}

std::vector<WireByte> WireLog() {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    return bus.wireLog;
}

void ScriptEchoes(std::vector<std::uint8_t> echoes, std::uint32_t afterBytes) {
    BusState& bus = Bus();
    std::lock_guard guard(bus.lock);
    bus.script.assign(echoes.begin(), echoes.end());
    bus.scriptDelay = afterBytes;
}

}  // namespace busmodel
