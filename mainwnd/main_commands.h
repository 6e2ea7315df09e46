#pragma once
// The main window's own commands on the current page: restoring the default
// profile ("default_btn") and the colour of a mouse's resolution stage
// ("DPI_color_option_" n). Registered as the main window's main-commands route.
#include <memory>

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
  // Mouse pages: the palette window on the stage's colour; the colour chosen
  // goes to the stage's button, the profile and the mouse.
  void PickStageColour(int stage);

 private:
  // Asks in the message window by text id; true when confirmed.
  bool Ask(const char* textId);

  CMainWnd& wnd_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace korvale
