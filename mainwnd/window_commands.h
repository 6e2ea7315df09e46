#pragma once
// The main window's secondary windows: settings (from the settings button,
// the tray's settings item and WM_OPEN_SETTINGS), the skin picker (skin
// button), the about window (the tray's about item) and the colour palette
// (for the commands that pick a colour), and the background the skin picker
// chooses. Registered as the main window's window routes.
#include <memory>
#include <optional>
#include <vector>

#include "mainwnd/main_wnd.h"
#include "windows/set_wnd.h"
#include "windows/skin_frame.h"

namespace korvale {

class CWindowCommands : public SkinChangedReceiver {
 public:
  explicit CWindowCommands(CMainWnd& wnd);
  ~CWindowCommands() override;
  CWindowCommands(const CWindowCommands&) = delete;
  CWindowCommands& operator=(const CWindowCommands&) = delete;

  // The background kept in "main.ini", at start.
  void ApplySavedSkin();
  // The root's background follows the payload.
  int Receive(const SkinChangedParam& p) override;

  // centred: from the tray or WM_OPEN_SETTINGS; else beside the main
  // window's top right corner. Modal; nothing when one is open.
  void OpenSettings(bool centred);
  void OpenAbout();
  void OpenSkin();
  // The palette window over the main window at its scale, showing colour,
  // without the multi-colour option; waits for it. The colour chosen with
  // OK; nothing when cancelled or when a palette window is open already.
  std::optional<DWORD> OpenPalette(DWORD colour);
  // The products whose tiles are shown, as the update list's rows.
  std::vector<CSetWnd::ModelEntry> PresentModels() const;

 private:
  CMainWnd& wnd_;
  bool aboutOpen_ = false;
  bool paletteOpen_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace korvale
