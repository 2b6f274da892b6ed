#include "http_framing.h"

#include <cctype>
#include <charconv>

namespace bench {
namespace {

// No response of the status page has headers anywhere near this long; past
// it the peer is not sending what the client understands.
constexpr std::size_t MaxHeaderBytes = 8192;

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool readNumber(std::string_view text, std::size_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && !text.empty();
}

// The status code of "HTTP/1.1 200 OK"; 0 when the line is not one.
int statusCode(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (!line.starts_with("HTTP/") || space == std::string_view::npos) return 0;
    std::size_t code = 0;
    const std::string_view digits = line.substr(space + 1, 3);
    return readNumber(digits, code) ? static_cast<int>(code) : 0;
}

}  // namespace

ResponseFrame FrameResponse(std::string_view received) {
    ResponseFrame frame;
    const std::size_t headerEnd = received.find("\r\n\r\n");
    if (headerEnd == std::string_view::npos) {
        const bool badStart = received.size() >= 5 && !received.starts_with("HTTP/");
        if (badStart || received.size() > MaxHeaderBytes) frame.state = FrameState::Malformed;
        return frame;
    }
    if (headerEnd > MaxHeaderBytes) return ResponseFrame{FrameState::Malformed};
    const std::string_view headers = received.substr(0, headerEnd);
    std::size_t lineStart = headers.find("\r\n");
    frame.status = statusCode(headers.substr(0, lineStart));
    if (frame.status == 0) return ResponseFrame{FrameState::Malformed};

    bool lengthFound = false;
    std::size_t bodyLength = 0;
    while (lineStart != std::string_view::npos) {
        lineStart += 2;
        const std::size_t lineEnd = headers.find("\r\n", lineStart);
        const std::string_view line = headers.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos &&
            sameLetters(trimmed(line.substr(0, colon)), "Content-Length")) {
            lengthFound = readNumber(trimmed(line.substr(colon + 1)), bodyLength);
            if (!lengthFound) return ResponseFrame{FrameState::Malformed, 0, frame.status};
        }
        lineStart = lineEnd;
    }
    if (!lengthFound) return ResponseFrame{FrameState::Malformed, 0, frame.status};
    const std::size_t total = headerEnd + 4 + bodyLength;
    if (received.size() >= total) {
        frame.state = FrameState::Complete;
        frame.length = total;
    }
    return frame;
}

}  // namespace bench
