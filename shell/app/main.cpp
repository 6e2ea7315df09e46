// korvale: the configuration program. Without arguments it runs as a normal
// windowed application; --hidden starts it in the tray; --screenshots DIR shows the main window (and each
// device page it has, and the secondary windows), writes each as a PNG into DIR and exits.
#include <QApplication>
#include <QDBusConnection>
#include <QSocketNotifier>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "hid/hid_interfaces.h"
#include "platform/paths.h"
#include "platform/trace.h"
#include "devices/varnik_usb_device.h"
#include "mainwnd/audio_companion_link.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "mainwnd/window_commands.h"
#include "qtview/input_capture_filter.h"
#include "qtview/popup_menus.h"
#include "qtview/qt_ui_loop.h"
#include "qtview/style.h"
#include "qtview/system_fonts.h"
#include "qtview/tray_icon.h"
#include "ui/app_messages.h"
#include "ui/controls.h"
#include "shell/app/desktop_notifications.h"
#include "shell/app/power_events.h"
#include "shell/app/qt_fonts.h"
#include "shell/app/window_host.h"
#include "qtview/qt_file_dialogs.h"
#include "shell/app_shell.h"
#include "ui/app_messages.h"
#include "ui/controls.h"

using namespace korvale;

namespace {

constexpr int kExitDataMissing = 3;

void Usage(std::FILE* out) {
  std::fprintf(out,
               "usage: korvale [--hidden] [--screenshots DIR [--screenshot-delay MS]]\n"
               "  --hidden           start in the tray without showing the window (shown\n"
               "                     anyway on a desktop without a tray)\n"
               "  --screenshots DIR  show the main window and each device page, save each\n"
               "                     as a PNG in DIR, then exit\n"
               "  --screenshot-delay MS  let each page run MS milliseconds (0-60000) before\n"
               "                     its shot, e.g. for a lighting effect to move\n"
               "  --help             this text\n");
}

// SIGTERM and SIGINT end the program the orderly way: the main window is
// destroyed on the UI thread and the normal tear-down follows.
int g_signalFd = -1;

void OnSignal(int) {
  const std::uint64_t one = 1;
  if (g_signalFd >= 0) (void)!::write(g_signalFd, &one, sizeof one);
}

bool SaveShot(QtWindowHost& host, HWND hwnd, const std::filesystem::path& file) {
  auto* view = host.ViewFor(hwnd);
  if (view == nullptr) return false;
  view->Relayout();
  QApplication::processEvents();
  if (!view->SaveScreenshot(QString::fromStdString(file.string()))) {
    std::fprintf(stderr, "korvale: cannot write %s\n", file.c_str());
    return false;
  }
  std::printf("%s\n", file.c_str());
  return true;
}

// Runs the loop until cond() holds or ms pass.
void RunFor(UiLoop& loop, int ms, const std::function<bool()>& cond = [] { return false; }) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  loop.RunUntil([&] { return cond() || std::chrono::steady_clock::now() >= until; });
}

