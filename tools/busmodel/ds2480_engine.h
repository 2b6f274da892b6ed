#pragma once
// The adapter in front of the simulated bus: the passive one (every byte is
// the wire's, its echo the answer) or a DS2480B line driver that takes
// commands and data over its UART and drives the same wire and devices.
#include <cstdint>
#include <vector>

namespace busmodel {

enum class Adapter : std::uint8_t { Passive, Ds2480b };

// Chosen before a client opens the port; ResetBus goes back to Passive.
void SetAdapter(Adapter adapter);
Adapter CurrentAdapter();

// One byte from the host at `baud` through the adapter; its answers (none,
// one or more bytes) are appended to `answers`. Returns the 1-Wire time in ns
// the DS2480B spent on it before its answer (0 for the passive adapter, whose
// byte is its own time on the wire).
std::int64_t HostByte(std::uint8_t byte, std::uint32_t baud, std::vector<std::uint8_t>& answers);

// The chip's power comes back (a new open of the port): it waits for its
// timing byte again, at 9600 baud, with its power-on parameters.
void PowerUpAdapter();

// The chip's next power-up leaves it hung, answering 0xFF to every byte, as
// some adapters do at start; the power-up after that cures it.
void HangAdapterAtNextPowerUp();

// What the DS2480B has seen since power-up, for tests.
struct Ds2480Counters {
    std::uint32_t masterResets = 0;  // timing bytes taken (power-up or a speed mismatch)
    std::uint32_t searchPasses = 0;  // accelerated search passes
    std::uint32_t pullUps = 0;       // strong pull-ups started
    std::uint32_t pullUpsEnded = 0;  // ... and ended
    std::uint32_t chipBaud = 9600;
};
Ds2480Counters CurrentDs2480Counters();

}  // namespace busmodel
