// The key editor at its sizes of interest, on Qt's offscreen platform: opening
// a key (the editor's controls set and drawn), the key tables written to a
// keyboard with 1 ms per report (korvale-emu --report-cost 1000, compared with
// packets x 2 ms and the pause the protocol keeps before EndConfig), and the
// UI time of one recorded event.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <memory>

#include "cli/device_session.h"
#include "devices/varnik_keyboard_device.h"
#include "editors/key_set_control.h"
#include "editors/macro_control.h"
#include "hid/hid_device.h"
#include "protocol/commands.h"
#include "qtview/skin_view.h"
#include "tests/support/emu_process.h"
#include "ui/ui.h"

namespace {

using namespace korvale;
namespace fs = std::filesystem;

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_keys";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

fs::path TempDir() {
  std::string t = (fs::temp_directory_path() / "korvale-bench-keys-XXXXXX").string();
  return ::mkdtemp(t.data());
}

template <class T>
T* BuildDrawn(CPaintManagerUI& pm, const char* file, std::unique_ptr<qtview::QtSkinView>& view) {
  App();
  CPaintManagerUI::SetResourcePath(fs::path(KORVALE_SOURCE_DIR) / "skin");
  CDialogBuilder builder;
  auto* control = dynamic_cast<T*>(
      builder.Create(std::string(KORVALE_SOURCE_DIR) + "/skin/XML/CustomControlXML/" + file, nullptr, &pm));
  pm.AttachDialog(control);
  view = std::make_unique<qtview::QtSkinView>(&pm);
  view->Window()->resize(1000, 260);
  view->Window()->show();
  QApplication::processEvents();
  return control;
}

// Opening a key: its code decoded, the category page and controls set, drawn.
void BM_OpenKey(benchmark::State& state) {
  RegisterKeySetControl();
  CPaintManagerUI pm;
  std::unique_ptr<qtview::QtSkinView> view;
  auto* editor = BuildDrawn<CKeySetControlUI>(pm, "KeySetControl.xml", view);
  editor->Initialise();
  editor->SetDeviceKind(1);
  const KeyRecord records[2] = {
      {{0, {0x30, 0xCD, 0}, 0}, {0, {0x20, 0x01, 0x06}, 0}, {0, {0x20, 0, 0x04}, 0}},
      {{0, {}, 0}, {0, {0x12, 0x21, 0xFD}, 0}, {0, {0x20, 0, 0x05}, 0}},
  };
  int i = 0;
  for (auto _ : state) {
    editor->OpenForKey(i, records[i % 2], false);
    QApplication::processEvents();
    view->Window()->repaint();
    ++i;
  }
  view.reset();
  pm.AttachDialog(nullptr);
}
BENCHMARK(BM_OpenKey)->Unit(benchmark::kMillisecond);

// Both key tables (normal and Fn) written to the keyboard by cable.
void BM_ApplyKeys_Cable(benchmark::State& state) {
  const fs::path dir = TempDir();
  ::setenv("KORVALE_VHID_DIR", (dir / "bus").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  CHidDevice::SetHidrawEnabled(false);
  testing::EmuProcess emu;
  if (!emu.Start({"--dir", (dir / "bus").string(), "--report-cost", "1000", "keyboard"}) || emu.Line().empty()) {
    state.SkipWithError("korvale-emu did not start");
    return;
  }
  std::vector<cli::BoundDevice> devices = cli::FindBoundDevices();
  if (devices.empty()) {
    state.SkipWithError("no keyboard bound");
    return;
  }
  cli::KeyboardSession session;
  std::string reason;
  if (session.Open(devices[0], reason) != cli::kExitOk) {
    state.SkipWithError(reason.c_str());
    return;
  }
  auto& kb = session.GetPage();
  // ReadInfo, BeginConfig, two tables of 512 bytes in 56-byte packets, EndConfig.
  const double packets = 3 + 2 * static_cast<double>((512 + 55) / 56);
  // The link's bound: command and answer of each packet, and the pause
  // before EndConfig, which no link can shorten.
  const double bound = packets * 2e-3 + proto::kEndConfigPauseMs * 1e-3;
  double seconds = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const int r = kb.ApplyKeyAssignments(0);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r != 1) {
      state.SkipWithError("key table write failed");
      break;
    }
  }
  state.counters["packets"] = packets;
  state.counters["ratio_to_link_bound"] = seconds / (bound * static_cast<double>(state.iterations()));
  emu.Kill();
  std::error_code ec;
  fs::remove_all(dir, ec);
}
BENCHMARK(BM_ApplyKeys_Cable)->UseRealTime()->Unit(benchmark::kMillisecond);

// One captured key event recorded: the row built, the delay set, drawn.
void BM_RecordEvent(benchmark::State& state) {
  RegisterMacroControl();
  CPaintManagerUI pm;
  std::unique_ptr<qtview::QtSkinView> view;
  auto* editor = BuildDrawn<CMacroControlUI>(pm, "MacroControl.xml", view);
  editor->StartRecording(1);
  uint64_t t = 1000;
  int n = 0;
  for (auto _ : state) {
    CapturedInput in;
    in.press = n % 2 == 0;
    in.nativeScanCode = 30 + 8 + static_cast<uint32_t>((n / 2) % 20);
    in.timestampMs = t += 37;
    editor->RecordEvent(CMacroControlUI::Placement::Append, in);
    QApplication::processEvents();
    if (++n % 200 == 0) {
      state.PauseTiming();
      editor->StopRecording();
      editor->DeleteAllActions();
      editor->StartRecording(1);
      QApplication::processEvents();
      state.ResumeTiming();
    }
  }
  editor->StopRecording();
  view.reset();
  pm.AttachDialog(nullptr);
}
BENCHMARK(BM_RecordEvent)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
