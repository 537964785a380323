#include <fcntl.h>
#include <limits.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <initializer_list>
#include <thread>

#include "platform/host.h"

namespace duvane::platform {
namespace {

// The PC speaker's timer runs at this rate; the tone ioctl takes its divisor.
constexpr uint32_t kSpeakerClockHz = 1193180;

// The first console that accepts the tone ioctl, or -1. Only a console
// device drives the speaker; on terminals and in containers both refuse.
int OpenSpeakerConsole() {
  for (const char* path : {"/dev/console", "/dev/tty0"}) {
    const int fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    if (ioctl(fd, KIOCSOUND, 0) == 0) return fd;
    close(fd);
  }
  return -1;
}

}  // namespace

std::string ExecutablePath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  // A full buffer may be a cut path; a path that long is not worth guessing.
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return {};
  return std::string(path, static_cast<size_t>(length));
}

const char* const kFolderSeparators = "/";
const char* const kLogFolder = "/var/log/duvane/";
const char* const kReaderLibraryFile = "libVelmora.so";
const char* const kIdCardLibraryFile = "libZetIDCardAPI.so";
const char* const kIdCardHelperFile = "duvane-idcard";
const char* const kServiceRegistry = "/etc/systemd/system";

// Terminals here show UTF-8, and streams never change line ends.
void PrepareConsoleOutput() {}

void Beep(uint32_t frequencyHz, uint32_t durationMs) {
  const int fd = frequencyHz > 0 ? OpenSpeakerConsole() : -1;
  if (fd >= 0) ioctl(fd, KIOCSOUND, static_cast<unsigned long>(kSpeakerClockHz / frequencyHz));
  // Callers rely on the pause whether or not a tone sounds.
  std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
  if (fd >= 0) {
    ioctl(fd, KIOCSOUND, 0);
    close(fd);
  }
}

}  // namespace duvane::platform
