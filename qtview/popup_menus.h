#pragma once
// Pop-up menus drawn by QMenu at the cursor, transient for their owner's
// window and styled by the application's style sheet. Items show their
// words in the current language; a choice is posted to the owner.
#include <QMenu>
#include <QPointer>
#include <functional>

#include "ui/popup_menu.h"

class QWidget;

namespace korvale::qtview {

class QtPopupMenus : public IPopupMenus {
 public:
  // ownerOf: the widget that shows a model window (nullptr when none; the
  // menu then has no parent).
  explicit QtPopupMenus(std::function<QWidget*(HWND)> ownerOf = {});
  ~QtPopupMenus() override;
  QtPopupMenus(const QtPopupMenus&) = delete;
  QtPopupMenus& operator=(const QtPopupMenus&) = delete;

  void Show(HWND owner, const std::vector<PopupMenuItem>& items) override;
  void Close() override;
  bool IsOpen() const override;

  // The menu last shown while it exists (its owner's window may take it along).
  QMenu* Menu() const { return menu_.data(); }

 private:
  std::function<QWidget*(HWND)> ownerOf_;
  QPointer<QMenu> menu_;
};

}  // namespace korvale::qtview
