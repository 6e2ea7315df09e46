#include "mainwnd/main_wnd.h"


namespace korvale {

// ---- scale ----

int CMainWnd::ScaleForMonitor(UiSize monitor) {
  return monitor.cx > 1500 && monitor.cy > 960 ? kLargeScale : kDefaultScale;
}

void CMainWnd::SetInterfaceScale() {
  const bool wasVisible = IsVisible();
  const UiSize monitor = monitor_.cx > 0 ? monitor_ : CWindowWnd::GetScreenSize();
  scale_ = ScaleForMonitor(monitor);
  CPaintManagerUI::SetAllDPI(kDefaultScale);
  UiRect rc = GetWindowRect();
  MoveWindow(UiRect{rc.left, rc.top, rc.left + kBaseSize.cx, rc.top + kBaseSize.cy});
  CPaintManagerUI::SetAllDPI(scale_);
  CenterWindow();
  if (IsVisible() != wasVisible) ShowWindow(wasVisible);
}

}  // namespace korvale
