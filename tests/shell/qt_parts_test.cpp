// The program's Qt parts: private fonts through Qt's font database, and the
// tray menu turning a choice into WM_MENU_COMMAND for its owner.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <fstream>
#include <iterator>

#include "shell/app/qt_fonts.h"
#include "shell/app/qt_tray.h"
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

TEST_F(QtParts, FontsAreInstalledForTheProcessAndRemoved) {
  QApplication app(argc, argv);
  std::ifstream in(std::string(KORVALE_BIN_DIR) + "/../share/korvale/Font/NotoSansThai-Regular.ttf", std::ios::binary);
  ASSERT_TRUE(in.good()) << "the build links the Noto fonts into share/korvale/Font";
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  QtFontInstaller fonts;
  const int handle = fonts.AddFont(bytes);
  ASSERT_GT(handle, 0);
  EXPECT_TRUE(QFontDatabase::applicationFontFamilies(handle - 1).contains("Noto Sans Thai"));
  fonts.RemoveFont(handle);
  EXPECT_TRUE(QFontDatabase::applicationFontFamilies(handle - 1).isEmpty());
  EXPECT_EQ(fonts.AddFont(std::vector<std::uint8_t>(300, 0x41)), 0);
  EXPECT_EQ(fonts.AddFont({}), 0);
}

class MenuOwner : public CWindowWnd {
 public:
  std::vector<WPARAM> commands;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_MENU_COMMAND) commands.push_back(wParam);
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
  }
};

TEST_F(QtParts, TrayMenuChoiceReachesTheOwnerWithItsIndex) {
  QApplication app(argc, argv);
  VirtualUiLoop loop;
  SetUiLoop(&loop);
  {
    MenuOwner owner;
    ASSERT_NE(owner.Create(0, "owner"), 0u);
    QtTrayIcon tray;
    // Offscreen there is no tray; the window is told so and carries on.
    EXPECT_FALSE(tray.CreateTrayIcon(owner.GetHWND(), kAppIdentity));
    tray.ShowMenu(owner.GetHWND(), {{"about_menu", "About", false}, {"", "", true}, {"exit", "Exit", false}});
    ASSERT_NE(tray.Menu(), nullptr);
    QList<QAction*> actions = tray.Menu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), "Exit");
    actions[2]->trigger();
    loop.RunPending();
    EXPECT_EQ(owner.commands, std::vector<WPARAM>{2});
    owner.DestroyWindow();
  }
  SetUiLoop(nullptr);
}

}  // namespace
