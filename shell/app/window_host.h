#pragma once
// Shows the model's windows with Qt: one QtSkinView per window with a paint
// manager, created, shown, moved and dropped as the model says. Closing a Qt
// window asks the model window to close (it may hide instead).
#include <map>
#include <memory>

#include <QSet>

#include "qtview/skin_view.h"
#include "ui/window.h"

namespace korvale {

class QtWindowHost : public IWindowObserver {
 public:
  QtWindowHost();
  ~QtWindowHost() override;

  qtview::QtSkinView* ViewFor(HWND hwnd) const;

  void OnWindowCreated(CWindowWnd* window) override;
  void OnWindowShown(CWindowWnd* window, bool shown) override;
  void OnWindowMoved(CWindowWnd* window, const UiRect& rect) override;
  void OnWindowDestroyed(CWindowWnd* window) override;
  void OnWindowTitleChanged(CWindowWnd* window) override;

 private:
  class CloseFilter;
  std::map<HWND, std::unique_ptr<qtview::QtSkinView>> views_;
  std::unique_ptr<CloseFilter> closeFilter_;
  QSet<QObject*> painted_;  // windows that have had their first paint
};

}  // namespace korvale
