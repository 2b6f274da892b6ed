#include "sim/sim_config.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "busmodel/rom_tools.h"

namespace sim {
namespace {

constexpr std::string_view UsageText =
    R"(Usage: kelvarian-sim [options]
Serves a simulated 1-Wire bus (DS18B20, DS18S20) on a pseudo-terminal, as a
serial 1-Wire adapter would answer: a byte at 9600 baud is a reset pulse, a
byte at 115200 baud a time slot, and every byte comes back as its echo.

Options:
  --link PATH        create a symbolic link PATH to the pseudo-terminal (for
                     example DIR/COM3 beside the program); removed on exit
  --device DEVICE    add a device (repeatable)
  --fault NAME       add a bus fault (repeatable)
  --config FILE      read devices and faults from FILE; SIGHUP reads it again
  --wire-timing      real wire timing: a write's echoes come back only when its
                     bytes have had their time on the wire (10 bit times a
                     byte: 1.04 ms at 9600 baud, 86.8 us at 115200), the bytes
                     one after another
  --latency-ms N     add N ms to every write's round trip, as a USB serial
                     adapter does
  --adapter KIND     passive (the default) or ds2480b: a DS2480B line driver
                     (DS9097U, LinkUSB) in front of the same bus, at 9600 baud;
                     with --wire-timing it also spends its 1-Wire time on each
                     byte and loses one that finds its one-byte buffer full
  --w1-sysfs DIR     serve the bus as the Linux kernel's w1 stack shows it
                     instead: DIR stands for /sys/bus/w1/devices and holds
                     w1_bus_master1 with its slave folders (w1_slave, id,
                     ext_power, temperature), rewritten as the devices change;
                     --link then points at the master's folder
  --w1-no-bulk       no therm_bulk_read (a kernel before 5.10): every read of
                     w1_slave converts
  --w1-instant       conversions take no time (tests); otherwise a read of
                     w1_slave takes 750 ms, as the kernel converts on it, and
                     so does a bulk conversion
  --trace FILE       write every write of the client (the speed, its bytes) and
                     the bus's answers to FILE, one line each
  --help             this text

DEVICE: ROM[,OPTION...]
  ROM  28-00000B013C5A     family, serial number (as shown), CRC computed
       28-00000B013C5A-14  the same with the CRC byte as given (may be wrong)
       28:3C5A             family and serial number in hex, CRC computed
  temp=C               temperature in degrees Celsius (default 20)
  raw=N                raw register value (DS18B20 1/16 degC, DS18S20 1/2 degC)
  power=external|parasite
  absent               not on the bus
  corrupt-scratchpad   scratchpad reads carry a damaged byte (bit 4 of the
                       temperature, every read the same)
  corrupt-scratchpad=any-bit   one bit of the nine bytes flipped, a new one
                       every read
  corrupt-scratchpad=any-byte  one of the nine bytes changed, a new one every
                       read (CRC-8 detects all three)
  leave-after=K        leaves the bus after K slots of its next search
  noise[=any-bits]     scratchpad reads answer 72 random bits (the CRC matches
                       one read in 256)
  noise=valid-crc      scratchpad reads answer eight random bytes with their
                       right CRC (what passes CRC-8 by chance), every read anew
  noise-seed=N         seed of the device's noise (default 1; runs repeat)
  empty-reads          (--w1-sysfs) its w1_slave reads empty, as after a
                       conversion the kernel saw fail
Family 28 is a DS18B20, 22 a DS1822, 42 a DS28EA00 (both behave as a
DS18B20), 10 a DS18S20; any other family only answers the ROM commands.

Faults: shorted, no-echo, double-echo, unplug-after=N (echo N bytes, then none)
  short-in-search=N[,bit=K][,ms=M|,bits=B][,every=E]
  no-echo-in-search=N[,bit=K][,ms=M|,bits=B][,every=E]
                       the wire shorted (every echo 0x00) or the adapter silent
                       for M ms (default 30) or for the slots of B ROM bits
                       (1-64, 3 slots each), beginning at ROM bit K (0-63,
                       default 0: right after the command) of the Nth Search
                       ROM command, and again at every Eth search after it (E
                       0, the default: once). Search ROM commands count from
                       the start or the last re-read of the config file; a
                       search sends one for every code it finds.

Config file: one item per line, '#' starts a comment:
  device 28-00000B013C5A temp=21.5 power=parasite
  fault double-echo
  fault no-echo-in-search=1 bit=20 ms=30
  link /tmp/bus/COM1
  latency-ms 2
  wire-timing
  adapter ds2480b

On start it prints "pty PATH", then "link PATH" when asked for one, then
"ready". SIGTERM and SIGINT stop it and remove the link. A device that leaves
and comes back: mark it absent in the config file, SIGHUP, and remove the
mark again; it keeps its memory meanwhile.
)";

constexpr double DefaultCelsius = 20.0;

bool readInt(std::string_view text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && ptr == end && !text.empty();
}

bool readCelsius(std::string_view text, double& value) {
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return !copy.empty() && end == copy.c_str() + copy.size() && value > -128 && value < 128;
}

std::vector<std::string_view> splitWords(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(separators, pos);
        if (start == std::string_view::npos) break;
        std::size_t end = text.find_first_of(separators, start);
        if (end == std::string_view::npos) end = text.size();
        words.push_back(text.substr(start, end - start));
        pos = end;
    }
    return words;
}

