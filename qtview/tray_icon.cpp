#include "qtview/tray_icon.h"

#include <QAction>
#include <QCursor>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/trace.h"
#include "ui/app_messages.h"
#include "ui/window.h"

namespace korvale::qtview {

QtTrayIcon::QtTrayIcon(QIcon icon) : icon_(icon.isNull() ? DefaultIcon() : std::move(icon)) {}

QtTrayIcon::~QtTrayIcon() { DeleteTrayIcon(); }

namespace {

// The icon's sizes by their files, each decoded the first time it is drawn:
// the window and the tray need one or two of them, not all.
class FileSizesIconEngine : public QIconEngine {
 public:
  explicit FileSizesIconEngine(std::vector<std::pair<int, QString>> files) : files_(std::move(files)) {}

  QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
    // The smallest drawing at least as large, else the largest.
    const int want = std::max(size.width(), size.height());
    const std::pair<int, QString>* pick = &files_.back();
    for (const auto& f : files_) {
      if (f.first >= want) {
        pick = &f;
        break;
      }
    }
    QPixmap& image = decoded_[pick->first];
    if (image.isNull()) image.load(pick->second);
    if (image.isNull() || image.size() == size) return image;
    return image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
  }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (const auto& f : files_) sizes.append(QSize(f.first, f.first));
    return sizes;
  }
  QIconEngine* clone() const override { return new FileSizesIconEngine(*this); }
  QString key() const override { return QStringLiteral("korvale-file-sizes"); }

 private:
  std::vector<std::pair<int, QString>> files_;  // by size, ascending
  std::map<int, QPixmap> decoded_;
};

}  // namespace

QIcon AppIcon() {
  // The hicolor theme beside the data folder: share/icons in the build tree
  // and in the installed tree alike.
  const auto theme = InstallDataDir().parent_path() / "icons" / "hicolor";
  std::vector<std::pair<int, QString>> files;
  for (int size : kAppIconSizes) {
    const std::string dir = std::to_string(size) + "x" + std::to_string(size);
    const auto file = theme / dir / "apps" / (std::string(kAppIconName) + ".png");
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) files.emplace_back(size, QString::fromStdString(file.string()));
  }
  if (!files.empty()) return QIcon(new FileSizesIconEngine(std::move(files)));
  Trace("no application icon under %s; a plain one stands in", theme.c_str());
  return QIcon::fromTheme(QString::fromLatin1(kAppIconName), QtTrayIcon::DefaultIcon());
}

QIcon QtTrayIcon::DefaultIcon() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x15, 0x17, 0x1C));
  p.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
  p.setBrush(QColor(0x2E, 0x9B, 0xFF));
  p.drawRoundedRect(QRectF(9, 9, 14, 14), 3, 3);
  return QIcon(pm);
}

bool QtTrayIcon::CreateTrayIcon(HWND owner, std::string_view toolTip) {
  owner_ = owner;
  if (!tray_) tray_ = std::make_unique<QSystemTrayIcon>(icon_);
  tray_->setToolTip(QString::fromUtf8(toolTip.data(), static_cast<int>(toolTip.size())));
  QObject::connect(tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger)
                       PostMessageW(owner_, WM_TRAY_NOTIFY, 0, kTrayLButtonUp);
                     else if (reason == QSystemTrayIcon::Context)
                       PostMessageW(owner_, WM_TRAY_NOTIFY, 0, kTrayRButtonUp);
                   });
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    Trace("tray: the desktop has no tray; closing the window ends the program");
    return false;
  }
  tray_->show();
  return tray_->isVisible();
}

void QtTrayIcon::DeleteTrayIcon() {
  menu_.reset();
  tray_.reset();
  owner_ = 0;
}

bool QtTrayIcon::IsShown() const { return tray_ != nullptr && tray_->isVisible(); }

namespace {

void AddItems(QMenu* menu, HWND owner, const std::vector<TrayMenuItem>& items) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    const TrayMenuItem& item = items[i];
    if (item.separator) {
      menu->addSeparator();
      continue;
    }
    const QString text = QString::fromStdString(item.text);
    if (!item.children.empty()) {
      QMenu* sub = menu->addMenu(text);  // owned by its parent menu
      sub->menuAction()->setObjectName(QString::fromStdString(item.name));
      sub->setEnabled(item.enabled);
      AddItems(sub, owner, item.children);
      continue;
    }
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::fromStdString(item.name));
    a->setEnabled(item.enabled);
    a->setCheckable(item.checkable || item.checked);
    a->setChecked(item.checked);
    const auto command = static_cast<WPARAM>(item.command == kTrayIndexCommand ? static_cast<long>(i) : item.command);
    QObject::connect(a, &QAction::triggered, a, [owner, command] { PostMessageW(owner, WM_MENU_COMMAND, command, 0); });
  }
}

}  // namespace

void QtTrayIcon::ShowMenu(HWND owner, const std::vector<TrayMenuItem>& items) {
  menu_ = std::make_unique<QMenu>();
  AddItems(menu_.get(), owner, items);
  // Qt keeps the popup on screen, away from the panel that holds the tray.
  menu_->popup(QCursor::pos());
}

void QtTrayIcon::CloseMenu() {
  if (menu_) menu_->hide();
}

}  // namespace korvale::qtview
