// Private fonts through Qt: a real font file is installed for this process
// and removed again; bytes that are no font are refused.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <fstream>
#include <iterator>

#include "shell/app/qt_fonts.h"

using namespace korvale;

TEST(QtFonts, InstallsAndRemovesAProcessFont) {
  int argc = 1;
  char name[] = "fonts_test";
  char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
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