bool parseRomWord(std::string_view word, busmodel::RomCode& rom) {
    const std::size_t colon = word.find(':');
    if (colon == std::string_view::npos) {
        auto parsed = busmodel::ParseRom(word);
        if (parsed) rom = *parsed;
        return parsed.has_value();
    }
    unsigned family = 0;
    std::uint64_t serial = 0;
    const std::string_view familyText = word.substr(0, colon);
    const std::string_view serialText = word.substr(colon + 1);
    auto f = std::from_chars(familyText.data(), familyText.data() + familyText.size(), family, 16);
    auto s = std::from_chars(serialText.data(), serialText.data() + serialText.size(), serial, 16);
    if (f.ec != std::errc{} || f.ptr != familyText.data() + familyText.size() || family > 0xFF ||
        s.ec != std::errc{} || s.ptr != serialText.data() + serialText.size() ||
        serialText.size() > 12) {
        return false;
    }
    rom = busmodel::MakeRomCode(static_cast<std::uint8_t>(family), serial);
    return true;
}

bool applyDeviceOption(std::string_view option, busmodel::Device& device, bool& rawGiven,
                       double& celsius) {
    const std::size_t eq = option.find('=');
    const std::string_view key = option.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? "" : option.substr(eq + 1);
    std::int64_t number = 0;
    if (key == "temp") return readCelsius(value, celsius);
    if (key == "raw" && readInt(value, number) && number >= -32768 && number <= 32767) {
        device.temperatureRaw = static_cast<std::int16_t>(number);
        rawGiven = true;
        return true;
    }
    if (key == "power" && (value == "external" || value == "parasite")) {
        device.power = value == "parasite" ? busmodel::Power::Parasite : busmodel::Power::External;
        return true;
    }
    if (option == "absent") return (device.present = false, true);
    if (option == "empty-reads") return (device.emptyReads = true, true);
    if (key == "corrupt-scratchpad") {
        using busmodel::Damage;
        if (value == "any-bit" || value == "any-byte" || eq == std::string_view::npos) {
            device.corruptScratchpad = true;
            device.damage = value == "any-bit"    ? Damage::AnyBit
                            : value == "any-byte" ? Damage::AnyByte
                                                  : Damage::TemperatureBit;
            return true;
        }
        return false;
    }
    if (key == "noise") {
        if (value == "valid-crc") return (device.noise = busmodel::Noise::ValidCrc, true);
        if (value == "any-bits" || eq == std::string_view::npos) {
            return (device.noise = busmodel::Noise::AnyBits, true);
        }
        return false;
    }
    if (key == "noise-seed" && readInt(value, number) && number >= 0 && number <= 0xFFFFFFFF) {
        device.noiseSeed = static_cast<std::uint32_t>(number);
        return true;
    }
    if (key == "leave-after" && readInt(value, number) && number >= 0 && number < 1000000) {
        device.leaveAfterSearchSlots = static_cast<std::int32_t>(number);
        return true;
    }
    return false;
}

// "short-in-search=N" or "no-echo-in-search=N", then bit=K, ms=M or bits=B,
// every=E.
bool parseSearchGlitch(const std::vector<std::string_view>& words, busmodel::SearchGlitch& glitch) {
    busmodel::SearchGlitch parsed;
    const std::size_t eq = words[0].find('=');
    parsed.kind =
        words[0].starts_with("short") ? busmodel::Glitch::Short : busmodel::Glitch::NoEcho;
    std::int64_t number = 0;
    if (!readInt(words[0].substr(eq + 1), number) || number < 1 || number > 0x7FFFFFFF)
        return false;
    parsed.atSearch = static_cast<std::int32_t>(number);
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::size_t at = words[i].find('=');
        if (at == std::string_view::npos || !readInt(words[i].substr(at + 1), number)) return false;
        const std::string_view key = words[i].substr(0, at);
        if (key == "bit" && number >= 0 && number <= 63) {
            parsed.afterBits = static_cast<std::int32_t>(number);
        } else if (key == "ms" && number >= 1 && number <= 60000) {
            parsed.lastingMs = static_cast<std::uint32_t>(number);
        } else if (key == "bits" && number >= 1 && number <= 64) {
            parsed.lastingBits = static_cast<std::int32_t>(number);
        } else if (key == "every" && number >= 0 && number <= 0x7FFFFFFF) {
            parsed.every = static_cast<std::int32_t>(number);
        } else {
            return false;
        }
    }
    glitch = parsed;
    return true;
}

