#include "shell/app/qt_fonts.h"

#include <QByteArray>
#include <QFontDatabase>

namespace korvale {

int QtFontInstaller::AddFont(const std::vector<std::uint8_t>& bytes) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  const int id = QFontDatabase::addApplicationFontFromData(data);
  return id < 0 ? 0 : id + 1;  // Qt ids start at 0; 0 means "not loaded" here
}

void QtFontInstaller::RemoveFont(int handle) {
  if (handle > 0) QFontDatabase::removeApplicationFont(handle - 1);
}

}  // namespace korvale
