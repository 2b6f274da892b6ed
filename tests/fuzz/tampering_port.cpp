#include "tampering_port.h"

#include <deque>
#include <vector>

#include "busmodel/bus_model.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace fuzz {
namespace {

// The fuzzer runs one input at a time on one thread, so the state is unlocked.
struct TamperingPort {
    platform::SerialPort* inner = nullptr;  // the simulated bus's port
    std::deque<std::uint8_t> input;         // echoes the library may read
    std::deque<std::uint8_t> late;          // echoes held back until the next wait
    std::vector<DamageStep> steps;
    std::size_t nextStep = 0;
    std::uint32_t sinceLastStep = 0;
};
TamperingPort state;

// A handle of our own, so that the library never mixes it with the inner one.
int handleObject = 0;
platform::SerialPort* ownHandle() {
    return reinterpret_cast<platform::SerialPort*>(&handleObject);
}

bool isOpen(platform::SerialPort* port) {
    return port == ownHandle() && state.inner != nullptr;
}

// The damage for the byte about to be written, if its turn has come.
const DamageStep* stepForNextByte() {
    if (state.nextStep >= state.steps.size()) return nullptr;
    const DamageStep& step = state.steps[state.nextStep];
    if (state.sinceLastStep < step.gap) {
        ++state.sinceLastStep;
        return nullptr;
    }
    state.sinceLastStep = 0;
    ++state.nextStep;
    return &step;
}

// The simulated bus's echoes of one byte.
std::vector<std::uint8_t> transmit(std::uint8_t byte) {
    const platform::SerialPortOps& bus = busmodel::SerialOps();
    std::vector<std::uint8_t> echoes;
    if (bus.write(state.inner, &byte, 1) != 1) return echoes;
    const std::int32_t waiting = bus.inputWaiting(state.inner);
    if (waiting <= 0) return echoes;
    echoes.resize(static_cast<std::size_t>(waiting));
    echoes.resize(static_cast<std::size_t>(bus.read(state.inner, echoes.data(), waiting)));
    return echoes;
}

void deliver(std::deque<std::uint8_t>& to, const std::vector<std::uint8_t>& echoes,
             const DamageStep* step) {
    for (std::uint8_t echo : echoes) {
        if (step != nullptr && step->damage == EchoDamage::Replace) echo = step->value;
        if (step != nullptr && step->damage == EchoDamage::FlipBit) {
            echo = static_cast<std::uint8_t>(echo ^ (1u << (step->value & 7u)));
        }
        to.push_back(echo);
        if (step != nullptr && step->damage == EchoDamage::Double) to.push_back(echo);
    }
}

platform::SerialPort* open(std::string_view name) {
    if (state.inner != nullptr) return nullptr;
    state.inner = busmodel::SerialOps().open(name);
    if (state.inner == nullptr) return nullptr;
    state.input.clear();
    state.late.clear();
    return ownHandle();
}

bool setSpeed(platform::SerialPort* port, std::uint32_t baud) {
    return isOpen(port) && busmodel::SerialOps().setSpeed(state.inner, baud);
}

void setLines(platform::SerialPort* port, bool dtrOn, bool rtsOn) {
    if (isOpen(port)) busmodel::SerialOps().setLines(state.inner, dtrOn, rtsOn);
}

std::int32_t inputWaiting(platform::SerialPort* port) {
    return isOpen(port) ? static_cast<std::int32_t>(state.input.size()) : 0;
}

std::int32_t write(platform::SerialPort* port, const std::uint8_t* data, std::int32_t n) {
    if (!isOpen(port) || data == nullptr || n <= 0) return 0;
    bool holdBack = false;
    for (std::int32_t i = 0; i < n; ++i) {
        const DamageStep* step = stepForNextByte();
        if (step != nullptr && step->damage == EchoDamage::FailWrite) return 0;
        if (step != nullptr && step->damage == EchoDamage::ShortWrite) return i;
        if (step != nullptr && step->damage == EchoDamage::Late) holdBack = true;
        if (step != nullptr && step->damage == EchoDamage::NoiseFirst) {
            (holdBack ? state.late : state.input).push_back(step->value);
        }
        const std::vector<std::uint8_t> echoes = transmit(data[i]);
        if (step != nullptr && step->damage == EchoDamage::Drop) continue;
        deliver(holdBack ? state.late : state.input, echoes, step);
    }
    return n;
}

std::int32_t read(platform::SerialPort* port, std::uint8_t* data, std::int32_t n) {
    if (!isOpen(port) || data == nullptr || n <= 0) return 0;
    std::int32_t count = 0;
    while (count < n && !state.input.empty()) {
        data[count++] = state.input.front();
        state.input.pop_front();
    }
    return count;
}

// Late echoes turn up while the library waits, after its time-out has passed:
// on the virtual clock that costs nothing, and they may meet a later exchange.
void waitInput(platform::SerialPort* port, std::int32_t bytes, std::uint32_t timeoutMs) {
    if (!isOpen(port)) return;
    if (static_cast<std::int32_t>(state.input.size()) >= bytes) return;
    if (timeoutMs > 0) platform::SleepMs(timeoutMs);
    state.input.insert(state.input.end(), state.late.begin(), state.late.end());
    state.late.clear();
}

void close(platform::SerialPort* port) {
    if (!isOpen(port)) return;
    busmodel::SerialOps().close(state.inner);
    state.inner = nullptr;
    state.input.clear();
    state.late.clear();
}

bool lost(platform::SerialPort*) {
    return false;
}

const platform::SerialPortOps ops{
    open, setSpeed, setLines, inputWaiting, write, read, waitInput, close, lost,
};

}  // namespace

void ResetTamperingPort(std::span<const std::uint8_t> steps) {
    if (state.inner != nullptr) close(ownHandle());
    state.steps.clear();
    for (std::size_t i = 0; i + 2 < steps.size(); i += 3) {
        state.steps.push_back(
            {steps[i], static_cast<EchoDamage>(steps[i + 1] % EchoDamageKinds), steps[i + 2]});
    }
    state.nextStep = 0;
    state.sinceLastStep = 0;
}

std::uint32_t PendingDamageSteps() {
    return static_cast<std::uint32_t>(state.steps.size() - state.nextStep);
}

const platform::SerialPortOps& TamperingPortOps() {
    return ops;
}

}  // namespace fuzz
