#pragma once
// A private temporary folder per test (mode 0700, removed afterwards), and a
// private D-Bus daemon in it.
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace korvale::shelltest {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvale-shell-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A session bus daemon on dir/bus, stopped on every way out. The daemon
// prints its address once it accepts connections (the socket file alone
// appears before that); Ok() says whether it did within 10 s.
class PrivateDbusDaemon {
 public:
  explicit PrivateDbusDaemon(const std::filesystem::path& dir)
      : address_("unix:path=" + (dir / "bus").string()) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", ("--address=" + address_).c_str(),
               ("--print-address=" + std::to_string(ready[1])).c_str(), nullptr);
      ::_exit(127);
    }
    ::close(ready[1]);
    pollfd pfd{ready[0], POLLIN, 0};
    char line[512];
    ok_ = pid_ > 0 && ::poll(&pfd, 1, 10000) == 1 && ::read(ready[0], line, sizeof line) > 0;
    ::close(ready[0]);
  }
  ~PrivateDbusDaemon() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  PrivateDbusDaemon(const PrivateDbusDaemon&) = delete;
  PrivateDbusDaemon& operator=(const PrivateDbusDaemon&) = delete;
  bool Ok() const { return ok_; }
  const std::string& Address() const { return address_; }

 private:
  std::string address_;
  pid_t pid_ = -1;
  bool ok_ = false;
};

}  // namespace korvale::shelltest
