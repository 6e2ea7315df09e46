// How often korvale's threads wake while nothing happens, with the four
// emulated devices bound: hidden to the tray, and shown with the devices'
// own looks (the shown page animates) or with every device set to a static
// colour first. A wake-up is a context switch of the thread
// (/proc/PID/task/TID/status), counted over 20 s after the binds settled;
// the CPU the program used over the same time comes with it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/support/korvale_child.h"
#include "bench/support/process_stats.h"
#include "platform/message_bus.h"
#include "ui/app_messages.h"

namespace {

using namespace korvale::bench;
using namespace std::chrono_literals;

constexpr auto kPeriod = 20s;
constexpr const char* kDevices[] = {"keyboard", "mouse", "mousepad", "headset"};

Emulator& SharedEmulator() {
  static Emulator emu;
  return emu;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// "name rate" of the threads that woke most, most first.
std::string Busiest(const std::map<std::string, double>& rates, std::size_t n = 6) {
  std::vector<std::pair<double, std::string>> order;
  for (const auto& [name, r] : rates) order.push_back({r, name});
  std::sort(order.rbegin(), order.rend());
  std::string text;
  for (std::size_t i = 0; i < order.size() && i < n; ++i) {
    char part[96];
    std::snprintf(part, sizeof part, "%s%s %.1f", text.empty() ? "" : ", ", order[i].second.c_str(), order[i].first);
    text += part;
  }
  return text;
}

void IdleWakes(benchmark::State& state, bool hidden, bool staticLook) {
  // A static look changes the devices' records: those runs get a device set of their own.
  std::unique_ptr<Emulator> own;
  if (staticLook) own = std::make_unique<Emulator>();
  Emulator& emu = staticLook ? *own : SharedEmulator();
  if (!emu.Ready()) {
    state.SkipWithError("korvale-emu did not serve its four devices");
    return;
  }
  for (auto _ : state) {
    ChildHome home;
    if (staticLook) {
      for (const char* d : kDevices) {
        if (RunToEnd(home, emu.Dir(), "korvalectl", {"lighting", d, "--effect", "static"}) != 0) {
          state.SkipWithError("korvalectl lighting --effect static failed");
          return;
        }
      }
    }
    KorvaleChild k(home, emu.Dir());
    if (!k.WaitForTrace("window painted", 10s)) {
      state.SkipWithError("no first paint within 10 s");
      return;
    }
    // Every device bound brings the window to the front: the binds settle first.
    k.Drain(2s);
    if (hidden) {
      korvale::VirtualUiLoop loop;
      korvale::MessageBus bus(loop, home.root / "run" / "korvale-bus");
      // A click on the tray icon hides the shown main window.
      if (!bus.Post(korvale::kAppIdentity, "", korvale::WM_TRAY_NOTIFY, 0, 514)) {
        state.SkipWithError("main window not on the bus");
        return;
      }
    }
    k.Drain(1s);
    const auto before = ThreadContextSwitches(k.Pid());
    const double cpuBefore = CpuSeconds(k.Pid());
    k.Drain(kPeriod);
    const auto after = ThreadContextSwitches(k.Pid());
    const double cpu = CpuSeconds(k.Pid()) - cpuBefore;
    const double seconds = std::chrono::duration<double>(kPeriod).count();
    const auto rates = WakesPerSecond(k.Pid(), before, after, seconds);
    double light = 0, previewLight = 0, total = 0;
    for (const auto& [name, r] : rates) {
      total += r;
      if (!StartsWith(name, "kv-light")) continue;
      light += r;
      if (name != "kv-light-hs") previewLight += r;
    }
    auto rate = [&](const char* name) {
      auto it = rates.find(name);
      return it == rates.end() ? 0.0 : it->second;
    };
    state.SetIterationTime(seconds);
    state.counters["ui_wakes_per_s"] = rate("ui");
    state.counters["kb_light_wakes_per_s"] = rate("kv-light-kb");
    state.counters["hs_light_wakes_per_s"] = rate("kv-light-hs");
    // The light threads that only feed the preview (all but the headset's,
    // which streams its frames to the headset).
    state.counters["preview_light_wakes_per_s"] = previewLight;
    state.counters["light_wakes_per_s"] = light;
    state.counters["total_wakes_per_s"] = total;
    state.counters["cpu_percent_of_core"] = cpu / seconds * 100.0;
    state.SetLabel(Busiest(rates));
  }
}

void BM_IdleWakes_Hidden(benchmark::State& state) { IdleWakes(state, true, false); }
void BM_IdleWakes_Shown(benchmark::State& state) { IdleWakes(state, false, false); }
void BM_IdleWakes_ShownStatic(benchmark::State& state) { IdleWakes(state, false, true); }

}  // namespace

BENCHMARK(BM_IdleWakes_Hidden)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleWakes_Shown)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleWakes_ShownStatic)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
