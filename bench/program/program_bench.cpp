// The whole program at work: korvale-emu serves a keyboard on a private bus
// folder, its lighting set to a wave (through korvalectl, into the profile
// and the keyboard, before korvale starts), and korvale runs offscreen with
// the keyboard page shown, repainting the key lights on its 50 ms timer.
// Measured: korvale's CPU time (/proc/PID/stat utime + stime) over 10 s
// with the page shown, then over 10 s with the window hidden (a tray click).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/process_stats.h"
#include "platform/message_bus.h"
#include "ui/app_messages.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using korvale::bench::CpuSeconds;

constexpr int kMeasureSeconds = 10;
constexpr const char* kWaveEffect = "1";  // the first entry of the keyboard's effect list

// Private folders for one run: the bus, the runtime folder, data and settings.
struct Folders {
  fs::path root;
  Folders() {
    std::string tmpl = (fs::temp_directory_path() / "korvale-bench-program-XXXXXX").string();
    root = ::mkdtemp(tmpl.data());
    for (const char* d : {"bus", "run"}) {
      fs::create_directories(root / d);
      fs::permissions(root / d, fs::perms::owner_all);
    }
  }
  ~Folders() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  void Export() const {
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("KORVALE_VHID_DIR", (root / "bus").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
};

// Starts program with args in the folders' environment; its stderr is
// readable from *err when err is given, else discarded.
pid_t Spawn(const Folders& f, const std::vector<std::string>& args, int* in = nullptr, int* err = nullptr) {
  int inPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
  if (in != nullptr && ::pipe2(inPipe, O_CLOEXEC) != 0) return -1;
  if (err != nullptr && ::pipe2(errPipe, O_CLOEXEC) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    f.Export();
    if (in != nullptr) ::dup2(inPipe[0], 0);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, 1);
    ::dup2(err != nullptr ? errPipe[1] : devNull, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (in != nullptr) {
    ::close(inPipe[0]);
    *in = inPipe[1];
  }
  if (err != nullptr) {
    ::close(errPipe[1]);
    *err = errPipe[0];
  }
  return pid;
}

// Exit status of pid, or -1 when it has not ended within the deadline (it is killed then).
int WaitExit(pid_t pid, std::chrono::milliseconds deadline) {
  const auto until = Clock::now() + deadline;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= until) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits (at most 15 s) for a line containing text on fd.
bool WaitFor(int fd, const std::string& text) {
  std::string seen;
  const auto until = Clock::now() + std::chrono::seconds(15);
  while (seen.find(text) == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char buf[4096];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    seen.append(buf, static_cast<std::size_t>(n));
    // Keep only a tail long enough for the text to straddle two reads.
    if (seen.size() > 8192) seen.erase(0, seen.size() - 4096);
  }
  return true;
}

// Reads and drops whatever fd has, so a chatty child never blocks on a full pipe.
void Drain(int fd, std::chrono::seconds period) {
  const auto until = Clock::now() + period;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[4096];
    if (::read(fd, buf, sizeof buf) <= 0) {
      std::this_thread::sleep_until(until);
      return;
    }
  }
}

double RssMb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

// Percent of one core pid uses over the next seconds, its stderr drained meanwhile.
double CpuPercent(pid_t pid, int err, int seconds) {
  const double before = CpuSeconds(pid);
  const auto start = Clock::now();
  Drain(err, std::chrono::seconds(seconds));
  const double real = std::chrono::duration<double>(Clock::now() - start).count();
  return (CpuSeconds(pid) - before) / real * 100.0;
}

void BM_KeyboardPageWave(benchmark::State& state) {
  for (auto _ : state) {
    Folders folders;
    int emuIn = -1;
    const pid_t emu = Spawn(folders, {KORVALE_BIN_DIR "/korvale-emu", "--dir", (folders.root / "bus").string(), "keyboard"},
                            &emuIn);
    auto stopEmu = [&] {
      if (emuIn >= 0) ::close(emuIn);  // the emulator ends with its input
      emuIn = -1;
      if (WaitExit(emu, std::chrono::seconds(5)) < 0) std::fprintf(stderr, "korvale-emu had to be killed\n");
    };
    // The wave into the profile and the keyboard; the keyboard needs a moment to appear.
    int rc = -1;
    for (int attempt = 0; attempt < 50 && rc != 0; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      rc = WaitExit(Spawn(folders, {KORVALE_BIN_DIR "/korvalectl", "lighting", "keyboard", "--effect", kWaveEffect}),
                    std::chrono::seconds(10));
    }
    if (rc != 0) {
      stopEmu();
      state.SkipWithError("korvalectl could not set the wave");
      return;
    }
    int err = -1;
    setenv("KORVALE_TRACE", "1", 1);
    const pid_t app = Spawn(folders, {KORVALE_BIN_DIR "/korvale"}, nullptr, &err);
    unsetenv("KORVALE_TRACE");
    auto stopApp = [&] {
      ::kill(app, SIGTERM);
      if (WaitExit(app, std::chrono::seconds(10)) < 0) std::fprintf(stderr, "korvale had to be killed\n");
      ::close(err);
    };
    if (!WaitFor(err, "window painted")) {
      stopApp();
      stopEmu();
      state.SkipWithError("korvale painted no window within 15 s");
      return;
    }
    // The device binds and the page fills in.
    Drain(err, std::chrono::seconds(2));
    korvale::VirtualUiLoop loop;
    korvale::MessageBus bus(loop, folders.root / "run" / "korvale-bus");
    const double shown = CpuPercent(app, err, kMeasureSeconds);
    const double rss = RssMb(app);

    // A click on the tray icon hides the shown main window.
    if (!bus.Post(korvale::kAppIdentity, "", korvale::WM_TRAY_NOTIFY, 0, 514)) {
      stopApp();
      stopEmu();
      state.SkipWithError("main window not on the bus");
      return;
    }
    Drain(err, std::chrono::seconds(1));
    const double hidden = CpuPercent(app, err, kMeasureSeconds);
    state.SetIterationTime(2.0 * kMeasureSeconds);
    state.counters["shown_cpu_percent_of_core"] = shown;
    state.counters["hidden_cpu_percent_of_core"] = hidden;
    state.counters["rss_MB"] = rss;
    stopApp();
    stopEmu();
  }
}

}  // namespace

BENCHMARK(BM_KeyboardPageWave)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
