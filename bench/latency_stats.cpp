#include "latency_stats.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace bench {
namespace {

// Nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
  rank = std::clamp<size_t>(rank, 1, sorted.size());
  return sorted[rank - 1];
}

}  // namespace

LatencySummary Summarise(std::vector<double> microseconds) {
  LatencySummary s;
  if (microseconds.empty()) return s;
  std::sort(microseconds.begin(), microseconds.end());
  s.count = microseconds.size();
  s.medianUs = Percentile(microseconds, 0.5);
  s.p90Us = Percentile(microseconds, 0.9);
  s.p99Us = Percentile(microseconds, 0.99);
  s.maxUs = microseconds.back();
  s.meanUs =
      std::accumulate(microseconds.begin(), microseconds.end(), 0.0) / static_cast<double>(s.count);
  return s;
}

std::string FormatSummary(const LatencySummary& s) {
  char line[256];
  std::snprintf(line, sizeof line,
                "count=%zu median_us=%.1f p90_us=%.1f p99_us=%.1f max_us=%.1f mean_us=%.1f",
                s.count, s.medianUs, s.p90Us, s.p99Us, s.maxUs, s.meanUs);
  return line;
}

}  // namespace bench
