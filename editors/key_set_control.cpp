#include "editors/key_set_control.h"

#include <algorithm>
#include <cstdlib>

#include "profiles/key_tables.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace korvale {
namespace {

// The combo of each category that holds its items.
struct ItemCombo {
  int category;
  const char* name;
};
constexpr ItemCombo kItemCombos[] = {
    {kCatMouseButton, "keyset_mousekey_combo"}, {kCatResolution, "keyset_mousedpi_combo"},
    {kCatMedia, "keyset_media_combo"},          {kCatSystem, "keyset_system_combo"},
    {kCatMacro, keyui::kMacroCombo},            {kCatGun, "keyset_gunkey_combo"},
    {kCatCombination, "keyset_combokey_combo"},
};

// The number edits of swing (2) and wheel (3).
struct WheelEdits {
  const char* direction;
  const char* count;
  const char* delay;
  const char* speed;
};
constexpr WheelEdits kSwing{"keyset_mouseswing_combo", "keyset_mouseswing_num_edit", "keyset_mouseswing_delay_edit",
                            "keyset_mouseswing_speed_edit"};
constexpr WheelEdits kWheel{"keyset_mousewheel_combo", "keyset_mousewheel_num_edit", "keyset_mousewheel_delay_edit",
                            "keyset_mousewheel_speed_edit"};
constexpr const char* kFireInterval = "keyset_mousefire_interval_edit";
constexpr const char* kFireCount = "keyset_mousefire_num_edit";
constexpr const char* kRepeatEdit = "keyset_macro_cycle_edit";

int ParseDecimal(std::string_view text) {
  // Leading digits only; anything else reads as 0. Long runs saturate.
  long v = 0;
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) v = std::min(v * 10 + (text[i] - '0'), 1000000L);
  return static_cast<int>(v);
}

}  // namespace

CControlUI* CKeySetControlUI::Child(std::string_view name) const {
  return const_cast<CKeySetControlUI*>(this)->FindSubControl(name);
}
CComboUI* CKeySetControlUI::Combo(std::string_view name) const { return dynamic_cast<CComboUI*>(Child(name)); }

void CKeySetControlUI::Initialise() {
  BindControls();
  ResetControls();
}

void CKeySetControlUI::BindControls() {
  grid_.assign(kGridKeys, nullptr);
  for (int i = 0; i < kGridKeys; ++i)
    grid_[static_cast<std::size_t>(i)] = dynamic_cast<COptionUI*>(Child(keyui::kGridPrefix + std::to_string(i)));
  checks_.assign(kModifierChecks, nullptr);
  for (int i = 0; i < kModifierChecks; ++i)
    checks_[static_cast<std::size_t>(i)] = dynamic_cast<COptionUI*>(Child(keyui::kCheckPrefix + std::to_string(i)));
}

void CKeySetControlUI::SetDeviceKind(int kind) {
  kind_ = kind;
  const bool keyboard = kind == 1;
  // The keyboard has no resolution or gun keys; only it has an Fn layer.
  if (CComboUI* f = Combo(keyui::kFunctionCombo)) {
    for (int i = 0; i < f->GetCount(); ++i) {
      const int cat = GetFunctionCategory(i);
      if (cat == kCatResolution || cat == kCatGun) f->GetItemAt(i)->SetVisible(!keyboard);
    }
  }
  if (CControlUI* fn = Child(keyui::kFnOption)) fn->SetVisible(keyboard);
}

void CKeySetControlUI::SetMacroNames(const std::vector<std::string>& names) {
  macroNames_ = names;
  CComboUI* combo = Combo(keyui::kMacroCombo);
  if (combo == nullptr) return;
  combo->SelectItem(-1, false, false);
  combo->RemoveAll();
  for (const std::string& n : names) {
    auto* item = new CListLabelElementUI();
    item->SetResourceText(false);  // the user's macro names
    item->SetFixedHeight(30);
    item->SetText(n);
    combo->Add(item);
  }
}

