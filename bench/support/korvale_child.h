#pragma once
// Running the real korvale program from a benchmark: korvale-emu serving the
// four devices on a private bus folder, korvale started against it with a
// home of its own, its traces read (first paint) and drained.
//
// KORVALE_BENCH_BIN_DIR, when set, names another folder to take korvale,
// korvale-emu and korvalectl from (an older build, measured in the same run).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace korvale::bench {

inline std::string ProgramPath(const std::string& name) {
  if (const char* dir = std::getenv("KORVALE_BENCH_BIN_DIR"); dir != nullptr && *dir != '\0')
    return (std::filesystem::path(dir) / name).string();
  return (std::filesystem::path(KORVALE_BIN_DIR) / name).string();
}

inline std::filesystem::path MakeTempDir(const char* stem) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  return ::mkdtemp(tmpl.data());
}

// korvale-emu with its four devices, until destroyed (it ends with its input).
class Emulator {
 public:
  Emulator() : dir_(MakeTempDir("korvale-bench-emu")) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(p[0], 0);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      const std::string emu = ProgramPath("korvale-emu");
      ::execl(emu.c_str(), emu.c_str(), "--dir", dir_.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(p[0]);
    in_ = p[1];
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (SocketCount() < 4 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~Emulator() {
    if (in_ >= 0) ::close(in_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }
  bool Ready() const { return SocketCount() >= 4; }

 private:
  int SocketCount() const {
    int n = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir_, ec)) n += e.path().extension() == ".sock";
    return n;
  }
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  int in_ = -1;
};

// A home for one program run: data, config and runtime folders.
struct ChildHome {
  std::filesystem::path root = MakeTempDir("korvale-bench");
  ChildHome() {
    std::filesystem::create_directories(root / "run");
    std::filesystem::permissions(root / "run", std::filesystem::perms::owner_all);
  }
  ~ChildHome() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  ChildHome(const ChildHome&) = delete;
  ChildHome& operator=(const ChildHome&) = delete;
  // In a child process before exec: the environment korvale and korvalectl read.
  void Enter(const std::filesystem::path& busDir) const {
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("KORVALE_VHID_DIR", busDir.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
};

// Runs a program of the build to its end in home (stdout and stderr
// dropped); its exit status, or -1.
inline int RunToEnd(const ChildHome& home, const std::filesystem::path& busDir, const std::string& program,
                    const std::vector<std::string>& args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    home.Enter(busDir);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv;
    const std::string path = ProgramPath(program);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// korvale, running, its stderr (the traces) readable.
class KorvaleChild {
 public:
  KorvaleChild(const ChildHome& home, const std::filesystem::path& busDir) {
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(pipefd[1], 2);
      home.Enter(busDir);
      setenv("KORVALE_TRACE", "1", 1);
      const std::string program = ProgramPath("korvale");
      ::execl(program.c_str(), program.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(pipefd[1]);
    err_ = pipefd[0];
  }
  ~KorvaleChild() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status;
      ::waitpid(pid_, &status, 0);
    }
    if (err_ >= 0) ::close(err_);
  }
  KorvaleChild(const KorvaleChild&) = delete;
  KorvaleChild& operator=(const KorvaleChild&) = delete;

  pid_t Pid() const { return pid_; }

  // Reads the traces until text appears (false after timeout).
  bool WaitForTrace(const std::string& text, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (seen_.find(text) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
      pollfd p{err_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
      char buf[512];
      const ssize_t n = ::read(err_, buf, sizeof buf);
      if (n <= 0) return false;
      seen_.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }
  // Reads and drops the traces for the period, so they never fill the pipe.
  void Drain(std::chrono::milliseconds period) {
    const auto until = std::chrono::steady_clock::now() + period;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
      if (left <= 0) return;
      pollfd p{err_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[4096];
      if (::read(err_, buf, sizeof buf) <= 0) {
        std::this_thread::sleep_until(until);
        return;
      }
    }
  }

 private:
  pid_t pid_ = -1;
  int err_ = -1;
  std::string seen_;
};

}  // namespace korvale::bench
