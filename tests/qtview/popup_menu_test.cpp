// The action list's menu drawn by QMenu (offscreen): the items' words in the
// language, and a choice posted back to the owner window as its command.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "qt_fixture.h"
#include "qtview/popup_menus.h"
#include "qtview/style.h"
#include "tests/support/wait.h"
#include "ui/app_messages.h"
#include "ui/popup_menu.h"
#include "ui/resource_manager.h"

namespace korvale::test {
namespace {

namespace fs = std::filesystem;

// A window that notes the menu commands it gets.
class MenuOwner : public CWindowWnd {
 public:
  std::vector<WPARAM> commands;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
    if (msg == WM_MENU_COMMAND) commands.push_back(w);
    return CWindowWnd::HandleMessage(msg, w, l);
  }
};

class QtPopupMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    SetUiLoop(&loop);
    CPaintManagerUI::SetResourcePath(skin);
    ASSERT_NE(owner.Create(0, "menu owner"), 0u);
    items = LoadPopupMenu("XML\\Menus\\macro_action_menu.xml");
    ASSERT_FALSE(items.empty());
  }
  void TearDown() override {
    owner.DestroyWindow();
    CResourceManager::GetInstance().SetLanguageTexts({});
    CPaintManagerUI::SetResourcePath({});
    SetUiLoop(nullptr);
  }
  static bool Language(const char* file) {
    return CResourceManager::GetInstance().LoadLanguage(fs::path(KORVALE_SOURCE_DIR) / "data" / "Language" / file);
  }
  // Every item of the menu and its submenus, with the text ID it was made from.
  void EachItem(QMenu* menu, const std::vector<PopupMenuItem>& from,
                const std::function<void(QAction*, const PopupMenuItem&)>& visit) {
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(from.size()));
    for (qsizetype i = 0; i < actions.size(); ++i) {
      const PopupMenuItem& item = from[static_cast<std::size_t>(i)];
      ASSERT_EQ(actions[i]->isSeparator(), item.separator);
      if (item.separator) continue;
      visit(actions[i], item);
      if (QMenu* sub = actions[i]->menu()) EachItem(sub, item.children, visit);
    }
  }

  const fs::path skin = fs::path(KORVALE_SOURCE_DIR) / "skin";
  QtUiLoop loop;
  MenuOwner owner;
  std::vector<PopupMenuItem> items;
};

// The program's look for one test; the other suites draw without it.
class ProgramStyle {
 public:
  explicit ProgramStyle(const fs::path& skin) : sheet_(App().styleSheet()), font_(QApplication::font()) {
    qtview::ApplyStyle(App(), skin);
  }
  ~ProgramStyle() {
    App().setStyleSheet(sheet_);
    QApplication::setFont(font_);
  }

 private:
  QString sheet_;
  QFont font_;
};

TEST_F(QtPopupMenuTest, ItemsShowTheirWordsInEachLanguage) {
  ProgramStyle style(skin);
  qtview::QtPopupMenus menus;
  const char* shots = std::getenv("KORVALE_MENU_SHOTS");  // a folder to look at the menus in
  for (const char* language : {"English.json", "Deutsch.json", "Francais.json"}) {
    SCOPED_TRACE(language);
    ASSERT_TRUE(Language(language));
    menus.Show(owner.GetHWND(), items);
    ASSERT_NE(menus.Menu(), nullptr);
    EXPECT_TRUE(menus.IsOpen());
    EachItem(menus.Menu(), items, [](QAction* a, const PopupMenuItem& item) {
      const std::string words = CResourceManager::GetInstance().GetText(item.text);
      EXPECT_NE(words, item.text) << "no words for " << item.text;
      EXPECT_EQ(a->text().toStdString(), words);
      EXPECT_EQ(a->objectName().toStdString(), item.name);
    });
    if (shots != nullptr) {
      const std::string stem = std::string(shots) + "/menu-" + fs::path(language).stem().string();
      menus.Menu()->grab().save(QString::fromStdString(stem + ".png"));
      QMenu* after = menus.Menu()->actions()[1]->menu();
      after->popup(menus.Menu()->pos());
      after->grab().save(QString::fromStdString(stem + "-after.png"));
      after->hide();
    }
  }
}

TEST_F(QtPopupMenuTest, AChoiceComesBackAsItsCommandAndANewMenuClosesTheOld) {
  qtview::QtPopupMenus menus;
  std::vector<PopupMenuItem> withDisabled = items;
  withDisabled.push_back({"greyed", "macro_menu_press", false, false, {}});
  menus.Show(owner.GetHWND(), withDisabled);
  QPointer<QMenu> first = menus.Menu();
  ASSERT_NE(first, nullptr);
  auto* greyed = first->findChild<QAction*>("greyed");
  ASSERT_NE(greyed, nullptr);
  EXPECT_FALSE(greyed->isEnabled());

  // An item of a submenu answers with the number its name has in the menu.
  auto* later = first->findChild<QAction*>("redio_later_constant_time");
  ASSERT_NE(later, nullptr);
  later->trigger();
  ASSERT_TRUE(korvale::testing::WaitFor([&] {
    QApplication::processEvents();
    return !owner.commands.empty();
  }));
  ASSERT_EQ(owner.commands.size(), 1u);
  ASSERT_GE(owner.commands[0], kPopupMenuCommand);
  const PopupMenuItem* chosen = PopupMenuItemAt(withDisabled, owner.commands[0] - kPopupMenuCommand);
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->name, "redio_later_constant_time");

  menus.Show(owner.GetHWND(), items);
  EXPECT_NE(menus.Menu(), first.data());
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  menus.Close();
  EXPECT_FALSE(menus.IsOpen());
  // Closed without a choice: nothing more is posted.
  QApplication::processEvents();
  EXPECT_EQ(owner.commands.size(), 1u);
}

}  // namespace
}  // namespace korvale::test
