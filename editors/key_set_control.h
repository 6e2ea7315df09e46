#pragma once
// The key assignment editor of the keyboard and mouse pages
// ("KeySetControlItem"): shows what the selected key does in one of twelve
// function categories and forms the key's new code from the controls. The
// codes and their fields are profiles/assignment_codes.h; this control only
// moves fields in and out of its skin's controls. The main window drives it
// (key_handlers.h).
#include <cstdint>
#include <string>
#include <vector>

#include "devices/page_hooks.h"
#include "profiles/assignment_codes.h"
#include "ui/containers.h"

namespace korvale {

class CComboUI;
class CEditUI;
class COptionUI;
class CTabLayoutUI;

namespace keyui {
inline constexpr const char* kEditorName = "KeySetControlItem";
inline constexpr const char* kLayout = "keyset_layout";
inline constexpr const char* kFunctionCombo = "keyset_function_combo";
inline constexpr const char* kPages = "function_switch_tablayout";
inline constexpr const char* kApply = "key_butt_keysave";
inline constexpr const char* kCancel = "key_butt_keycancel";
inline constexpr const char* kDownload = "key_butt_prosave";
inline constexpr const char* kDefault = "key_butt_keydefalut";
inline constexpr const char* kMacroCombo = "keyset_macro_combo";
inline constexpr const char* kPlayCombo = "keyset_macro_over_combo";
inline constexpr const char* kCycleLayout = "keyset_macro_cycle_layout";
inline constexpr const char* kCaptureEdit = "keyset_keyboard_text_edit";
inline constexpr const char* kFnOption = "keyset_fn";
inline constexpr const char* kGridPrefix = "keyboard_key_";
inline constexpr const char* kCheckPrefix = "key_ComBox_check_";
}  // namespace keyui

class CKeySetControlUI : public CHorizontalLayoutUI, public IKeyEditorHooks {
 public:
  std::string GetClass() const override { return "KeySetControl"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "KeySetControl") || CHorizontalLayoutUI::IsClass(cls);
  }

  // ---- IKeyEditorHooks ----
  void Initialise() override;
  void SetDeviceKind(int kind) override;
  void SetMainWindow(HWND hwnd) override { mainWnd_ = hwnd; }
  void SetMacroNames(const std::vector<std::string>& names) override;
  void OpenForKey(int key, const KeyRecord& record, bool fnLayer) override;
  std::string NameOfCode(const AssignmentCode& code) const override;

  // ---- set-up ----
  void BindControls();
  void AddMacroName(const std::string& name);
  void RemoveMacroAt(int index);
  void RenameMacroAt(int index, const std::string& name);
  int GetDeviceKind() const { return kind_; }
  HWND GetMainWindow() const { return mainWnd_; }

  // ---- showing a record ----
  void ShowEditor(bool show);
  void OpenKeyRecord(const KeyRecord& record, bool fnLayer);
  void OpenNormalAndDefault(const KeyPart& normal, const KeyPart& defaultPart);
  void ShowDefault();
  void ShowNormal();
  // Shows a code in the controls; false (and the panel hidden) when no
  // category of this editor knows it.
  bool ShowCode(const AssignmentCode& code);

  // ---- forming a record ----
  KeyRecord BuildRecord(bool fnLayer);
  void SetEditedCode(const AssignmentCode& code, bool fnLayer);
  const KeyRecord& GetRecord() const { return record_; }
  int GetKey() const { return key_; }
  // The fields the controls hold now; number edits are clamped to their
  // ranges and rewritten.
  AssignmentFields ReadFields();

  // ---- controls ----
  void SelectFunctionItem(int index);
  // The category of a function-combo item, -1 for none.
  int GetFunctionCategory(int index) const;
  int GetSelectedCategory() const;
  void SelectCategoryPage(int category);
  void SelectGridKey(int index);
  int GetGridKey() const;
  void SelectModifierCheck(int index);
  int GetModifierCheck() const;
  void SetKeyName(const std::string& textId);
  void EnableButtons(bool enabled);
  void ResetControls();
  void ShowRepeatPanel();
  // The user picked another modifier check: its own left key from now on.
  void ModifierCheckChanged(int index);

  // A key pressed while capturing for the key category (evdev code); false
  // when the key cannot be assigned from here. The code is stored with
  // SetEditedCode for the given layer.
  bool CaptureKey(uint16_t evdev, bool fnLayer);

 private:
  CControlUI* Child(std::string_view name) const;
  CComboUI* Combo(std::string_view name) const;
  void ShowFields(const AssignmentFields& f);
  int ReadNumber(const char* edit, const FieldRange& range);
  void SetNumber(const char* edit, int value);
  int MacroCount() const { return static_cast<int>(macroNames_.size()); }
  AssignmentCode& EditedCode(bool fnLayer) { return fnLayer ? record_.fn.code : record_.normal.code; }

  int kind_ = 0;
  HWND mainWnd_ = 0;
  int key_ = -1;
  bool fnLayer_ = false;
  KeyRecord record_{};
  std::vector<std::string> macroNames_;
  uint8_t modifierBits_ = 0;  // the modifier bits the shown code came with
  std::vector<COptionUI*> grid_;
  std::vector<COptionUI*> checks_;
};

// Registers "CKeySetControlUI" with the control factory.
void RegisterKeySetControl();

}  // namespace korvale
