#include "tests/support/emu_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace korvale::testing {

namespace {

bool IsAnswer(const std::string& l) { return l.empty() || l.rfind("ok", 0) == 0 || l.rfind("error", 0) == 0; }

}  // namespace

bool EmuProcess::Start(const std::vector<std::string>& args) {
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
  if (r != 0) pid_ = -1;
  return r == 0;
}

void EmuProcess::Kill() {
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
  in_ = out_ = -1;
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

bool EmuProcess::Send(const std::string& line) {
  const std::string l = line + "\n";
  return ::write(in_, l.data(), l.size()) == static_cast<ssize_t>(l.size());
}

std::string EmuProcess::Line(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (auto nl = buf_.find('\n'); nl != std::string::npos) {
      std::string l = buf_.substr(0, nl);
      buf_.erase(0, nl + 1);
      return l;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd p{out_, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return "";
    char b[4096];
    const ssize_t n = ::read(out_, b, sizeof b);
    if (n <= 0) return "";
    buf_.append(b, static_cast<std::size_t>(n));
  }
}

std::string EmuProcess::Command(const std::string& line) {
  if (!Send(line)) return "";
  for (;;) {
    std::string l = Line();
    if (IsAnswer(l)) return l;
  }
}

std::vector<std::string> EmuProcess::Listing(const std::string& line) {
  std::vector<std::string> lines;
  if (!Send(line)) return lines;
  for (;;) {
    std::string l = Line();
    if (IsAnswer(l)) return lines;
    lines.push_back(l);
  }
}

void EmuProcess::CloseStdin() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

int EmuProcess::Wait(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace korvale::testing
