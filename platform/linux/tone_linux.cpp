#include <fcntl.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <initializer_list>

#include "platform/clock.h"
#include "platform/tone.h"

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

void Beep(uint32_t frequencyHz, uint32_t durationMs) {
  const int fd = frequencyHz > 0 ? OpenSpeakerConsole() : -1;
  if (fd >= 0) ioctl(fd, KIOCSOUND, static_cast<unsigned long>(kSpeakerClockHz / frequencyHz));
  // Callers rely on the pause whether or not a tone sounds.
  SleepMs(durationMs);
  if (fd >= 0) {
    ioctl(fd, KIOCSOUND, 0);
    close(fd);
  }
}

}  // namespace duvane::platform
