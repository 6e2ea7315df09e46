#include "editors/device_profile.h"

#include "platform/trace.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"

namespace korvale {

namespace {

constexpr int kItemHeight = 30;
// The skin's spacing above the menu row.
constexpr int kMenuGap = 4;

// Tabs each device kind does not have (the headset shows its own three).
// A mouse's settings have a tab of their own on its page: its bar's system
// page would be empty.
struct KindTabs {
  int kind;
  const char* hidden[4];
};
constexpr KindTabs kHiddenTabs[] = {
    {1, {"cursor_Op_tab"}},
    {2, {"system_Op_tab"}},
    {6, {"system_Op_tab"}},
    {3, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}},
    {4, {"cursor_Op_tab", "macro_Op_tab", "key_Op_tab"}},
    {5, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}},
    {7, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}},
    {9, {"cursor_Op_tab"}},
};
constexpr const char* kHeadsetTabs[] = {"6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"};

// Tabs a device kind names its own way (text IDs).
struct KindTabText {
  int kind;
  const char* tab;
  const char* text;
};
constexpr KindTabText kTabTexts[] = {
    {2, "key_Op_tab", "mouse_fn_buttons"}, {2, "cursor_Op_tab", "mouse_fn_shoot"},
    {6, "key_Op_tab", "mouse_fn_buttons"}, {6, "cursor_Op_tab", "mouse_fn_shoot"},
};

}  // namespace

CControlUI* CDeviceProfileUI::Child(std::string_view name) const {
  return const_cast<CDeviceProfileUI*>(this)->FindSubControl(name);
}

CComboUI* CDeviceProfileUI::Combo() const { return dynamic_cast<CComboUI*>(Child(profileui::kCombo)); }

void CDeviceProfileUI::SetDeviceKind(int kind) { list_.SetDeviceKind(kind); }

void CDeviceProfileUI::SetFolders(const std::filesystem::path& userFolder, const std::filesystem::path& defaultProfile) {
  list_.SetFolders(userFolder, defaultProfile);
}

void CDeviceProfileUI::Fill() {
  CComboUI* combo = Combo();
  if (combo == nullptr) return;
  combo->SelectItem(-1, false, false);
  combo->RemoveAll();
  for (const ProfileEntry& e : list_.Entries()) {
    auto* item = new CListLabelElementUI;
    item->SetResourceText(false);  // a profile name is the user's text, never a text ID
    item->SetText(e.name);
    item->SetUserData(e.name);
    item->SetFixedHeight(kItemHeight);
    combo->Add(item);
  }
  const int s = list_.Selected();
  if (s >= 0 && s < list_.Count()) {
    combo->SelectItem(s, false, false);
    SetNameEditText(list_.Entries()[static_cast<std::size_t>(s)].name);
    selectedUuid_ = list_.Entries()[static_cast<std::size_t>(s)].uuid;
  }
}

void CDeviceProfileUI::Initialise() {
  if (Combo() == nullptr) return;
  if (const auto s = list_.Initialise(); s != ProfileStatus::kDone) {
    Trace("profile bar: %s", ProfileStatusText(s));
    return;
  }
  Fill();
  SelectProfile(list_.Selected(), false);
  const int kind = list_.GetDeviceKind();
  for (const KindTabs& row : kHiddenTabs) {
    if (row.kind != kind) continue;
    for (const char* name : row.hidden)
      if (name != nullptr)
        if (CControlUI* tab = Child(name)) tab->SetVisible(false);
  }
  for (const char* name : kHeadsetTabs)
    if (CControlUI* tab = Child(name)) tab->SetVisible(kind == 7);
  for (const KindTabText& row : kTabTexts)
    if (row.kind == kind)
      if (CControlUI* tab = Child(row.tab)) tab->SetText(row.text);
}

void CDeviceProfileUI::ReloadList() {
  if (Combo() == nullptr) return;
  if (list_.Initialise() == ProfileStatus::kDone) Fill();
}

ProfileStatus CDeviceProfileUI::SelectProfile(int index, bool notify) {
  CComboUI* combo = Combo();
  if (combo == nullptr) return ProfileStatus::kNoSuchProfile;
  const ProfileStatus s = list_.Select(index);
  if (s != ProfileStatus::kDone) {
    Trace("profile bar: select %d: %s", index, ProfileStatusText(s));
    Fill();
    return s;
  }
  if (combo->GetCount() != list_.Count()) Fill();
  combo->SelectItem(index, true, notify);
  SetNameEditText(list_.Entries()[static_cast<std::size_t>(index)].name);
  selectedUuid_ = list_.Entries()[static_cast<std::size_t>(index)].uuid;
  return s;
}

