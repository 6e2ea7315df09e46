// The headset's sound on a private sound server: how long a control change
// takes to be in force on the server, what the equaliser filter costs the
// server per second of 48 kHz stereo, and how long the window waits for the
// audio set-up when no server runs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "devices/audio_chip.h"
#include "tests/support/headset_audio.h"
#include "tests/support/temp_dir.h"

using namespace korvale;
using Clock = std::chrono::steady_clock;

namespace {

struct Rig {
  Rig() : server(dir.Path()) {
    if (!server.Ok()) return;
    chip = CreatePulseAudioChip();
    chip->ConfLibInit();
    if (!testing::WaitFor([&] { return chip->ServerState() == AudioServerState::kReady; }, 5000)) return;
    chip->CreateDeviceList();
    for (int d : {kAudioOutput, kAudioMicrophone}) {
      uint32_t n = 0;
      chip->GetDeviceCount(d, &n);
      for (uint32_t i = 0; i < n; ++i) {
        AudioDeviceRecord r;
        chip->GetDeviceById(d, i, &r);
        if (r.type == kEndpointHeadsetOutput) out = r;
        if (r.type == kEndpointHeadsetMicrophone) mic = r;
      }
    }
  }
  bool Ok() const { return out.type == kEndpointHeadsetOutput && mic.type == kEndpointHeadsetMicrophone; }
  int Write(const AudioDeviceRecord& r, const char* p, int number, float level = 0) {
    AudioValue v;
    v.number = number;
    v.level = level;
    return chip->PropertyControl(r, p, v, -1, true);
  }
  bool Curve(int gain1k) {
    Write(out, "Enable_EQ_GFX", 1);
    for (int j = 0; j < 10; ++j) Write(out, ("EQ_Slider" + std::to_string(j + 1)).c_str(), j == 5 ? gain1k : 0);
    return chip->Flush(5000);
  }
  testing::TempDir dir{"korvale-ba"};
  testing::HeadsetSoundServer server;
  std::unique_ptr<IAudioChip> chip;
  AudioDeviceRecord out, mic;
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

// A write is synchronous: when it returns the server has taken it.
void BM_MicMuteInForce(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.Ok()) return state.SkipWithError("no sound server");
  int muted = 0;
  for (auto _ : state)
    if (rig.Write(rig.mic, "MuteControl", muted ^= 1) != kAudioOk) return state.SkipWithError("refused");
}
BENCHMARK(BM_MicMuteInForce)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MicLevelInForce(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.Ok()) return state.SkipWithError("no sound server");
  int level = 0;
  for (auto _ : state)
    if (rig.Write(rig.mic, "VolumeScalarControl", 0, static_cast<float>((level = (level + 7) % 100)) / 100) != kAudioOk)
      return state.SkipWithError("refused");
}
BENCHMARK(BM_MicLevelInForce)->Unit(benchmark::kMillisecond)->UseRealTime();

// Monitoring on and off: the loopback loaded, then unloaded.
void BM_MonitorSwitchInForce(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.Ok()) return state.SkipWithError("no sound server");
  int muted = 1;
  for (auto _ : state)
    if (rig.Write(rig.mic, "AAMuteControl", muted ^= 1) != kAudioOk) return state.SkipWithError("refused");
  rig.Write(rig.mic, "AAMuteControl", 1);
}
BENCHMARK(BM_MonitorSwitchInForce)->Unit(benchmark::kMillisecond)->UseRealTime();

// A new curve (ten band writes) until its filter is loaded and routed.
void BM_EqCurveInForce(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.Ok()) return state.SkipWithError("no sound server");
  if (!rig.chip->QueryFeature(AudioFeature::kEqualiser).supported) return state.SkipWithError("no equaliser plugin");
  int gain = 1;
  for (auto _ : state)
    if (!rig.Curve(gain = gain % 12 + 1)) return state.SkipWithError("refused");
  rig.Curve(0);
}
BENCHMARK(BM_EqCurveInForce)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU of every thread of the server (the sinks run on threads of their own),
// in nanoseconds from the scheduler's accounting.
double ServerCpuSeconds(pid_t pid) {
  double total = 0;
  std::error_code ec;
  for (const auto& t : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream in(t.path() / "schedstat");
    unsigned long long ns = 0;
    in >> ns;
    total += static_cast<double>(ns) / 1e9;
  }
  return total;
}

// The server's CPU for one second of 48 kHz stereo through the filter, less
// the same second straight to the headset.
void BM_EqCpuPerAudioSecond(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.Ok()) return state.SkipWithError("no sound server");
  if (!rig.chip->QueryFeature(AudioFeature::kEqualiser).supported) return state.SkipWithError("no equaliser plugin");
  const pid_t pid = rig.server.ServerPid();
  double withEq = 0, without = 0;
  int n = 0;
  for (auto _ : state) {
    rig.Curve(0);
    double t0 = ServerCpuSeconds(pid);
    testing::ToneLevelDb(nullptr, testing::kHsSink, 1000);
    without += ServerCpuSeconds(pid) - t0;
    rig.Curve(6);
    t0 = ServerCpuSeconds(pid);
    testing::ToneLevelDb(nullptr, testing::kHsSink, 1000);
    withEq += ServerCpuSeconds(pid) - t0;
    ++n;
  }
  rig.Curve(0);
  // Each measurement plays 1.5 s of tone.
  state.counters["eq_cpu_ms_per_audio_s"] = (withEq - without) / n / 1.5 * 1000;
  state.counters["server_cpu_ms_per_audio_s"] = without / n / 1.5 * 1000;
}
BENCHMARK(BM_EqCpuPerAudioSecond)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// What the window waits for at start-up when no server runs: the chip made,
// its connection started, the endpoint list asked for.
void BM_StartWithoutServer(benchmark::State& state) {
  testing::TempDir dir{"korvale-bn"};
  const char* old = std::getenv("PULSE_SERVER");
  const std::string keep = old != nullptr ? old : "";
  ::setenv("PULSE_SERVER", ("unix:" + (dir.Path() / "none").string()).c_str(), 1);
  for (auto _ : state) {
    auto chip = CreatePulseAudioChip();
    chip->ConfLibInit();
    chip->CreateDeviceList();
    uint32_t n = 0;
    chip->GetDeviceCount(kAudioOutput, &n);
    benchmark::DoNotOptimize(n);
    state.PauseTiming();
    chip.reset();
    state.ResumeTiming();
  }
  if (old != nullptr) ::setenv("PULSE_SERVER", keep.c_str(), 1); else ::unsetenv("PULSE_SERVER");
}
BENCHMARK(BM_StartWithoutServer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
