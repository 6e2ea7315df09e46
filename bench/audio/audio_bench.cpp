// Music lighting end to end: korvale with its korvale-audio companion,
// korvale-emu serving the keyboard, and a private PulseAudio server whose
// default output is a null sink. Measured: the companion's CPU while a tone
// plays, the main window's share for taking the frames (korvale streaming
// minus korvale with the companion paused), and the time from a tone burst
// written to the sound server to the first lit LED frame at the keyboard.
#include <benchmark/benchmark.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "bench/support/process_stats.h"
#include "platform/message_bus.h"
#include "platform/registered_messages.h"
#include "tests/support/audio_support.h"
#include "tests/support/emu_process.h"
#include "ui/app_messages.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace korvale;
using korvale::testing::ChildProcess;
using korvale::testing::Tone;
using korvale::testing::WaitFor;
using korvale::bench::CpuSeconds;

namespace {

const std::string kCompanionTitle = std::string(kAppIdentity) + "AUDIORECORD";

// The korvale-audio child of pid, if any.
pid_t CompanionOf(pid_t parent) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(e.path() / "stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = all.rfind(')');
    if (close == std::string::npos || all.find("(korvale-audio)") == std::string::npos) continue;
    std::istringstream rest(all.substr(close + 2));
    std::string state;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent) return static_cast<pid_t>(std::stoi(name));
  }
  return -1;
}

// Plays samples into the default output from its own thread, in pieces, so a
// stop request ends it soon.
class Player {
 public:
  void Play(std::vector<std::int16_t> stereo, bool loop) {
    Stop();
    stop_ = false;
    thread_ = std::thread([this, stereo = std::move(stereo), loop] {
      const pa_sample_spec spec{PA_SAMPLE_S16LE, 48000, 2};
      pa_buffer_attr attr{static_cast<std::uint32_t>(-1), 48000 * 4 / 100, static_cast<std::uint32_t>(-1),
                          static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1)};
      int error = 0;
      pa_simple* s = pa_simple_new(nullptr, "korvale bench", PA_STREAM_PLAYBACK, nullptr, "tone", &spec, nullptr,
                                   &attr, &error);
      if (s == nullptr) return;
      started_ = Clock::now();
      playing_ = true;
      do {
        for (std::size_t at = 0; at < stereo.size() && !stop_; at += 960) {
          const std::size_t n = std::min<std::size_t>(960, stereo.size() - at);
          if (pa_simple_write(s, stereo.data() + at, n * 2, &error) != 0) break;
        }
      } while (loop && !stop_);
      pa_simple_drain(s, &error);
      pa_simple_free(s);
    });
  }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    playing_ = false;
  }
  ~Player() { Stop(); }
  std::atomic<bool> playing_{false};
  Clock::time_point started_;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Rig {
  fs::path home;
  std::unique_ptr<korvale::testing::PulseServer> pulse;
  korvale::testing::EmuProcess emu;
  ChildProcess app;
  std::string error;

  Rig() {
    char tmpl[] = "/tmp/kvbXXXXXX";
    home = ::mkdtemp(tmpl);
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("KORVALE_VHID_DIR", (home / "vhid").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("KORVALE_TRACE", "1", 1);
    pulse = std::make_unique<korvale::testing::PulseServer>(home / "sound");
    if (!pulse->Available()) {
      error = "no PulseAudio server";
      return;
    }
    if (!emu.Start({"--dir", (home / "vhid").string(), "keyboard"})) {
      error = "korvale-emu did not start";
      return;
    }
    emu.Line();
    // The keyboard in the music mode, as korvalectl sets it: profile and device.
    ChildProcess ctl;
    if (!ctl.Start({KORVALE_BIN_DIR "/korvalectl", "lighting", "keyboard", "--effect", "29"}, home / "ctl.out",
                   home / "ctl.err") ||
        ctl.Wait(20000) != 0) {
      error = "korvalectl could not set the music mode: " + korvale::testing::ReadAll(home / "ctl.err");
      return;
    }
    if (!StartApp()) error = "korvale did not start";
  }
  ~Rig() {
    app.Kill();
    emu.Kill();
    pulse.reset();
    std::error_code ec;
    fs::remove_all(home, ec);
  }
  bool StartApp() {
    return app.Start({KORVALE_BIN_DIR "/korvale"}, home / "app.out", home / "app.err");
  }
  // Lit LED frames at the keyboard since the last call: (frames, lit bytes).
  std::pair<int, int> LedFrames() {
    int frames = 0, lit = 0;
    for (const std::string& line : emu.Listing("journal keyboard")) {
      std::istringstream in(line);
      std::string word;
      int cmd = -1;
      in >> word >> std::hex >> cmd;
      if (cmd != 0x12) continue;
      ++frames;
      const auto at = line.find("data ");
      for (std::size_t i = at == std::string::npos ? line.size() : at + 5; i + 1 < line.size(); i += 2)
        lit += line.compare(i, 2, "00") != 0 ? 1 : 0;
    }
    emu.Command("journal-clear keyboard");
    return {frames, lit};
  }
};

Rig* TheRig() {
  static Rig rig;
  return &rig;
}

// Waits for the companion to be started by korvale and streaming.
pid_t WaitForCompanion(Rig& rig) {
  pid_t companion = -1;
  WaitFor([&] { return (companion = CompanionOf(rig.app.pid())) > 0; }, 10000);
  if (companion <= 0) {
    const std::string err = korvale::testing::ReadAll(rig.home / "app.err");
    std::string audio;
    std::istringstream lines(err);
    for (std::string l; std::getline(lines, l);)
      if (l.find("audio") != std::string::npos || l.find("Record") != std::string::npos) audio += l + "\n";
    std::fprintf(stderr, "korvale's audio traces:\n%s", audio.c_str());
  }
  return companion;
}

void BM_CompanionCpu(benchmark::State& state) {
  Rig& rig = *TheRig();
  if (!rig.error.empty()) return state.SkipWithError(rig.error.c_str());
  const pid_t companion = WaitForCompanion(rig);
  if (companion <= 0) return state.SkipWithError("korvale started no companion");
  Player player;
  player.Play(Tone(440, 0.5, 1.0), true);
  // Streaming starts once the main window has connected.
  if (!WaitFor([&] { return rig.LedFrames().second > 0; }, 10000))
    return state.SkipWithError("the tone never lit the keyboard");
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double before = CpuSeconds(companion);
    std::this_thread::sleep_for(std::chrono::seconds(20));
    state.SetIterationTime(20);
    state.counters["cpu_percent_of_core"] = (CpuSeconds(companion) - before) / 20.0 * 100.0;
  }
}

