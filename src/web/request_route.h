#pragma once
// Judging one received chunk by its request line alone: which resource, if
// any, it asks for. Pure, so that hostile input can be fuzzed cheaply.
#include <cstdint>
#include <span>

namespace web {

enum class Route : std::uint8_t {
    NoAnswer,     // no "get", or no "/" after it, or no space after that "/"
    Page,         // the path is empty or "index.html", in any letter case
    Icon,         // "favicon.ico"
    NotFound,     // any other path, a query or a scheme included
    StatusJson,   // "status.json"
    Metrics,      // "metrics"
    HistoryPage,  // "history"
    HistoryJson,  // "history.json"
};

// Reads only received[0 .. size); the text ends early at a zero byte.
[[nodiscard]] Route JudgeRequest(std::span<const std::uint8_t> received);

}  // namespace web
