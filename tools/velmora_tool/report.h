// One result of a subcommand, and how it is printed: text lines for a person,
// or one JSON object for scripts.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "arguments.h"

namespace velmora_tool {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A library call that did not succeed.
struct Failure {
  std::string call;         // the export, e.g. "Card_Init"
  std::string code;         // its result as it returns it: "6A82", "8010000C", "-6"
  std::string explanation;  // one line
};

struct Report {
  nlohmann::ordered_json fields = nlohmann::ordered_json::object();
  std::vector<std::string> lines;  // the same facts for a person
  std::optional<Failure> failure;

  // Adds one fact to both forms.
  void Add(const std::string& key, const nlohmann::ordered_json& value, const std::string& line) {
    fields[key] = value;
    lines.push_back(line);
  }
};

// Prints the report (failures of text mode go to `err`) and returns the exit
// status.
int PrintReport(const Report& report, const Invocation& invocation, std::ostream& out,
                std::ostream& err);

// Text that is safe on a terminal: control bytes become "?".
std::string Printable(std::string_view text);

// Bytes as hexadecimal, with `separator` between the bytes.
std::string HexBytes(const uint8_t* bytes, size_t count, std::string_view separator = "");

}  // namespace velmora_tool
