// korvale-skinview: shows any skin XML file in a window, for skin work and
// screenshots. Notifications the controls send are printed, one per line.
#include <QApplication>
#include <QColor>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "qtview/qt_ui_loop.h"
#include "qtview/skin_view.h"
#include "qtview/style.h"
#include "ui/ui.h"

using namespace korvale;

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: korvale-skinview SKIN.xml [--screenshot OUT.png] [--tab NAME=INDEX]...\n"
               "                        [--select OPTION]... [--language FILE] [--size WxH]\n"
               "                        [--sample-data] [--quiet]\n"
               "  --screenshot  render offscreen into OUT.png and exit\n"
               "  --tab         select page INDEX of the tab layout NAME\n"
               "  --select      select the option (or check box) OPTION\n"
               "  --language    read the texts from FILE (else language.xml beside the skin)\n"
               "  --size        window size (else the skin's own)\n"
               "  --sample-data fill empty level views, charts and key lights with example values\n");
}

class PrintNotifier : public INotifyUI {
 public:
  void Notify(TNotifyUI& msg) override {
    std::printf("%s %s %llu %lld\n", msg.sType.c_str(), msg.pSender ? msg.pSender->GetName().c_str() : "-",
                static_cast<unsigned long long>(msg.wParam), static_cast<long long>(msg.lParam));
    std::fflush(stdout);
  }
};

// The main window's tags, with a plain layout standing in for the page and
// editor classes that live in the application (the viewer shows their skin).
class ViewerCallback : public IDialogBuilderCallback {
 public:
  explicit ViewerCallback(CPaintManagerUI* pm) : pm_(pm) {}
  CControlUI* CreateControl(std::string_view tag) override {
    if (CControlUI* c = CreateSkinControl(tag, this, pm_)) return c;
    for (const auto& t : kSkinObjectTags) {
      if (EqualsNoCase(t.tag, tag)) return new CVerticalLayoutUI;
    }
    return nullptr;
  }

 private:
  CPaintManagerUI* pm_;
};

