#pragma once
// The tray icon and its popup menu on Qt. Clicks and menu choices come back
// to the owner window as messages through the model, like any other input.
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>

#include "ui/tray.h"

namespace korvale::qtview {

// The application icon's name in the icon theme and the sizes drawn of it.
inline constexpr const char* kAppIconName = "org.korvale.Korvale";
inline constexpr int kAppIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The program's icon: the PNG sizes in the hicolor theme beside the data
// folder, else the desktop's theme, else DefaultIcon().
QIcon AppIcon();

class QtTrayIcon : public ITrayIcon {
 public:
  // icon: the application icon; a plain generated one when null.
  explicit QtTrayIcon(QIcon icon = {});
  ~QtTrayIcon() override;

  // False when the desktop has no tray: the icon object still exists (its
  // signals work), but the window must not hide itself to it.
  bool CreateTrayIcon(HWND owner, std::string_view toolTip) override;
  void DeleteTrayIcon() override;
  void ShowMenu(HWND owner, const std::vector<TrayMenuItem>& items) override;
  void CloseMenu() override;

  bool IsShown() const;
  // The menu last built (null before the first ShowMenu) and the icon
  // (null before CreateTrayIcon).
  QMenu* Menu() const { return menu_.get(); }
  QSystemTrayIcon* Icon() const { return tray_.get(); }

  // A small round icon in the accent colour, for builds without an icon file.
  static QIcon DefaultIcon();

 private:
  QIcon icon_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QMenu> menu_;
  HWND owner_ = 0;
};

}  // namespace korvale::qtview
