// The profile list's operations on a folder of 20 keyboard profiles, each
// with its atomic writes (goal: at most 20 ms each), and a profile switch of
// a connected keyboard against korvale-emu at USB full speed (--report-cost
// 1000; goal: at most 300 ms after the combo settles).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/device_session.h"
#include "devices/profile_switch.h"
#include "devices/varnik_keyboard_device.h"
#include "hid/hid_device.h"
#include "profiles/profile_list.h"
#include "profiles/settings_files.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using namespace korvale;

struct Folder {
  Folder() {
    std::string tmpl = (fs::temp_directory_path() / "bench-plist-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) ::abort();
    path = tmpl;
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

const fs::path kDefaults = fs::path(KORVALE_SOURCE_DIR) / "data" / "DefaultData" / "keyboard.Json";

CProfileList MakeList(const fs::path& folder) {
  CProfileList list;
  list.SetDeviceKind(1);
  list.SetFolders(folder, kDefaults);
  list.Initialise();
  while (list.Count() < 20) list.Add();
  return list;
}

void BM_Add(benchmark::State& state) {
  Folder f;
  CProfileList list = MakeList(f.path);
  for (auto _ : state) {
    if (list.Add() != ProfileStatus::kDone) state.SkipWithError("add failed");
    state.PauseTiming();
    list.Delete(list.Count() - 1);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Add)->Unit(benchmark::kMillisecond);

void BM_Copy(benchmark::State& state) {
  Folder f;
  CProfileList list = MakeList(f.path);
  for (auto _ : state) {
    if (list.Copy(3) != ProfileStatus::kDone) state.SkipWithError("copy failed");
    state.PauseTiming();
    list.Delete(list.Count() - 1);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);

void BM_Rename(benchmark::State& state) {
  Folder f;
  CProfileList list = MakeList(f.path);
  int n = 0;
  for (auto _ : state) {
    if (list.Rename(5, "name" + std::to_string(n++)) != ProfileStatus::kDone) state.SkipWithError("rename failed");
  }
}
BENCHMARK(BM_Rename)->Unit(benchmark::kMillisecond);

void BM_Delete(benchmark::State& state) {
  Folder f;
  CProfileList list = MakeList(f.path);
  for (auto _ : state) {
    state.PauseTiming();
    list.Add();
    state.ResumeTiming();
    if (list.Delete(list.Count() - 1) != ProfileStatus::kDone) state.SkipWithError("delete failed");
  }
}
BENCHMARK(BM_Delete)->Unit(benchmark::kMillisecond);

// korvale-emu serving the keyboard at USB full speed on a private bus.
struct Emu {
  explicit Emu(const fs::path& dir) {
    const std::string bin = std::string(KORVALE_BIN_DIR) + "/korvale-emu";
    const std::string bus = (dir / "bus").string();
    std::vector<std::string> args = {bin, "--dir", bus, "--report-cost", "1000", "keyboard"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::setenv("KORVALE_VHID_DIR", bus.c_str(), 1);
    // The emulator runs until its standard input ends: it gets a pipe we hold.
    if (::pipe(input) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    if (::posix_spawn(&pid, bin.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid > 0 && cli::FindBoundDevices().empty() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~Emu() {
    if (input[1] >= 0) ::close(input[1]);
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
  pid_t pid = -1;
  int input[2] = {-1, -1};
};

void BM_SwitchKeyboardProfile(benchmark::State& state) {
  Folder f;
  ::setenv("XDG_DATA_HOME", (f.path / "data").c_str(), 1);
  CHidDevice::SetHidrawEnabled(false);
  Emu emu(f.path);
  const auto devices = cli::FindBoundDevices();
  if (devices.empty()) {
    state.SkipWithError("korvale-emu did not come up");
    return;
  }
  CProfileList list;
  list.SetDeviceKind(1);
  list.SetFolders(UserDataFolder("keyboard"), DefaultProfilePath("keyboard"));
  list.Initialise();
  list.Add();
  cli::KeyboardSession session;
  std::string reason;
  if (session.Open(devices.front(), reason) != cli::kExitOk) {
    state.SkipWithError(reason.c_str());
    return;
  }
  int next = 0;
  for (auto _ : state) {
    list.Select(next);
    const auto r = SwitchPageProfile(session.GetPage(), list.Entries()[static_cast<std::size_t>(next)].uuid, 1920, 1080);
    if (!r.loaded || r.config != 1 || r.keys != 1) state.SkipWithError("switch failed");
    next ^= 1;
  }
}
BENCHMARK(BM_SwitchKeyboardProfile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
