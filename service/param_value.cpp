#include "service/param_value.h"

#include <algorithm>

namespace duvane {
namespace {

bool IsSpace(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

bool IsItemEnd(char c, char delimiter) {
  return static_cast<unsigned char>(c) <= 32 || c == delimiter;
}

// Reads one quoted item starting at the quote at `pos`; returns the position
// after the closing quote (or the end of the text when it is missing).
size_t ReadQuoted(std::string_view text, size_t pos, std::string& item) {
  ++pos;
  while (pos < text.size()) {
    if (text[pos] == '"') {
      if (pos + 1 < text.size() && text[pos + 1] == '"') {
        item.push_back('"');
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    item.push_back(text[pos++]);
  }
  return pos;
}

std::string ToUpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string_view TrimControls(std::string_view s) {
  auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!s.empty() && isTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && isTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::vector<std::string> SplitItems(std::string_view text, char delimiter) {
  std::vector<std::string> items;
  size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  while (pos < text.size()) {
    std::string item;
    if (text[pos] == '"') {
      pos = ReadQuoted(text, pos, item);
    } else {
      size_t start = pos;
      while (pos < text.size() && !IsItemEnd(text[pos], delimiter)) ++pos;
      item.assign(text.substr(start, pos - start));
    }
    items.push_back(std::move(item));
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    if (pos < text.size() && text[pos] == delimiter) {
      if (pos + 1 == text.size()) items.emplace_back();
      ++pos;
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
    } else if (pos < text.size() && static_cast<unsigned char>(text[pos]) == 0) {
      // A zero byte ends nothing above and would loop forever; the text ends there.
      break;
    }
  }
  return items;
}

std::string GetParamValue(std::string_view params, std::string_view name) {
  std::string compact(params);
  compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
  const std::string wanted = ToUpperAscii(name);
  for (const std::string& item : SplitItems(compact, '&')) {
    std::vector<std::string> pieces = SplitItems(item, '=');
    if (pieces.size() != 2) continue;
    if (ToUpperAscii(TrimControls(pieces[0])) == wanted) return pieces[1];
  }
  return "";
}

}  // namespace duvane