bool applyConfigLine(std::string_view line, SimConfig& config, std::string& error) {
    const auto words = splitWords(line, " \t\r");
    if (words.empty()) return true;
    const std::string_view item = words[0];
    const std::size_t restStart = line.find(item) + item.size();
    const std::string_view rest = line.substr(restStart);
    if (item == "device") {
        busmodel::Device device;
        if (!ParseDevice(rest, device, error)) return false;
        config.devices.push_back(device);
        return true;
    }
    if (item == "fault" && words.size() >= 2) return ParseFault(rest, config.faults, error);
    if (item == "link" && words.size() == 2) return (config.linkPath = words[1], true);
    if (item == "wire-timing" && words.size() == 1) return (config.wireTiming = true, true);
    if (item == "adapter" && words.size() == 2) {
        return ParseAdapter(words[1], config.adapter, error);
    }
    std::int64_t number = 0;
    if (item == "latency-ms" && words.size() == 2 && readInt(words[1], number) && number >= 0 &&
        number <= 10000) {
        config.latencyMs = static_cast<std::uint32_t>(number);
        return true;
    }
    error = "cannot read: " + std::string(line);
    return false;
}

}  // namespace

std::string_view Usage() {
    return UsageText;
}

bool ParseDevice(std::string_view item, busmodel::Device& device, std::string& error) {
    const auto words = splitWords(item, ", \t\r");
    device = busmodel::Device{};
    if (words.empty() || !parseRomWord(words[0], device.rom)) {
        error = "bad device code in: " + std::string(item);
        return false;
    }
    bool rawGiven = false;
    double celsius = DefaultCelsius;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (!applyDeviceOption(words[i], device, rawGiven, celsius)) {
            error = "bad device option: " + std::string(words[i]);
            return false;
        }
    }
    if (!rawGiven) device.temperatureRaw = busmodel::RawFromCelsius(device.rom[0], celsius);
    return true;
}

bool ParseFault(std::string_view item, busmodel::Faults& faults, std::string& error) {
    const auto words = splitWords(item, ", \t\r");
    const std::string_view name = words.empty() ? std::string_view() : words[0];
    std::int64_t number = 0;
    bool ok = words.size() == 1;
    if (name == "shorted") {
        faults.shorted = true;
    } else if (name == "no-echo") {
        faults.noEcho = true;
    } else if (name == "double-echo") {
        faults.doubleEcho = true;
    } else if (name.starts_with("unplug-after=") && readInt(name.substr(13), number) &&
               number >= 0 && number <= 0x7FFFFFFF) {
        faults.echoesBeforeUnplug = static_cast<std::int32_t>(number);
    } else if (name.starts_with("short-in-search=") || name.starts_with("no-echo-in-search=")) {
        ok = parseSearchGlitch(words, faults.searchGlitch);
    } else {
        ok = false;
    }
    if (!ok) error = "unknown fault: " + std::string(item);
    return ok;
}

bool ParseConfigText(std::string_view text, SimConfig& config, std::string& error) {
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        line = line.substr(0, line.find('#'));
        if (!applyConfigLine(line, config, error)) return false;
        pos = end + 1;
    }
    return true;
}

bool LoadConfigFile(const std::string& path, SimConfig& config, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseConfigText(text.str(), config, error);
}

bool ParseAdapter(std::string_view name, busmodel::Adapter& adapter, std::string& error) {
    if (name == "passive") return (adapter = busmodel::Adapter::Passive, true);
    if (name == "ds2480b") return (adapter = busmodel::Adapter::Ds2480b, true);
    error = "unknown adapter: " + std::string(name) + " (passive or ds2480b)";
    return false;
}

bool ParseArgs(int argc, const char* const* argv, SimConfig& config, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            config.help = true;
            continue;
        }
        if (flag == "--wire-timing") {
            config.wireTiming = true;
            continue;
        }
        if (flag == "--w1-no-bulk") {
            config.w1Bulk = false;
            continue;
        }
        if (flag == "--w1-instant") {
            config.w1Instant = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value or unknown flag: " + std::string(flag);
            return false;
        }
        const std::string_view value = argv[++i];
        bool ok = true;
        std::int64_t number = 0;
        if (flag == "--link") {
            config.linkPath = value;
        } else if (flag == "--w1-sysfs") {
            config.w1Root = value;
        } else if (flag == "--trace") {
            config.tracePath = value;
        } else if (flag == "--config") {
            config.configPath = value;
        } else if (flag == "--device") {
            busmodel::Device device;
            ok = ParseDevice(value, device, error);
            if (ok) config.devices.push_back(device);
        } else if (flag == "--adapter") {
            ok = ParseAdapter(value, config.adapter, error);
        } else if (flag == "--fault") {
            ok = ParseFault(value, config.faults, error);
        } else if (flag == "--latency-ms" && readInt(value, number) && number >= 0 &&
                   number <= 10000) {
            config.latencyMs = static_cast<std::uint32_t>(number);
        } else {
            error = "unknown flag or bad value: " + std::string(flag) + " " + std::string(value);
            ok = false;
        }
        if (!ok) return false;
    }
    return true;
}

}  // namespace sim
