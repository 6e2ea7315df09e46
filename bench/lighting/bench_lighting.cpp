// CPU the light thread takes per second of real time, with 170 LEDs, in the
// modes that step on every tick, plus per-key effects on every LED. Goal:
// at most 0.5 % of one core. Also the cost of one step, for comparison.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "bench/support/process_stats.h"
#include "devices/keyboard_lighting.h"

namespace {

using namespace korvale;

enum Load { kRainbowField = 0, kAudioWaves = 1, kEffectList = 2 };

void Configure(CKeyboardLighting& fx, int load, bool overlay) {
  LightInfo info;
  info.light = 4;
  info.speed = 4;
  info.multiColor = 1;
  info.fx = 1;
  info.selectItem = load == kRainbowField ? 33 : load == kAudioWaves ? 29 : 0;
  AudioLightInfo audio;
  audio.audioMode = 2;
  audio.sevenColor = 1;
  fx.SetAudioLightInfo(audio);
  LedEffectStep wave;
  wave.mode = 4;
  wave.speed = 4;
  wave.brightness = 4;
  wave.multiColor = 1;
  wave.time = 1000;
  fx.SetEffectList({wave});
  if (overlay) {
    std::vector<LightListEntry> table(170);
    for (std::size_t i = 0; i < table.size(); ++i) {
      table[i].mode = static_cast<uint8_t>(i % 4);
      table[i].brightness = 4;
      table[i].speed = 4;
      table[i].multiColor = 1;
      table[i].valid = 1;
    }
    fx.SetCustomTable(table);
  }
  fx.SetLightInfo(info);
  fx.Apply();
}

void FeedSpectrum(CKeyboardLighting& fx, int n) {
  std::array<int32_t, 25> s{};
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int32_t>((i * 97 + static_cast<std::size_t>(n) * 31) % 2000);
  fx.FeedAudioSpectrum(s.data(), sizeof s);
}

// One step of the engine.
void BM_Step(benchmark::State& state) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  Configure(fx, static_cast<int>(state.range(0)), state.range(1) != 0);
  int n = 0;
  for (auto _ : state) {
    if (state.range(0) == kAudioWaves && ++n % 3 == 0) FeedSpectrum(fx, n);
    fx.Step();
    benchmark::DoNotOptimize(leds.data());
  }
}
BENCHMARK(BM_Step)->ArgsProduct({{kRainbowField, kAudioWaves, kEffectList}, {0, 1}});

// The real light thread for three seconds, its own CPU time read from the
// scheduler before it ends; the benchmark's own thread sleeps (audio frames
// arrive every 30 ms, as the capture program sends them) and is not counted.
void BM_LightThreadCpu(benchmark::State& state) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  Configure(fx, static_cast<int>(state.range(0)), true);
  double cpu = 0, wall = 0;
  uint64_t wakes = 0;
  for (auto _ : state) {
    CLightThread thread;
    thread.SetName("kv-light-bench");
    const auto t0 = std::chrono::steady_clock::now();
    thread.Start(fx);
    for (int n = 0; n < 100; ++n) {
      if (state.range(0) == kAudioWaves) FeedSpectrum(fx, n);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    cpu += bench::ThreadsCpuSeconds(::getpid(), "kv-light-bench");
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    thread.Stop();
    wakes += thread.Wakes();
  }
  state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
  state.counters["wakes_per_s"] = static_cast<double>(wakes) / wall;
}
BENCHMARK(BM_LightThreadCpu)->Arg(kRainbowField)->Arg(kAudioWaves)->Arg(kEffectList)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
