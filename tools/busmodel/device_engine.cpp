#include "busmodel/device_engine.h"

namespace busmodel {
namespace {

constexpr std::uint8_t SearchRomCommand = 0xF0;
constexpr std::uint8_t AlarmSearchCommand = 0xEC;
constexpr std::uint8_t MatchRomCommand = 0x55;
constexpr std::uint8_t SkipRomCommand = 0xCC;
constexpr std::uint8_t ReadRomCommand = 0x33;
constexpr int RomBits = 64;

int bitOf(const std::uint8_t* bytes, int index) {
    return (bytes[index / 8] >> (index % 8)) & 1;
}

int romBit(const DeviceRuntime& device, int index) {
    return bitOf(device.config.rom.data(), index);
}

// Collects one bit of a byte sent least significant bit first; true once the
// eighth bit is in.
bool collectBit(DeviceRuntime& device, int lineBit) {
    device.shift = static_cast<std::uint8_t>((device.shift >> 1) | (lineBit != 0 ? 0x80 : 0));
    return ++device.bitIndex == 8;
}

void enter(DeviceRuntime& device, Phase phase) {
    device.phase = phase;
    device.bitIndex = 0;
    device.shift = 0;
}

void startRomCommand(DeviceRuntime& device, std::uint8_t command) {
    switch (command) {
        case SearchRomCommand:
            enter(device, Phase::SearchId);
            device.searchSlots = 0;
            break;
        case AlarmSearchCommand:
            enter(device, device.alarm ? Phase::SearchId : Phase::Idle);
            device.searchSlots = 0;
            break;
        case MatchRomCommand:
            enter(device, device.config.ignoresMatchRom ? Phase::Idle : Phase::MatchRom);
            break;
        case SkipRomCommand:
            enter(device, Phase::FunctionCommand);
            break;
        case ReadRomCommand:
            enter(device, Phase::SendBits);
            std::copy(device.config.rom.begin(), device.config.rom.end(), device.out.begin());
            device.bitCount = RomBits;
            device.afterSend = Phase::FunctionCommand;
            break;
        default:
            enter(device, Phase::Idle);
            break;  // overdrive and resume are not modelled
    }
}

void sampleSearchDirection(DeviceRuntime& device, int lineBit) {
    if (lineBit != romBit(device, device.bitIndex)) {
        enter(device, Phase::Idle);
        return;
    }
    if (++device.bitIndex == RomBits) {
        enter(device, Phase::FunctionCommand);
        return;
    }
    device.phase = Phase::SearchId;
}

void sampleMatch(DeviceRuntime& device, int lineBit) {
    if (lineBit != romBit(device, device.bitIndex)) {
        enter(device, Phase::Idle);
    } else if (++device.bitIndex == RomBits) {
        enter(device, Phase::FunctionCommand);
    }
}

void sampleWrittenData(DeviceRuntime& device, int lineBit) {
    if (!collectBit(device, lineBit)) return;
    const int index = device.bitCount;  // bytes taken so far
    StoreWrittenByte(device, index, device.shift);
    device.bitIndex = 0;
    device.shift = 0;
    device.bitCount = index + 1;
}

}  // namespace

DeviceRuntime PowerOn(const Device& config) {
    DeviceRuntime device;
    device.config = config;
    device.noise.seed(config.noiseSeed);
    if (IsThermometer(device)) InitThermometerMemory(device);
    return device;
}

bool ResetDevice(DeviceRuntime& device) {
    if (!device.config.present) {
        enter(device, Phase::Idle);
        return false;
    }
    enter(device, Phase::RomCommand);
    return true;
}

bool PullsLow(DeviceRuntime& device, std::uint64_t nowMs) {
    Settle(device, nowMs);
    switch (device.phase) {
        case Phase::SearchId:
            return romBit(device, device.bitIndex) == 0;
        case Phase::SearchComplement:
            return romBit(device, device.bitIndex) == 1;
        case Phase::SendBits:
            return device.bitIndex < device.bitCount &&
                   bitOf(device.out.data(), device.bitIndex) == 0;
        case Phase::Busy:
            return device.config.power == Power::External && nowMs < device.busyUntilMs;
        case Phase::PowerReport:
            return device.config.power == Power::Parasite;
        default:
            return false;
    }
}

void SampleSlot(DeviceRuntime& device, int lineBit, std::uint64_t nowMs) {
    switch (device.phase) {
        case Phase::RomCommand:
            if (collectBit(device, lineBit)) startRomCommand(device, device.shift);
            break;
        case Phase::SearchId:
            ++device.searchSlots;
            device.phase = Phase::SearchComplement;
            break;
        case Phase::SearchComplement:
            ++device.searchSlots;
            device.phase = Phase::SearchDirection;
            break;
        case Phase::SearchDirection:
            ++device.searchSlots;
            sampleSearchDirection(device, lineBit);
            break;
        case Phase::MatchRom:
            sampleMatch(device, lineBit);
            break;
        case Phase::SendBits:
            if (++device.bitIndex >= device.bitCount) enter(device, device.afterSend);
            break;
        case Phase::FunctionCommand:
            if (collectBit(device, lineBit)) {
                if (IsThermometer(device)) {
                    StartFunction(device, device.shift, nowMs);
                } else {
                    enter(device, Phase::Idle);
                }
            }
            break;
        case Phase::ReceiveBytes:
            sampleWrittenData(device, lineBit);
            break;
        default:
            break;
    }
}

}  // namespace busmodel
