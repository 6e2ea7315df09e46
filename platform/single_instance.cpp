#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/message_bus.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace korvale {

SingleInstance::SingleInstance(const std::string& identity, std::filesystem::path dir) {
  if (dir.empty()) dir = XdgRuntimeDir();
  if (dir.empty()) {
    Trace("single instance: no private runtime folder; running without the lock");
    return;
  }
  EnsureDir(dir, 0700);
  // Same escaping as the bus uses for titles: any identity makes a plain name.
  std::string name = bus::SocketNameForTitle(identity);
  name.replace(name.size() - 5, 5, ".lock");
  path_ = dir / name;
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    Trace("single instance: cannot open %s: %s", path_.c_str(), std::strerror(errno));
    return;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    state_ = State::Owner;
    return;
  }
  if (errno == EWOULDBLOCK) {
    state_ = State::AlreadyRunning;
  } else {
    Trace("single instance: cannot lock %s: %s", path_.c_str(), std::strerror(errno));
  }
  ::close(fd_);
  fd_ = -1;
}

SingleInstance::~SingleInstance() { Release(); }

void SingleInstance::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a third start lock a fresh file
  // while the second still holds the old one.
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace korvale
