// Start-up cost of korvale beside a bare Qt Widgets window, measured the same
// way in the same run: from fork to the first paint of the main window (the
// program's "window painted" trace), resident memory at that point, and the
// CPU the program uses over 30 s idle with its window hidden. korvale-emu
// serves the four devices throughout, so korvale finds and binds them.
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

#include "bench/support/process_stats.h"
#include "platform/message_bus.h"
#include "ui/app_messages.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using korvale::bench::CpuSeconds;

struct Child {
  pid_t pid = -1;
  int err = -1;  // read end of its stderr
  fs::path home;
};

// korvale-emu with its four devices on a private bus folder, for the whole run.
struct Emulator {
  pid_t pid = -1;
  int in = -1;
  fs::path dir;
  Emulator() {
    std::string tmpl = (fs::temp_directory_path() / "korvale-bench-emu-XXXXXX").string();
    dir = ::mkdtemp(tmpl.data());
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(p[0], 0);
      const std::string emu = KORVALE_BIN_DIR "/korvale-emu";
      ::execl(emu.c_str(), emu.c_str(), "--dir", dir.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(p[0]);
    in = p[1];
    // Wait for the four devices' sockets.
    for (int i = 0; i < 100; ++i) {
      int n = 0;
      std::error_code ec;
      for (auto& e : fs::directory_iterator(dir, ec)) n += e.path().extension() == ".sock";
      if (n >= 4) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~Emulator() {
    if (in >= 0) ::close(in);  // the emulator ends with its input
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Emulator& TheEmulator() {
  static Emulator emu;
  return emu;
}

Child Spawn(const std::string& program, bool devices = true) {
  Child c;
  std::string tmpl = (fs::temp_directory_path() / "korvale-bench-XXXXXX").string();
  c.home = ::mkdtemp(tmpl.data());
  fs::create_directories(c.home / "run");
  fs::permissions(c.home / "run", fs::perms::owner_all);
  int pipefd[2];
  if (::pipe2(pipefd, O_CLOEXEC) != 0) return c;
  c.pid = ::fork();
  if (c.pid == 0) {
    ::dup2(pipefd[1], 2);
    setenv("XDG_RUNTIME_DIR", (c.home / "run").c_str(), 1);
    setenv("XDG_DATA_HOME", (c.home / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (c.home / "config").c_str(), 1);
    setenv("KORVALE_TRACE", "1", 1);
    setenv("KORVALE_VHID_DIR", devices ? TheEmulator().dir.c_str() : (c.home / "no-devices").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::execl(program.c_str(), program.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(pipefd[1]);
  c.err = pipefd[0];
  return c;
}

// Waits (at most 10 s) for the first-paint line.
bool WaitPainted(const Child& c) {
  std::string seen;
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (seen.find("window painted") == std::string::npos) {
    pollfd p{c.err, POLLIN, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char buf[512];
    ssize_t n = ::read(c.err, buf, sizeof buf);
    if (n <= 0) return false;
    seen.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

// Reads and drops c's stderr for the period, so its traces never fill the pipe.
void Drain(const Child& c, std::chrono::seconds period) {
  const auto until = Clock::now() + period;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return;
    pollfd p{c.err, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[4096];
    if (::read(c.err, buf, sizeof buf) <= 0) {
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

void Stop(Child& c) {
  if (c.pid > 0) {
    ::kill(c.pid, SIGTERM);
    int status;
    ::waitpid(c.pid, &status, 0);
  }
  if (c.err >= 0) ::close(c.err);
  std::error_code ec;
  fs::remove_all(c.home, ec);
}

void StartToPainted(benchmark::State& state, const std::string& program, bool devices = true) {
  TheEmulator();
  double rss = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    Child c = Spawn(program, devices);
    if (!WaitPainted(c)) {
      Stop(c);
      state.SkipWithError("no first paint within 10 s");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    rss += RssMb(c.pid);
    Stop(c);
  }
  state.counters["rss_MB"] = rss / static_cast<double>(state.iterations());
}

void BM_StartToPainted_Korvale(benchmark::State& state) { StartToPainted(state, KORVALE_BIN_DIR "/korvale"); }
void BM_StartToPainted_KorvaleNoDevices(benchmark::State& state) {
  StartToPainted(state, KORVALE_BIN_DIR "/korvale", false);
}
void BM_StartToPainted_BareQt(benchmark::State& state) { StartToPainted(state, KORVALE_BIN_DIR "/startup_bare_window"); }

void IdleCpuHidden(benchmark::State& state, bool devices) {
  TheEmulator();
  for (auto _ : state) {
    Child c = Spawn(KORVALE_BIN_DIR "/korvale", devices);
    if (!WaitPainted(c)) {
      Stop(c);
      state.SkipWithError("no first paint within 10 s");
      return;
    }
    // Every device bound brings the window to the front: the binds settle
    // first, or a late one shows the window again after the click.
    Drain(c, std::chrono::seconds(2));
    korvale::VirtualUiLoop loop;
    korvale::MessageBus bus(loop, c.home / "run" / "korvale-bus");
    // A click on the tray icon hides the shown main window.
    if (!bus.Post(korvale::kAppIdentity, "", korvale::WM_TRAY_NOTIFY, 0, 514)) {
      Stop(c);
      state.SkipWithError("main window not on the bus");
      return;
    }
    Drain(c, std::chrono::seconds(1));
    const auto threadsBefore = korvale::bench::ThreadCpuTimes(c.pid);
    const double before = CpuSeconds(c.pid);
    Drain(c, std::chrono::seconds(30));
    const double used = CpuSeconds(c.pid) - before;
    state.SetIterationTime(30);
    state.counters["cpu_percent_of_core"] = used / 30.0 * 100.0;
    state.SetLabel(korvale::bench::BusiestThreads(threadsBefore, korvale::bench::ThreadCpuTimes(c.pid), 30.0));
    state.counters["rss_MB"] = RssMb(c.pid);
    Stop(c);
  }
}

void BM_IdleCpu_KorvaleHidden(benchmark::State& state) { IdleCpuHidden(state, true); }
void BM_IdleCpu_KorvaleHiddenNoDevices(benchmark::State& state) { IdleCpuHidden(state, false); }

}  // namespace

BENCHMARK(BM_StartToPainted_BareQt)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartToPainted_Korvale)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartToPainted_KorvaleNoDevices)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleCpu_KorvaleHidden)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleCpu_KorvaleHiddenNoDevices)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
