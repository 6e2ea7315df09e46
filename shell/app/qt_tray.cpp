#include "shell/app/qt_tray.h"

#include <QCursor>
#include <QPainter>
#include <QPixmap>

#include "platform/paths.h"
#include "platform/trace.h"
#include "ui/app_messages.h"
#include "ui/window.h"

namespace korvale {

QIcon AppIcon() {
  const auto file = InstallDataDir() / "skin" / "common" / "app.png";
  QIcon icon(QString::fromStdString(file.string()));
  if (!icon.isNull() && !icon.availableSizes().isEmpty()) return icon;
  // No icon file installed: a plain mark in the skin's accent colour.
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x2E, 0x9B, 0xFF));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 4, 24, 24, 5, 5);
  return QIcon(pixmap);
}

QtTrayIcon::QtTrayIcon() = default;
QtTrayIcon::~QtTrayIcon() = default;

bool QtTrayIcon::CreateTrayIcon(HWND owner, std::string_view toolTip) {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    Trace("tray: the desktop has no tray; closing the window hides it until the next start");
    return false;
  }
  icon_ = std::make_unique<QSystemTrayIcon>(AppIcon());
  icon_->setToolTip(QString::fromUtf8(toolTip.data(), static_cast<qsizetype>(toolTip.size())));
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated, [owner](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger) PostMessageW(owner, WM_TRAY_NOTIFY, 0, kTrayLButtonUp);
    if (why == QSystemTrayIcon::Context) PostMessageW(owner, WM_TRAY_NOTIFY, 0, kTrayRButtonUp);
  });
  icon_->show();
  return true;
}

void QtTrayIcon::DeleteTrayIcon() { icon_.reset(); }

void QtTrayIcon::ShowMenu(HWND owner, const std::vector<TrayMenuItem>& items) {
  menu_ = std::make_unique<QMenu>();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].separator) {
      menu_->addSeparator();
      continue;
    }
    QAction* action = menu_->addAction(QString::fromStdString(items[i].text));
    QObject::connect(action, &QAction::triggered, [owner, i] { PostMessageW(owner, WM_MENU_COMMAND, i, 0); });
  }
  menu_->popup(QCursor::pos());
}

}  // namespace korvale
