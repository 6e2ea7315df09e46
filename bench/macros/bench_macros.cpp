// Macros at their sizes of interest: encoding an 8 KiB image, downloading it
// by cable with 1 ms per report (compared with packets x 2 ms and the pause
// the protocol keeps before EndConfig), and showing a
// macro of 4,000 actions in the editor on Qt's offscreen platform.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <memory>

#include "devices/macro_download.h"
#include "devices/macro_image.h"
#include "editors/macro_control.h"
#include "emulator/emulator.h"
#include "hid/hid_device.h"
#include "profiles/json_file.h"
#include "profiles/macro_files.h"
#include "protocol/device_comm.h"
#include "qtview/qt_ui_loop.h"
#include "qtview/skin_view.h"
#include "qtview/style.h"
#include "ui/ui.h"

namespace {

using namespace korvale;
namespace fs = std::filesystem;

// Eight macros of 250 events: 16 + 48 + 8000 = 8064 bytes.
std::vector<std::vector<MacroEvent>> EightKiB() {
  std::vector<std::vector<MacroEvent>> entries(8);
  for (auto& e : entries)
    for (int i = 0; i < 250; ++i) e.push_back({static_cast<uint16_t>(i), 10, i % 2 == 0, 4});
  return entries;
}

fs::path TempDir() {
  std::string t = (fs::temp_directory_path() / "korvale-bench-macros-XXXXXX").string();
  return ::mkdtemp(t.data());
}

void BM_EncodeImage8K(benchmark::State& state) {
  const auto entries = EightKiB();
  for (auto _ : state) benchmark::DoNotOptimize(EncodeMacroImage(entries));
  state.counters["bytes"] = static_cast<double>(MacroImageSize(entries));
}
BENCHMARK(BM_EncodeImage8K)->Unit(benchmark::kMicrosecond);

void BM_DownloadMacros8K_Cable(benchmark::State& state) {
  const fs::path dir = TempDir();
  ::setenv("KORVALE_VHID_DIR", (dir / "bus").c_str(), 1);
  CHidDevice::SetHidrawEnabled(false);
  emu::Emulator emulator(dir / "bus");
  emulator.Add(emu::Endpoint::Keyboard);
  emulator.SetReportCost(std::chrono::milliseconds(1));
  emulator.Start();
  CDeviceComm comm;
  CHidDevice lister;
  lister.Enumerate();
  while (const char* p = lister.NextPath()) {
    const std::string path = p;
    if (path.find("/keyboard.sock#") != std::string::npos && path.find("&col04") != std::string::npos)
      comm.cableChannel.Open(path, true, true, true, false);
  }
  comm.SetConnectionMode(proto::kModeCable);
  comm.opened = 1;
  const auto entries = EightKiB();
  std::vector<MacroInfoEntry> index;
  std::vector<int> list;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    index.push_back({"m" + std::to_string(i), NewMacroGuid(index)});
    TryWriteJsonFile(dir / (index.back().guid + ".mac"), MacroDocument(index.back().name, index.back().guid, entries[i]));
    list.push_back(static_cast<int>(i));
  }
  WriteMacroIndex(dir, index);
  std::array<uint8_t, 34> info{};
  const std::size_t size = MacroImageSize(entries);
  // ReadInfo, BeginConfig, the cleared header, the body, the header, EndConfig.
  const double packets = 5 + static_cast<double>((size - 16 + 55) / 56);
  // The link's bound: command and answer of each packet, and the pause
  // before EndConfig, which no link can shorten.
  const double bound = packets * 2e-3 + proto::kEndConfigPauseMs * 1e-3;
  double seconds = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const DownloadReport r = DownloadMacroImage(comm, info, dir, list);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r.result != 0) {
      state.SkipWithError(r.message.c_str());
      break;
    }
  }
  state.counters["packets"] = packets;
  state.counters["ratio_to_link_bound"] = seconds / (bound * static_cast<double>(state.iterations()));
  comm.cableChannel.Close();
  emulator.Stop();
  std::error_code ec;
  fs::remove_all(dir, ec);
}
BENCHMARK(BM_DownloadMacros8K_Cable)->UseRealTime()->Unit(benchmark::kMillisecond);

// Selecting a macro of state.range(1) actions: rows built (state.range(0) = 1:
// also drawn and painted once).
void BM_ShowMacro4000(benchmark::State& state) {
  const bool drawn = state.range(0) != 0;
  const fs::path dir = TempDir();
  std::vector<MacroEvent> events;
  for (int i = 0; i < state.range(1); ++i) events.push_back({static_cast<uint16_t>(i), 10, i % 2 == 0, 4});
  WriteMacroIndex(dir, {{"big", "1"}});
  TryWriteJsonFile(dir / "1.mac", MacroDocument("big", "1", events));
  RegisterMacroControl();
  CPaintManagerUI pm;
  CDialogBuilder builder;
  auto* editor = dynamic_cast<CMacroControlUI*>(
      builder.Create(std::string(KORVALE_SOURCE_DIR) + "/skin/XML/CustomControlXML/MacroControl.xml", nullptr, &pm));
  pm.AttachDialog(editor);
  editor->SetMacroFolder(dir);
  editor->LoadMacroList();
  std::unique_ptr<qtview::QtSkinView> view;
  if (drawn) {
    view = std::make_unique<qtview::QtSkinView>(&pm);
    view->Window()->show();
  }
  QApplication::processEvents();
  auto* list = dynamic_cast<CListUI*>(editor->FindSubControl(macroui::kNameList));
  for (auto _ : state) {
    list->SelectItem(0, false, false);
    editor->ShowSelectedMacro();
    QApplication::processEvents();
    if (view) view->Window()->repaint();
    state.PauseTiming();
    list->SelectItem(-1, false, false);
    editor->ShowSelectedMacro();  // empties the rows again
    QApplication::processEvents();
    state.ResumeTiming();
  }
  state.counters["actions"] = static_cast<double>(state.range(1));
  if (view) state.counters["widgets"] = static_cast<double>(view->WidgetCount());
  view.reset();
  pm.AttachDialog(nullptr);
  std::error_code ec;
  fs::remove_all(dir, ec);
}
BENCHMARK(BM_ShowMacro4000)->Args({0, 4000})->Args({1, 4000})->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  korvale::QtUiLoop loop;
  korvale::SetUiLoop(&loop);
  korvale::RegisterSkinControls();
  korvale::qtview::ApplyStyle(app, KORVALE_SOURCE_DIR "/skin");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  korvale::SetUiLoop(nullptr);
  return 0;
}