// The main window once the first device scan has shown it and the devices
// found have settled, then each device page with a visible tile.
bool TakeScreenshots(UiLoop& loop, QtWindowHost& host, CMainWnd& window, const std::filesystem::path& dir,
                     int delayMs) {
  // A tick keeps the nested waits waking while nothing else happens.
  const auto tick = UiLoop::NewTimerKey();
  loop.SetTimer(tick, 50, [] {});
  RunFor(loop, 3000, [&] { return window.IsVisible(); });
  // With a device of ours present and within reach, its tile first: binding
  // takes seconds on a slow machine.
  const auto interfaces = ListHidInterfaces();
  const bool ours = std::any_of(interfaces.begin(), interfaces.end(),
                                [](const HidInterfaceInfo& i) { return SupportedRowOf(i) >= 0; });
  if (ours && ListDeniedNodes().empty()) RunFor(loop, 15000, [&] { return window.VisibleTileCount() > 0; });
  // Devices bind one after another; wait until the tiles stop changing.
  int tiles = window.VisibleTileCount();
  auto stableSince = std::chrono::steady_clock::now();
  RunFor(loop, 5000, [&] {
    const int now = window.VisibleTileCount();
    if (now != tiles) {
      tiles = now;
      stableSince = std::chrono::steady_clock::now();
    }
    return std::chrono::steady_clock::now() - stableSince > std::chrono::milliseconds(700);
  });
  window.ShowWindow(true);
  bool ok = SaveShot(host, window.GetHWND(), dir / "main.png");
  if (CDeviceList* list = window.GetDeviceList()) {
    for (int i = 0; i < list->PageCount(); ++i) {
      CControlUI* tile = list->TileAt(i);
      if (tile == nullptr || !tile->IsVisible()) continue;
      list->ShowTile(i, true, true);
      RunFor(loop, 300 + delayMs);
      ok = SaveShot(host, window.GetHWND(), dir / ("page-" + std::to_string(i) + ".png")) && ok;
      // The page's macro, shoot and audio tabs, when it has them.
      CVarnikUSBDevice* page = list->PageAt(i);
      const std::pair<const char*, const char*> tabs[] = {{"macro_Op_tab", "macros"}, {"cursor_Op_tab", "shoot"}, {"6533_voice_Op_tab", "audio"}};
      for (const auto& [tab, suffix] : tabs) {
        auto* option = page == nullptr ? nullptr : dynamic_cast<COptionUI*>(page->FindSubControl(tab));
        if (option == nullptr || !option->IsVisible()) continue;
        option->Selected(true);
        // The first macro shows its actions.
        if (auto* macros = dynamic_cast<CListUI*>(page->FindSubControl("macro_name_list")); macros && macros->GetCount() > 0)
          macros->SelectItem(0);
        RunFor(loop, 300);
        ok = SaveShot(host, window.GetHWND(), dir / ("page-" + std::to_string(i) + "-" + suffix + ".png")) && ok;
      }
      // The key tab with a key opened in the key editor (A, or the mouse's right button).
      if (auto* keys = page == nullptr ? nullptr : dynamic_cast<COptionUI*>(page->FindSubControl("key_Op_tab"));
          keys != nullptr && keys->IsVisible()) {
        keys->Selected(true);
        const bool keyboard = IsKind(page->GetKind(), DeviceKind::Keyboard);
        if (CControlUI* key = page->FindSubControl(keyboard ? "key_64" : "key_1"))
          window.GetPaintManager().SendNotify(key, "click");
        // The key category shows the editor's grid (nothing is applied by looking).
        if (auto* functions = dynamic_cast<CComboUI*>(page->FindSubControl("keyset_function_combo")); keyboard && functions)
          for (int c = 0; c < functions->GetCount(); ++c)
            if (functions->GetItemAt(c)->GetUserData() == "6") functions->SelectItem(c);
        RunFor(loop, 300);
        ok = SaveShot(host, window.GetHWND(), dir / ("page-" + std::to_string(i) + "-keys.png")) && ok;
      }
      if (auto* first = page == nullptr ? nullptr : dynamic_cast<COptionUI*>(page->FindSubControl("deng_Op_tab")))
        first->Selected(true);
    }
  }
  // The secondary windows, each opened as a user would: the modal ones run
  // their own loop until the timer has shot and closed them.
  auto shootModal = [&](const char* file, CMainWnd::ChildWindow which, const std::function<void()>& open) {
    const auto shot = UiLoop::NewTimerKey();
    bool taken = false;
    loop.SetTimer(shot, 300, [&, which, file] {
      loop.KillTimer(shot);
      const HWND h = window.GetChildWindow(which);
      if (h == 0) return;
      taken = SaveShot(host, h, dir / file);
      if (CWindowWnd* w = CWindowWnd::FromHandle(h)) w->Close(0);
    });
    open();  // the window opens from the loop
    RunFor(loop, 10000, [&] { return taken; });
    loop.KillTimer(shot);
    if (!taken) std::fprintf(stderr, "korvale: no %s taken\n", file);
    ok = taken && ok;
  };
  auto click = [&](const char* name) {
    if (auto* b = dynamic_cast<CButtonUI*>(window.GetPaintManager().FindControl(name))) b->Activate();
  };
  auto menu = [&](const char* name) {
    const auto& items = window.GetMenuItems();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].name == name) window.SendMessage(WM_MENU_COMMAND, i, 0);
  };
  shootModal("settings.png", CMainWnd::ChildWindow::kSettings, [&] { click("setbtn"); });
  shootModal("about.png", CMainWnd::ChildWindow::kToolA, [&] { menu("about_menu"); });
  // The palette as a colour command opens it, on the accent colour.
  shootModal("palette.png", CMainWnd::ChildWindow::kPalette,
             [&] { loop.Post([&window] { window.Windows().OpenPalette(0xFF2E9BFF); }); });
  click("skinbtn");
  RunFor(loop, 300);
  if (const HWND skin = window.GetChildWindow(CMainWnd::ChildWindow::kToolB)) {
    ok = SaveShot(host, skin, dir / "skin.png") && ok;
    if (CWindowWnd* w = CWindowWnd::FromHandle(skin)) w->Close(0);
  } else {
    std::fprintf(stderr, "korvale: no skin.png taken\n");
    ok = false;
  }
  // The music window, opened by its button as a user would; its own loop runs until it closes.
  if (auto* music = dynamic_cast<CButtonUI*>(window.GetPaintManager().FindControl("music_setting_btn"))) {
    const auto shot = UiLoop::NewTimerKey();
    loop.SetTimer(shot, 300, [&] {
      loop.KillTimer(shot);
      const HWND h = window.Audio().MusicWindow();
      if (h == 0) return;
      ok = SaveShot(host, h, dir / "music.png") && ok;
      if (CWindowWnd* w = CWindowWnd::FromHandle(h)) w->Close(0);
    });
    music->Activate();
  }
  loop.KillTimer(tick);
  return ok;
}

