#pragma once
// A connection flood on loopback beside one client that asks: the flood opens
// connections at a steady rate and never sends a byte on them, as a careless
// or hostile host on the LAN can; the asking client opens a connection of its
// own for each request (the flood has the server close the oldest ones, a
// kept-alive connection would not live to its next request) and times it
// from its connect to the whole answer.
#include <cstdint>
#include <vector>

namespace bench {

struct FloodOptions {
    std::uint16_t port = 0;  // on 127.0.0.1
    double seconds = 8;      // the whole run; it stops by itself
    int connectionsPerSecond = 1000;
    int askEveryMs = 1000;     // the asking client's pace
    int answerLimitMs = 2000;  // an ask unanswered by then counts at this age
    // Flood connections held open at most; the oldest beyond it are reset, so
    // that a run neither runs out of descriptors nor of local ports.
    int holdOpen = 400;
};

struct FloodResult {
    long opened = 0;           // flood connections started
    long connectFailures = 0;  // flood connects that failed at once
    long asks = 0;
    long answered = 0;    // complete answers within the limit
    long ok = 0;          // of those, status 200
    long unanswered = 0;  // asks that hit the limit, or whose connection failed
    double seconds = 0;   // how long the run took
    // Every ask's time from connect to the answer's last byte; unanswered
    // ones at their age when given up (a lower bound).
    std::vector<double> latenciesMs;
};

// Runs the flood and the asking client; blocks for options.seconds.
FloodResult RunFlood(const FloodOptions& options);

}  // namespace bench
