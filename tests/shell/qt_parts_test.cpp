// The program's Qt parts: private fonts through Qt's font database, and the
// window host turning Qt window events into the model window's messages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QImage>
#include <filesystem>
#include <fstream>

#include "qtview/system_fonts.h"
#include "qtview/tray_icon.h"
#include "tests/shell/shell_test_util.h"
#include "shell/app/qt_fonts.h"
#include "shell/app/window_host.h"
#include "ui/app_messages.h"
#include "ui/window.h"

using namespace korvale;

namespace {

class QtParts : public ::testing::Test {
 protected:
  void SetUp() override { qputenv("QT_QPA_PLATFORM", "offscreen"); }
  int argc = 1;
  char name[16] = "qt_parts_test";
  char* argv[2] = {name, nullptr};
};

// The window and the tray use our drawing in every rendered size, not the
// plain stand-in.
TEST_F(QtParts, TheAppIconComesFromTheHicolorThemeInEverySize) {
  QApplication app(argc, argv);
  const QIcon icon = qtview::AppIcon();
  const QList<QSize> sizes = icon.availableSizes();
  for (int size : qtview::kAppIconSizes) EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
  // The keycap's lit K: not the stand-in's flat blue square at the centre.
  const QImage big = icon.pixmap(QSize(256, 256)).toImage();
  ASSERT_EQ(big.size(), QSize(256, 256));
  EXPECT_NE(big.pixelColor(128, 128), qtview::QtTrayIcon::DefaultIcon().pixmap(32, 32).toImage().pixelColor(16, 16));
  EXPECT_EQ(big.pixelColor(2, 2).alpha(), 0) << "rounded corners are transparent";
}

// A font file the system serves (our links to its Noto fonts) is not
// registered again; a file of our own is registered by its path, once
// whatever number of names lead to it, and goes with its last handle.
TEST_F(QtParts, FontsAreRegisteredByPathOnceAndRemoved) {
  namespace fs = std::filesystem;
  QApplication app(argc, argv);
  const fs::path linked = fs::path(KORVALE_BIN_DIR) / ".." / "share" / "korvale" / "Font" / "NotoSansThai-Regular.ttf";
  ASSERT_TRUE(fs::exists(linked)) << "the build links the Noto fonts into share/korvale/Font";
  QtFontInstaller fonts;
  const int system = fonts.AddFont(linked);
  ASSERT_GT(system, 0);
  EXPECT_EQ(fonts.ApplicationFontId(system), -1) << "fontconfig serves it already";
  // Families compare as fontconfig compares them: without case or blanks.
  for (const char* family : {"Noto Sans", "noto sans", "NotoSans"}) EXPECT_TRUE(qtview::SystemHasFontFamily(family)) << family;
  for (const char* family : {"", "Noto Sans Nowhere"}) EXPECT_FALSE(qtview::SystemHasFontFamily(family)) << family;

  const korvale::shelltest::TempDir dir;
  const fs::path own = dir.path() / "Own-Regular.ttf", alias = dir.path() / "Alias.otf";
  fs::copy_file(fs::canonical(linked), own);
  fs::create_symlink(own, alias);
  const int a = fonts.AddFont(own);
  const int b = fonts.AddFont(alias);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_NE(a, b);
  const int id = fonts.ApplicationFontId(a);
  ASSERT_GE(id, 0);
  EXPECT_EQ(fonts.ApplicationFontId(b), id) << "one file, registered once";
  EXPECT_TRUE(QFontDatabase::applicationFontFamilies(id).contains("Noto Sans Thai"));
  fonts.RemoveFont(a);
  EXPECT_FALSE(QFontDatabase::applicationFontFamilies(id).isEmpty()) << "the other name still uses it";
  fonts.RemoveFont(b);
  EXPECT_TRUE(QFontDatabase::applicationFontFamilies(id).isEmpty());
  fonts.RemoveFont(system);

  std::ofstream(dir.path() / "junk.ttf") << std::string(300, 'A');
  EXPECT_EQ(fonts.AddFont(dir.path() / "junk.ttf"), 0);
  EXPECT_EQ(fonts.AddFont(dir.path() / "missing.ttf"), 0);
}

// A model window that notes the messages its Qt window turns into.
class Recorder : public WindowImplBase {
 public:
  std::vector<std::pair<UINT, LPARAM>> got;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == wm::kActivate || msg == wm::kMouseHover || msg == wm::kMouseLeave || msg == wm::kDisplayChange ||
        msg == wm::kDpiChanged)
      got.emplace_back(msg, msg == wm::kActivate || msg == wm::kDpiChanged ? static_cast<LPARAM>(wParam) : lParam);
    return WindowImplBase::HandleMessage(msg, wParam, lParam);
  }
};

TEST_F(QtParts, WindowEventsBecomeTheModelWindowsMessages) {
  QApplication app(argc, argv);
  VirtualUiLoop loop;
  SetUiLoop(&loop);
  {
    QtWindowHost host;
    CWindowWnd::SetObserver(&host);
    Recorder wnd;
    ASSERT_NE(wnd.Create(0, "events"), 0u);
    wnd.ShowWindow(true);
    QWidget* w = host.ViewFor(wnd.GetHWND())->Window();
    ASSERT_NE(w, nullptr);
    QEvent activate(QEvent::WindowActivate), deactivate(QEvent::WindowDeactivate);
    QEvent leave(QEvent::Leave);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    for (QEvent* e : std::initializer_list<QEvent*>{&activate, &enter, &leave, &deactivate})
      QCoreApplication::sendEvent(w, e);
    host.DisplayChanged(QSize(1920, 1080));
    host.DpiChanged(144);
    loop.RunPending();
    const std::vector<std::pair<UINT, LPARAM>> expected = {
        {wm::kActivate, 1},     {wm::kMouseHover, 0},
        {wm::kMouseLeave, 0},   {wm::kActivate, 0},
        {wm::kDisplayChange, 1920 | 1080 << 16}, {wm::kDpiChanged, 144 | 144 << 16}};
    EXPECT_EQ(wnd.got, expected);
    EXPECT_EQ(CWindowWnd::GetScreenSize().cx, 1920);

    // Minimised by the model: the Qt window follows, and back.
    wnd.Minimize();
    EXPECT_TRUE(w->isMinimized());
    EXPECT_TRUE(wnd.IsVisible());
    wnd.ShowWindow(true);
    EXPECT_FALSE(w->isMinimized());
    EXPECT_FALSE(wnd.IsMinimized());
    wnd.DestroyWindow();
    CWindowWnd::SetObserver(nullptr);
  }
  SetUiLoop(nullptr);
}

}  // namespace