// The data folder holds the skin, the languages and the default profiles;
// without them the window would open blank. The first folder missing or
// unreadable, or empty when all are there.
std::filesystem::path MissingDataFolder(const std::filesystem::path& data) {
  for (const char* sub : {"", "skin", "Language", "DefaultData"}) {
    const auto dir = *sub != '\0' ? data / sub : data;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec) || ::access(dir.c_str(), R_OK | X_OK) != 0) return dir;
  }
  return {};
}

// Says so on the screen (the texts are English: the language files are what
// is missing) and on stderr. With --screenshots the box is saved, not waited on.
void ShowDataFolderError(const std::filesystem::path& missing, const std::filesystem::path* shotDir) {
  const std::string text = "The data folder " + missing.string() +
                           " is missing or unreadable, so korvale cannot start.\n"
                           "Reinstall korvale, or make the folder readable.";
  std::fprintf(stderr, "korvale: the data folder %s is missing or unreadable\n", missing.c_str());
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kAppIdentity), QString::fromStdString(text),
                  QMessageBox::Close);
  if (shotDir == nullptr) {
    box.exec();
    return;
  }
  box.show();
  QApplication::processEvents();
  const auto file = *shotDir / "error.png";
  if (box.grab().save(QString::fromStdString(file.string()))) std::printf("%s\n", file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Nobody reads the kept traces in a program: only KORVALE_TRACE's echo costs anything.
  korvale::TraceSink::Instance().SetKeep(false);
  std::filesystem::path shots;
  bool screenshots = false;
  bool hidden = false;
  int shotDelayMs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    }
    if (a == "--hidden") {
      hidden = true;
      continue;
    }
    if (a == "--screenshots" && i + 1 < argc && argv[i + 1][0] != '\0') {
      shots = argv[++i];
      screenshots = true;
      continue;
    }
    if (a == "--screenshot-delay" && i + 1 < argc) {
      const std::string v = argv[++i];
      char* end = nullptr;
      const long ms = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || ms < 0 || ms > 60000) {
        std::fprintf(stderr, "korvale: --screenshot-delay wants milliseconds from 0 to 60000, not %s\n", v.c_str());
        Usage(stderr);
        return 2;
      }
      shotDelayMs = static_cast<int>(ms);
      continue;
    }
    std::fprintf(stderr, "korvale: unexpected argument: %s\n", a.c_str());
    Usage(stderr);
    return 2;
  }
  if (screenshots) {
    if (!EnsureDir(shots)) {
      std::fprintf(stderr, "korvale: cannot create %s\n", shots.c_str());
      return 1;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr)
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }

  // The fonts load beside the application's and windows' set-up.
  qtview::FontLoad fontLoad;
  QApplication app(argc, argv);
  fontLoad.ApplicationReady();
  struct JoinBeforeApp {
    qtview::FontLoad& load;
    ~JoinBeforeApp() { load.Join(); }
  } joinBeforeApp{fontLoad};
  if (const auto missing = MissingDataFolder(InstallDataDir()); !missing.empty()) {
    ShowDataFolderError(missing, screenshots ? &shots : nullptr);
    return kExitDataMissing;
  }
  QtUiLoop loop;
  SetUiLoop(&loop);
  // Ties the windows to the menu entry (its name and icon) on Wayland.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(qtview::kAppIconName));
  const QIcon appIcon = qtview::AppIcon();
  QApplication::setWindowIcon(appIcon);
  qtview::ApplyStyle(app, InstallDataDir() / "skin");
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize size = DevicePixelSize(*screen);
    CWindowWnd::SetScreenSize(UiSize{size.width(), size.height()});
  }
  QtWindowHost host;
  // Keys and mouse buttons for the key editor and macro recording come
  // from our own windows only.
  qtview::QtInputCaptureFilter inputCapture;
  CWindowWnd::SetObserver(&host);
  // Dialogs and menus belong to the Qt window of the model window asking.
  const auto windowOf = [&host](HWND h) -> QWidget* {
    auto* view = host.ViewFor(h);
    return view != nullptr ? view->Window() : nullptr;
  };
  qtview::QtFileDialogs fileDialogs(windowOf);
  SetFileDialogs(&fileDialogs);
  qtview::QtPopupMenus popupMenus(windowOf);
  SetPopupMenus(&popupMenus);
  QtFontInstaller fonts;
  qtview::QtTrayIcon tray(appIcon);
  std::unique_ptr<PowerEvents> power;
  DBusNotifier notifier(QDBusConnection::sessionBus());
  bool shotsOk = true;
  HWND mainWindow = 0;
  bool stopRequested = false;  // a stop asked for before the window existed

  g_signalFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::unique_ptr<QSocketNotifier> stopNotifier;
  if (g_signalFd >= 0) {
    stopNotifier = std::make_unique<QSocketNotifier>(g_signalFd, QSocketNotifier::Read);
    QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, [&mainWindow, &stopRequested] {
      std::uint64_t count;
      (void)!::read(g_signalFd, &count, sizeof count);
      Trace("korvale: asked to stop");
      stopRequested = true;
      if (CWindowWnd* w = CWindowWnd::FromHandle(mainWindow)) w->DestroyWindow();
    });
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
  }

  ShellOptions options;
  options.loop = &loop;
  options.fonts = &fonts;
  options.tray = &tray;
  options.startHidden = hidden && !screenshots;
  options.onMainWindow = [&](CMainWnd& window) {
    mainWindow = window.GetHWND();
    power = std::make_unique<PowerEvents>(window.GetHWND(), QDBusConnection::systemBus());
    // Screenshots are no news for the desktop.
    if (!screenshots) window.SetDesktopNotifier(&notifier);
    if (stopRequested) {
      loop.Post([&window] { window.DestroyWindow(); });
      return;
    }
    if (!screenshots) return;
    const HWND hwnd = window.GetHWND();
    loop.Post([&, hwnd] {
      auto* w = dynamic_cast<CMainWnd*>(CWindowWnd::FromHandle(hwnd));
      if (w == nullptr) return;
      shotsOk = TakeScreenshots(loop, host, *w, shots, shotDelayMs);
      w->DestroyWindow();
    });
  };
  int rc = 0;
  bool secondStart = false;
  {
    CAppShell shell(options);
    rc = shell.Run();
    secondStart = shell.GetStage() == CAppShell::Stage::SecondInstance;
  }
  if (screenshots && secondStart) {
    std::fprintf(stderr, "korvale: already running (woken up); no screenshots taken\n");
    shotsOk = false;
  }
  power.reset();
  stopNotifier.reset();
  CWindowWnd::SetObserver(nullptr);
  SetFileDialogs(nullptr);
  SetPopupMenus(nullptr);
  SetUiLoop(nullptr);
  return screenshots && !shotsOk ? 1 : rc;
}
