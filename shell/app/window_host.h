#pragma once
// Shows the model's windows with Qt: one QtSkinView per window with a paint
// manager, created, shown, moved and dropped as the model says. What happens
// to a Qt window comes back as the model's messages: closing asks the model
// window to close (it may hide instead), activation, the mouse entering and
// leaving, a minimise by the window manager, display and DPI changes.
#include <map>
#include <memory>

#include <QScreen>
#include <QSet>

#include "qtview/skin_view.h"
#include "ui/window.h"

namespace korvale {

// The screen's size in device pixels (what the mouse's record keeps), not
// in the scaled pixels Qt lays windows out in.
QSize DevicePixelSize(const QScreen& screen);

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
  void OnWindowMinimized(CWindowWnd* window, bool minimized) override;
  bool ReportsFirstPaint() const override { return true; }

  // Tells every window of a new screen size (WM_DISPLAYCHANGE, lParam the
  // width in the low and the height in the high word) or dpi (WM_DPICHANGED).
  void DisplayChanged(QSize size);
  void DpiChanged(int dpi);

 private:
  class CloseFilter;
  void WatchScreen(QScreen* screen);
  std::map<HWND, std::unique_ptr<qtview::QtSkinView>> views_;
  std::unique_ptr<CloseFilter> closeFilter_;
  QSet<QObject*> painted_;  // windows that have had their first paint
};

}  // namespace korvale
