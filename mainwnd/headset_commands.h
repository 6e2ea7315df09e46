#pragma once
// The main window's route for the headset's audio and voice effect panels:
// each control's notification becomes the headset page's audio operation.
// Ignored unless the current page is a headset page.
#include "mainwnd/main_wnd.h"

namespace korvale {

class CHeadsetCommands {
 public:
  explicit CHeadsetCommands(CMainWnd& wnd);
  ~CHeadsetCommands();
  CHeadsetCommands(const CHeadsetCommands&) = delete;
  CHeadsetCommands& operator=(const CHeadsetCommands&) = delete;

  void OnNotify(const MainRouteCall& call);

 private:
  CMainWnd& wnd_;
};

}  // namespace korvale
