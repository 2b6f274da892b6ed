#pragma once
// One simulated device's 1-Wire state machine, slot by slot. Internal to the
// bus model; the caller holds the bus lock.
#include <array>
#include <cstdint>
#include <random>

#include "busmodel/bus_model.h"
#include "busmodel/rom_tools.h"

namespace busmodel {

enum class Phase : std::uint8_t {
    Idle,              // not selected: ignores slots until the next reset
    RomCommand,        // receiving the ROM command byte
    SearchId,          // search: sends its bit
    SearchComplement,  // search: sends the complement
    SearchDirection,   // search: reads the master's choice
    MatchRom,          // compares 64 bits with its code
    SendBits,          // sends `out`, then `afterSend`
    FunctionCommand,   // receiving the function command byte
    ReceiveBytes,      // Write Scratchpad data
    Busy,              // read slots: 0 while working (external power), then 1
    PowerReport,       // read slots: parasite devices pull low
};

struct DeviceRuntime {
    Device config;
    Phase phase = Phase::Idle;
    Phase afterSend = Phase::Idle;
    int bitIndex = 0;
    int bitCount = 0;        // bits to send in SendBits, bytes to take in ReceiveBytes
    std::uint8_t shift = 0;  // byte being received
    int searchSlots = 0;
    std::array<std::uint8_t, 9> out{};
    std::array<std::uint8_t, 3> received{};
    Scratchpad scratchpad{};
    std::array<std::uint8_t, 3> eeprom{};  // TH, TL, configuration
    bool converting = false;
    bool alarm = false;
    std::uint64_t busyUntilMs = 0;
    std::minstd_rand noise;  // the device's own draws for Noise, seeded at power-on
};

DeviceRuntime PowerOn(const Device& config);

// A reset pulse: present devices wait for a ROM command. true when the
// device answers with a presence pulse.
bool ResetDevice(DeviceRuntime& device);

// Whether the device holds the wire low during the current slot's sampling
// window (only visible when the master released it: a read slot).
bool PullsLow(DeviceRuntime& device, std::uint64_t nowMs);

// The device samples the wire level of the slot and moves on.
void SampleSlot(DeviceRuntime& device, int lineBit, std::uint64_t nowMs);

// Finishes a conversion whose time has passed.
void Settle(DeviceRuntime& device, std::uint64_t nowMs);

// Function layer (thermometer.cpp).
bool IsThermometer(const DeviceRuntime& device);
void StartFunction(DeviceRuntime& device, std::uint8_t command, std::uint64_t nowMs);
void StoreWrittenByte(DeviceRuntime& device, int index, std::uint8_t value);
void InitThermometerMemory(DeviceRuntime& device);

}  // namespace busmodel
