#pragma once
// Outcome codes of every bus operation. Each operation also leaves its code as
// the calling thread's last status, which the caller reads right after a
// failing call, on the same thread.
#include <cstdint>
#include <string_view>

namespace onewire {

enum BusStatus : std::int32_t {
    Ok = 0,
    NoPort = 1,
    NoResponse = 2,
    ExchangeError = 3,
    SpeedChangeError = 4,
    SearchError = 5,
    BadArgument = 6,
    NoData = 7,
};

// The calling thread's last status; 0 for a thread that never used the bus.
std::int32_t lastStatus();

// The Russian text of a code; empty for any code outside 0..7.
std::string_view statusMessage(std::int32_t code);

}  // namespace onewire
