#include "qtview/images.h"

#include <QHash>
#include <QPainter>
#include <QString>
#include <set>

#include "platform/trace.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/ui_types.h"

namespace korvale::qtview {

namespace {

// value of key='...' inside an attribute-form image string, or "" when absent.
std::string QuotedValue(std::string_view text, std::string_view key) {
  std::string pattern = std::string(key) + "='";
  std::string lower = ToLower(text);
  std::size_t at = lower.find(pattern);
  while (at != std::string::npos && at > 0 && lower[at - 1] != ' ') at = lower.find(pattern, at + 1);
  if (at == std::string::npos) return {};
  std::size_t begin = at + pattern.size();
  std::size_t end = text.find('\'', begin);
  if (end == std::string_view::npos) return {};
  return std::string(text.substr(begin, end - begin));
}

}  // namespace

ImageSpec ParseImageSpec(std::string_view text) {
  ImageSpec spec;
  if (text.find('\'') == std::string_view::npos) {
    spec.file = std::string(text);
    return spec;
  }
  spec.file = QuotedValue(text, "file");
  if (spec.file.empty()) spec.file = QuotedValue(text, "res");
  UiRect src;
  std::string source = QuotedValue(text, "source");
  if (!source.empty() && ParseRect(source, &src) && !src.IsEmpty()) {
    spec.source = QRect(src.left, src.top, src.Width(), src.Height());
  }
  int fade = 255;
  std::string fadeText = QuotedValue(text, "fade");
  if (!fadeText.empty() && ParseInt(fadeText, &fade)) spec.fade = std::clamp(fade, 0, 255);
  return spec;
}

QPixmap LoadSkinImage(std::string_view text, ImageSpec* specOut) {
  ImageSpec spec = ParseImageSpec(text);
  if (specOut != nullptr) *specOut = spec;
  if (spec.file.empty()) return {};
  std::string rel = CResourceManager::GetInstance().GetImagePath(spec.file);
  if (rel.empty()) rel = spec.file;
  std::filesystem::path path(rel);
  if (path.is_relative()) path = CPaintManagerUI::GetResourcePath() / path;

  // By full path: another skin folder may use the same names.
  static QHash<QString, QPixmap> cache;
  static std::set<std::string> reported;
  const QString key = QString::fromStdString(path.string());
  auto it = cache.constFind(key);
  if (it != cache.constEnd()) return it.value();
  QPixmap pixmap;
  if (!pixmap.load(key) && reported.insert(path.string()).second) {
    Trace("skin image not found: %s", path.string().c_str());
  }
  cache.insert(key, pixmap);
  return pixmap;
}

bool DrawSkinImage(QPainter& painter, const QRect& target, std::string_view text, int extraFade) {
  ImageSpec spec;
  QPixmap pixmap = LoadSkinImage(text, &spec);
  if (pixmap.isNull()) return false;
  QRect source = spec.source.isEmpty() ? pixmap.rect() : spec.source.intersected(pixmap.rect());
  qreal old = painter.opacity();
  painter.setOpacity(old * spec.fade / 255.0 * extraFade / 255.0);
  painter.drawPixmap(target, pixmap, source);
  painter.setOpacity(old);
  return true;
}

}  // namespace korvale::qtview
