#pragma once
// Putting user-typed texts (sensor names) into HTML, JSON and the Prometheus
// text format safely, and numbers into any of them without the locale.
#include <string>
#include <string_view>

namespace web {

// & < > " as entities; other bytes unchanged.
void AppendHtmlEscaped(std::string& out, std::string_view text);
// A JSON string literal, quotes included, of platform::ValidUtf8(text): quote, backslash
// and every control character escaped.
void AppendJsonString(std::string& out, std::string_view text);
// A Prometheus label value without its quotes, of platform::ValidUtf8(text): backslash,
// quote and line feed escaped.
void AppendLabelValue(std::string& out, std::string_view text);

// The shortest decimal text that reads back as `value` ("21.3125", "-0.5",
// "3"); "NaN" is never produced for a finite value.
[[nodiscard]] std::string NumberText(double value);
// The same for a value held as a float: "21.3", not the double nearest to it.
[[nodiscard]] std::string FloatText(float value);
// `value` with exactly `decimals` digits after the point.
[[nodiscard]] std::string FixedText(double value, int decimals);

}  // namespace web
