#pragma once
// korvale-emu as a child process with its stdin commands, for suites that
// test against the real program over the virtual bus.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace korvale::testing {

class EmuProcess {
 public:
  EmuProcess() = default;
  EmuProcess(const EmuProcess&) = delete;
  EmuProcess& operator=(const EmuProcess&) = delete;
  ~EmuProcess() { Kill(); }

  // Starts bin/korvale-emu with args; the environment is the test's own.
  bool Start(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return false;
    if (::pipe2(out, O_CLOEXEC) != 0) {
      ::close(in[0]);
      ::close(in[1]);
      return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    std::vector<std::string> all = {std::string(KORVALE_BIN_DIR) + "/korvale-emu"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int r = posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
    return r == 0;
  }

  void Kill() {
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
    in_ = out_ = -1;
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  bool Send(const std::string& line) {
    const std::string l = line + "\n";
    return ::write(in_, l.data(), l.size()) == static_cast<ssize_t>(l.size());
  }

  // Next stdout line within the time limit, or "" at time-out or end.
  std::string Line(int timeoutMs = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (auto nl = buf_.find('\n'); nl != std::string::npos) {
        std::string l = buf_.substr(0, nl);
        buf_.erase(0, nl + 1);
        return l;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      pollfd p{out_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return "";
      char b[4096];
      const ssize_t n = ::read(out_, b, sizeof b);
      if (n <= 0) return "";
      buf_.append(b, static_cast<std::size_t>(n));
    }
  }

  // Sends a command and returns its "ok ..." or "error: ..." answer, skipping
  // the lines printed before it.
  std::string Command(const std::string& line) {
    if (!Send(line)) return "";
    for (;;) {
      std::string l = Line();
      if (l.empty() || l.rfind("ok", 0) == 0 || l.rfind("error", 0) == 0) return l;
    }
  }

  // The lines a command prints before its "ok" line.
  std::vector<std::string> Listing(const std::string& line) {
    std::vector<std::string> lines;
    if (!Send(line)) return lines;
    for (;;) {
      std::string l = Line();
      if (l.empty() || l.rfind("ok", 0) == 0 || l.rfind("error", 0) == 0) return lines;
      lines.push_back(l);
    }
  }

  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string buf_;
};

}  // namespace korvale::testing
