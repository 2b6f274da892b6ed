#pragma once
// Percentiles of a set of latencies, nearest-rank: the value below which the
// given fraction of the samples lie, always one of the samples.
#include <vector>

namespace bench {

// `fraction` in (0, 1]; 0 for no samples.
double Percentile(std::vector<double> samples, double fraction);

}  // namespace bench
