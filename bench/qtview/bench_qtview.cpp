// The keyboard picture's cost on screen: building and first painting a page
// of 170 key buttons, and animating their 170 light overlays at 20 frames a
// second (CPU time per second of real animation, measured with getrusage).
// Runs on Qt's offscreen platform, which paints into a real raster backing store.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPaintEvent>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <string>

#include "qtview/qt_ui_loop.h"
#include "qtview/skin_view.h"
#include "qtview/style.h"
#include "ui/ui.h"

namespace {

using namespace korvale;

constexpr int kKeys = 170;

// A keyboard-like page: 170 keys of 44 x 44 on a 17 x 10 grid.
std::string KeyboardSkin() {
  std::string xml = R"(<Window size="900,520"><VerticalLayout><SelectPanel name="panel">)";
  for (int i = 0; i < kKeys; ++i) {
    int x = 10 + (i % 17) * 50, y = 10 + (i / 17) * 50;
    // Each key with its legend, as on the keyboard page.
    xml += "<DeviceKeyButton name=\"light_" + std::to_string(i) + "\" float=\"true\" pos=\"" + std::to_string(x) +
           "," + std::to_string(y) + "," + std::to_string(x + 44) + "," + std::to_string(y + 44) + "\" text=\"K" +
           std::to_string(i) + "\" resourcetext=\"false\"/>";
  }
  xml += "</SelectPanel></VerticalLayout></Window>";
  return xml;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

void BM_BuildAndFirstPaint170Keys(benchmark::State& state) {
  const std::string xml = KeyboardSkin();
  for (auto _ : state) {
    CPaintManagerUI pm;
    CDialogBuilder builder;
    pm.AttachDialog(builder.CreateFromText(xml, nullptr, &pm));
    qtview::QtSkinView view(&pm);
    view.Window()->show();
    view.Window()->repaint();  // the first paint, synchronously
    benchmark::DoNotOptimize(view.WidgetCount());
    view.Window()->hide();
    pm.AttachDialog(nullptr);
  }
  state.counters["keys"] = kKeys;
}
BENCHMARK(BM_BuildAndFirstPaint170Keys)->Unit(benchmark::kMillisecond);

void BM_LightOverlays20Fps(benchmark::State& state) {
  const double seconds = static_cast<double>(state.range(0));
  CPaintManagerUI pm;
  CDialogBuilder builder;
  pm.AttachDialog(builder.CreateFromText(KeyboardSkin(), nullptr, &pm));
  std::vector<CDeviceKeyButtonUI*> keys;
  for (int i = 0; i < kKeys; ++i) {
    auto* key = dynamic_cast<CDeviceKeyButtonUI*>(pm.FindControl("light_" + std::to_string(i)));
    key->SetShowLightImage(true);
    keys.push_back(key);
  }
  qtview::QtSkinView view(&pm);
  view.Window()->show();
  QApplication::processEvents();
  PaintCounter counter;
  // Keys are painted by their panel: count the panel's paints.
  QWidget* panel = view.WidgetFor(pm.FindControl("panel"));
  panel->installEventFilter(&counter);

  double cpuPerSecond = 0;
  int frames = 0;
  for (auto _ : state) {
    frames = 0;
    counter.paints = 0;
    QEventLoop loop;
    QTimer frame;
    frame.setTimerType(Qt::PreciseTimer);
    QObject::connect(&frame, &QTimer::timeout, [&] {
      // A wave of colour across the keys, as a lighting effect steps it.
      for (int i = 0; i < kKeys; ++i) {
        int phase = (frames * 6 + i * 9) % 256;
        keys[i]->SetLightColor(static_cast<DWORD>(phase << 16 | (255 - phase) << 8 | 128));
      }
      ++frames;
    });
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    const double cpu0 = CpuSeconds();
    wall.start();
    frame.start(50);
    loop.exec();
    frame.stop();
    const double cpu = CpuSeconds() - cpu0;
    const double real = wall.elapsed() / 1000.0;
    cpuPerSecond = cpu / real;
    state.SetIterationTime(real);
  }
  state.counters["cpu_percent_of_one_core"] = cpuPerSecond * 100.0;
  state.counters["frames_per_second"] = frames / seconds;
  state.counters["panel_paints_per_second"] = counter.paints / seconds;
  state.counters["panel_opaque"] = panel->testAttribute(Qt::WA_OpaquePaintEvent) ? 1 : 0;
  pm.AttachDialog(nullptr);
}
BENCHMARK(BM_LightOverlays20Fps)->Arg(4)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QtUiLoop loop;
  SetUiLoop(&loop);
  RegisterSkinControls();
  qtview::ApplyStyle(app, KORVALE_SOURCE_DIR "/skin");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  SetUiLoop(nullptr);
  return 0;
}
