#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/service_registration.h"

extern char** environ;

namespace duvane::platform {
namespace {

std::string CommandText(const std::vector<std::string>& arguments) {
  std::string text = "systemctl";
  for (const std::string& argument : arguments) text += " " + argument;
  return text;
}

std::string WaitForExit(pid_t child, const std::vector<std::string>& arguments) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return CommandText(arguments) + ": " + std::strerror(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFEXITED(status)) {
    return CommandText(arguments) + " exited with status " + std::to_string(WEXITSTATUS(status));
  }
  return CommandText(arguments) + " was ended by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace

bool SystemdIsRunning() {
  struct stat info {};
  return ::stat("/run/systemd/system", &info) == 0 && S_ISDIR(info.st_mode);
}

std::string RunSystemctl(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::string program = "systemctl";
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  const int error = ::posix_spawnp(&child, "systemctl", nullptr, nullptr, argv.data(), environ);
  if (error != 0) return "cannot run systemctl: " + std::string(std::strerror(error));
  return WaitForExit(child, arguments);
}

ServiceManager SystemServiceManager(std::string unitFolder) {
  ServiceManager manager{std::move(unitFolder), {}};
  if (SystemdIsRunning()) manager.systemctl = RunSystemctl;
  return manager;
}

}  // namespace duvane::platform
