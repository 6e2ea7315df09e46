#pragma once
// Test sound: WAVE files of tones written from their formula, korvale-audio
// run as a child process, and a private PulseAudio server with a null sink.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait.h"

extern char** environ;

namespace korvale::testing {

// A tone: amplitude 0..1 of full scale; square when asked; 16-bit stereo.
inline std::vector<std::int16_t> Tone(double hz, double amplitude, double seconds, int rate = 48000,
                                      bool square = false) {
  std::vector<std::int16_t> out;
  const auto n = static_cast<std::size_t>(seconds * rate);
  for (std::size_t i = 0; i < n; ++i) {
    double v = std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
    if (square) v = v >= 0 ? 1.0 : -1.0;
    const auto s = static_cast<std::int16_t>(std::lround(std::clamp(amplitude * v, -1.0, 1.0) * 32767));
    out.push_back(s);
    out.push_back(s);
  }
  return out;
}

inline void WriteWav(const std::filesystem::path& file, const std::vector<std::int16_t>& stereo, int rate = 48000) {
  std::ofstream o(file, std::ios::binary);
  auto u32 = [&o](std::uint32_t v) { o.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&o](std::uint16_t v) { o.write(reinterpret_cast<const char*>(&v), 2); };
  const auto bytes = static_cast<std::uint32_t>(stereo.size() * 2);
  o.write("RIFF", 4);
  u32(36 + bytes);
  o.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(static_cast<std::uint32_t>(rate));
  u32(static_cast<std::uint32_t>(rate) * 4);
  u16(4);
  u16(16);
  o.write("data", 4);
  u32(bytes);
  o.write(reinterpret_cast<const char*>(stereo.data()), bytes);
}

// A child process with its stdout and stderr captured to files.
class ChildProcess {
 public:
  ~ChildProcess() { Kill(); }
  bool Start(const std::vector<std::string>& args, const std::filesystem::path& outFile,
             const std::filesystem::path& errFile) {
    std::vector<std::string> all = args;
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int r = posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return r == 0;
  }
  // The exit status, or -1 when it has not ended within timeoutMs.
  int Wait(int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
      int st = 0;
      if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      }
      if (std::chrono::steady_clock::now() >= until) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  void Kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

inline std::string ReadAll(const std::filesystem::path& f) {
  std::ifstream in(f);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// PulseAudio on a private runtime folder with a null sink as default output;
// sets PULSE_SERVER for this process and its children. Available() is false
// when the server is not installed or does not come up.
class PulseServer {
 public:
  explicit PulseServer(const std::filesystem::path& dir) : dir_(dir) {
    const char* candidates[] = {"/usr/bin/pulseaudio"};
    std::string bin;
    for (const char* c : candidates)
      if (::access(c, X_OK) == 0) bin = c;
    if (bin.empty()) return;
    std::filesystem::create_directories(dir_ / "pulse");
    ::chmod(dir_.c_str(), 0700);
    socket_ = dir_ / "pulse" / "native";
    const std::string load = "module-native-protocol-unix auth-anonymous=1 socket=" + socket_.string();
    ::setenv("PULSE_RUNTIME_PATH", (dir_ / "pulse").c_str(), 1);
    ::setenv("PULSE_STATE_PATH", (dir_ / "state").c_str(), 1);
    ::setenv("HOME", dir_.c_str(), 0);
    if (!proc_.Start({bin, "--daemonize=no", "--system=false", "-n", "--exit-idle-time=-1", "--disallow-exit",
                      "--log-target=stderr", "--use-pid-file=false", "--load=" + load,
                      "--load=module-null-sink sink_name=korvale_null", "--load=module-always-sink"},
                     dir_ / "pulse.out", dir_ / "pulse.err"))
      return;
    ::setenv("PULSE_SERVER", ("unix:" + socket_.string()).c_str(), 1);
    available_ = WaitFor([this] { return std::filesystem::exists(socket_); }, 5000);
  }
  ~PulseServer() {
    proc_.Kill();
    ::unsetenv("PULSE_SERVER");
  }
  bool Available() const { return available_; }
  pid_t Pid() const { return proc_.pid(); }
  std::string Log() const { return ReadAll(dir_ / "pulse.err"); }

 private:
  std::filesystem::path dir_;
  std::filesystem::path socket_;
  ChildProcess proc_;
  bool available_ = false;
};

}  // namespace korvale::testing
