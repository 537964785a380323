#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/linux/packaged_unit.h"
#include "platform/linux/systemd.h"

extern char** environ;

namespace duvane::platform {
namespace {

// The failures that a user meets most, in the service control manager's
// words and numbers, so that they read the same on every system.
const std::string kServiceExistsError =
    SystemErrorText(1073, "The specified service already exists.");
const std::string kServiceMissingError =
    SystemErrorText(1060, "The specified service does not exist as an installed service.");

std::string UnitFilePath(const std::string& folder, std::string_view serviceName) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(serviceName);
  path += ".service";
  return path;
}

std::string SystemError(int error) { return SystemErrorText(error, std::strerror(error)); }

std::string CheckProgramPath(const std::string& path) {
  if (path.empty() || path.front() != '/') return "the program's full path is not known";
  for (unsigned char c : path) {
    if (c < 0x20 || c == 0x7F) return "the program's path holds a control character";
  }
  return {};
}

// ExecStart splits words at blanks, undoes backslash escapes and expands "$";
// a path that needs any of that is written as one quoted word.
std::string CommandWord(std::string_view path) {
  const bool plain = path.find_first_of(" \t\"'\\$%;") == std::string_view::npos;
  if (plain) return std::string(path);
  std::string word = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') word.push_back('\\');
    if (c == '$') word.push_back('$');
    if (c == '%') word.push_back('%');
    word.push_back(c);
  }
  word.push_back('"');
  return word;
}

// The value of the line that starts with `key` becomes `value`.
void SetValue(std::string& text, std::string_view key, std::string_view value) {
  const size_t line = text.find("\n" + std::string(key));
  if (line == std::string::npos) return;
  const size_t start = line + 1 + key.size();
  text.replace(start, text.find('\n', start) - start, value);
}

std::string WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return SystemError(n < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

// Creates the file; an existing one is left alone and is the "exists" error.
std::string WriteNewFile(const std::string& path, std::string_view content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    return errno == EEXIST ? kServiceExistsError : SystemError(errno);
  }
  std::string error = WriteAll(fd, content);
  if (::close(fd) != 0 && error.empty()) error = SystemError(errno);
  if (error.empty()) return {};
  ::unlink(path.c_str());
  return error;
}

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

bool SystemdIsRunning() {
  struct stat info {};
  return ::stat("/run/systemd/system", &info) == 0 && S_ISDIR(info.st_mode);
}

class UnitFolderRegistry final : public ServiceRegistry {
 public:
  UnitFolderRegistry(std::string unitFolder, SystemctlRunner systemctl)
      : unitFolder_(std::move(unitFolder)), systemctl_(std::move(systemctl)) {}

  std::string Reach() override {
    struct stat info {};
    if (::stat(unitFolder_.c_str(), &info) != 0) return SystemError(errno);
    if (!S_ISDIR(info.st_mode)) return SystemError(ENOTDIR);
    if (::access(unitFolder_.c_str(), W_OK | X_OK) != 0) return SystemError(errno);
    return {};
  }

  std::string Install(const ServiceDefinition& service) override {
    if (std::string problem = CheckProgramPath(service.programPath); !problem.empty()) {
      return problem;
    }
    const std::string path = UnitFilePath(unitFolder_, service.name);
    if (std::string error = WriteNewFile(path, UnitFileText(service)); !error.empty()) return error;
    if (!systemctl_) return {};

    std::string error = systemctl_({"daemon-reload"});
    if (error.empty()) error = systemctl_({"--quiet", "enable", service.name});
    if (!error.empty()) {
      // Undone, so that installing again works.
      ::unlink(path.c_str());
      systemctl_({"daemon-reload"});
    }
    return error;
  }

  std::string Uninstall(std::string_view serviceName) override {
    const std::string path = UnitFilePath(unitFolder_, serviceName);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      return errno == ENOENT ? kServiceMissingError : SystemError(errno);
    }
    if (systemctl_) {
      std::string error = systemctl_({"--quiet", "disable", std::string(serviceName)});
      if (!error.empty()) return error;
    }
    if (::unlink(path.c_str()) != 0) {
      return errno == ENOENT ? kServiceMissingError : SystemError(errno);
    }
    // The unit is gone either way; a failed reload only leaves systemd with a
    // stale copy until its next reload.
    if (systemctl_) systemctl_({"daemon-reload"});
    return {};
  }

 private:
  std::string unitFolder_;
  SystemctlRunner systemctl_;
};

}  // namespace

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

std::unique_ptr<ServiceRegistry> SystemdRegistry(std::string unitFolder,
                                                 SystemctlRunner systemctl) {
  return std::make_unique<UnitFolderRegistry>(std::move(unitFolder), std::move(systemctl));
}

std::unique_ptr<ServiceRegistry> ServiceRegistry::Open(const std::string& place) {
  return SystemdRegistry(place,
                         SystemdIsRunning() ? SystemctlRunner(RunSystemctl) : SystemctlRunner());
}

// The packaged unit, which names the service as the package does, with this
// program.
std::string UnitFileText(const ServiceDefinition& service) {
  std::string text(kPackagedUnit);
  SetValue(text, "ExecStart=", CommandWord(service.programPath));
  return text;
}

}  // namespace duvane::platform
