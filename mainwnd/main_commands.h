#pragma once
// The main window's own commands on the current page: restoring the default
// profile ("default_btn"). Registered as the main window's main-commands route.
#include <functional>

#include "mainwnd/main_wnd.h"

namespace korvale {

class CMainCommands {
 public:
  // Asks the user a question by text id; true when confirmed.
  using Confirm = std::function<bool(const char* textId)>;

  explicit CMainCommands(CMainWnd& wnd);
  ~CMainCommands();
  CMainCommands(const CMainCommands&) = delete;
  CMainCommands& operator=(const CMainCommands&) = delete;

  // Tests answer the question themselves.
  void SetConfirm(Confirm confirm) { confirm_ = std::move(confirm); }
  void OnCommand(const MainRouteCall& call);
  // Confirmation "message_text_22", then the page's defaults, its keys and
  // its configuration written to the device.
  void RestoreDefaults();

 private:
  bool Ask(const char* textId);

  CMainWnd& wnd_;
  Confirm confirm_;
};

}  // namespace korvale
