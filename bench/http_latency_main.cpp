// http_latency PORT PATH COUNT [CONNECTIONS]
// Sends COUNT keep-alive GET requests for PATH, one after another over
// CONNECTIONS connections in turn (default 1), and prints the latency
// summary and the result codes seen. Exits non-zero when a request fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "http_client.h"
#include "latency_stats.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: http_latency PORT PATH COUNT [CONNECTIONS]\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const std::string path = argv[2];
  const long count = std::atol(argv[3]);
  const int connections = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;

  std::vector<std::unique_ptr<bench::HttpClient>> clients;
  for (int i = 0; i < connections; ++i) {
    clients.push_back(std::make_unique<bench::HttpClient>());
    if (!clients.back()->Connect(port)) {
      std::fprintf(stderr, "cannot connect to port %u\n", port);
      return 1;
    }
  }
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(count));
  std::map<std::string, long> codes;
  long failures = 0;
  for (long i = 0; i < count; ++i) {
    auto& client = *clients[static_cast<size_t>(i % connections)];
    const auto start = std::chrono::steady_clock::now();
    auto reply = client.Get(path);
    const auto end = std::chrono::steady_clock::now();
    if (!reply) {
      ++failures;
      continue;
    }
    latencies.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    ++codes[bench::ResultCodeOf(*reply)];
  }
  std::printf("%s failures=%ld", bench::FormatSummary(bench::Summarise(latencies)).c_str(),
              failures);
  for (const auto& [code, n] : codes) std::printf(" code_%s=%ld", code.c_str(), n);
  std::printf("\n");
  return failures == 0 ? 0 : 1;
}