void FillSampleData(CControlUI* root) {
  int key = 0;
  root->ForEach([&key](CControlUI* c) {
    if (auto* audio = dynamic_cast<CAudioRecordUI*>(c); audio != nullptr && audio->GetSamples().empty()) {
      std::vector<int> samples;
      for (int i = 0; i < 400; ++i) {
        double env = 0.55 + 0.45 * std::sin(i / 23.0);
        samples.push_back(static_cast<int>(8000 * env * std::fabs(std::sin(i * 0.71) * std::cos(i * 0.13))));
      }
      audio->SetSamples(samples);
    } else if (auto* chart = dynamic_cast<CChartViewUI*>(c); chart != nullptr && chart->GetItems().empty()) {
      const char* names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
      const double values[] = {3, 5, 4, 7, 6, 9, 5};
      for (int i = 0; i < 7; ++i) chart->Add(names[i], values[i]);
    } else if (auto* button = dynamic_cast<CDeviceKeyButtonUI*>(c)) {
      // A rainbow across the keyboard, as a wave effect shows it.
      const UiRect& at = button->GetFixedXY();
      const QColor hue = QColor::fromHsv(static_cast<int>(at.left * 0.4 + at.top * 0.6) % 360, 230, 255);
      button->SetLightColor(static_cast<DWORD>(hue.rgb() & 0xFFFFFF));
      button->SetShowLightImage(true);
      if (key % 2 == 0) button->SetKeySetFlag(false);
      if (key % 3 == 1) button->SetKeyUnsetFlag(false);
      if (button->GetText().empty()) button->SetText(std::string(1, static_cast<char>('A' + key % 26)));
      ++key;
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  std::string skin, screenshot;
  std::vector<std::pair<std::string, int>> tabs;
  std::vector<std::string> selects;
  std::string language;
  int width = 0, height = 0;
  bool sample = false, quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--screenshot" && i + 1 < argc) {
      screenshot = argv[++i];
    } else if (a == "--tab" && i + 1 < argc) {
      std::string t = argv[++i];
      auto eq = t.find('=');
      int index = 0;
      if (eq == std::string::npos || !ParseInt(t.substr(eq + 1), &index)) {
        Usage();
        return 2;
      }
      tabs.emplace_back(t.substr(0, eq), index);
    } else if (a == "--select" && i + 1 < argc) {
      selects.emplace_back(argv[++i]);
    } else if (a == "--language" && i + 1 < argc) {
      language = argv[++i];
    } else if (a == "--size" && i + 1 < argc) {
      std::string v = argv[++i];
      auto x = v.find('x');
      if (x == std::string::npos || !ParseInt(v.substr(0, x), &width) || !ParseInt(v.substr(x + 1), &height) ||
          width <= 0 || height <= 0 || width > 10000 || height > 10000) {
        Usage();
        return 2;
      }
    } else if (a == "--sample-data") {
      sample = true;
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (skin.empty() && !a.empty() && a[0] != '-') {
      skin = a;
    } else {
      Usage();
      return 2;
    }
  }
  if (skin.empty()) {
    Usage();
    return 2;
  }
  std::error_code ec;
  std::filesystem::path file = std::filesystem::absolute(skin, ec);
  if (!std::filesystem::is_regular_file(file, ec)) {
    std::fprintf(stderr, "korvale-skinview: no such skin file: %s\n", skin.c_str());
    return 1;
  }
  if (!screenshot.empty() && std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  QApplication app(argc, argv);
  QtUiLoop loop;
  SetUiLoop(&loop);
  // The skin's resource folder: the nearest folder above the file with a
  // res.xml index (skin files and pictures are named relative to it).
  auto dir = file.parent_path();
  for (auto up = dir; !up.empty(); up = up.parent_path()) {
    if (std::filesystem::exists(up / "res.xml", ec)) {
      dir = up;
      break;
    }
    if (up == up.parent_path() || up == file.parent_path().parent_path().parent_path()) break;
  }
  CPaintManagerUI::SetResourcePath(dir);
  if (std::filesystem::exists(dir / "res.xml")) CResourceManager::GetInstance().LoadResource(dir / "res.xml");
  if (!language.empty()) {
    if (!CResourceManager::GetInstance().LoadLanguage(language)) {
      std::fprintf(stderr, "korvale-skinview: cannot read the language file %s\n", language.c_str());
      return 1;
    }
  } else if (std::filesystem::exists(file.parent_path() / "language.xml")) {
    CResourceManager::GetInstance().LoadLanguage(file.parent_path() / "language.xml");
  }
  RegisterSkinControls();
  qtview::ApplyStyle(app, dir);

  int rc = 0;
  {
    CPaintManagerUI pm;
    PrintNotifier printer;
    if (!quiet) pm.AddNotifier(&printer);
    CDialogBuilder builder;
    ViewerCallback callback(&pm);
    CControlUI* root = builder.Create(file.string(), &callback, &pm);
    if (root == nullptr) {
      std::fprintf(stderr, "korvale-skinview: cannot build %s\n", skin.c_str());
      SetUiLoop(nullptr);
      return 1;
    }
    pm.AttachDialog(root);
    for (auto& [name, index] : tabs) {
      auto* tab = dynamic_cast<CTabLayoutUI*>(pm.FindControl(name));
      if (tab == nullptr || !tab->SelectItem(index, false)) {
        std::fprintf(stderr, "korvale-skinview: no tab page %s=%d\n", name.c_str(), index);
        SetUiLoop(nullptr);
        return 1;
      }
    }
    for (auto& name : selects) {
      auto* option = dynamic_cast<COptionUI*>(pm.FindControl(name));
      if (option == nullptr) {
        std::fprintf(stderr, "korvale-skinview: no option %s\n", name.c_str());
        SetUiLoop(nullptr);
        return 1;
      }
      option->Selected(true, false);
    }
    if (sample) FillSampleData(root);

    qtview::QtSkinView view(&pm);
    if (width > 0) view.Window()->resize(width, height);
    view.Window()->setWindowTitle(QString::fromStdString("korvale-skinview - " + file.filename().string()));
    if (!screenshot.empty()) {
      view.Window()->show();
      QApplication::processEvents();
      if (!view.SaveScreenshot(QString::fromStdString(screenshot))) {
        std::fprintf(stderr, "korvale-skinview: cannot write %s\n", screenshot.c_str());
        rc = 1;
      }
    } else {
      view.Window()->show();
      rc = app.exec();
    }
    pm.RemoveNotifier(&printer);
  }
  SetUiLoop(nullptr);
  return rc;
}
