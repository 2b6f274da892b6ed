// The history store's bounds and its folding into minutes on a virtual clock,
// and the chart and JSON drawn from a day of it.
#include "web/history.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "sample_feed.h"
#include "web/history_columns.h"
#include "web/status_feed.h"

namespace web {
namespace {

constexpr std::int64_t kNow = 1783857600;  // 2026-07-12 12:00:00 UTC, a whole minute

const HistoryMinute* minuteAt(const HistorySeries& series, std::int64_t start) {
    for (const HistoryMinute& minute : series.minutes) {
        if (minute.minuteStart == start) return &minute;
    }
    return nullptr;
}

TEST(HistoryStore, KeepsTheLastHourWholeAndMinutesOfTheDay) {
    HistoryStore store;
    const std::int64_t faultAt = kNow - 5 * 3600 + 7;
    for (std::int64_t t = kNow - 26 * 3600; t <= kNow; ++t) {
        std::optional<double> celsius = static_cast<double>(t % 60) / 10;  // 0.0 to 5.9 a minute
        if (t == faultAt) celsius.reset();
        AddReading(store, "A", t, celsius);
    }
    const HistorySeries& series = store.series.at("A");
    EXPECT_EQ(series.recent.size(), 3600u);
    EXPECT_EQ(series.recent.front().unixSeconds, kNow - 3599);
    ASSERT_FALSE(series.minutes.empty());
    EXPECT_LE(series.minutes.size(), kMaxMinutes);
    EXPECT_GE(series.minutes.front().minuteStart, kNow - kHistorySeconds);
    EXPECT_LT(series.minutes.back().minuteStart, series.recent.front().unixSeconds);

    const HistoryMinute* whole = minuteAt(series, kNow - 2 * 3600);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->valid, 60);
    EXPECT_EQ(whole->faults, 0);
    EXPECT_FLOAT_EQ(whole->min, 0.0F);
    EXPECT_FLOAT_EQ(whole->max, 5.9F);
    EXPECT_NEAR(whole->mean, 2.95F, 1e-4);
    const HistoryMinute* faulty = minuteAt(series, faultAt - 7);
    ASSERT_NE(faulty, nullptr);
    EXPECT_EQ(faulty->valid, 59);
    EXPECT_EQ(faulty->faults, 1);
}

TEST(HistoryStore, StaysBoundedWhateverComes) {
    HistoryStore store;
    // Ten readings a second: the last hour cannot be kept whole.
    for (std::int64_t i = 0; i < 20 * 60 * 10; ++i) AddReading(store, "fast", kNow + i / 10, 1.0);
    EXPECT_EQ(store.series.at("fast").recent.size(), kMaxRecentSamples);

    // More sensors than the bound: the ones silent longest make room.
    for (int i = 0; i < 300; ++i) AddReading(store, "S" + std::to_string(i), kNow + 1200 + i, 2.0);
    EXPECT_EQ(store.series.size(), kMaxHistorySeries);
    EXPECT_TRUE(store.series.contains("S299"));
    EXPECT_FALSE(store.series.contains("fast"));

    // A day later every silent sensor is gone.
    AddReading(store, "late", kNow + 26 * 3600, 3.0);
    EXPECT_EQ(store.series.size(), 1u);

    // The clock set back: what lay in its future is forgotten.
    AddReading(store, "late", kNow + 26 * 3600 - 100, 4.0);
    const HistorySeries& late = store.series.at("late");
    ASSERT_EQ(late.recent.size(), 1u);
    EXPECT_EQ(late.recent.back().celsius, 4.0F);
    EXPECT_EQ(NewestTime(late), kNow + 26 * 3600 - 100);
}

struct DrawnLine {
    std::string name;
    std::size_t points = 0;
    std::size_t pieces = 0;
};

// The chart's lines as drawn: name, points, pieces between gaps. Found by
// hand, not by std::regex, whose recursion overflows the stack on a long path.
std::vector<DrawnLine> drawnLines(const std::string& page) {
    std::vector<DrawnLine> lines;
    const std::string start = "<path class=\"line\" stroke=\"";
    for (std::size_t at = page.find(start); at != std::string::npos; at = page.find(start, at + 1)) {
        const std::size_t dFrom = page.find("d=\"", at) + 3;
        const std::size_t dTo = page.find('"', dFrom);
        const std::size_t nameFrom = page.find("<title>", dTo) + 7;
        DrawnLine line{page.substr(nameFrom, page.find('<', nameFrom) - nameFrom), 0, 0};
        const std::string d = page.substr(dFrom, dTo - dFrom);
        std::size_t numbers = 0;
        for (std::size_t token = 0; token < d.size();) {
            const std::size_t end = std::min(d.find(' ', token), d.size());
            const std::string text = d.substr(token, end - token);
            if (text.starts_with("M")) ++line.pieces;
            if (text != "h0") ++numbers;
            token = end + 1;
        }
        line.points = numbers / 2;
        lines.push_back(line);
    }
    return lines;
}

TEST(HistoryChart, OneLineASensorBrokenAtFaultsAndSilencesWithinAThousandPoints) {
    ForgetStatusFeed();
    webtest::RecordSampleHistory(kNow);
    StatusSnapshot snapshot = webtest::SampleSnapshot(kNow);
    SetStatusSnapshot(snapshot);
    const std::string page = HistoryPageBody();

    const std::vector<DrawnLine> lines = drawnLines(page);
    ASSERT_EQ(lines.size(), 6u);  // the device listed twice is one line
    for (const DrawnLine& line : lines) {
        EXPECT_GT(line.points, 800u) << line.name;
        EXPECT_LE(line.points, kChartColumns) << line.name;
        // The program was off for 90 minutes; one sensor failed for two hours.
        EXPECT_EQ(line.pieces, line.name.starts_with("back") ? 3u : 2u) << line.name;
    }
    EXPECT_EQ(lines[0].name, "Котёл &lt;кухня&gt;");
    EXPECT_EQ(lines[5].name, "28-00000B013C5E-21");  // no name: its ROM code
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("http://"), std::string::npos);
    EXPECT_EQ(page.find("https://"), std::string::npos);
    EXPECT_EQ(page.find("src="), std::string::npos);
    EXPECT_NE(page.find("<rect class=\"band\""), std::string::npos);
    EXPECT_NE(page.find("от 18 до 26 °C"), std::string::npos);

    snapshot.thermo = ThermoRange{true, 30, 20};  // nothing permitted: no band
    SetStatusSnapshot(snapshot);
    EXPECT_EQ(HistoryPageBody().find("<rect class=\"band\""), std::string::npos);

    const nlohmann::json json = nlohmann::json::parse(HistoryJsonBody());
    ASSERT_EQ(json["sensors"].size(), 6u);
    EXPECT_EQ(json["sensors"][0]["name"], "Котёл <кухня>");
    for (const nlohmann::json& sensor : json["sensors"]) {
        EXPECT_LE(sensor["points"].size(), kChartColumns);
        const auto failed = std::count_if(sensor["points"].begin(), sensor["points"].end(),
                                          [](const nlohmann::json& p) { return p[2].is_null(); });
        // Two hours of failures are 80 columns of 90 s.
        EXPECT_EQ(failed, sensor["rom"] == "10-000802E4A1B2-7F" ? 80 : 0) << sensor["rom"];
    }

    // Before the first poll pass: no chart, and JSON all the same.
    ForgetStatusFeed();
    EXPECT_NE(HistoryPageBody().find("Нет показаний"), std::string::npos);
    EXPECT_TRUE(nlohmann::json::parse(HistoryJsonBody())["from"].is_null());
}

}  // namespace
}  // namespace web
