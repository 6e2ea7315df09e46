// The main window drawn by the Qt renderer, offscreen, with no device.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "hid/hid_device.h"
#include "mainwnd/device_list.h"
#include "mainwnd/main_wnd.h"
#include "profiles/settings_files.h"
#include "qtview/qt_ui_loop.h"
#include "qtview/skin_view.h"
#include "qtview/style.h"
#include "qtview/tray_icon.h"
#include "shell/control_registry.h"
#include "ui/app_messages.h"
#include "ui/containers.h"
#include "ui/skin_controls.h"
#include "ui/resource_manager.h"

namespace korvale::test {
namespace {

// One application object for the whole program, like a real one.
QApplication& App() {
  static int argc = 1;
  static char name[] = "mainwnd_render_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// A private data, config and bus folder, the style and the skin's
// resources, undone at the end of the test.
class SkinnedApp {
 public:
  explicit SkinnedApp(const char* name)
      : dir_(std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir_);
    ::setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    ::setenv("KORVALE_VHID_DIR", (dir_ / "vhid").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);  // no device: an empty bus of our own
    const std::filesystem::path skin = std::filesystem::path(KORVALE_SOURCE_DIR) / "skin";
    qtview::ApplyStyle(App(), skin);
    CPaintManagerUI::SetResourcePath(skin);
    loaded_ = CResourceManager::GetInstance().LoadResource(skin / "res.xml");
  }
  ~SkinnedApp() {
    CPaintManagerUI::SetResourcePath({});
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  bool Loaded() const { return loaded_; }
  const std::filesystem::path& Dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  bool loaded_ = false;
};

// The main window as the program sets it up, with a tray of its own (the
// window goes first).
struct TrayedWindow {
  qtview::QtTrayIcon tray;
  CMainWnd wnd;
  TrayedWindow() {
    wnd.SetTrayIcon(&tray);
    wnd.SetMonitorSize({1366, 768});
  }
};

TEST(MainWndRender, OffscreenWithNoDeviceShowsTheNoDeviceOverlay) {
  SkinnedApp app("korvale-mainwnd-render");
  ASSERT_TRUE(app.Loaded());
  const std::filesystem::path dir = app.Dir();
  {
    QtUiLoop loop;
    SetUiLoop(&loop);
    TrayedWindow trayed;
    CMainWnd& wnd = trayed.wnd;
    ASSERT_NE(wnd.Create(0, "KORVALE TX730max"), 0u);
    qtview::QtSkinView view(&wnd.GetPaintManager());
    // "windowinit" and the scale timer run on the loop.
    loop.RunUntil([&] { return wnd.GetLanguageIndex() >= 0; });
    wnd.ShowWindow(true);

    CControlUI* overlay = wnd.GetPaintManager().FindControl("No_device_Link");
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(overlay->IsVisible());
    QWidget* widget = view.WidgetFor(overlay);
    ASSERT_NE(widget, nullptr);
    const std::filesystem::path png = dir / "main.png";
    ASSERT_TRUE(view.SaveScreenshot(QString::fromStdString(png.string())));
    EXPECT_TRUE(widget->isVisibleTo(view.Window()));
    QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 1000 * image.devicePixelRatio());
    // The overlay's centre is drawn in the window's dark background, not left blank.
    EXPECT_NE(image.pixel(500, 300), 0u);
    if (const char* keep = std::getenv("KORVALE_MAIN_SCREENSHOT")) std::filesystem::copy_file(
        png, keep, std::filesystem::copy_options::overwrite_existing);
    wnd.DestroyWindow();
    SetUiLoop(nullptr);
  }
}

// The window is built in its language: no control is laid out or drawn with
// a text id in place of its text (the lighting button's id is Chinese), in
// any of the languages, from the first build of its widgets on.
TEST(MainWndRender, WidgetsAreBuiltInTheLanguageWithNoTextId) {
  SkinnedApp app("korvale-mainwnd-lang");
  ASSERT_TRUE(app.Loaded());
  const auto hasCjk = [](const QString& text) {
    for (QChar c : text)
      if (c.unicode() >= 0x2E80 && c.unicode() <= 0x9FFF) return true;
    return false;
  };
  struct Case {
    uint32_t id;
    const char* lighting;  // the button's text in the language
  } cases[] = {{1033, "Lighting: "}, {1031, "Beleuchtung: "}, {1036, "Éclairage : "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    ASSERT_TRUE(StoreLanguageId(c.id));
    QtUiLoop loop;
    SetUiLoop(&loop);
    {
      TrayedWindow trayed;
      CMainWnd& wnd = trayed.wnd;
      ASSERT_NE(wnd.Create(0, "KORVALE TX730max"), 0u);
      // Built as the host builds it, before the loop has run anything.
      qtview::QtSkinView view(&wnd.GetPaintManager());
      auto* button = qobject_cast<QPushButton*>(view.WidgetFor(wnd.GetPaintManager().FindControl("control_light_status")));
      ASSERT_NE(button, nullptr);
      EXPECT_TRUE(button->text().startsWith(QString::fromUtf8(c.lighting))) << button->text().toStdString();
      for (const QWidget* w : view.Window()->findChildren<QWidget*>()) {
        QString text;
        if (const auto* b = qobject_cast<const QAbstractButton*>(w)) text = b->text();
        if (const auto* l = qobject_cast<const QLabel*>(w)) text = l->text();
        EXPECT_FALSE(hasCjk(text)) << w->objectName().toStdString() << ": " << text.toStdString();
      }
      wnd.DestroyWindow();
    }
    SetUiLoop(nullptr);
  }
}

// The tab layouts of a page and of its tabs' contents, depth first.
void CollectTabs(CControlUI* c, std::vector<CTabLayoutUI*>& out) {
  auto* box = dynamic_cast<CContainerUI*>(c);
  if (box == nullptr) return;
  if (auto* tabs = dynamic_cast<CTabLayoutUI*>(c)) out.push_back(tabs);
  for (int i = 0; i < box->GetCount(); ++i) CollectTabs(box->GetItemAt(i), out);
}

// Every device page fits the window at the size it is made: whichever tab is
// shown, in each language, no visible control of the page reaches past the
// device area into the status line or beyond the window's right edge. (What
// lies inside a scrolled list is the list's own business.)
TEST(MainWndRender, EveryDevicePageFitsTheDeviceArea) {
  SkinnedApp app("korvale-mainwnd-fit");
  ASSERT_TRUE(app.Loaded());
  RegisterSkinControls(SuppliedControlClasses());
  for (uint32_t language : {1033u, 1031u, 1036u}) {
    SCOPED_TRACE(language);
    ASSERT_TRUE(StoreLanguageId(language));
    QtUiLoop loop;
    SetUiLoop(&loop);
    {
      TrayedWindow trayed;
      CMainWnd& wnd = trayed.wnd;
      wnd.SetDiscoveryEnabled(false);
      ASSERT_NE(wnd.Create(0, "KORVALE TX730max"), 0u);
      qtview::QtSkinView view(&wnd.GetPaintManager());
      loop.RunUntil([&] { return wnd.GetLanguageIndex() >= 0 && wnd.GetDeviceList() != nullptr; });
      ASSERT_NE(wnd.GetDeviceList(), nullptr) << "windowinit never ran";
      wnd.ShowWindow(true);
      CPaintManagerUI& pm = wnd.GetPaintManager();
      // The pages as the devices' first binds build them.
      for (int product = 0; product < 4; ++product)
        ASSERT_NE(wnd.GetDeviceList()->PageForProduct(product), nullptr) << product;
      pm.FindControl("No_device_Link")->SetVisible(false);
      auto* pages = dynamic_cast<CTabLayoutUI*>(pm.FindControl("device_switch"));
      ASSERT_NE(pages, nullptr);
      ASSERT_EQ(pages->GetCount(), 4);
      QWidget* window = view.Window();
      QWidget* areaWidget = view.WidgetFor(pm.FindControl("device_area"));
      ASSERT_NE(areaWidget, nullptr);
      const auto check = [&](CControlUI* page, const std::string& where) {
        // The view lays out on posted events; a layout may post another.
        for (int pass = 0; pass < 3; ++pass) QApplication::processEvents();
        const QRect area(areaWidget->mapTo(window, QPoint(0, 0)), areaWidget->size());
        QWidget* root = view.WidgetFor(page);
        ASSERT_NE(root, nullptr) << where;
        for (QWidget* w : root->findChildren<QWidget*>()) {
          if (!w->isVisibleTo(window) || w->size().isEmpty()) continue;
          bool scrolled = false;
          for (QWidget* up = w->parentWidget(); up != nullptr && up != root; up = up->parentWidget())
            scrolled = scrolled || qobject_cast<QAbstractScrollArea*>(up) != nullptr;
          if (scrolled) continue;
          const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
          EXPECT_LE(r.bottom(), area.bottom()) << where << ": " << w->objectName().toStdString();
          EXPECT_LE(r.right(), area.right()) << where << ": " << w->objectName().toStdString();
        }
      };
      for (int i = 0; i < pages->GetCount(); ++i) {
        pages->SelectItem(i);
        CControlUI* page = pages->GetItemAt(i);
        std::vector<CTabLayoutUI*> tabs;
        CollectTabs(page, tabs);
        check(page, std::string(page->GetName()));
        for (CTabLayoutUI* t : tabs) {
          for (int k = 1; k < t->GetCount(); ++k) {
            t->SelectItem(k);
            check(page, std::string(page->GetName()) + " " + std::string(t->GetName()) + " " + std::to_string(k));
          }
          t->SelectItem(0);
        }
      }
      wnd.DestroyWindow();
    }
    SetUiLoop(nullptr);
  }
}

// A window that notes the tray messages it gets.
class TrayOwner : public CWindowWnd {
 public:
  std::vector<std::pair<UINT, LPARAM>> trayClicks;
  std::vector<WPARAM> menuCommands;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
    if (msg == WM_TRAY_NOTIFY) trayClicks.emplace_back(msg, l);
    if (msg == WM_MENU_COMMAND) menuCommands.push_back(w);
    return CWindowWnd::HandleMessage(msg, w, l);
  }
};

TEST(QtTray, ClicksAndMenuChoicesArriveAsMessages) {
  App();
  QtUiLoop loop;
  SetUiLoop(&loop);
  {
    TrayOwner owner;
    ASSERT_NE(owner.Create(0, "tray owner"), 0u);
    // As the program makes it. Offscreen there is no tray: the window is
    // told so (and closing then ends it), while the icon still answers.
    qtview::QtTrayIcon tray(qtview::AppIcon());
    EXPECT_FALSE(tray.CreateTrayIcon(owner.GetHWND(), "KORVALE TX730max"));
    ASSERT_NE(tray.Icon(), nullptr);
    EXPECT_EQ(tray.Icon()->toolTip(), "KORVALE TX730max");
    emit tray.Icon()->activated(QSystemTrayIcon::Trigger);
    emit tray.Icon()->activated(QSystemTrayIcon::Context);
    loop.RunUntil([&] { return owner.trayClicks.size() == 2; });
    ASSERT_EQ(owner.trayClicks.size(), 2u);
    EXPECT_EQ(owner.trayClicks[0].second, kTrayLButtonUp);
    EXPECT_EQ(owner.trayClicks[1].second, kTrayRButtonUp);

    const auto item = [](const char* name, const char* text) {
      TrayMenuItem i;
      i.name = name;
      i.text = text;
      i.separator = *name == '\0';
      return i;
    };
    // A submenu: its items carry their own commands.
    TrayMenuItem device = item("tray_device", "Keyboard"), profile = item("tray_profile", "Game");
    profile.command = 0x1234;
    profile.checked = true;
    device.children = {profile};
    tray.ShowMenu(owner.GetHWND(), {item("setwnd_menu", "Settings"), item("", ""), item("exit", "Exit"), device});
    ASSERT_NE(tray.Menu(), nullptr);
    const QList<QAction*> actions = tray.Menu()->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), "Exit");
    actions[2]->trigger();
    loop.RunUntil([&] { return !owner.menuCommands.empty(); });
    ASSERT_EQ(owner.menuCommands.size(), 1u);
    EXPECT_EQ(owner.menuCommands[0], 2u);  // the item's index
    ASSERT_NE(actions[3]->menu(), nullptr);
    const QList<QAction*> profiles = actions[3]->menu()->actions();
    ASSERT_EQ(profiles.size(), 1);
    EXPECT_TRUE(profiles[0]->isChecked());
    profiles[0]->trigger();
    loop.RunUntil([&] { return owner.menuCommands.size() == 2; });
    ASSERT_EQ(owner.menuCommands.size(), 2u);
    EXPECT_EQ(owner.menuCommands[1], 0x1234u);
    tray.DeleteTrayIcon();
    EXPECT_EQ(tray.Icon(), nullptr);
    owner.DestroyWindow();
  }
  SetUiLoop(nullptr);
}

}  // namespace
}  // namespace korvale::test
