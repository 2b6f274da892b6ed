#pragma once
// Resident memory samples over a run: the spread and the trend after the
// first minute, when start-up allocations are done.
#include <vector>

namespace soak {

struct MemorySample {
    double seconds = 0;  // since the program started
    double kib = 0;      // VmRSS
};

struct MemoryTrend {
    int samples = 0;           // samples after the settling time
    double minKib = 0;
    double maxKib = 0;
    double slopeKibPerMin = 0; // least-squares line through those samples
};

// The trend of the samples taken at or after `settleSeconds`.
MemoryTrend Trend(const std::vector<MemorySample>& samples, double settleSeconds);

}  // namespace soak
