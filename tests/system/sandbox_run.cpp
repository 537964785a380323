// duvane-sandbox-run PROGRAM [ARGUMENTS]: runs the program with the view that
// the service unit's sandbox gives it, for tests on machines where systemd is
// not running: a private mount namespace with the whole tree read-only (the
// system and home alike), a private /tmp and /var/tmp, /var/log writable
// (ReadWritePaths=) with /var/log/duvane mounted on its own (LogsDirectory=)
// as the only writable folders besides them and /dev, no new privileges, and
// only the capability the unit keeps. Run it as root in a private host.
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr const char* kLogParent = "/var/log";
constexpr const char* kLogFolder = "/var/log/duvane";
constexpr int kSetupFailed = 127;

bool Fail(const char* step, const char* path) {
  std::fprintf(stderr, "duvane-sandbox-run: %s %s: %s\n", step, path, std::strerror(errno));
  return false;
}

bool SetReadOnly(const char* path, bool readOnly) {
  mount_attr attributes{};
  (readOnly ? attributes.attr_set : attributes.attr_clr) = MOUNT_ATTR_RDONLY;
  if (mount_setattr(AT_FDCWD, path, AT_RECURSIVE, &attributes, sizeof attributes) == 0) return true;
  return Fail("read-only", path);
}

bool BuildView() {
  if (unshare(CLONE_NEWNS) != 0) return Fail("unshare", "");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return Fail("private", "/");
  // LogsDirectory= creates the folder before the start.
  mkdir(kLogFolder, 0755);
  for (const char* writable : {kLogParent, kLogFolder}) {
    if (mount(writable, writable, nullptr, MS_BIND, nullptr) != 0) return Fail("bind", writable);
  }
  for (const char* temporary : {"/tmp", "/var/tmp"}) {
    if (mount("tmpfs", temporary, "tmpfs", 0, "size=16m,mode=1777") != 0) {
      return Fail("tmpfs", temporary);
    }
  }
  if (!SetReadOnly("/", true)) return false;
  for (const char* writable : {kLogParent, kLogFolder, "/tmp", "/var/tmp", "/dev"}) {
    if (!SetReadOnly(writable, false)) return false;
  }
  return true;
}

int LastCapability() {
  std::ifstream in("/proc/sys/kernel/cap_last_cap");
  int last = CAP_LAST_CAP;
  in >> last;
  return last;
}

// NoNewPrivileges= and CapabilityBoundingSet=CAP_SYS_TTY_CONFIG.
bool DropPrivileges() {
  for (int capability = 0; capability <= LastCapability(); ++capability) {
    if (capability == CAP_SYS_TTY_CONFIG) continue;
    if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) return Fail("drop capability", "");
  }
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return Fail("no new privileges", "");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: duvane-sandbox-run PROGRAM [ARGUMENTS]\n");
    return kSetupFailed;
  }
  if (!BuildView() || !DropPrivileges()) return kSetupFailed;
  execv(argv[1], argv + 1);
  Fail("exec", argv[1]);
  return kSetupFailed;
}
