// The JSON status and the metrics built from hostile sensor names: what a
// real JSON parser reads back, and the exposition lines Prometheus reads.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>
#include <string>

#include "platform/utf8.h"
#include "sample_feed.h"
#include "web/metrics.h"
#include "web/status_json.h"
#include "web/time_text.h"

namespace web {
namespace {

constexpr std::int64_t kNow = 1783857600;  // 2026-07-12 12:00:00 UTC

struct Utf8Case {
    std::string_view input;
    std::string_view valid;
};

TEST(Utf8, InvalidSequencesBecomeReplacementCharacters) {
    const Utf8Case cases[] = {
        {"Котёл 🌡 °C", "Котёл 🌡 °C"},
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // overlong slash
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // above U+10FFFF
        {"end\xE2\x82", "end\xEF\xBF\xBD\xEF\xBF\xBD"},                            // cut short
    };
    for (const Utf8Case& c : cases) EXPECT_EQ(platform::ValidUtf8(c.input), c.valid) << c.input;
}

TEST(StatusJson, AJsonParserReadsBackEveryHostileName) {
    const StatusSnapshot snapshot = webtest::SampleSnapshot(kNow);
    const nlohmann::json json = nlohmann::json::parse(BuildStatusJson(snapshot));

    ASSERT_EQ(json["sensors"].size(), snapshot.sensors.size());
    for (std::size_t i = 0; i < snapshot.sensors.size(); ++i) {
        const SensorSnapshot& sensor = snapshot.sensors[i];
        const nlohmann::json& got = json["sensors"][i];
        EXPECT_EQ(got["rom"], sensor.rom);
        EXPECT_EQ(got["name"], platform::ValidUtf8(sensor.cells[kNameCell])) << i;
        EXPECT_EQ(got["cells"]["name"], platform::ValidUtf8(sensor.cells[kNameCell]));
        EXPECT_EQ(got["cells"]["status"], sensor.cells[kStatusCell]);
        EXPECT_EQ(got["type"], sensor.cells[kTypeCell]);
        EXPECT_EQ(got["connection"], sensor.cells[kConnectionCell]);
        EXPECT_EQ(got["present"], sensor.present);
    }
    EXPECT_EQ(json["sensors"][0]["temperature"], 21.3125);
    EXPECT_EQ(json["sensors"][0]["inRange"], true);
    EXPECT_EQ(json["sensors"][3]["inRange"], false);
    // A failed CRC and a missing sensor have no valid reading, whatever value
    // the monitor last converted.
    EXPECT_TRUE(json["sensors"][2]["temperature"].is_null());
    EXPECT_TRUE(json["sensors"][2]["inRange"].is_null());
    EXPECT_TRUE(json["sensors"][4]["temperature"].is_null());
    EXPECT_EQ(json["summary"], (nlohmann::json{{"devices", 6}, {"faulty", 1}, {"alarms", 1}}));
    EXPECT_EQ(json["port"], "COM3");
    EXPECT_EQ(json["adapter"], "DS2480B");
    EXPECT_EQ(json["lastPoll"], IsoTimeText(kNow));
    EXPECT_TRUE(std::regex_match(json["lastPoll"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")));

    const nlohmann::json empty = nlohmann::json::parse(BuildStatusJson(StatusSnapshot{}));
    EXPECT_TRUE(empty["sensors"].empty());
    EXPECT_TRUE(empty["port"].is_null());
    EXPECT_TRUE(empty["adapter"].is_null());
    EXPECT_TRUE(empty["lastPoll"].is_null());
}

TEST(StatusJson, IsoTimeCarriesTheLocalOffset) {
    EXPECT_EQ(IsoTimeText(kNow, {2026, 7, 12, 15, 0, 0}), "2026-07-12T15:00:00+03:00");
    EXPECT_EQ(IsoTimeText(kNow, {2026, 7, 12, 6, 30, 0}), "2026-07-12T06:30:00-05:30");
    EXPECT_EQ(IsoTimeText(kNow, {2026, 7, 11, 23, 0, 0}), "2026-07-11T23:00:00-13:00");
    EXPECT_EQ(IsoTimeText(kNow, {2026, 7, 13, 1, 45, 0}), "2026-07-13T01:45:00+13:45");
}

TEST(Metrics, LabelsAreEscapedAndEachSeriesAppearsOnce) {
    const std::string metrics = BuildMetrics(webtest::SampleSnapshot(kNow));
    const auto count = [&](std::string_view text) {
        std::size_t n = 0;
        for (std::size_t at = metrics.find(text); at != std::string::npos;
             at = metrics.find(text, at + 1)) {
            ++n;
        }
        return n;
    };
    const std::string_view r = "\xEF\xBF\xBD";
    EXPECT_EQ(count("kelvarian_temperature_celsius{rom=\"28-00000B013C5A-14\",name=\"Котёл "
                    "<кухня>\"} 21.3125\n"),
              1u);
    // Listed twice, served once: under the first row's name.
    EXPECT_EQ(count("kelvarian_sensor_up{rom=\"28-00000B013C5A-14\""), 1u);
    EXPECT_EQ(count("Котёл (копия)"), 0u);
    // No valid reading: down, and no temperature at all.
    EXPECT_EQ(count("kelvarian_sensor_up{rom=\"10-000802E4A1B2-7F\",name=\"back\\\\slash "
                    "\\\"q\\\"\\nline\ttab\x01\x1f\"} 0\n"),
              1u);
    EXPECT_EQ(count("kelvarian_temperature_celsius{rom=\"10-000802E4A1B2-7F\""), 0u);
    EXPECT_EQ(count("name=\"bad " + std::string(r) + std::string(r) + " utf8 " + std::string(r) +
                    "( " + std::string(r) + std::string(r) + std::string(r) + " end\"} 1\n"),
              1u);
    EXPECT_EQ(count("kelvarian_read_errors_total{rom="), 18u);
    EXPECT_EQ(
        count("kelvarian_read_errors_total{rom=\"28-00000B013C5E-21\",kind=\"no_answer\"} 3\n"),
        1u);
    EXPECT_EQ(count("\nkelvarian_poll_pass_seconds 0.9375\n"), 1u);
    EXPECT_EQ(count("\nkelvarian_adapter_info{adapter=\"DS2480B\"} 1\n"), 1u);
    EXPECT_EQ(count("# TYPE "), 8u);
    EXPECT_EQ(metrics.back(), '\n');
}

}  // namespace
}  // namespace web
