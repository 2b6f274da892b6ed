// Writes the metrics of the sample snapshot (hostile names, a failed sensor,
// a repeated ROM code) to standard output, for `promtool check metrics`.
#include <cstdio>
#include <string>

#include "sample_feed.h"
#include "web/metrics.h"

int main() {
    const std::string metrics = web::BuildMetrics(webtest::SampleSnapshot(1783857600));
    std::fwrite(metrics.data(), 1, metrics.size(), stdout);
    return 0;
}
