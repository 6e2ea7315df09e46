#pragma once
// The profile bar of a device page ("DeviceProfileItem"): the combo of the
// device's profiles, the name box, the menu panel with the profile commands
// and the page's feature tabs. The list and its files are CProfileList's; the
// bar keeps the combo in step with the list (one item per entry, in order)
// and shows the selection. Confirmations, messages and dialogs are the main
// window's (profile commands); a control missing from the skin is skipped.
#include <filesystem>
#include <string>

#include "devices/page_hooks.h"
#include "profiles/profile_list.h"
#include "ui/containers.h"

namespace korvale {

class CComboUI;

namespace profileui {
inline constexpr const char* kItemName = "DeviceProfileItem";
inline constexpr const char* kCombo = "device_profile_combo";
inline constexpr const char* kNameEdit = "device_profile_name_edit";
inline constexpr const char* kMenu = "profile_menu_layout";
// The feature tabs in the order of the page types 1..8.
inline constexpr const char* kTabs[8] = {"deng_Op_tab",  "key_Op_tab",        "macro_Op_tab", "system_Op_tab",
                                         "cursor_Op_tab", "6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"};
}  // namespace profileui

class CDeviceProfileUI : public CHorizontalLayoutUI, public IProfileListHooks {
 public:
  std::string GetClass() const override { return "DeviceProfile"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "DeviceProfile") || CHorizontalLayoutUI::IsClass(cls);
  }

  // ---- set-up by the page ----
  void SetDeviceKind(int kind) override;
  void SetFolders(const std::filesystem::path& userFolder, const std::filesystem::path& defaultProfile) override;
  // Reads (or on a first start creates) the list, fills the combo, selects
  // the list's selection and hides the tabs the device kind has not.
  void Initialise() override;
  void SelectFeatureTab(int type) override;
  std::string GetSelectedUUID() const override { return selectedUuid_; }
  void ReloadList() override;

  // ---- commands ----
  // Selects combo item index (notifying when asked), shows its name in the
  // name box and records the selection in the list file.
  ProfileStatus SelectProfile(int index, bool notify);
  int GetCurrentIndex() const;
  std::string GetNameEditText() const;
  void SetNameEditText(const std::string& text);
  void ShowMenu(bool show);
  bool IsMenuShown() const;
  // Each returns the list's status; the combo follows the list. Add and
  // delete leave the list selecting another profile: the caller switches the
  // page to it.
  ProfileStatus AddProfile();
  ProfileStatus DeleteProfile();
  ProfileStatus CopyProfile();
  ProfileStatus RenameProfile(const std::string& name);
  ProfileStatus ResetProfile();
  ProfileStatus ImportProfile(const std::filesystem::path& file);
  ProfileStatus ExportProfile(const std::filesystem::path& file);
  int GetProfileCount();
  std::filesystem::path GetProfilePathAt(int index);

  CProfileList& List() { return list_; }

 private:
  CControlUI* Child(std::string_view name) const;
  CComboUI* Combo() const;
  // The combo rebuilt from the list, its selection the list's, without notifying.
  void Fill();

  CProfileList list_;
  std::string selectedUuid_;
};

void RegisterDeviceProfileControl();

}  // namespace korvale
