// Percentiles of a set of latencies.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct LatencySummary {
  size_t count = 0;
  double medianUs = 0, p90Us = 0, p99Us = 0, maxUs = 0, meanUs = 0;
};

LatencySummary Summarise(std::vector<double> microseconds);

// One line, "count=... median_us=... p90_us=... p99_us=... max_us=... mean_us=...".
std::string FormatSummary(const LatencySummary& summary);

}  // namespace bench
