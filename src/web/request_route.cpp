#include "web/request_route.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace web {
namespace {

// Only ASCII letters take part in the matching; other bytes stay as they are.
std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string_view requestLine(std::span<const std::uint8_t> received) {
    const auto end = std::find(received.begin(), received.end(), std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(received.data()),
                                static_cast<std::size_t>(end - received.begin()));
    return text.substr(0, text.find_first_of("\r\n"));
}

}  // namespace

Route JudgeRequest(std::span<const std::uint8_t> received) {
    const std::string line = lowerAscii(requestLine(received));
    const std::size_t method = line.find("get");
    if (method == std::string::npos) return Route::NoAnswer;
    const std::size_t slash = line.find('/', method);
    if (slash == std::string::npos) return Route::NoAnswer;
    const std::size_t space = line.find(' ', slash);
    if (space == std::string::npos) return Route::NoAnswer;

    const std::string_view path = std::string_view(line).substr(slash + 1, space - slash - 1);
    if (path.empty() || path == "index.html") return Route::Page;
    if (path == "favicon.ico") return Route::Icon;
    if (path == "status.json") return Route::StatusJson;
    if (path == "metrics") return Route::Metrics;
    if (path == "history") return Route::HistoryPage;
    if (path == "history.json") return Route::HistoryJson;
    return Route::NotFound;
}

}  // namespace web
