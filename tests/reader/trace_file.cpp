#include "trace_file.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

TraceFile::TraceFile() {
  char name[] = "/tmp/velmora-trace-XXXXXX";
  const int descriptor = mkstemp(name);
  if (descriptor >= 0) close(descriptor);
  path_ = name;
}

TraceFile::~TraceFile() { unlink(path_.c_str()); }

std::vector<std::string> TraceFile::Lines() const {
  std::vector<std::string> lines;
  std::ifstream file(path_, std::ios::binary);
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

size_t TraceFile::Count(const std::string& prefix) const {
  size_t count = 0;
  for (const std::string& line : Lines()) {
    if (line.rfind(prefix, 0) == 0) ++count;
  }
  return count;
}
