#include "report.h"

namespace velmora_tool {

int PrintReport(const Report& report, const Invocation& invocation, std::ostream& out,
                std::ostream& err) {
  const std::string command(CommandName(invocation.command));
  if (invocation.json) {
    nlohmann::ordered_json object = {{"command", command}, {"ok", !report.failure}};
    object.update(report.fields);
    if (report.failure) {
      object["call"] = report.failure->call;
      object["code"] = report.failure->code;
      object["error"] = report.failure->explanation;
    }
    // Reader names come from the system and need not be valid UTF-8.
    out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  } else {
    for (const std::string& line : report.lines) out << Printable(line) << '\n';
    if (report.failure) {
      err << "velmora-tool " << command << ": " << report.failure->call << " returned "
          << report.failure->code << ": " << report.failure->explanation << '\n';
    }
  }
  out.flush();
  return report.failure ? kExitFailure : kExitSuccess;
}

std::string Printable(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return shown;
}

std::string HexBytes(const uint8_t* bytes, size_t count, std::string_view separator) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text.append(separator);
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace velmora_tool