void BM_MainWindowShare(benchmark::State& state) {
  Rig& rig = *TheRig();
  if (!rig.error.empty()) return state.SkipWithError(rig.error.c_str());
  if (WaitForCompanion(rig) <= 0) return state.SkipWithError("korvale started no companion");
  VirtualUiLoop loop;
  MessageBus bus(loop);
  RegisterWindowMessage(kAudioDaemonMsgName);
  Player player;
  player.Play(Tone(440, 0.5, 1.0), true);
  // The main window connects (and starts the stream) some time after the
  // companion starts: a stop sent before that would be undone by it.
  if (!WaitFor([&] { return rig.LedFrames().second > 0; }, 10000))
    return state.SkipWithError("the tone never lit the keyboard");
  auto measure = [&](std::uint64_t command) -> std::optional<double> {
    if (bus.Send(kCompanionTitle, kAudioDaemonMsgName, 0, command, 0, 1500) != 1) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double before = CpuSeconds(rig.app.pid());
    std::this_thread::sleep_for(std::chrono::seconds(20));
    return (CpuSeconds(rig.app.pid()) - before) / 20.0 * 100.0;
  };
  for (auto _ : state) {
    const auto paused = measure(2);     // stop streaming
    const auto streaming = measure(1);  // stream again
    if (!paused || !streaming) return state.SkipWithError("the companion did not take the stop or start command");
    state.SetIterationTime(40);
    state.counters["korvale_paused_percent"] = *paused;
    state.counters["korvale_streaming_percent"] = *streaming;
    state.counters["share_percent_of_core"] = *streaming - *paused;
  }
}

void BM_SoundToLedFrame(benchmark::State& state) {
  Rig& rig = *TheRig();
  if (!rig.error.empty()) return state.SkipWithError(rig.error.c_str());
  if (WaitForCompanion(rig) <= 0) return state.SkipWithError("korvale started no companion");
  Player player;
  double worst = 0;
  for (auto _ : state) {
    // Dark first: the lights of the last burst have to fade.
    if (!WaitFor([&] { auto [f, lit] = rig.LedFrames(); return f > 0 && lit == 0; }, 10000))
      return state.SkipWithError("the keyboard's LED frames never went dark");
    player.Play(Tone(1000, 0.8, 0.3), false);
    WaitFor([&] { return player.playing_.load(); }, 2000);
    const auto start = player.started_;
    Clock::time_point lit;
    if (!WaitFor([&] {
          if (rig.LedFrames().second == 0) return false;
          lit = Clock::now();
          return true;
        }, 3000))
      return state.SkipWithError("no lit LED frame after the burst");
    const double s = std::chrono::duration<double>(lit - start).count();
    worst = std::max(worst, s);
    state.SetIterationTime(s);
    player.Stop();
  }
  state.counters["worst_ms"] = worst * 1000;
}

BENCHMARK(BM_CompanionCpu)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_MainWindowShare)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_SoundToLedFrame)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
