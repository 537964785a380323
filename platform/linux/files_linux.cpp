// The daily log's file stays open between lines; a watch on its folder tells
// when another program moved, renamed or deleted it, or removed or moved the
// folder, and the next line then opens the file of that name afresh. Without a watch
// (no descriptor or watch left) the file is opened and closed for each line.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/linux/folder_watch.h"

namespace duvane::platform {
namespace {

int OpenForAppend(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

class KeptFileAppender final : public FileAppender {
 public:
  ~KeptFileAppender() override { Release(); }

  bool Append(const std::string& path, std::string_view bytes) override {
    if (fd_ >= 0 && (path != path_ || watch_.Changed(name_))) CloseFile();
    if (fd_ < 0 && !Open(path)) return false;
    const bool written = WriteAll(fd_, bytes);
    // A file that failed is opened afresh next time: the cause may be gone.
    if (!written || !watch_.Watching()) CloseFile();
    return written;
  }

  void Release() override {
    CloseFile();
    watch_.Stop();
  }

 private:
  // The watch comes first, so that nothing done to the file after it was
  // opened goes unseen.
  bool Open(const std::string& path) {
    path_ = path;
    const size_t nameAt = path.rfind('/') + 1;
    name_ = path.substr(nameAt);
    const std::string folder = path.substr(0, nameAt);
    if (!watch_.Watching() || folderWatched_ != folder) {
      folderWatched_ = folder;
      if (!watch_.Start(folder) && errno == ENOENT) {
        MakeFolders(path);
        watch_.Start(folder);
      }
    }
    // What happened before this opening concerns an older file.
    if (watch_.Watching()) watch_.Changed(name_);
    fd_ = OpenForAppend(path);
    if (fd_ < 0 && errno == ENOENT) {
      MakeFolders(path);
      fd_ = OpenForAppend(path);
    }
    return fd_ >= 0;
  }

  void CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int fd_ = -1;
  std::string path_;
  std::string name_;
  std::string folderWatched_;
  FolderWatch watch_;
};

}  // namespace

std::unique_ptr<FileAppender> FileAppender::Create() {
  return std::make_unique<KeptFileAppender>();
}

}  // namespace duvane::platform
