#pragma once
// A serial port for the fuzzers: the simulated bus answers every byte, and a
// schedule chosen by the fuzzer then damages the echo stream on its way back
// (lost, doubled, changed or late echoes, noise, short and failed writes), as
// a noisy wire or a misbehaving USB adapter would.
#include <cstdint>
#include <span>

namespace platform {
struct SerialPortOps;
}

namespace fuzz {

enum class EchoDamage : std::uint8_t {
    Drop,        // the byte's echoes never arrive
    Double,      // each of its echoes arrives twice
    Replace,     // its echoes carry the given value
    FlipBit,     // one bit (value & 7) of each echo is flipped
    NoiseFirst,  // an extra byte with the value arrives before its echoes
    ShortWrite,  // the write stops before this byte and reports the shorter count
    Late,        // its echoes, and the rest of the write's, arrive at the next wait
    FailWrite,   // the write sends nothing and reports 0
};
inline constexpr std::uint8_t EchoDamageKinds = 8;

struct DamageStep {
    std::uint16_t gap = 0;  // bytes written undamaged before this one
    EchoDamage damage = EchoDamage::Drop;
    std::uint8_t value = 0;
};

// Starts a new run: no port open, no echoes waiting, `steps` read as triples
// of a gap, a damage kind (modulo EchoDamageKinds) and a value.
void ResetTamperingPort(std::span<const std::uint8_t> steps);

// Steps that have not been reached yet; 0 once the whole schedule has run.
std::uint32_t PendingDamageSteps();

// The port operations: open, speed and lines go to the simulated bus's port.
const platform::SerialPortOps& TamperingPortOps();

}  // namespace fuzz
