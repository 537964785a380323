// Appending lines to files, for the daily log.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace duvane::platform {

// Appends to one file at a time on behalf of one thread. An implementation
// may keep the file open between calls or open and close it every time; a
// caller sees no difference.
class FileAppender {
 public:
  static std::unique_ptr<FileAppender> Create();
  virtual ~FileAppender() = default;

  // Appends `bytes` to the file at `path` in one write, creating the file,
  // and its folder when missing, first. On return the bytes are in the file
  // as far as every other program is concerned: nothing stays in the
  // process. Other programs may read, move, rename or delete the file, or
  // remove its folder, between two calls; the next call then writes to a
  // new file at `path`. Returns false when the bytes could not be written
  // (no folder, read-only, disk full, ...); each call tries afresh, so
  // writing resumes once the cause is gone.
  virtual bool Append(const std::string& path, std::string_view bytes) = 0;

  // Lets go of any file kept open; the next Append opens it again.
  virtual void Release() = 0;
};

}  // namespace duvane::platform
