#include "bus_script.h"

#include <cstdio>

#include "busmodel/rom_tools.h"

namespace soak {
namespace {

constexpr std::size_t MinDevices = 2;
constexpr std::size_t MaxDevices = 24;

// A number below `count`, drawn from the run's seed.
std::uint32_t below(SoakBus& bus, std::uint32_t count) {
    return static_cast<std::uint32_t>(bus.random() % count);
}

std::string romText(const SoakDevice& device) {
    return busmodel::FormatRom(device.rom);
}

void serve(SoakBus& bus, const SoakDevice& device, std::int16_t raw) {
    bus.served.insert({romText(device), Celsius(device.rom[0], raw)});
}

// A temperature anywhere in the thermometers' range, -55 to +125 degC.
std::int16_t randomRaw(SoakBus& bus, std::uint8_t family) {
    const int perDegree = family == busmodel::FamilyDs18b20 ? 16 : 2;
    std::uniform_int_distribution<int> draw(-55 * perDegree, 125 * perDegree);
    return static_cast<std::int16_t>(draw(bus.random));
}

SoakDevice& pick(SoakBus& bus) {
    std::uniform_int_distribution<std::size_t> draw(0, bus.devices.size() - 1);
    return bus.devices[draw(bus.random)];
}

SoakDevice newDevice(SoakBus& bus, std::uint8_t family) {
    SoakDevice device;
    device.rom = busmodel::MakeRomCode(family, bus.nextSerial);
    bus.nextSerial += 0x10101;
    device.raw = randomRaw(bus, family);
    // Until its first conversion it reads the power-on 85 degC, which is no
    // reading of a thermometer that never read near 85 degC: not served.
    serve(bus, device, device.raw);
    return device;
}

std::string add(SoakBus& bus) {
    if (bus.devices.size() >= MaxDevices) return "";
    const std::uint8_t family =
        below(bus, 4) == 0 ? busmodel::FamilyDs18s20 : busmodel::FamilyDs18b20;
    bus.devices.push_back(newDevice(bus, family));
    return "add " + romText(bus.devices.back());
}

std::string remove(SoakBus& bus) {
    if (bus.devices.size() <= MinDevices) return "";
    std::uniform_int_distribution<std::size_t> draw(0, bus.devices.size() - 1);
    const auto index = static_cast<std::ptrdiff_t>(draw(bus.random));
    const std::string text = "remove " + romText(bus.devices[static_cast<std::size_t>(index)]);
    bus.devices.erase(bus.devices.begin() + index);
    return text;
}

std::string corrupt(SoakBus& bus) {
    SoakDevice& device = pick(bus);
    const Corruption kinds[] = {Corruption::TemperatureBit, Corruption::AnyBit, Corruption::AnyByte,
                                Corruption::Noise, Corruption::SealedNoise};
    device.corruption = kinds[below(bus, 5)];
    const char* names[] = {"",         "temperature bit", "any bit",
                           "any byte", "noise",           "noise with its CRC"};
    return "corrupt (" + std::string(names[static_cast<int>(device.corruption)]) + ") " +
           romText(device);
}

std::string heal(SoakBus& bus) {
    SoakDevice& device = pick(bus);
    device.corruption = Corruption::None;
    return "heal " + romText(device);
}

std::string toggleAbsent(SoakBus& bus) {
    SoakDevice& device = pick(bus);
    device.absent = !device.absent;
    return (device.absent ? "off the bus " : "back on the bus ") + romText(device);
}

std::string newTemperature(SoakBus& bus) {
    SoakDevice& device = pick(bus);
    device.raw = randomRaw(bus, device.rom[0]);
    serve(bus, device, device.raw);
    char text[48];
    std::snprintf(text, sizeof text, " %.4f degC", Celsius(device.rom[0], device.raw));
    return "temperature " + romText(device) + text;
}

std::string unplug(SoakBus& bus) {
    bus.unplugSteps = 1 + below(bus, 2);
    return "adapter unplugged for " + std::to_string(bus.unplugSteps) + " step(s)";
}

// A short or a silence of a few tens of milliseconds at a random bit of one
// of the first Search ROM commands of the step, now and then repeating; a
// short may instead cover exactly the rest of its pass, which reads a code
// that no device has.
std::string drawGlitch(SoakBus& bus) {
    const bool shortWire = below(bus, 2) == 0;
    const std::uint32_t bit = below(bus, 64);
    // A search sends one Search ROM command per code: the first eight reach
    // into the first search of the step on a bus of a dozen thermometers.
    std::string text = std::string(shortWire ? "short" : "no-echo") +
                       "-in-search=" + std::to_string(1 + below(bus, 8)) +
                       " bit=" + std::to_string(bit);
    if (shortWire && below(bus, 2) == 0) {
        text += " bits=" + std::to_string(64 - bit);
    } else {
        text += " ms=" + std::to_string(10 + below(bus, 41));
    }
    if (below(bus, 3) == 0) text += " every=" + std::to_string(2 + below(bus, 3));
    return text;
}

const char* corruptionOption(Corruption corruption) {
    switch (corruption) {
        case Corruption::TemperatureBit:
            return " corrupt-scratchpad";
        case Corruption::AnyBit:
            return " corrupt-scratchpad=any-bit";
        case Corruption::AnyByte:
            return " corrupt-scratchpad=any-byte";
        case Corruption::Noise:
            return " noise";
        case Corruption::SealedNoise:
            return " noise=valid-crc";
        case Corruption::None:
            break;
    }
    return "";
}

}  // namespace

double Celsius(std::uint8_t family, std::int16_t raw) {
    return raw / (family == busmodel::FamilyDs18b20 ? 16.0 : 2.0);
}

SoakBus StartBus(std::uint32_t seed) {
    SoakBus bus;
    bus.random.seed(seed);
    for (int i = 0; i < 10; ++i) {
        const std::uint8_t family = i < 8 ? busmodel::FamilyDs18b20 : busmodel::FamilyDs18s20;
        bus.devices.push_back(newDevice(bus, family));
    }
    return bus;
}

std::string Step(SoakBus& bus) {
    // Every step but an unplugged one carries a glitch for the searches it
    // sees: the search after the adapter's return, after a sensor left, the
    // program's own.
    bus.glitch.clear();
    if (bus.unplugSteps > 0 && --bus.unplugSteps == 0) {
        bus.glitch = drawGlitch(bus);
        ++bus.glitchSteps;
        return "adapter plugged in again; glitch " + bus.glitch;
    }
    bus.glitch = drawGlitch(bus);
    ++bus.glitchSteps;
    // Weights out of 100: new temperatures most, then the device changes;
    // about once a minute the whole adapter goes for a step or two. While it
    // runs, the program searches the bus only after failed cycles or after a
    // sensor has not answered for ten passes, so these are also what makes it
    // find the thermometers added since.
    const std::uint32_t draw = below(bus, 100);
    std::string done;
    if (draw < 28) {
        done = newTemperature(bus);
    } else if (draw < 42) {
        done = add(bus);
    } else if (draw < 56) {
        done = remove(bus);
    } else if (draw < 70) {
        done = corrupt(bus);
    } else if (draw < 80) {
        done = heal(bus);
    } else if (draw < 92) {
        done = toggleAbsent(bus);
    } else {
        done = unplug(bus);
    }
    if (done.empty()) done = newTemperature(bus);
    return bus.glitch.empty() ? done : done + "; glitch " + bus.glitch;
}

std::string Settle(SoakBus& bus) {
    for (SoakDevice& device : bus.devices) {
        device.absent = false;
        device.corruption = Corruption::None;
    }
    bus.unplugSteps = 0;
    bus.glitch.clear();
    return "every thermometer healthy and on the bus, adapter in place";
}

std::string ConfigText(const SoakBus& bus, std::uint32_t latencyMs) {
    std::string text = "# soak run: rewritten and re-read (SIGHUP) at every step\nwire-timing\n";
    text += "latency-ms " + std::to_string(latencyMs) + "\n";
    if (bus.unplugSteps > 0) text += "fault no-echo\n";
    if (!bus.glitch.empty()) text += "fault " + bus.glitch + "\n";
    for (const SoakDevice& device : bus.devices) {
        text += "device " + romText(device) + " raw=" + std::to_string(device.raw);
        if (device.absent) text += " absent";
        text += corruptionOption(device.corruption);
        text += "\n";
    }
    return text;
}

}  // namespace soak
