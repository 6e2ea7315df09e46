#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>

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

// A link (a dotfile manager's) is written through: the file it leads to is
// replaced, in its own folder, and the link stays. Dangling links lead to the
// file they name.
std::filesystem::path ResolveLinks(const std::filesystem::path& path) {
  std::filesystem::path p = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec))) return p;
    std::filesystem::path target = std::filesystem::read_symlink(p, ec);
    if (ec) return p;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  Trace("write %s: too many levels of links", path.c_str());
  return {};
}

// mkstemp's six characters.
bool IsTempSuffix(std::string_view s) {
  if (s.size() != 6) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

// A folder is swept on its first write and then at most once per
// kStaleTempAge, so frequent saves do not rescan it every time.
bool TimeToSweep(const std::filesystem::path& dir) {
  static std::mutex lock;
  static std::map<std::string, std::chrono::steady_clock::time_point> lastSweep;
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> guard(lock);
  auto [it, first] = lastSweep.try_emplace(dir.string(), now);
  if (!first && now - it->second < kStaleTempAge) return false;
  it->second = now;
  return true;
}

}  // namespace

bool IsStaleTempName(std::string_view name) {
  // ".<file name>.XXXXXX", as WriteFileAtomic names its temporary files.
  if (name.size() < 1 + 1 + 1 + 6 || name.front() != '.') return false;
  const std::size_t dot = name.rfind('.');
  return dot > 1 && IsTempSuffix(name.substr(dot + 1));
}

void RemoveStaleTempFiles(const std::filesystem::path& dir, std::chrono::seconds minAge) {
  std::error_code ec;
  const auto now = std::chrono::system_clock::now();
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename().string();
    if (!IsStaleTempName(name)) continue;
    struct stat st {};
    // Only our own regular files, old enough that no writer is still at them.
    if (::lstat(e.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) continue;
    const auto mtime = std::chrono::system_clock::from_time_t(st.st_mtim.tv_sec);
    if (now - mtime < minAge) continue;
    if (::unlink(e.path().c_str()) == 0) Trace("write: stale temporary file %s removed", e.path().c_str());
  }
}

bool WriteFileAtomic(const std::filesystem::path& linkOrPath, std::string_view bytes) {
  const std::filesystem::path path = ResolveLinks(linkOrPath);
  if (path.empty()) return false;
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
  if (TimeToSweep(dir)) RemoveStaleTempFiles(dir, kStaleTempAge);
  return true;
}

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path, std::size_t maxBytes) {
  // Without O_NONBLOCK a FIFO in a file's place would block the open forever.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    Trace("read %s: not a regular file, refused", path.c_str());
    return std::nullopt;
  }
  if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
    ::close(fd);
    Trace("read %s: larger than %zu bytes, refused", path.c_str(), maxBytes);
    return std::nullopt;
  }
  // Read straight into the string, sized for the file as it is now; a file
  // that grows meanwhile is read on to its end.
  const std::size_t limit = maxBytes == std::numeric_limits<std::size_t>::max() ? maxBytes : maxBytes + 1;
  std::string out(std::min<std::size_t>(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096, limit),
                  '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == out.size()) {
      if (used >= limit) {
        ::close(fd);
        Trace("read %s: larger than %zu bytes, refused", path.c_str(), maxBytes);
        return std::nullopt;
      }
      out.resize(std::min(limit, std::max<std::size_t>(2 * used, 4096)));
    }
    const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  if (used > maxBytes) {
    ::close(fd);
    Trace("read %s: larger than %zu bytes, refused", path.c_str(), maxBytes);
    return std::nullopt;
  }
  out.resize(used);
  ::close(fd);
  return out;
}

}  // namespace korvale