void CKeySetControlUI::AddMacroName(const std::string& name) {
  if (name.empty()) return;
  std::vector<std::string> names = macroNames_;
  names.push_back(name);
  SetMacroNames(names);
}

void CKeySetControlUI::RemoveMacroAt(int index) {
  if (index < 0 || index >= MacroCount()) return;
  std::vector<std::string> names = macroNames_;
  names.erase(names.begin() + index);
  SetMacroNames(names);
}

void CKeySetControlUI::RenameMacroAt(int index, const std::string& name) {
  if (index < 0 || index >= MacroCount() || name.empty()) return;
  std::vector<std::string> names = macroNames_;
  names[static_cast<std::size_t>(index)] = name;
  SetMacroNames(names);
}

void CKeySetControlUI::OpenForKey(int key, const KeyRecord& record, bool fnLayer) {
  key_ = key;
  if (kind_ == 2)
    OpenNormalAndDefault(record.normal, record.defaultKey);
  else
    OpenKeyRecord(record, fnLayer);
}

std::string CKeySetControlUI::NameOfCode(const AssignmentCode& code) const { return korvale::NameOfCode(code); }

void CKeySetControlUI::ShowEditor(bool show) {
  if (CControlUI* layout = Child(keyui::kLayout)) layout->SetVisible(show);
}

void CKeySetControlUI::OpenKeyRecord(const KeyRecord& record, bool fnLayer) {
  record_ = record;
  fnLayer_ = fnLayer;
  ShowCode(fnLayer ? record.fn.code : record.normal.code);
}

void CKeySetControlUI::OpenNormalAndDefault(const KeyPart& normal, const KeyPart& defaultPart) {
  record_.normal = normal;
  record_.defaultKey = defaultPart;
  fnLayer_ = false;
  ShowCode(normal.code);
}

void CKeySetControlUI::ShowDefault() { ShowCode(record_.defaultKey.code); }

void CKeySetControlUI::ShowNormal() { ShowCode(fnLayer_ ? record_.fn.code : record_.normal.code); }

bool CKeySetControlUI::ShowCode(const AssignmentCode& code) {
  const AssignmentFields f = DecodeAssignment(code, record_.defaultKey.code, MacroCount());
  CComboUI* functions = Combo(keyui::kFunctionCombo);
  int item = -1;
  if (functions != nullptr && f.category >= 0)
    for (int i = 0; i < functions->GetCount() && item < 0; ++i)
      if (GetFunctionCategory(i) == f.category && functions->GetItemAt(i)->IsVisible()) item = i;
  if (item < 0) {
    ShowEditor(false);
    return false;
  }
  ShowEditor(true);
  functions->SelectItem(item, false, false);
  SelectCategoryPage(f.category);
  ShowFields(f);
  return true;
}

void CKeySetControlUI::ShowFields(const AssignmentFields& f) {
  for (const ItemCombo& c : kItemCombos)
    if (c.category == f.category)
      if (CComboUI* combo = Combo(c.name)) combo->SelectItem(f.item, false, false);
  if (f.category == kCatSwing || f.category == kCatWheel) {
    const WheelEdits& e = f.category == kCatSwing ? kSwing : kWheel;
    if (CComboUI* dir = Combo(e.direction)) dir->SelectItem(f.direction, false, false);
    SetNumber(e.count, f.count);
    SetNumber(e.delay, f.delay);
    SetNumber(e.speed, f.speed);
  } else if (f.category == kCatFire) {
    SetNumber(kFireInterval, f.interval);
    SetNumber(kFireCount, f.count);
  } else if (f.category == kCatKey) {
    SelectGridKey(f.gridKey);
    SelectModifierCheck(f.modifierCheck);
    modifierBits_ = f.modifierBits;
    SetKeyName("");
  } else if (f.category == kCatMacro) {
    if (CComboUI* mode = Combo(keyui::kPlayCombo)) mode->SelectItem(f.playMode, false, false);
    if (f.playMode == 4) SetNumber(kRepeatEdit, f.repeat);
  }
  ShowRepeatPanel();
}

