#include "tests/support/wine_service.h"

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>

namespace testsupport {
namespace {

// The loaders and their server are not on PATH.
constexpr const char* kWineFolder = "/usr/lib/wine";
// The server, and with it the services, outlives the programs of the
// session by this much: long enough for every pause between two of them in
// a run, short enough that a run that was killed leaves nothing for long.
constexpr const char* kPersistence = "-p300";

std::string WineProgram(const char* name) { return std::string(kWineFolder) + "/" + name; }

std::string Loader(int bits) { return WineProgram(bits == 32 ? "wine" : "wine64"); }

}  // namespace

WineSession::WineSession(int bits) : loader_(Loader(bits)), bits_(bits) {
  char folder[] = "/tmp/duvane-wine-XXXXXX";
  if (mkdtemp(folder) != nullptr) prefix_ = folder;
}

WineSession::~WineSession() {
  Server("-k");
  std::error_code ignored;
  if (!prefix_.empty()) std::filesystem::remove_all(prefix_, ignored);
}

Outcome WineSession::RunProgram(const std::string& program,
                                const std::vector<std::string>& arguments,
                                std::chrono::seconds timeout, const std::string& debug) const {
  // Output goes to files: processes that Wine starts (services.exe and the
  // services) inherit it and outlive the program.
  std::map<std::string, std::string> environment{
      {"WINEPREFIX", prefix_.string()},
      {"WINELOADER", loader_},
      {"WINESERVER", WineProgram("wineserver")},
      {"WINEDEBUG", debug},
      // No debugger, no Mono or Gecko installers; the test winscard.dll
      // beside the programs takes the system's place.
      {"WINEDLLOVERRIDES", "winedbg.exe=d;mscoree,mshtml=;winscard=n"}};
  if (bits_ == 32) environment["WINEARCH"] = "win32";
  return RunToEnd(program, arguments, environment, timeout);
}

Outcome WineSession::Run(const std::vector<std::string>& arguments, std::chrono::seconds timeout,
                         const std::string& debug) const {
  return RunProgram(loader_, arguments, timeout, debug);
}

bool WineSession::Server(const std::string& option) const {
  if (prefix_.empty()) return false;
  return RunProgram(WineProgram("wineserver"), {option}, 30s, "-all").status == 0;
}

bool WineSession::Installed(int bits) { return access(Loader(bits).c_str(), X_OK) == 0; }

bool WineSession::Start(std::string& error) {
  if (prefix_.empty()) {
    error = "no temporary folder for the prefix";
    return false;
  }
  if (!Installed(bits_)) {
    error = loader_ + " is not installed (scripts/bootstrap installs it)";
    return false;
  }
  if (!Server(kPersistence)) {
    error = "wineserver did not start";
    return false;
  }
  const Outcome boot = Run({"wineboot", "-i"}, 180s);
  if (boot.status != 0) {
    error = "wineboot -i failed: " + boot.err;
    return false;
  }
  return true;
}

bool WineSession::Reboot() {
  Server("-k");
  if (!Server(kPersistence)) return false;
  // The services inherit wineboot's standard error and its WINEDEBUG.
  const std::string trace = (prefix_ / "service-trace.txt").string();
  return RunProgram("/bin/sh", {"-c", "exec \"$0\" wineboot 2>\"$1\"", loader_, trace}, 120s,
                    "trace+service")
             .status == 0;
}

std::string WineSession::ServiceTrace() const {
  std::ifstream in(prefix_ / "service-trace.txt", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string WineService::Control(const std::string& request) {
  const std::filesystem::path tool = build_ / "test-bin" / "service-control.exe";
  const std::string out = session_.Run({tool.string(), "DuvaneS", request}).out;
  return out.substr(0, out.find_first_of("\r\n"));
}

bool WineService::Stop() { return session_.Run({"net", "stop", "DuvaneS"}).status == 0; }

}  // namespace testsupport
