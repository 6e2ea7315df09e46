// Pop-up menus read from skin files, and the numbers their choices come back with.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/trace.h"
#include "tests/support/temp_dir.h"
#include "ui/paint_manager.h"
#include "ui/popup_menu.h"
#include "ui/resource_manager.h"

namespace korvale::test {
namespace {

class PopupMenuTest : public ::testing::Test {
 protected:
  PopupMenuTest() {
    std::filesystem::create_directories(skin.Path() / "XML" / "Menus");
    CPaintManagerUI::SetResourcePath(skin.Path());
  }
  ~PopupMenuTest() override { CPaintManagerUI::SetResourcePath({}); }
  void Write(const std::string& rel, const std::string& text) { std::ofstream(skin.Path() / rel) << text; }

  korvale::testing::TempDir skin{"korvale-menu"};
};

TEST_F(PopupMenuTest, SubmenusAndSeparatorsAreReadAndOnlyChoicesAreNumbered) {
  Write("XML/Menus/m.xml", R"(<Menu>
    <MenuElement name="sub" text="sub_text">
      <MenuElement name="a" text="a_text"/>
      <MenuElement name="b" text="b_text" enabled="false"/>
    </MenuElement>
    <Separator/>
    <MenuElement text="nameless"/>
    <Unknown name="x"/>
    <MenuElement name="c"/>
  </Menu>)");
  // The skin's own spelling of the name, with backslashes.
  const auto items = LoadPopupMenu("XML\\Menus\\m.xml");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].children.size(), 2u);
  EXPECT_TRUE(items[1].separator);
  EXPECT_EQ(items[2].text, "c");  // no text: its name stands in
  EXPECT_FALSE(items[0].children[1].enabled);

  const std::pair<std::size_t, const char*> numbers[] = {{0, "a"}, {1, "b"}, {2, "c"}};
  for (const auto& [n, name] : numbers) {
    ASSERT_NE(PopupMenuItemAt(items, n), nullptr) << n;
    EXPECT_EQ(PopupMenuItemAt(items, n)->name, name);
    EXPECT_EQ(PopupMenuNumberOf(items, name), n);
  }
  EXPECT_EQ(PopupMenuItemAt(items, 3), nullptr);
  EXPECT_FALSE(PopupMenuNumberOf(items, "sub").has_value());  // a submenu title is no choice
}

TEST_F(PopupMenuTest, BadFilesGiveNoMenuAndSayWhy) {
  Write("XML/Menus/broken.xml", "<Menu><MenuElement name=");
  Write("XML/Menus/other.xml", "<Items/>");
  const std::pair<const char*, const char*> cases[] = {
      {"XML/Menus/missing.xml", "not readable"},
      {"XML/Menus/broken.xml", "not readable"},
      {"XML/Menus/other.xml", "has no <Menu>"},
      {"XML/../../elsewhere.xml", "is not a file of the skin"},  // refused before it is looked for
  };
  for (const auto& [file, why] : cases) {
    TraceSink::Instance().Clear();
    EXPECT_TRUE(LoadPopupMenu(file).empty()) << file;
    EXPECT_TRUE(TraceSink::Instance().Contains(why)) << file;
  }
}

}  // namespace
}  // namespace korvale::test