void CKeySetControlUI::ShowRepeatPanel() {
  CComboUI* mode = Combo(keyui::kPlayCombo);
  if (CControlUI* panel = Child(keyui::kCycleLayout)) panel->SetVisible(mode != nullptr && mode->GetCurSel() == 4);
}

int CKeySetControlUI::ReadNumber(const char* edit, const FieldRange& range) {
  CControlUI* box = Child(edit);
  if (box == nullptr) return range.min;
  const int raw = ParseDecimal(std::string(box->GetText()));
  const int v = range.Clamp(raw);
  // The box says what is stored: a number outside the range is shown clamped.
  if (std::to_string(v) != std::string(box->GetText())) box->SetText(std::to_string(v));
  return v;
}

void CKeySetControlUI::SetNumber(const char* edit, int value) {
  if (CControlUI* box = Child(edit)) box->SetText(std::to_string(value));
}

AssignmentFields CKeySetControlUI::ReadFields() {
  AssignmentFields f;
  f.category = GetSelectedCategory();
  for (const ItemCombo& c : kItemCombos)
    if (c.category == f.category)
      if (CComboUI* combo = Combo(c.name)) f.item = combo->GetCurSel();
  if (f.category == kCatSwing || f.category == kCatWheel) {
    const WheelEdits& e = f.category == kCatSwing ? kSwing : kWheel;
    CComboUI* dir = Combo(e.direction);
    f.direction = dir != nullptr && dir->GetCurSel() == 1 ? 1 : 0;
    f.count = ReadNumber(e.count, kSwingCountRange);
    f.delay = ReadNumber(e.delay, kNibbleRange);
    f.speed = ReadNumber(e.speed, kNibbleRange);
  } else if (f.category == kCatFire) {
    f.interval = ReadNumber(kFireInterval, kFireIntervalRange);
    f.count = ReadNumber(kFireCount, kFireCountRange);
  } else if (f.category == kCatKey) {
    f.gridKey = GetGridKey();
    f.modifierCheck = GetModifierCheck();
    f.modifierBits = modifierBits_;
  } else if (f.category == kCatMacro) {
    CComboUI* mode = Combo(keyui::kPlayCombo);
    f.playMode = mode != nullptr ? mode->GetCurSel() : -1;
    if (f.playMode == 4) f.repeat = ReadNumber(kRepeatEdit, kRepeatRange);
  }
  return f;
}

KeyRecord CKeySetControlUI::BuildRecord(bool fnLayer) {
  AssignmentCode& code = EditedCode(fnLayer);
  code = EncodeAssignment(ReadFields(), record_.defaultKey.code, code, MacroCount());
  return record_;
}

void CKeySetControlUI::SetEditedCode(const AssignmentCode& code, bool fnLayer) { EditedCode(fnLayer) = code; }

void CKeySetControlUI::SelectFunctionItem(int index) {
  if (CComboUI* f = Combo(keyui::kFunctionCombo)) f->SelectItem(index, false, false);
}

int CKeySetControlUI::GetFunctionCategory(int index) const {
  CComboUI* f = Combo(keyui::kFunctionCombo);
  if (f == nullptr || index < 0 || index >= f->GetCount()) return -1;
  const std::string data(f->GetItemAt(index)->GetUserData());
  if (data.empty() || data.find_first_not_of("0123456789") != std::string::npos) return -1;
  const int cat = std::atoi(data.c_str());
  return cat < kAssignmentCategories ? cat : -1;
}

int CKeySetControlUI::GetSelectedCategory() const {
  CComboUI* f = Combo(keyui::kFunctionCombo);
  return f == nullptr ? -1 : GetFunctionCategory(f->GetCurSel());
}

void CKeySetControlUI::SelectCategoryPage(int category) {
  if (auto* pages = dynamic_cast<CTabLayoutUI*>(Child(keyui::kPages))) pages->SelectItem(category);
}

void CKeySetControlUI::SelectGridKey(int index) {
  for (std::size_t i = 0; i < grid_.size(); ++i)
    if (grid_[i] != nullptr) grid_[i]->Selected(static_cast<int>(i) == index, false);
}

