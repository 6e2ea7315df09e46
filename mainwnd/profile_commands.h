#pragma once
// The main window's profile commands: the profile bar's buttons (with their
// confirmations, messages and file dialogs) and the profile switch that the
// combo's settle timer starts. Registered as the "profile list" and "profile
// select" routes of the main window.
#include <string>

#include "mainwnd/main_wnd.h"
#include "profiles/profile_list.h"

namespace korvale {

class CDeviceProfileUI;

class CProfileCommands {
 public:
  explicit CProfileCommands(CMainWnd& wnd);
  ~CProfileCommands();
  CProfileCommands(const CProfileCommands&) = delete;
  CProfileCommands& operator=(const CProfileCommands&) = delete;

  // A click of one of the bar's buttons on the current page.
  void OnButton(const MainRouteCall& call);
  // The page takes the profile its bar selects and writes it to the device.
  void SwitchProfile();
  // The tray's quick switch: page takes its profile number index and writes
  // it to its device, through the page's profile bar when it has one.
  void SwitchDeviceTo(CVarnikUSBDevice& page, int index);

 private:
  CDeviceProfileUI* Bar(CVarnikUSBDevice* page) const;
  bool Confirm(const char* textId);
  void Notice(const std::string& text, bool isTextId);
  // A status other than done becomes a notice.
  void Report(ProfileStatus status);
  void SwitchTo(CVarnikUSBDevice& page, CDeviceProfileUI& bar);
  void ResetDevice(CVarnikUSBDevice& page, CDeviceProfileUI& bar);

  CMainWnd& wnd_;
};

}  // namespace korvale
