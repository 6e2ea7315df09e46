#include "shell/app/qt_fonts.h"

#include <QFontDatabase>
#include <QString>

#include "platform/trace.h"
#include "qtview/system_fonts.h"

namespace korvale {

int QtFontInstaller::AddFont(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(file, ec);
  if (ec || !std::filesystem::is_regular_file(real, ec)) return 0;
  const std::string key = real.string();
  auto it = byFile_.find(key);
  if (it == byFile_.end()) {
    Registration r;
    if (!qtview::SystemHasFontFile(real)) {
      // Qt reads the faces from the file as it needs them.
      r.qtId = QFontDatabase::addApplicationFont(QString::fromStdString(key));
      if (r.qtId < 0) {
        Trace("fonts: %s refused", file.string().c_str());
        return 0;
      }
    }
    it = byFile_.emplace(key, r).first;
  }
  ++it->second.users;
  const int handle = next_++;
  handles_.emplace(handle, key);
  return handle;
}

void QtFontInstaller::RemoveFont(int handle) {
  auto h = handles_.find(handle);
  if (h == handles_.end()) return;
  auto it = byFile_.find(h->second);
  handles_.erase(h);
  if (it == byFile_.end() || --it->second.users > 0) return;
  if (it->second.qtId >= 0) QFontDatabase::removeApplicationFont(it->second.qtId);
  byFile_.erase(it);
}

int QtFontInstaller::ApplicationFontId(int handle) const {
  auto h = handles_.find(handle);
  if (h == handles_.end()) return -1;
  auto it = byFile_.find(h->second);
  return it == byFile_.end() ? -1 : it->second.qtId;
}

}  // namespace korvale
