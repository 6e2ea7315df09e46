#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/trace.h"

namespace korvale {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  std::string name = ".";
  name += path.filename().string();
  name += ".XXXXXX";
  std::string tmpl = (dir / name).string();
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) {
    Trace("write %s: cannot create temporary file: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  // Keep the old file's permissions; new files get the usual 0644 less umask.
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  ::fchmod(fd, mode);

  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int err = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) {
    ::unlink(tmpl.c_str());
    Trace("write %s failed: %s", path.c_str(), std::strerror(err));
    return false;
  }
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path, std::size_t maxBytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    if (out.size() + static_cast<size_t>(n) > maxBytes) {
      ::close(fd);
      Trace("read %s: larger than %zu bytes, refused", path.c_str(), maxBytes);
      return std::nullopt;
    }
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return out;
}

}  // namespace korvale
