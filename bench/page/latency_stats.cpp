#include "latency_stats.h"

#include <algorithm>
#include <cmath>

namespace bench {

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) return 0;
    const double rank = std::ceil(fraction * static_cast<double>(samples.size()));
    const auto index = static_cast<std::size_t>(std::clamp(rank, 1.0, double(samples.size()))) - 1;
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index),
                     samples.end());
    return samples[index];
}

}  // namespace bench
