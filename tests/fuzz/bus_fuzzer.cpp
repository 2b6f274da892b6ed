// The 1-Wire layer against a simulated bus whose devices, faults and echo
// stream the fuzzer chooses, driven through a fuzzer-chosen sequence of bus
// operations. Nothing may crash, hang, or touch memory beyond the caller's
// buffers; every status must be one the operation documents; and on an
// undamaged bus a full search must find exactly the devices present.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <set>
#include <vector>

#include "busmodel/bus_model.h"
#include "busmodel/rom_tools.h"
#include "busmodel/virtual_clock.h"
#include "onewire/link.h"
#include "onewire/primitives.h"
#include "onewire/rom.h"
#include "onewire/status.h"
#include "tampering_port.h"

namespace {

using onewire::RomCode;

constexpr std::int32_t MaxDevices = 6;
constexpr std::int32_t MaxOperations = 48;
// A bus of MaxDevices ends any enumeration within this many calls; a few more
// show that the search then stays ended.
constexpr std::int32_t SearchCallLimit = MaxDevices + 4;
constexpr std::int32_t MaxTransfer = 40;

void require(bool condition) {
    if (!condition) std::abort();
}

// The status left by the last call is one of `allowed`.
void requireStatus(std::initializer_list<std::int32_t> allowed) {
    const std::int32_t status = onewire::lastStatus();
    require(std::find(allowed.begin(), allowed.end(), status) != allowed.end());
}

busmodel::Device makeDevice(FuzzedDataProvider& in) {
    busmodel::Device device;
    const std::uint8_t kind = in.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t family = kind % 3 == 0   ? busmodel::FamilyDs18b20
                                : kind % 3 == 1 ? busmodel::FamilyDs18s20
                                                : in.ConsumeIntegral<std::uint8_t>();
    device.rom =
        busmodel::MakeRomCode(family, in.ConsumeIntegral<std::uint64_t>() & 0xFFFFFFFFFFFFu);
    if ((kind & 0x08) != 0) device.rom[7] ^= 0x5A;  // a wrong CRC byte
    device.temperatureRaw = in.ConsumeIntegral<std::int16_t>();
    device.power = (kind & 0x10) != 0 ? busmodel::Power::Parasite : busmodel::Power::External;
    device.present = (kind & 0x20) == 0;
    device.corruptScratchpad = (kind & 0x40) != 0;
    if ((kind & 0x80) != 0) device.leaveAfterSearchSlots = in.ConsumeIntegralInRange(0, 200);
    return device;
}

// Devices with distinct codes; true when none leaves during a search.
bool setUpDevices(FuzzedDataProvider& in) {
    std::vector<busmodel::Device> devices;
    bool steady = true;
    const std::int32_t count = in.ConsumeIntegralInRange(0, MaxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        const busmodel::Device device = makeDevice(in);
        const bool known =
            std::any_of(devices.begin(), devices.end(),
                        [&](const busmodel::Device& d) { return d.rom == device.rom; });
        if (known) continue;
        steady = steady && device.leaveAfterSearchSlots < 0;
        devices.push_back(device);
    }
    busmodel::SetDevices(devices);
    return steady;
}

// Faults only in one input of eight, so that most runs reach deep into the
// exchanges. true when the bus is left sound.
bool setUpFaults(FuzzedDataProvider& in) {
    const std::uint8_t bits = in.ConsumeIntegral<std::uint8_t>();
    if ((bits & 0xE0) != 0xE0) return true;
    busmodel::Faults faults;
    faults.shorted = (bits & 1) != 0;
    faults.noEcho = (bits & 2) != 0;
    faults.doubleEcho = (bits & 4) != 0;
    faults.failResetSpeed = (bits & 8) != 0;
    faults.failDataSpeed = (bits & 16) != 0;
    faults.echoesBeforeUnplug = in.ConsumeIntegralInRange(-1, 400);
    busmodel::SetFaults(faults);
    return false;
}

std::set<RomCode> presentCodes() {
    std::set<RomCode> codes;
    for (const busmodel::Device& device : busmodel::Devices()) {
        if (device.present) codes.insert(device.rom);
    }
    return codes;
}

// A whole enumeration. On a sound, steady bus through an open port it must deliver every present
// device once, in ascending order, and then report no more devices.
void enumerate(bool sound) {
    require(onewire::searchReset());
    std::vector<RomCode> found;
    bool ended = false;
    for (std::int32_t call = 0; call < SearchCallLimit && !ended; ++call) {
        RomCode code{};
        if (onewire::searchNext(&code)) {
            requireStatus({onewire::Ok});
            found.push_back(code);
        } else {
            requireStatus({1, 2, 3, 4, 5, 7});
            ended = true;
        }
    }
    if (!sound || !busmodel::CurrentPortState().open) return;
    // An empty bus answers the first reset with no presence.
    const std::int32_t status = onewire::lastStatus();
    require(ended);
    require(status == onewire::NoData || (status == onewire::NoResponse && found.empty()));
    const std::set<RomCode> expected = presentCodes();
    require(std::set<RomCode>(found.begin(), found.end()) == expected);
    require(found.size() == expected.size());
}

RomCode chooseCode(FuzzedDataProvider& in) {
    const std::vector<busmodel::Device> devices = busmodel::Devices();
    if (!devices.empty() && in.ConsumeBool()) {
        return devices[in.ConsumeIntegralInRange<std::size_t>(0, devices.size() - 1)].rom;
    }
    RomCode code{};
    for (std::uint8_t& byte : code) byte = in.ConsumeIntegral<std::uint8_t>();
    return code;
}

// A heap buffer of exactly `n` bytes, so that a write past it is caught.
void readIntoExactBuffer(std::int32_t n) {
    const std::size_t size = n > 0 ? static_cast<std::size_t>(n) : 1u;
    const auto buffer = std::make_unique<std::uint8_t[]>(size);
    const bool done = onewire::readBytes(buffer.get(), n);
    requireStatus({0, 1, 3, 6});
    require(!done || onewire::lastStatus() == onewire::Ok);
    require(done || onewire::lastStatus() != onewire::Ok);
}

void writeFromExactBuffer(FuzzedDataProvider& in, std::int32_t n) {
    const std::size_t size = n > 0 ? static_cast<std::size_t>(n) : 1u;
    const auto buffer = std::make_unique<std::uint8_t[]>(size);
    for (std::size_t i = 0; i < size; ++i) buffer[i] = in.ConsumeIntegral<std::uint8_t>();
    const bool done = onewire::writeBytes(buffer.get(), n);
    requireStatus({0, 1, 3, 6});
    require(done == (onewire::lastStatus() == onewire::Ok));
}

void readScratchpadExactly() {
    const auto buffer = std::make_unique<std::uint8_t[]>(9);
    const bool done = onewire::readScratchpad(buffer.get());
    requireStatus({0, 1, 3, 6});
    require(done == (onewire::lastStatus() == onewire::Ok));
}

void matchAndReadExactly(FuzzedDataProvider& in) {
    const RomCode code = chooseCode(in);
    const auto buffer = std::make_unique<std::uint8_t[]>(9);
    const bool done = onewire::matchRomAndReadScratchpad(&code, buffer.get());
    requireStatus({0, 1, 2, 3, 4, 6});
    require(done == (onewire::lastStatus() == onewire::Ok));
}

// Slot bytes from the fuzzer, sent as one block in a buffer of exactly their size.
void exchangeExactSlots(FuzzedDataProvider& in, std::int32_t count) {
    const std::size_t size = count > 0 ? static_cast<std::size_t>(count) : 1u;
    const auto slots = std::make_unique<std::uint8_t[]>(size);
    for (std::size_t i = 0; i < size; ++i) slots[i] = in.ConsumeBool() ? 0xFF : 0x00;
    const bool done = onewire::exchangeSlots(slots.get(), count);
    requireStatus({0, 1, 3, 6});
    require(done == (onewire::lastStatus() == onewire::Ok));
}

void writeThenReadExactly(FuzzedDataProvider& in) {
    const std::int32_t commandBytes = in.ConsumeIntegralInRange(-1, 10);
    const std::int32_t n = in.ConsumeIntegralInRange(-1, MaxTransfer);
    const auto command =
        std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(std::max(commandBytes, 1)));
    const auto data = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(std::max(n, 1)));
    for (std::int32_t i = 0; i < commandBytes; ++i) command[i] = in.ConsumeIntegral<std::uint8_t>();
    const bool done = onewire::writeThenRead(command.get(), commandBytes, data.get(), n);
    requireStatus({0, 1, 3, 6});
    require(done == (onewire::lastStatus() == onewire::Ok));
}