int CKeySetControlUI::GetGridKey() const {
  for (std::size_t i = 0; i < grid_.size(); ++i)
    if (grid_[i] != nullptr && grid_[i]->IsSelected()) return static_cast<int>(i);
  return -1;
}

void CKeySetControlUI::SelectModifierCheck(int index) {
  for (std::size_t i = 0; i < checks_.size(); ++i)
    if (checks_[i] != nullptr) checks_[i]->Selected(static_cast<int>(i) == index, false);
}

int CKeySetControlUI::GetModifierCheck() const {
  for (std::size_t i = 0; i < checks_.size(); ++i)
    if (checks_[i] != nullptr && checks_[i]->IsSelected()) return static_cast<int>(i);
  return -1;
}

void CKeySetControlUI::ModifierCheckChanged(int index) {
  SelectModifierCheck(index);
  modifierBits_ = 0;
}

void CKeySetControlUI::SetKeyName(const std::string& textId) {
  CControlUI* box = Child(keyui::kCaptureEdit);
  if (box == nullptr) return;
  box->SetText(textId.empty() ? std::string() : CResourceManager::GetInstance().GetText(textId));
}

void CKeySetControlUI::EnableButtons(bool enabled) {
  for (const char* name : {keyui::kApply, keyui::kCancel, keyui::kDownload})
    if (CControlUI* b = Child(name)) b->SetEnabled(enabled);
}

void CKeySetControlUI::ResetControls() {
  for (const char* name : {"keyset_mousekey_combo", "keyset_mousedpi_combo", "keyset_media_combo",
                           "keyset_system_combo", keyui::kMacroCombo, "keyset_gunkey_combo", "keyset_combokey_combo",
                           keyui::kPlayCombo, kSwing.direction, kWheel.direction})
    if (CComboUI* c = Combo(name)) c->SelectItem(c->GetCount() > 0 ? 0 : -1, false, false);
  SetNumber(kFireInterval, 50);
  SetNumber(kFireCount, 2);
  SetNumber(kRepeatEdit, 1);
  for (const WheelEdits& e : {kSwing, kWheel}) {
    SetNumber(e.count, 1);
    SetNumber(e.delay, 0);
    SetNumber(e.speed, 0);
  }
  ShowRepeatPanel();
}

bool CKeySetControlUI::CaptureKey(uint16_t evdev, bool fnLayer) {
  const int row = FindKeyboardEvdev(evdev);
  if (row < 0) return false;
  const KeyboardKeyRow& r = kKeyboardKeyTable[static_cast<std::size_t>(row)];
  if (r.category != 0x20) return false;
  AssignmentCode code{r.category, r.modifier, r.usage};
  if (row < 8) {
    // A modifier alone: its group's check, and the key as it is.
    SelectModifierCheck((row + 1) % 5 + (row + 1) / 5);
    modifierBits_ = r.modifier;
    SetKeyName("");
  } else {
    int check = GetModifierCheck();
    if (check < 0) {
      check = 0;
      SelectModifierCheck(0);
    }
    if (check > 0) {
      AssignmentFields f;
      f.category = kCatKey;
      f.gridKey = FindGridKey({0x20, 0, r.usage});
      f.modifierCheck = check;
      f.modifierBits = modifierBits_;
      if (f.gridKey >= 0) code = EncodeAssignment(f, record_.defaultKey.code, code, 0);
      else code.value1 = kModifierCheckBit[static_cast<std::size_t>(check)];
    }
    SetKeyName(std::string("keyboard_key_") + r.word);
  }
  SelectGridKey(FindGridKey({code.type, row < 8 ? code.value1 : uint8_t{0}, code.value2}));
  SetEditedCode(code, fnLayer);
  return true;
}

void RegisterKeySetControl() {
  CControlFactory::GetInstance().RegistControl("CKeySetControlUI",
                                               [] { return static_cast<CControlUI*>(new CKeySetControlUI()); });
}

}  // namespace korvale
