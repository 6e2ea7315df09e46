#pragma once
// The main window's own commands on the current page: restoring the default
// profile ("default_btn"). Registered as the main window's main-commands route.
#include "mainwnd/main_wnd.h"

namespace korvale {

class CMainCommands {
 public:
  explicit CMainCommands(CMainWnd& wnd);
  ~CMainCommands();
  CMainCommands(const CMainCommands&) = delete;
  CMainCommands& operator=(const CMainCommands&) = delete;

  void OnCommand(const MainRouteCall& call);
  // Confirmation "message_text_22", then the page's defaults, its keys and
  // its configuration written to the device.
  void RestoreDefaults();

 private:
  // Asks in the message window by text id; true when confirmed.
  bool Ask(const char* textId);

  CMainWnd& wnd_;
};

}  // namespace korvale
