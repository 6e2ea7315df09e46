#include "qtview/style.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>

#include "platform/paths.h"
#include "platform/trace.h"
#include "qtview/system_fonts.h"

namespace korvale::qtview {

namespace {
constexpr const char* kNotoFolder = "/usr/share/fonts/truetype/noto";
}  // namespace

std::filesystem::path FindStyleSheet(const std::filesystem::path& skinDir) {
  std::error_code ec;
  std::filesystem::path dir = skinDir.empty() ? std::filesystem::path() : std::filesystem::absolute(skinDir, ec);
  for (int up = 0; up < 3 && !dir.empty(); ++up) {
    auto candidate = dir / "style.qss";
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    if (dir == dir.parent_path()) break;
    dir = dir.parent_path();
  }
  auto installed = InstallDataDir() / "skin" / "style.qss";
  if (std::filesystem::is_regular_file(installed, ec)) return installed;
  return {};
}

bool ApplyStyle(QApplication& app, const std::filesystem::path& skinDir) {
  // Only the face the sheet draws is asked for; the files are added by path
  // (read as needed) when fontconfig does not offer the family.
  if (!SystemHasFontFamily("Noto Sans")) {
    for (const char* face : {"NotoSans-Regular.ttf", "NotoSans-Bold.ttf"}) {
      const std::filesystem::path file = std::filesystem::path(kNotoFolder) / face;
      std::error_code ec;
      if (std::filesystem::is_regular_file(file, ec)) QFontDatabase::addApplicationFont(QString::fromStdString(file.string()));
    }
  }
  QFont font("Noto Sans");
  font.setPixelSize(13);
  font.setHintingPreference(QFont::PreferVerticalHinting);
  app.setFont(font);

  auto path = FindStyleSheet(skinDir);
  if (path.empty()) {
    Trace("style sheet not found near %s", skinDir.string().c_str());
    return false;
  }
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly)) {
    Trace("style sheet unreadable: %s", path.string().c_str());
    return false;
  }
  // Pictures of the sheet are named relative to the sheet's own folder.
  QString sheet = QString::fromUtf8(file.readAll());
  sheet.replace("@SKIN@", QString::fromStdString(path.parent_path().string()));
  app.setStyleSheet(sheet);
  return true;
}

}  // namespace korvale::qtview
