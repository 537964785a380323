// find-reader: tells whether a reader of a served model is attached, through
// the reader library itself. Prints every attached reader's name, one a line;
// exits 0 when one of them is a served model, 1 otherwise. The demo uses it to
// choose between the real readers and the simulated one.
#include <cstdio>
#include <string>
#include <vector>

#include "velmora.h"

int main() {
  // Room for far more reader names than a workstation has.
  std::vector<char> names(64 * 1024, '\0');
  const int32_t count = EnumerateReaders(names.data());
  ReadCard_Exit(0);
  bool served = false;
  std::string all(names.data());
  for (size_t start = 0; count > 0 && start < all.size();) {
    size_t bar = all.find('|', start);
    if (bar == std::string::npos) break;
    std::string name = all.substr(start, bar - start);
    std::printf("%s\n", name.c_str());
    served = served || name.find("Quorvell K360A Reader") != std::string::npos ||
             name.find("Quorvell K370A Reader") != std::string::npos;
    start = bar + 1;
  }
  return served ? 0 : 1;
}
