// Tells with one system call whether the file that a path names may have
// changed since the last look: an entry on the way to it moved, deleted or
// made (each folder of the path is watched with inotify, so a renamed
// parent or a re-pointed link shows), or a file system mounted or unmounted
// in this process's view (/proc/self/mountinfo). It only says when to look;
// whether the path still names the same file is for the caller to check.
#pragma once

#include <string>

namespace duvane::platform {

class PathWatch {
 public:
  PathWatch() = default;
  ~PathWatch() { Stop(); }
  PathWatch(const PathWatch&) = delete;
  PathWatch& operator=(const PathWatch&) = delete;

  // Watches the folders of `path` as they are now (the file itself need not
  // exist). False when it cannot (a folder missing, no descriptor or watch
  // left); the watch then says "may have changed" every time.
  bool Start(const std::string& path);
  void Stop();

  // True when something on the way to the file may have changed since Start
  // or the last call, or when nothing is watched.
  bool MayHaveChanged();

 private:
  int inotify_ = -1;
  int mounts_ = -1;
};

}  // namespace duvane::platform
