// startup_time PROGRAM PORT RUNS
// Starts PROGRAM RUNS times and measures, from just before exec, when its
// port first accepts a connection (listening) and when it first answers a
// request (its event loop is running). Stops it with SIGTERM after each run.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "http_client.h"
#include "latency_stats.h"

namespace {

using Clock = std::chrono::steady_clock;

double MicrosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

pid_t Launch(const char* program) {
  pid_t pid = fork();
  if (pid == 0) {
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

bool Stop(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  return waitpid(pid, &status, 0) == pid;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: startup_time PROGRAM PORT RUNS\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[2]));
  const int runs = std::atoi(argv[3]);
  std::vector<double> listening, answering;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    pid_t pid = Launch(argv[1]);
    bench::HttpClient client;
    // Polls as fast as connecting fails; the program is given 5 seconds.
    while (!client.Connect(port)) {
      if (MicrosecondsSince(start) > 5e6) {
        std::fprintf(stderr, "run %d: the program did not listen\n", run);
        Stop(pid);
        return 1;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    listening.push_back(MicrosecondsSince(start));
    if (!client.Get("/FOO?startup")) {
      std::fprintf(stderr, "run %d: no answer\n", run);
      Stop(pid);
      return 1;
    }
    answering.push_back(MicrosecondsSince(start));
    client.Close();
    if (!Stop(pid)) return 1;
  }
  std::printf("listening %s\n", bench::FormatSummary(bench::Summarise(listening)).c_str());
  std::printf("answering %s\n", bench::FormatSummary(bench::Summarise(answering)).c_str());
  return 0;
}