void runOperation(FuzzedDataProvider& in, bool sound) {
    switch (in.ConsumeIntegralInRange(0, 18)) {
        case 0:
            (void)onewire::openPort(in.ConsumeBool() ? "COM1" : "COM2");
            requireStatus({0, 1});
            break;
        case 1:
            (void)onewire::closePort();
            requireStatus({0, 1});
            break;
        case 2:
            (void)onewire::busReset();
            requireStatus({0, 1, 2, 3, 4});
            break;
        case 3:
            enumerate(sound);
            break;
        case 4: {
            RomCode code{};
            const bool found = onewire::searchNext(&code);
            requireStatus(found ? std::initializer_list<std::int32_t>{0}
                                : std::initializer_list<std::int32_t>{1, 2, 3, 4, 5, 7});
            break;
        }
        case 5: {
            const RomCode code = chooseCode(in);
            const bool matched = onewire::matchRom(&code);
            requireStatus({0, 1, 2, 3, 4, 6});
            require(!matched || onewire::lastStatus() == onewire::Ok);
            break;
        }
        case 6:
            (void)onewire::resetAndSkipRom();
            requireStatus({0, 1, 2, 3, 4});
            break;
        case 7:
            (void)onewire::startConversion(in.ConsumeIntegralInRange<std::uint32_t>(0, 1000));
            requireStatus({0, 1, 3});
            break;
        case 8:
            readScratchpadExactly();
            break;
        case 9: {
            const int power = onewire::readPowerSupply();
            require(power == 0 || power == 1);
            requireStatus({0, 1, 3});
            break;
        }
        case 10:
            readIntoExactBuffer(in.ConsumeIntegralInRange(-2, MaxTransfer));
            break;
        case 11:
            writeFromExactBuffer(in, in.ConsumeIntegralInRange(-2, MaxTransfer));
            break;
        case 12:
            (void)onewire::exchangeByte(in.ConsumeIntegral<std::uint8_t>());
            requireStatus({0, 1, 3});
            break;
        case 13:
            onewire::setLinkOptions(in.ConsumeIntegralInRange<std::uint32_t>(0, 3));
            break;
        case 14: {
            const int bit = onewire::readSlot(in.ConsumeBool(), in.ConsumeBool(), in.ConsumeBool());
            require(bit == 0 || bit == 1);
            requireStatus({0, 3});
            break;
        }
        case 15:
            exchangeExactSlots(in, in.ConsumeIntegralInRange(-1, 8 * MaxTransfer));
            break;
        case 16:
            writeThenReadExactly(in);
            break;
        case 17:
            matchAndReadExactly(in);
            break;
        default: {
            require(!onewire::searchNext(nullptr) && onewire::lastStatus() == onewire::BadArgument);
            require(!onewire::readBytes(nullptr, 1));
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    busmodel::UseVirtualClock(busmodel::ClockMode::Instant);
    onewire::useSerialBackend(&fuzz::TamperingPortOps());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    (void)onewire::closePort();
    busmodel::ResetBus();
    onewire::setLinkOptions(0);
    const bool steady = setUpDevices(in);
    const bool faultless = setUpFaults(in);
    const std::vector<std::uint8_t> steps =
        in.ConsumeBytes<std::uint8_t>(3 * in.ConsumeIntegralInRange<std::size_t>(0, 12));
    fuzz::ResetTamperingPort(steps);
    const bool sound = steady && faultless && steps.empty();

    if (!onewire::openPort("COM1")) require(onewire::lastStatus() == onewire::NoPort);
    for (std::int32_t i = 0; i < MaxOperations && in.remaining_bytes() > 0; ++i) {
        runOperation(in, sound);
    }
    (void)onewire::closePort();
    return 0;
}
