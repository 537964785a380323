// Appending lines to files, for the daily log.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace duvane::platform {

// Appends to one file at a time on behalf of one thread; whether the file is
// kept open between calls is the system's choice.
class FileAppender {
 public:
  static std::unique_ptr<FileAppender> Create();
  virtual ~FileAppender() = default;

  // Appends `bytes` to the file at `path` in one write, creating the file and
  // its folder when missing. On return other programs see the bytes. They may
  // move, rename or delete the file or its folder between two calls; the next
  // call then writes to a new file at `path`. False when the bytes could not
  // be written; each call tries afresh, so writing resumes once the cause is
  // gone.
  virtual bool Append(const std::string& path, std::string_view bytes) = 0;

  // Lets go of any file kept open; the next Append opens it again.
  virtual void Release() = 0;
};

}  // namespace duvane::platform
