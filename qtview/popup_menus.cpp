#include "qtview/popup_menus.h"

#include <QAction>
#include <QCursor>
#include <QString>

#include "ui/app_messages.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

namespace korvale::qtview {

namespace {

QString Words(const std::string& textId) {
  QString text = QString::fromStdString(CResourceManager::GetInstance().GetText(textId));
  // An ampersand in a translation is a letter, not a shortcut mark.
  return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// Adds items numbered from *number on, in the order PopupMenuItemAt counts them.
void AddItems(QMenu* menu, HWND owner, const std::vector<PopupMenuItem>& items, std::size_t* number) {
  for (const PopupMenuItem& item : items) {
    if (item.separator) {
      menu->addSeparator();
      continue;
    }
    if (!item.children.empty()) {
      QMenu* sub = menu->addMenu(Words(item.text));  // owned by its parent menu
      sub->menuAction()->setObjectName(QString::fromStdString(item.name));
      sub->setEnabled(item.enabled);
      AddItems(sub, owner, item.children, number);
      continue;
    }
    QAction* a = menu->addAction(Words(item.text));
    a->setObjectName(QString::fromStdString(item.name));
    a->setEnabled(item.enabled);
    const WPARAM command = kPopupMenuCommand + (*number)++;
    QObject::connect(a, &QAction::triggered, a, [owner, command] { PostMessageW(owner, WM_MENU_COMMAND, command, 0); });
  }
}

}  // namespace

QtPopupMenus::QtPopupMenus(std::function<QWidget*(HWND)> ownerOf) : ownerOf_(std::move(ownerOf)) {}

QtPopupMenus::~QtPopupMenus() { delete menu_.data(); }

void QtPopupMenus::Show(HWND owner, const std::vector<PopupMenuItem>& items) {
  Close();
  QWidget* parent = ownerOf_ ? ownerOf_(owner) : nullptr;
  // A parent makes the menu a popup of the owner's window (Wayland places
  // popups only relative to a window of the program).
  menu_ = new QMenu(parent);
  menu_->setObjectName(QStringLiteral("korvalePopupMenu"));
  std::size_t number = 0;
  AddItems(menu_, owner, items, &number);
  // Top left corner at the cursor; Qt keeps it on the screen.
  menu_->popup(QCursor::pos());
}

void QtPopupMenus::Close() {
  if (menu_ == nullptr) return;
  menu_->hide();
  // Later: Close may run inside one of the menu's own signals.
  menu_->deleteLater();
  menu_ = nullptr;
}

bool QtPopupMenus::IsOpen() const { return menu_ != nullptr && menu_->isVisible(); }

}  // namespace korvale::qtview
