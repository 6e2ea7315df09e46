#pragma once
// Counts the finished writes of one file: a rename onto its name (an atomic
// write) or the close of a direct write, as inotify on its folder reports
// them. The kernel queues the event before the write's call returns, so a
// count read right after it includes it: no waiting.
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace korvale::testing {

class FileWrites {
 public:
  explicit FileWrites(const std::filesystem::path& file)
      : name_(file.filename().string()), fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) ::inotify_add_watch(fd_, file.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
  }
  ~FileWrites() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileWrites(const FileWrites&) = delete;
  FileWrites& operator=(const FileWrites&) = delete;

  bool Ok() const { return fd_ >= 0; }

  int Count() {
    alignas(inotify_event) char buf[4096];
    for (;;) {
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t off = 0; off < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
        if (e->len > 0 && name_ == e->name) ++count_;
        off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    return count_;
  }

 private:
  std::string name_;
  int fd_;
  int count_ = 0;
};

}  // namespace korvale::testing
