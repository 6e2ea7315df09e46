#include "mainwnd/profile_commands.h"

#include "devices/profile_switch.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_usb_device.h"
#include "editors/device_profile.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"
#include "ui/file_dialogs.h"
#include "ui/resource_manager.h"
#include "windows/msg_wnd.h"

namespace korvale {

CProfileCommands::CProfileCommands(CMainWnd& wnd) : wnd_(wnd) {
  wnd_.SetRouteHandler(MainRoute::kProfileList, [this](const MainRouteCall& call) { OnButton(call); });
  wnd_.SetRouteHandler(MainRoute::kProfileSelect, [this](const MainRouteCall&) { SwitchProfile(); });
}

CProfileCommands::~CProfileCommands() {
  wnd_.SetRouteHandler(MainRoute::kProfileList, {});
  wnd_.SetRouteHandler(MainRoute::kProfileSelect, {});
}

CDeviceProfileUI* CProfileCommands::Bar(CVarnikUSBDevice* page) const {
  if (page == nullptr) return nullptr;
  return dynamic_cast<CDeviceProfileUI*>(wnd_.GetPaintManager().FindSubControlByName(page, profileui::kItemName));
}

bool CProfileCommands::Confirm(const char* textId) {
  return ShowMessage(wnd_.GetHWND(), "", textId, wnd_.GetInterfaceScale(), true, kMsgConfirm) == 1;
}

void CProfileCommands::Notice(const std::string& text, bool isTextId) {
  // Every notice has the main window as its owner, so it never hides behind it.
  ShowMessage(wnd_.GetHWND(), "", text, wnd_.GetInterfaceScale(), isTextId, kMsgNotice);
}

void CProfileCommands::Report(ProfileStatus status) {
  if (status == ProfileStatus::kDone) return;
  Trace("profile command: %s", ProfileStatusText(status));
  Notice(ProfileStatusTextId(status), true);
}

void CProfileCommands::SwitchTo(CVarnikUSBDevice& page, CDeviceProfileUI& bar) {
  bar.SelectProfile(bar.List().Selected(), false);
  const UiSize screen = wnd_.GetScreenSize();
  const ProfileSwitchResult r = SwitchPageProfile(page, bar.GetSelectedUUID(), screen.cx, screen.cy);
  if (r.macros == -1) Notice("message_text_7", true);
  if (r.macros > 0) Notice(TranslateTextId("message_text_16", r.macros), false);
  if (r.macros < -1)
    Notice(CResourceManager::GetInstance().GetText("macro_download_failed_text") + "\n" + r.macroMessage, false);
}

void CProfileCommands::SwitchProfile() {
  CVarnikUSBDevice* page = wnd_.CurrentDevice();
  CDeviceProfileUI* bar = Bar(page);
  if (bar == nullptr || bar->GetCurrentIndex() < 0) return;
  // The combo holds the user's pick; the list records it.
  if (bar->SelectProfile(bar->GetCurrentIndex(), false) != ProfileStatus::kDone) return;
  SwitchTo(*page, *bar);
}

void CProfileCommands::SwitchDeviceTo(CVarnikUSBDevice& page, int index) {
  if (CDeviceProfileUI* bar = Bar(&page)) {
    const ProfileStatus s = bar->SelectProfile(index, false);
    if (s == ProfileStatus::kDone) SwitchTo(page, *bar);
    else Report(s);
    return;
  }
  CProfileList list;
  list.SetDeviceKind(page.GetKind());
  list.SetFolders(page.UserDataFolder(), page.DefaultProfilePath());
  ProfileStatus s = list.Initialise();
  if (s == ProfileStatus::kDone) s = list.Select(index);
  if (s != ProfileStatus::kDone) {
    Report(s);
    return;
  }
  const UiSize screen = wnd_.GetScreenSize();
  const ProfileSwitchResult r =
      SwitchPageProfile(page, list.Entries()[static_cast<std::size_t>(index)].uuid, screen.cx, screen.cy);
  if (r.macros == -1) Notice("message_text_7", true);
  if (r.macros > 0) Notice(TranslateTextId("message_text_16", r.macros), false);
}

void CProfileCommands::ResetDevice(CVarnikUSBDevice& page, CDeviceProfileUI& bar) {
  if (!Confirm("message_text_22")) return;
  // Only this device's files start over: the palette's colours and the audio
  // styles belong to every device and stay as the user left them.
  const ProfileStatus s = bar.ResetProfile();
  if (s != ProfileStatus::kDone) {
    Report(s);
    return;
  }
  SwitchTo(page, bar);
  if (auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page)) kb->ResetKeyButtons();
}

void CProfileCommands::OnButton(const MainRouteCall& call) {
  CVarnikUSBDevice* page = wnd_.CurrentDevice();
  CDeviceProfileUI* bar = Bar(page);
  // A button of another page's bar, or no page: nothing to do.
  if (bar == nullptr || call.notify == nullptr || call.notify->pSender == nullptr ||
      !bar->FindSubControl(call.name))
    return;
  const std::string& name = call.name;
  if (EqualsNoCase(name, "profile_fun_spread_btn")) {
    bar->ShowMenu(!bar->IsMenuShown());
  } else if (EqualsNoCase(name, "device_add_btn")) {
    if (!Confirm("message_text_27")) return;
    const ProfileStatus s = bar->AddProfile();
    if (s == ProfileStatus::kDone) SwitchTo(*page, *bar);
    Report(s);
  } else if (EqualsNoCase(name, "device_sub_btn")) {
    if (!Confirm("message_text_29")) return;
    const ProfileStatus s = bar->DeleteProfile();
    // The page leaves the deleted profile, whose next save would bring its file back.
    if (s == ProfileStatus::kDone) SwitchTo(*page, *bar);
    Report(s);
  } else if (EqualsNoCase(name, "device_copy_btn")) {
    if (!Confirm("message_text_26")) return;
    Report(bar->CopyProfile());
  } else if (EqualsNoCase(name, "device_profile_edit_save_btn")) {
    const std::string text = bar->GetNameEditText();
    if (text.empty()) return;
    Report(bar->RenameProfile(text));
  } else if (EqualsNoCase(name, "device_reset_btn")) {
    ResetDevice(*page, *bar);
  } else if (EqualsNoCase(name, "device_import_btn")) {
    if (bar->GetCurrentIndex() < 0) return;
    if (auto path = OpenFileDialog(wnd_.GetHWND(), kProfileFileFilter)) Report(bar->ImportProfile(*path));
  } else if (EqualsNoCase(name, "device_export_btn")) {
    if (bar->GetCurrentIndex() < 0) return;
    if (auto path = SaveFileDialog(wnd_.GetHWND(), kProfileFileFilter)) Report(bar->ExportProfile(*path));
  }
}

}  // namespace korvale
