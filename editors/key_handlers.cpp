#include "editors/key_handlers.h"

#include <cstring>

#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "editors/key_set_control.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "ui/controls.h"

namespace korvale {
namespace {

constexpr AssignmentCode kLeftButton{0x10, 0x01, 0x00};

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

int IndexAfter(std::string_view name, std::string_view prefix) {
  if (!StartsWith(name, prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 4) return -1;
  int v = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

void SetEntry(CVarnikUSBDevice& page, const KeyRecord& r) {
  std::array<uint32_t, 4> words{};
  uint16_t half = 0;
  static_assert(sizeof(KeyRecord) == sizeof words + sizeof half);
  std::memcpy(words.data(), &r, sizeof words);
  std::memcpy(&half, reinterpret_cast<const uint8_t*>(&r) + sizeof words, sizeof half);
  if (auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page)) {
    kb->SetKeyEntry(words, half);
    kb->RefreshKeyLabels();
  } else if (auto* mouse = dynamic_cast<CVarnikMouseDevice*>(&page)) {
    mouse->SetKeyEntry(words, half);
    mouse->RefreshKeyLabels();
  }
}

// The only key of the list that carries the left button.
bool IsLastLeftButton(const std::vector<KeyRecord>& keys, int key) {
  if (key < 0 || static_cast<std::size_t>(key) >= keys.size()) return false;
  if (!(keys[static_cast<std::size_t>(key)].normal.code == kLeftButton)) return false;
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (static_cast<int>(i) != key && keys[i].normal.code == kLeftButton) return false;
  return true;
}

}  // namespace

CKeySetControlUI* CKeyHandlers::EditorOf(CVarnikUSBDevice& page) {
  return dynamic_cast<CKeySetControlUI*>(page.FindSubControl(keyui::kEditorName));
}

bool CKeyHandlers::FnLayer(CVarnikUSBDevice& page) {
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page);
  return kb != nullptr && kb->FnEditing();
}

void CKeyHandlers::SelectKey(CVarnikUSBDevice& page, int key) {
  if (page.GetFunctionPage() != 2) return;
  if (ReadJsonFile(page.GetProfilePath()).isNull()) {
    Trace("key editor: the profile %s reads as nothing; no key opened", page.GetProfilePath().c_str());
    return;
  }
  if (auto* mouse = dynamic_cast<CVarnikMouseDevice*>(&page); mouse != nullptr && IsLastLeftButton(mouse->GetKeyList(), key)) {
    macros_.Notice("message_text_6");
    return;
  }
  page.SelectKey(key);
}

void CKeyHandlers::Apply(CVarnikUSBDevice& page, CKeySetControlUI& editor) {
  const bool keyboard = dynamic_cast<CVarnikKeyboardDevice*>(&page) != nullptr;
  const KeyRecord r = editor.BuildRecord(keyboard && FnLayer(page));
  SetEntry(page, r);
  editor.EnableButtons(true);
}

void CKeyHandlers::ApplyKeySettings(CVarnikUSBDevice& page) { ApplyKeySettings(page, 0); }

void CKeyHandlers::ApplyKeySettings(CVarnikUSBDevice& page, int depth) {
  const int r = macros_.ApplyKeySettings(page);
  if (r > 0) {
    // The macros do not fit: the edited key goes back to its default and the
    // rest is sent once more; a second overflow comes from other keys and
    // ends here.
    CKeySetControlUI* editor = EditorOf(page);
    if (editor != nullptr && depth == 0) RestoreDefault(page, *editor, depth + 1);
    if (editor != nullptr) Apply(page, *editor);
    return;
  }
  if (auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page)) kb->MarkChangedKeys();
  if (auto* mouse = dynamic_cast<CVarnikMouseDevice*>(&page)) mouse->MarkChangedKeys();
  SetEditState(false, 1);
}

void CKeyHandlers::RestoreDefault(CVarnikUSBDevice& page, CKeySetControlUI& editor, int depth) {
  editor.ShowDefault();
  if (dynamic_cast<CVarnikKeyboardDevice*>(&page) == nullptr) return;
  Apply(page, editor);
  ApplyKeySettings(page, depth);
}

bool CKeyHandlers::CaptureKey(CVarnikUSBDevice* page, uint16_t evdev) {
  if (page == nullptr) return false;
  CKeySetControlUI* editor = EditorOf(*page);
  if (editor == nullptr || editor->GetSelectedCategory() != kCatKey) return false;
  if (!editor->CaptureKey(evdev, FnLayer(*page))) return false;
  SetEntry(*page, editor->GetRecord());
  editor->EnableButtons(true);
  SetEditState(false, 0);
  return true;
}

bool CKeyHandlers::HandleKeyEditor(const TNotifyUI& msg, CVarnikUSBDevice* page) {
  if (page == nullptr || msg.pSender == nullptr) return false;
  const std::string name(msg.pSender->GetName());
  const std::string& type = msg.sType;
  if (type == "click" && IndexAfter(name, "key_") >= 0) {
    SelectKey(*page, IndexAfter(name, "key_"));
    return true;
  }
  CKeySetControlUI* editor = EditorOf(*page);
  if (editor == nullptr) return false;
  auto* option = dynamic_cast<COptionUI*>(msg.pSender);
  const bool keyboard = dynamic_cast<CVarnikKeyboardDevice*>(page) != nullptr;
  if (type == "selectchanged") {
    if (name == keyui::kFnOption) {
      auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(page);
      if (kb == nullptr || option == nullptr) return true;
      kb->SetFnEditing(option->IsSelected());
      kb->SaveProfile();
      return true;
    }
    // Grouped options report both the one left and the one taken.
    if (option != nullptr && !option->IsSelected()) return true;
    if (const int n = IndexAfter(name, keyui::kGridPrefix); n >= 0 && keyboard) {
      editor->SelectGridKey(n);
    } else if (const int m = IndexAfter(name, keyui::kCheckPrefix); m >= 0) {
      editor->ModifierCheckChanged(m);
    } else {
      return false;
    }
    Apply(*page, *editor);
    SetEditState(false, 0);
    return true;
  }
  if (type == "itemselect") {
    if (name == keyui::kFunctionCombo) {
      const int category = editor->GetSelectedCategory();
      editor->SelectCategoryPage(category);
      if (category == kCatKey) {
        editor->SetKeyName("");
        editor->SelectModifierCheck(-1);
      }
      return true;
    }
    if (name == keyui::kPlayCombo) editor->ShowRepeatPanel();
    Apply(*page, *editor);
    SetEditState(false, 0);
    return true;
  }
  if (type == "killfocus") {
    // A number edit: clamped into its range and applied.
    Apply(*page, *editor);
    SetEditState(false, 0);
    return true;
  }
  if (type != "click") return false;
  if (name == keyui::kApply) {
    Apply(*page, *editor);
    SetEditState(false, 0);
  } else if (name == keyui::kDefault) {
    editor->ShowDefault();
    if (keyboard) {
      Apply(*page, *editor);
      ApplyKeySettings(*page);
    }
    SetEditState(false, 0);
  } else if (name == keyui::kCancel) {
    editor->ShowNormal();
    editor->EnableButtons(false);
    SetEditState(false, 1);
  } else if (name == keyui::kDownload) {
    ApplyKeySettings(*page);
  } else {
    return false;
  }
  return true;
}

}  // namespace korvale
