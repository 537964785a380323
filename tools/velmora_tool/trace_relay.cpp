#include "trace_relay.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "platform/codepage.h"

namespace velmora_tool {
namespace {

// A reader session writes a few lines per command; more is a runaway.
constexpr std::streamsize kMostTraceBytes = 1 << 20;

// A new file of its own under the temporary folder ("x": never one that
// exists already), or an empty path.
std::filesystem::path CreateTraceFile() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) return {};
  std::random_device random;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::filesystem::path path = folder / ("velmora-trace-" + std::to_string(random()));
    if (std::FILE* file = std::fopen(path.c_str(), "wx")) {
      std::fclose(file);
      return path;
    }
  }
  return {};
}

}  // namespace

TraceRelay::TraceRelay() : path_(CreateTraceFile()) {
  // Without a file of its own the trace still reaches standard error, in GBK.
  ::setenv("VELMORA_TRACE", path_.empty() ? "stderr" : path_.c_str(), 1);
}

TraceRelay::~TraceRelay() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove(path_, ignored);
}

void TraceRelay::CopyTo(std::ostream& err) const {
  if (path_.empty()) return;
  std::ifstream in(path_, std::ios::binary);
  std::string gbk(static_cast<size_t>(kMostTraceBytes), '\0');
  in.read(gbk.data(), kMostTraceBytes);
  gbk.resize(static_cast<size_t>(in.gcount()));
  err << duvane::platform::AnsiToUtf8(gbk);
  if (in.peek() != std::char_traits<char>::eof()) err << "(trace cut after 1 MiB)\n";
  err.flush();
}

}  // namespace velmora_tool
