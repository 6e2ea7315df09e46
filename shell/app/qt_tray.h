#pragma once
// The tray icon and its menu with Qt. Clicks and menu choices travel to the
// owner window as the messages the main window expects.
#include <QMenu>
#include <QSystemTrayIcon>
#include <memory>

#include "mainwnd/tray.h"

namespace korvale {

// The program's icon: skin/common/app.png when installed, else a plain mark.
QIcon AppIcon();

class QtTrayIcon : public ITrayIcon {
 public:
  QtTrayIcon();
  ~QtTrayIcon() override;

  // False when the desktop has no tray (the window then works without one).
  bool CreateTrayIcon(HWND owner, std::string_view toolTip) override;
  void DeleteTrayIcon() override;
  void ShowMenu(HWND owner, const std::vector<TrayMenuItem>& items) override;

  // The menu last shown (for tests), or null.
  QMenu* Menu() const { return menu_.get(); }

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
  std::unique_ptr<QMenu> menu_;
};

}  // namespace korvale
