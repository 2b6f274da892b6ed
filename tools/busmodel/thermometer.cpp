// The function commands of the DS18B20 and DS18S20 thermometers.
#include <random>

#include "busmodel/device_engine.h"

namespace busmodel {
namespace {

constexpr std::uint8_t ConvertT = 0x44;
constexpr std::uint8_t ReadScratchpad = 0xBE;
constexpr std::uint8_t WriteScratchpad = 0x4E;
constexpr std::uint8_t CopyScratchpad = 0x48;
constexpr std::uint8_t RecallE2 = 0xB8;
constexpr std::uint8_t ReadPowerSupply = 0xB4;

// Power-on temperature register: 85 degC.
constexpr std::int16_t PowerOnRawDs18b20 = 0x0550;
constexpr std::int16_t PowerOnRawDs18s20 = 0x00AA;
// A DS18S20 conversion takes up to 750 ms; a DS18B20 needs 93.75 ms per
// resolution step from 9 bits: 94, 188, 375 or 750 ms.
constexpr std::uint32_t Ds18s20ConversionMs = 750;
// An EEPROM write takes up to 10 ms.
constexpr std::uint32_t EepromWriteMs = 10;

// The DS1822 and DS28EA00 share the DS18B20's scratchpad and commands.
bool isDs18b20(const DeviceRuntime& device) {
    const std::uint8_t family = device.config.rom[0];
    return family == FamilyDs18b20 || family == FamilyDs1822 || family == FamilyDs28ea00;
}

int resolutionStep(const DeviceRuntime& device) {
    return (device.scratchpad[4] >> 5) & 3;
}

std::uint32_t conversionMs(const DeviceRuntime& device) {
    if (!isDs18b20(device)) return Ds18s20ConversionMs;
    static constexpr std::uint32_t times[4]{94, 188, 375, 750};
    return times[resolutionStep(device)];
}

void sealScratchpad(DeviceRuntime& device) {
    device.scratchpad[8] = Crc8(std::span(device.scratchpad.data(), 8));
}

void storeTemperature(DeviceRuntime& device, std::int16_t raw) {
    if (isDs18b20(device)) {
        // Below 12 bits the low bits of the register are undefined; zero here.
        const int undefinedBits = 3 - resolutionStep(device);
        raw = static_cast<std::int16_t>(raw & ~((1 << undefinedBits) - 1));
    } else {
        // COUNT_REMAIN such that TEMP_READ - 0.25 + (16 - remain) / 16 gives
        // back the half degree the register holds.
        device.scratchpad[6] = (raw & 1) != 0 ? 4 : 12;
        device.scratchpad[7] = 16;
    }
    const auto bits = static_cast<std::uint16_t>(raw);
    device.scratchpad[0] = static_cast<std::uint8_t>(bits & 0xFF);
    device.scratchpad[1] = static_cast<std::uint8_t>(bits >> 8);
    sealScratchpad(device);
}

// The alarm flag follows every conversion: at or beyond TH or TL, whole degrees.
void judgeAlarm(DeviceRuntime& device, std::int16_t raw) {
    const int whole = isDs18b20(device) ? raw >> 4 : raw >> 1;
    const auto th = static_cast<std::int8_t>(device.scratchpad[2]);
    const auto tl = static_cast<std::int8_t>(device.scratchpad[3]);
    device.alarm = whole >= th || whole <= tl;
}

// Varying damage draws from one fixed-seed generator, so runs repeat; every
// caller holds the bus lock.
std::minstd_rand damageDraws;

// Damaged bytes with the original CRC: what line noise does.
void damageScratchpad(DeviceRuntime& device) {
    switch (device.config.damage) {
        case Damage::TemperatureBit:
            device.out[0] ^= 0x10;
            return;
        case Damage::AnyBit: {
            const auto bit = damageDraws() % 72;
            device.out[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            return;
        }
        case Damage::AnyByte: {
            const auto index = damageDraws() % 9;
            device.out[index] ^= static_cast<std::uint8_t>(1 + damageDraws() % 255);
            return;
        }
    }
}

// Random bytes in place of the scratchpad; ValidCrc seals them as a device
// would, which is the one read in 256 that plain noise gets through CRC-8.
void fillWithNoise(DeviceRuntime& device) {
    for (std::uint8_t& byte : device.out) byte = static_cast<std::uint8_t>(device.noise() & 0xFF);
    if (device.config.noise == Noise::ValidCrc)
        device.out[8] = Crc8(std::span(device.out.data(), 8));
}

void startSending(DeviceRuntime& device) {
    device.phase = Phase::SendBits;
    device.bitIndex = 0;
    device.out = device.scratchpad;
    std::vector<Scratchpad>& scripted = device.config.nextReads;
    if (!scripted.empty()) {
        device.out = scripted.front();
        scripted.erase(scripted.begin());
    } else if (device.config.noise != Noise::None) {
        fillWithNoise(device);
    } else if (device.config.corruptScratchpad) {
        damageScratchpad(device);
    }
    device.bitCount = 72;
    device.afterSend = Phase::Idle;
}

void becomeBusy(DeviceRuntime& device, std::uint64_t untilMs) {
    device.phase = Phase::Busy;
    device.bitIndex = 0;
    device.busyUntilMs = untilMs;
}

}  // namespace

bool IsThermometer(const DeviceRuntime& device) {
    return isDs18b20(device) || device.config.rom[0] == FamilyDs18s20;
}

void InitThermometerMemory(DeviceRuntime& device) {
    // Typical factory EEPROM: TH 75 degC, TL 70 degC, 12-bit resolution.
    device.eeprom = {0x4B, 0x46, 0x7F};
    device.scratchpad = {0, 0, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10, 0};
    if (isDs18b20(device)) {
        storeTemperature(device, PowerOnRawDs18b20);
    } else {
        device.scratchpad[4] = 0xFF;
        storeTemperature(device, PowerOnRawDs18s20);
        device.scratchpad[6] = 0x0C;
        sealScratchpad(device);
    }
}

void Settle(DeviceRuntime& device, std::uint64_t nowMs) {
    if (!device.converting || nowMs < device.busyUntilMs) return;
    device.converting = false;
    storeTemperature(device, device.config.temperatureRaw);
    judgeAlarm(device, device.config.temperatureRaw);
}

void StartFunction(DeviceRuntime& device, std::uint8_t command, std::uint64_t nowMs) {
    Settle(device, nowMs);
    switch (command) {
        case ConvertT:
            device.converting = true;
            becomeBusy(device, nowMs + conversionMs(device));
            break;
        case ReadScratchpad:
            startSending(device);
            break;
        case WriteScratchpad:
            device.phase = Phase::ReceiveBytes;
            device.bitIndex = 0;
            device.shift = 0;
            device.bitCount = 0;
            break;
        case CopyScratchpad:
            device.eeprom = {device.scratchpad[2], device.scratchpad[3], device.scratchpad[4]};
            becomeBusy(device, nowMs + EepromWriteMs);
            break;
        case RecallE2:
            device.scratchpad[2] = device.eeprom[0];
            device.scratchpad[3] = device.eeprom[1];
            if (isDs18b20(device)) device.scratchpad[4] = device.eeprom[2];
            sealScratchpad(device);
            becomeBusy(device, nowMs);
            break;
        case ReadPowerSupply:
            device.phase = Phase::PowerReport;
            device.bitIndex = 0;
            break;
        default:
            device.phase = Phase::Idle;
            break;
    }
}

// Write Scratchpad takes TH, TL and (DS18B20 only) the configuration byte,
// whose five low bits read 1 and whose top bit reads 0.
void StoreWrittenByte(DeviceRuntime& device, int index, std::uint8_t value) {
    const int accepted = isDs18b20(device) ? 3 : 2;
    if (index >= accepted) return;
    if (index == 2) value = static_cast<std::uint8_t>((value & 0x60) | 0x1F);
    device.scratchpad[static_cast<std::size_t>(2 + index)] = value;
    sealScratchpad(device);
}

}  // namespace busmodel