int CDeviceProfileUI::GetCurrentIndex() const {
  CComboUI* combo = Combo();
  return combo == nullptr ? -1 : combo->GetCurSel();
}

std::string CDeviceProfileUI::GetNameEditText() const {
  CControlUI* edit = Child(profileui::kNameEdit);
  return edit == nullptr ? std::string() : std::string(edit->GetText());
}

void CDeviceProfileUI::SetNameEditText(const std::string& text) {
  if (CControlUI* edit = Child(profileui::kNameEdit)) edit->SetText(text);
}

void CDeviceProfileUI::ShowMenu(bool show) {
  CControlUI* menu = Child(profileui::kMenu);
  if (menu == nullptr || menu->IsVisible() == show) return;
  menu->SetVisible(show);
  // The bar makes room for the menu row only while it is shown.
  const int row = menu->GetFixedHeight() + kMenuGap;
  SetFixedHeight(GetFixedHeight() + (show ? row : -row));
}

bool CDeviceProfileUI::IsMenuShown() const {
  CControlUI* menu = Child(profileui::kMenu);
  return menu != nullptr && menu->IsVisible();
}

ProfileStatus CDeviceProfileUI::AddProfile() {
  if (Combo() == nullptr) return ProfileStatus::kNoSuchProfile;
  const ProfileStatus s = list_.Add();
  Fill();
  return s;
}

ProfileStatus CDeviceProfileUI::DeleteProfile() {
  const int current = GetCurrentIndex();
  if (current < 0) return ProfileStatus::kNoSuchProfile;
  const ProfileStatus s = list_.Delete(current);
  Fill();
  return s;
}

ProfileStatus CDeviceProfileUI::CopyProfile() {
  const int current = GetCurrentIndex();
  if (current < 0) return ProfileStatus::kNoSuchProfile;
  const ProfileStatus s = list_.Copy(current);
  Fill();
  return s;
}

ProfileStatus CDeviceProfileUI::RenameProfile(const std::string& name) {
  const int current = GetCurrentIndex();
  if (current < 0) return ProfileStatus::kNoSuchProfile;
  const ProfileStatus s = list_.Rename(current, name);
  Fill();
  return s;
}

ProfileStatus CDeviceProfileUI::ResetProfile() {
  const int current = GetCurrentIndex();
  if (current < 0) return ProfileStatus::kNoSuchProfile;
  const ProfileStatus s = list_.Reset(current);
  Fill();
  return s;
}

ProfileStatus CDeviceProfileUI::ImportProfile(const std::filesystem::path& file) {
  if (GetCurrentIndex() < 0) return ProfileStatus::kNoSuchProfile;
  const ProfileStatus s = list_.Import(file);
  Fill();
  return s;
}

ProfileStatus CDeviceProfileUI::ExportProfile(const std::filesystem::path& file) {
  const int current = GetCurrentIndex();
  if (current < 0) return ProfileStatus::kNoSuchProfile;
  return list_.Export(current, file);
}

int CDeviceProfileUI::GetProfileCount() {
  list_.Read();
  return list_.Count();
}

std::filesystem::path CDeviceProfileUI::GetProfilePathAt(int index) { return list_.PathAt(index); }

void CDeviceProfileUI::SelectFeatureTab(int type) {
  COptionUI* tabs[8] = {};
  for (int i = 0; i < 8; ++i) {
    tabs[i] = dynamic_cast<COptionUI*>(Child(profileui::kTabs[i]));
    if (tabs[i] == nullptr) return;
  }
  if (type < 1 || type > 8) {
    for (int i = 0; i < 7; ++i) tabs[i]->Selected(false, false);
    return;
  }
  for (int i = 0; i < 8; ++i) tabs[i]->Selected(i == type - 1, false);
}

void RegisterDeviceProfileControl() {
  auto create = []() -> CControlUI* { return new CDeviceProfileUI(); };
  CControlFactory::GetInstance().RegistControl("CDeviceProfileUI", create);
  CControlFactory::GetInstance().RegistControl("DeviceProfile", create);
}

}  // namespace korvale
