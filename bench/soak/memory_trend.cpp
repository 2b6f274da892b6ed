#include "memory_trend.h"

#include <algorithm>

namespace soak {

MemoryTrend Trend(const std::vector<MemorySample>& samples, double settleSeconds) {
    MemoryTrend trend;
    double sumT = 0, sumM = 0, sumTT = 0, sumTM = 0;
    for (const MemorySample& sample : samples) {
        if (sample.seconds < settleSeconds) continue;
        const double minutes = sample.seconds / 60;
        if (trend.samples == 0) trend.minKib = trend.maxKib = sample.kib;
        trend.minKib = std::min(trend.minKib, sample.kib);
        trend.maxKib = std::max(trend.maxKib, sample.kib);
        ++trend.samples;
        sumT += minutes;
        sumM += sample.kib;
        sumTT += minutes * minutes;
        sumTM += minutes * sample.kib;
    }
    const double n = trend.samples;
    const double spread = n * sumTT - sumT * sumT;
    if (trend.samples >= 2 && spread > 0) trend.slopeKibPerMin = (n * sumTM - sumT * sumM) / spread;
    return trend;
}

}  // namespace soak
