#include "web/text_escape.h"

#include <array>
#include <charconv>
#include <cstdint>

#include "platform/utf8.h"

namespace web {
namespace {

void appendHex4(std::string& out, unsigned value) {
    constexpr std::string_view digits = "0123456789abcdef";
    out += "\\u00";
    out += digits[value >> 4 & 0xF];
    out += digits[value & 0xF];
}

template <typename Number>
std::string shortestText(Number value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

}  // namespace

void AppendHtmlEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
                break;
        }
    }
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : platform::ValidUtf8(text)) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    appendHex4(out, static_cast<unsigned char>(c));
                } else {
                    out += c;
                }
                break;
        }
    }
    out += '"';
}

void AppendLabelValue(std::string& out, std::string_view text) {
    for (const char c : platform::ValidUtf8(text)) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
                break;
        }
    }
}

std::string NumberText(double value) {
    return shortestText(value);
}

std::string FloatText(float value) {
    return shortestText(value);
}

std::string FixedText(double value, int decimals) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, decimals);
    return result.ec == std::errc{} ? std::string(text.data(), result.ptr) : std::string("0");
}

}  // namespace web
