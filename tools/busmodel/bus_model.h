#pragma once
// A simulated 1-Wire bus behind a simulated serial adapter, modelled at the
// UART byte level: at 9600 baud every byte written is a reset pulse, at 115200
// baud a time slot, and the echo is the wired-AND of the master and every
// device. The in-process serial port (SerialOps) lets the real 1-Wire library
// run against it; kelvarian-sim serves the same bus on a pseudo-terminal.
//
// One bus per process. Every function here locks the bus, so a test thread may
// change devices and faults while another thread (a monitor) is using it.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "onewire/rom_code.h"

namespace platform {
struct SerialPortOps;
}

namespace busmodel {

using onewire::RomCode;

inline constexpr std::uint8_t FamilyDs18s20 = 0x10;
inline constexpr std::uint8_t FamilyDs18b20 = 0x28;
inline constexpr std::uint8_t FamilyDs1822 = 0x22;
inline constexpr std::uint8_t FamilyDs28ea00 = 0x42;

enum class Power : std::uint8_t { External, Parasite };

// How a corrupt scratchpad read is damaged. CRC-8 detects every one of them:
// any error in a single bit, and any error confined to one byte (a burst of
// at most 8 bits).
enum class Damage : std::uint8_t {
    TemperatureBit,  // bit 4 of the temperature's low byte, every read the same
    AnyBit,          // one bit of the nine bytes, drawn anew for every read
    AnyByte,         // one of the nine bytes changed to another value, drawn anew
};

// A scratchpad that answers with random bits instead of its memory: a device
// whose data line is swamped by noise, or a counterfeit part gone mad.
enum class Noise : std::uint8_t {
    None,
    AnyBits,   // all 72 bits random: the CRC matches one read in 256
    ValidCrc,  // eight random bytes sealed with their right CRC: the noise CRC-8 lets through
};

// One device as a test describes it. The family code (rom[0]) decides what it
// is: 0x28 a DS18B20 (0x22 DS1822 and 0x42 DS28EA00 behave as one), 0x10 a
// DS18S20, anything else a device that takes part
// in the ROM commands and ignores every function command.
struct Device {
    RomCode rom{};  // sent as given: a wrong CRC byte stays wrong (see MakeRomCode)
    // What the next conversion latches: DS18B20 in 1/16 degC, DS18S20 in 1/2 degC.
    // Until its first conversion a thermometer reads the power-on 85 degC.
    std::int16_t temperatureRaw = 0;
    Power power = Power::External;           // parasite devices pull Read Power Supply low
    bool present = true;                     // false: off the bus; keeps its memory
    bool corruptScratchpad = false;          // scratchpad reads carry a damaged byte (CRC mismatch)
    Damage damage = Damage::TemperatureBit;  // how, when corruptScratchpad
    // Leaves the bus (present = false) after taking part in this many time
    // slots of its next Search ROM; one-shot, -1 never.
    std::int32_t leaveAfterSearchSlots = -1;
    // Takes part in Search ROM but never answers its Match ROM, so every read
    // of it gets nine 0xFF bytes: a sensor a search keeps finding that still
    // cannot be read (a marginal contact or supply).
    bool ignoresMatchRom = false;
    // The next scratchpad reads send these nine bytes instead, one read each
    // (then the scratchpad again): noise that CRC-8 does not catch, or a
    // burst on one read only.
    std::vector<std::array<std::uint8_t, 9>> nextReads;
    Noise noise = Noise::None;  // what its scratchpad reads carry instead of its memory
    // Served as the kernel's w1 files only: every read of its w1_slave comes
    // back empty, as when the kernel's conversion failed.
    bool emptyReads = false;
    // Seeds the device's own noise generator at power-on, so runs repeat.
    std::uint32_t noiseSeed = 1;
};

// A fault of a few milliseconds timed inside a search: it begins at a chosen
// bit of a chosen Search ROM command, lasts `lastingMs` (on
// platform::ElapsedMs) or `lastingBits`, and may come back at every
// `every`th search after it.
enum class Glitch : std::uint8_t {
    None,
    Short,   // wire held low: every echo 0x00, devices see nothing
    NoEcho,  // adapter silent: no echo and nothing on the wire
};

struct SearchGlitch {
    Glitch kind = Glitch::None;
    // The Search ROM command it begins in, counting from 1 those that reached
    // the wire since the faults were set. A search is one command per code it
    // finds (every pass starts with its own reset and command).
    std::int32_t atSearch = 1;
    std::int32_t afterBits = 0;    // ROM bits of that search answered before it (3 slots each)
    std::uint32_t lastingMs = 30;  // duration
    // When above 0, the duration in ROM bits (three slots each, every byte the
    // master sends meanwhile counted) instead of milliseconds: a glitch that
    // ends exactly with its pass, whatever the machine's speed.
    std::int32_t lastingBits = 0;
    std::int32_t every = 0;  // again at every `every`th search after; 0 once
};

struct Faults {
    bool shorted = false;  // wire held low: every echo 0x00, devices see nothing
    bool noEcho = false;   // adapter unplugged: no echo and nothing on the wire
    // Echo this many more bytes, then behave as noEcho (-1: off). Lets an
    // exchange start and lose its echo half-way.
    std::int32_t echoesBeforeUnplug = -1;
    bool doubleEcho = false;    // every byte comes back twice
    SearchGlitch searchGlitch;  // counted afresh by every SetFaults
    // The in-process port only (a real port's failures cannot be served on a
    // pseudo-terminal):
    std::int32_t writeLimit = -1;  // a write takes at most this many bytes; 0 fails all; -1 off
    bool failResetSpeed = false;   // switching to 9600 baud fails
    bool failDataSpeed = false;    // switching to 115200 baud fails
    bool failOpen = false;         // open fails as for a port in use
    // The USB adapter is pulled out: the port open at that moment is lost for
    // good (every operation on it fails and `lost` reports it) and no open
    // succeeds; clearing it plugs the adapter back, for a new open.
    bool adapterPulled = false;
};

// The in-process port as the bus saw it; counters since ResetBus.
struct PortState {
    bool open = false;
    std::uint32_t baud = 0;
    bool dtr = false;  // last driven levels, kept after close
    bool rts = false;
    std::int32_t opens = 0;
    std::int32_t closes = 0;
    std::int32_t lineChanges = 0;    // setLines calls
    std::uint64_t bytesWritten = 0;  // bytes that reached the wire
    std::uint64_t writes = 0;        // write calls on the open port: one per round trip
    std::uint64_t resets = 0;        // reset pulses on the wire
};

// One byte as the wire carried it: a reset pulse at 9600 baud, a slot at 115200.
struct WireByte {
    std::uint8_t value = 0;
    std::uint32_t baud = 0;
    bool operator==(const WireByte&) const = default;
};

// Empties the bus: no devices, no faults, no scripted echoes, no wire
// recording, port name "COM1", counters zero. An open in-process port stays open.
void ResetBus();

// Replaces all devices (their memories start from power-on).
void SetDevices(std::vector<Device> devices);
void AddDevice(const Device& device);
bool RemoveDevice(const RomCode& rom);  // false when unknown
// Changes a device in place, keeping its scratchpad, EEPROM and a running
// conversion. false when no device has `rom`. `change` runs under the bus
// lock and must not call back into the bus model.
bool ChangeDevice(const RomCode& rom, const std::function<void(Device&)>& change);
bool SetTemperature(const RomCode& rom, std::int16_t raw);
std::vector<Device> Devices();

// Also restarts the count of Search ROM commands a search glitch waits for.
void SetFaults(const Faults& faults);
Faults CurrentFaults();
// Search ROM commands that reached the wire since the faults were last set.
std::int32_t SearchCommandsSeen();

// Starts (true, with an empty log) or stops recording every byte that reaches
// the wire, so that tests can compare what two masters sent.
void RecordWire(bool on);
std::vector<WireByte> WireLog();

// The next bytes written are echoed with these values, one each, whatever the
// devices do (they still see the bytes); with `afterBytes`, only once that
// many more bytes were echoed as usual (a short at a chosen moment).
void ScriptEchoes(std::vector<std::uint8_t> echoes, std::uint32_t afterBytes = 0);

// The wire: one byte sent at `baud` (9600 reset, otherwise a slot). Appends
// its echoes (none, one or two) to `echoes`. Conversions run on
// platform::ElapsedMs.
void Transmit(std::uint8_t byte, std::uint32_t baud, std::vector<std::uint8_t>& echoes);

// The in-process serial port: opens only under the bus's port name, one open
// port at a time. Every written byte is answered at once; waitInput, when
// fewer bytes than asked are waiting, sleeps its time-out through
// platform::SleepMs (free on the virtual clock).
void SetPortName(std::string name);
const platform::SerialPortOps& SerialOps();
PortState CurrentPortState();

// Makes the 1-Wire library open ports on this bus (onewire::useSerialBackend);
// Uninstall goes back to the operating system's ports.
void Install();
void Uninstall();

}  // namespace busmodel
