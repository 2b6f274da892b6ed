#include "web/status_feed.h"

#include <algorithm>
#include <utility>

#include "web/history_page.h"
#include "web/metrics.h"
#include "web/status_json.h"

namespace web {
namespace {

// Only the user-interface thread sets and reads it.
struct StatusFeed {
    StatusSnapshot snapshot;
    HistoryStore history;
    // Built on demand; empty after a change of what they rest on.
    std::optional<std::string> statusJson;
    std::optional<std::string> metrics;
    std::optional<std::string> historyPage;
    std::optional<std::string> historyJson;
};

StatusFeed feed;

// The chart ends at the latest moment known: the last pass or reading.
std::int64_t chartEnd() {
    return std::max(feed.snapshot.lastPassUnix, feed.history.newest);
}

template <typename Build>
const std::string& cached(std::optional<std::string>& answer, Build build) {
    if (!answer) answer = build();
    return *answer;
}

}  // namespace

void SetStatusSnapshot(StatusSnapshot snapshot) {
    feed.snapshot = std::move(snapshot);
    feed.statusJson.reset();
    feed.metrics.reset();
    feed.historyPage.reset();  // names, order and band come from the snapshot
    feed.historyJson.reset();
}

void RecordHistoryReading(std::string_view rom, std::int64_t unixSeconds,
                          std::optional<double> celsius) {
    AddReading(feed.history, rom, unixSeconds, celsius);
    feed.historyPage.reset();
    feed.historyJson.reset();
}

const std::string& StatusJsonBody() {
    return cached(feed.statusJson, [] { return BuildStatusJson(feed.snapshot); });
}

const std::string& MetricsBody() {
    return cached(feed.metrics, [] { return BuildMetrics(feed.snapshot); });
}

const std::string& HistoryPageBody() {
    return cached(feed.historyPage,
                  [] { return BuildHistoryPage(feed.history, feed.snapshot, chartEnd()); });
}

const std::string& HistoryJsonBody() {
    return cached(feed.historyJson,
                  [] { return BuildHistoryJson(feed.history, feed.snapshot, chartEnd()); });
}

const HistoryStore& CurrentHistory() {
    return feed.history;
}

void ForgetStatusFeed() {
    feed = StatusFeed{};
}

}  // namespace web
