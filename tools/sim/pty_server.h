#pragma once
// Serving the simulated bus on a pseudo-terminal. The client opens the slave
// side as its serial port; this side reads each byte, asks the bus model for
// its echo at the slave's current speed, and writes the echo back when the
// echo schedule says it is due.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

struct PtyEndpoint {
    int master = -1;
    std::string slavePath;
};

// Opens a pseudo-terminal whose slave is raw. false with `error` on failure.
bool OpenPty(PtyEndpoint& pty, std::string& error);
void ClosePty(PtyEndpoint& pty);

// Points `linkPath` at the slave; an old symbolic link there is replaced, any
// other file is left alone (false).
bool CreateLink(const std::string& linkPath, const std::string& target, std::string& error);
// Removes the link when it still points at `target`.
void RemoveLink(const std::string& linkPath, const std::string& target);

struct ServeControl {
    std::atomic<bool> stop{false};
    std::atomic<bool> reload{false};
    void (*onReload)() = nullptr;  // called on the serving thread when reload is set
    // Read on the serving thread at every pass (onReload may change them).
    std::uint32_t latencyMs = 0;  // added to every write's round trip
    bool wireTiming = false;      // echoes wait for their bytes' time on the wire
    // Every write of the client and what the bus answered, one line each, to
    // learn what another program sends (null: none).
    std::FILE* trace = nullptr;
};

// Serves until control.stop is set.
void Serve(const PtyEndpoint& pty, ServeControl& control);

}  // namespace sim
