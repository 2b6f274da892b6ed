#pragma once
// Keep-alive HTTP clients on loopback: each sends GET / on its own connection,
// waits for the whole response (Content-Length), pauses, and asks again.
#include <cstdint>
#include <vector>

namespace bench {

struct LoadOptions {
    std::uint16_t port = 0;      // on 127.0.0.1
    int clients = 1;
    double warmupSeconds = 1;    // connections open and requests run, not counted
    double seconds = 5;          // the measured window after the warm-up
    int pauseMs = 0;             // between a response and the next request
    int reconnectEvery = 0;      // responses per connection before a new one; 0 never
    std::uint32_t seed = 1;      // spreads the first requests over one pause
};

struct LoadResult {
    int connected = 0;            // connections open at the end of the window
    long completed = 0;           // responses that ended within the window
    long ok = 0;                  // of those, status 200
    long unanswered = 0;          // still waiting at the window's end
    long connectFailures = 0;     // connects refused, reset or failed
    long closedByServer = 0;      // connections the server closed or reset
    long sendFailures = 0;        // requests that did not go out whole
    long protocolErrors = 0;      // malformed responses, bytes nobody asked for
    long reconnects = 0;
    int starvedClients = 0;       // clients without one response within the window
    double windowSeconds = 0;
    // The latencies of requests sent and answered within the window, then the
    // ages of all requests still unanswered at its end (a lower bound on what
    // they will take).
    std::vector<double> latenciesMs;
};

// Runs the clients for the warm-up and the window; blocks until done.
LoadResult RunLoad(const LoadOptions& options);

}  // namespace bench
