// Tells, without blocking, whether another program moved, renamed or deleted
// a file of one folder, or the folder itself, since the last look (inotify).
#pragma once

#include <string>

namespace duvane::platform {

class FolderWatch {
 public:
  FolderWatch() = default;
  ~FolderWatch() { Stop(); }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Starts watching `folder` (ends with "/"). False, with errno set, when it
  // cannot be watched: missing, not a folder, or no descriptor or watch left.
  bool Start(const std::string& folder);
  bool Watching() const { return watch_ >= 0; }
  void Stop();

  // True when, since the last look, the file `name` of the folder was moved,
  // renamed, deleted, replaced or had its attributes changed, or the folder
  // itself went away or moved. The watch ends when the folder went away or
  // moved.
  bool Changed(const std::string& name);

 private:
  int inotify_ = -1;
  int watch_ = -1;
};

}  // namespace duvane::platform
