// The headset's LED stream against the emulated headset on the virtual bus:
// the light thread's time per frame (step, twelve 17-byte reports under the
// channel lock; goal at most 1 ms), the rate the headset receives (goal
// 240 reports a second ± 5 %), and the p99 time of a command exchange with
// and without the stream running (goal: unchanged).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devices/page_setup.h"
#include "devices/varnik_hs6533_device.h"
#include "emulator/emulator.h"
#include "hid/hid_device.h"

namespace {

using namespace korvale;
constexpr int kHeadsetProduct = 3;

struct Rig {
  std::filesystem::path dir;
  std::unique_ptr<emu::Emulator> emulator;
  std::unique_ptr<CVarnikHS6533Device> page;

  Rig() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvale-bench-XXXXXX").string();
    dir = ::mkdtemp(tmpl.data());
    ::setenv("KORVALE_VHID_DIR", (dir / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    emulator = std::make_unique<emu::Emulator>(dir / "bus");
    emulator->Add(emu::Endpoint::Headset);
    emulator->Start();
    page = std::make_unique<CVarnikHS6533Device>();
    std::string path;
    CHidDevice lister;
    lister.Enumerate();
    while (const char* p = lister.NextPath())
      if (std::string(p).find("/headset.sock#") != std::string::npos) path = p;
    const auto identity = ProductIdentity(kHeadsetProduct, path);
    SetUpPage(*page, kHeadsetProduct, *identity);
    page->AttachPrimary(path, false, 0);
    LightInfo info;
    info.selectItem = 1;  // spectrum: every frame differs
    info.light = 4;
    info.speed = 4;
    info.fx = 1;
    page->Profile().WriteLightInfo(info);
    page->ApplyLighting();
    page->SetLightingControlActive(true);
  }
  ~Rig() {
    page.reset();
    emulator->Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  uint64_t Reports() {
    uint64_t n = 0;
    emulator->WithModel(emu::Product::Headset, [&](emu::DeviceModel& m) { n = m.ledReports[0] + m.ledReports[1]; });
    return n;
  }
};

// One frame as the light thread runs it: a step and the twelve reports.
void BM_FrameCost(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) rig.page->Advance(4);  // 64 ms of ticks: a frame is due every call
  state.counters["frames"] = static_cast<double>(rig.page->FramesStreamed());
  state.counters["failed"] = static_cast<double>(rig.page->FramesFailed());
}
BENCHMARK(BM_FrameCost)->Unit(benchmark::kMicrosecond);

// The real light thread for three seconds: the headset's measured rate.
void BM_StreamRate(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) {
    rig.page->StartLightThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // settle
    const uint64_t before = rig.Reports();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const uint64_t after = rig.Reports();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rig.page->StopLightThread();
    state.counters["reports_per_s"] = static_cast<double>(after - before) / s;
  }
}
BENCHMARK(BM_StreamRate)->Iterations(1)->Unit(benchmark::kMillisecond);

// p99 of 3000 ReadConfig exchanges, quiet and while the stream runs.
void BM_ExchangeP99(benchmark::State& state) {
  Rig rig;
  const bool streaming = state.range(0) != 0;
  if (streaming) rig.page->StartLightThread();
  std::vector<double> us;
  for (auto _ : state) {
    us.clear();
    uint8_t b = 0;
    for (int i = 0; i < 3000; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      if (rig.page->Comm().ReadConfig(&b, 1, 0) != 1) {
        state.SkipWithError("exchange failed");
        return;
      }
      us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
  }
  std::sort(us.begin(), us.end());
  state.counters["p50_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[us.size() * 99 / 100];
  state.SetLabel(streaming ? "streaming" : "quiet");
  if (streaming) rig.page->StopLightThread();
}
BENCHMARK(BM_ExchangeP99)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
