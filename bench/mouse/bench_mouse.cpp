// The mouse page from connection to its first paint, with every report
// taking 1 ms on the link (korvale-emu --report-cost 1000, USB full speed),
// by cable and through the receiver: OnConnected's reads, the preview painted
// onto the page, and the page built and painted by the Qt renderer. Goals:
// 100 ms by cable, 300 ms through the receiver. Then the CPU the mouse's light
// thread takes while its fastest effect runs (goal: 0.5 % of one core).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "bench/support/process_stats.h"
#include "devices/page_setup.h"
#include "devices/varnik_mouse_device.h"
#include "hid/device_table.h"
#include "hid/hid_device.h"
#include "qtview/qt_ui_loop.h"
#include "qtview/skin_view.h"
#include "qtview/style.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/skin_controls.h"

namespace {

using namespace korvale;
namespace fs = std::filesystem;

// korvale-emu on a bus folder of the run's own, serving both connections.
struct Bench {
  fs::path dir;
  testing::EmuProcess emu;
  bool Start() {
    dir = fs::temp_directory_path() / ("korvale-bench-mouse-" + std::to_string(::getpid()));
    fs::create_directories(dir / "data");
    ::setenv("KORVALE_VHID_DIR", (dir / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    return emu.Start({"--dir", (dir / "bus").string(), "--report-cost", "1000", "mouse-cable", "mouse-receiver"}) &&
           !emu.Line().empty() && !emu.Line().empty();
  }
  ~Bench() {
    emu.Kill();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// The mouse page built from its skin and set up as the device list does.
CVarnikMouseDevice* BuildPage(CPaintManagerUI& pm, bool receiver) {
  CDialogBuilder builder;
  auto* page = dynamic_cast<CVarnikMouseDevice*>(
      builder.Create(std::string(KORVALE_SOURCE_DIR) + "/skin/XML/DeviceXml/mousedevice.xml", nullptr, &pm));
  if (page == nullptr) {
    std::fprintf(stderr, "the mouse skin did not build a mouse page\n");
    return nullptr;
  }
  pm.AttachDialog(page);
  auto identity = ProductIdentity(0);
  if (receiver) identity = kSupportedDevices[static_cast<std::size_t>(
      FindTableRow(0x320F, 0x221D, static_cast<uint16_t>(DeviceKind::ReceiverMouse), 0))];
  SetUpPage(*page, 0, *identity);
  page->SetProfileName("{4F1D2C3B-0000-4000-8000-0000000000B1}");
  page->InitPage();
  const std::string path = testing::BusPath(receiver ? "mouse-receiver" : "mouse-cable", 4);
  if (!page->AttachPrimary(path, receiver, receiver ? proto::kModeReceiver : proto::kModeCable)) {
    std::fprintf(stderr, "cannot open \"%s\"\n", path.c_str());
    return nullptr;
  }
  page->SetLightingControlActive(true);
  return page;
}

void BM_ConnectedToFirstPaint(benchmark::State& state) {
  const bool receiver = state.range(0) != 0;
  Bench bench;
  if (!bench.Start()) return state.SkipWithError("korvale-emu did not start");
  double device = 0;
  for (auto _ : state) {
    CPaintManagerUI pm;
    CVarnikMouseDevice* page = BuildPage(pm, receiver);
    if (page == nullptr) return state.SkipWithError("the mouse page did not build or attach");
    const auto t0 = std::chrono::steady_clock::now();
    page->OnConnected();
    page->PaintLights();
    device += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    qtview::QtSkinView view(&pm);
    view.Window()->show();
    view.Window()->repaint();  // the first paint, synchronously
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    view.Window()->hide();
    page->StopLightThread();
    page->DetachPrimary();
    pm.AttachDialog(nullptr);
  }
  state.counters["device_ms"] = 1000.0 * device / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ConnectedToFirstPaint)->ArgName("receiver")->Arg(0)->Arg(1)->UseManualTime()->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Three seconds of the wave at full speed (a step every 16 ms tick).
void BM_LightThreadCpu(benchmark::State& state) {
  Bench bench;
  if (!bench.Start()) return state.SkipWithError("korvale-emu did not start");
  double cpu = 0, wall = 0;
  uint64_t wakes = 0;
  for (auto _ : state) {
    CPaintManagerUI pm;
    CVarnikMouseDevice* page = BuildPage(pm, false);
    if (page == nullptr) return state.SkipWithError("the mouse page did not build or attach");
    page->OnConnected();
    page->StopLightThread();
    LightInfo info = page->GetLightInfoRecord();
    info.selectItem = 0;
    info.speed = 4;
    info.multiColor = 1;
    page->SetLightInfo(info.ToWords());
    page->ApplyLighting();
    const auto t0 = std::chrono::steady_clock::now();
    page->StartLightThread();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // The light thread's own time, read before it ends: not the UI's or ours.
    cpu += bench::ThreadsCpuSeconds(::getpid(), "kv-light-ms");
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    page->StopLightThread();
    wakes += page->LightThread().Wakes();
    page->DetachPrimary();
    pm.AttachDialog(nullptr);
  }
  state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
  state.counters["wakes_per_s"] = static_cast<double>(wakes) / wall;
}
BENCHMARK(BM_LightThreadCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QtUiLoop loop;
  SetUiLoop(&loop);
  const fs::path skin = fs::path(KORVALE_SOURCE_DIR) / "skin";
  CPaintManagerUI::SetResourcePath(skin);
  CResourceManager::GetInstance().LoadResource(skin / "res.xml");
  RegisterSkinControls();
  RegisterDeviceControls();
  qtview::ApplyStyle(app, KORVALE_SOURCE_DIR "/skin");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  SetUiLoop(nullptr);
  return 0;
}
