#include "editors/macro_control.h"

#include <algorithm>
#include <cctype>

#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/key_tables.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace korvale {
namespace {

constexpr UINT kScrollTimer = 4101;
constexpr int kRowHeight = 30;

// The look of each row label style, as attribute lists.
struct RowStyle {
  const char* name;
  const char* attributes;
};
constexpr RowStyle kRowStyles[] = {
    {macroui::kKeyboardStyle, R"(width="170" textcolor="#FFE3E6EB" align="left")"},
    {macroui::kMouseStyle, R"(width="170" textcolor="#FF7FC8FF" align="left")"},
    {macroui::kDownStyle, R"(width="90" textcolor="#FF5BD18B" text="macro_action_down_text")"},
    {macroui::kUpStyle, R"(width="90" textcolor="#FFF0A35E" text="macro_action_up_text")"},
    {macroui::kTextStyle, R"(width="90" textcolor="#FFB8BEC8")"},
};

void ApplyStyle(CControlUI* c, const char* style) {
  for (const RowStyle& s : kRowStyles)
    if (std::string_view(s.name) == style) c->ApplyAttributeList(s.attributes);
  c->SetAttribute("style", style);
}


}  // namespace

CMacroControlUI::CMacroControlUI() = default;

CMacroControlUI::~CMacroControlUI() {
  if (GetManager() != nullptr) GetManager()->KillTimer(this);
}

void CMacroControlUI::DoEvent(TEventUI& event) {
  if (event.Type == UiEventType::Timer && event.wParam == kScrollTimer) {
    if (GetManager() != nullptr) GetManager()->KillTimer(this, kScrollTimer);
    return;
  }
  CHorizontalLayoutUI::DoEvent(event);
}

CControlUI* CMacroControlUI::Child(std::string_view name) const {
  return const_cast<CMacroControlUI*>(this)->FindSubControl(name);
}
CListUI* CMacroControlUI::NameList() const { return dynamic_cast<CListUI*>(Child(macroui::kNameList)); }
CListUI* CMacroControlUI::ActionList() const { return dynamic_cast<CListUI*>(Child(macroui::kActionList)); }

void CMacroControlUI::SetMacroFolder(const std::filesystem::path& folder) { folder_ = folder; }

void CMacroControlUI::AppendListItem(const std::string& name, const std::string& guid) {
  CListUI* list = NameList();
  if (list == nullptr) return;
  auto* item = new CListLabelElementUI();
  item->SetResourceText(false);  // a user's name, never a text ID
  item->SetFixedHeight(kRowHeight);
  item->SetText(name);
  item->SetUserData(guid);
  list->Add(item);
}

void CMacroControlUI::LoadMacroList() {
  if (folder_.empty()) return;
  for (const MacroInfoEntry& e : ReadMacroIndex(folder_)) {
    AppendListItem(e.name, e.guid);
    names_.push_back(e.name);
  }
}

int CMacroControlUI::GetSelectedMacro() const {
  CListUI* list = NameList();
  if (list == nullptr || list->GetCount() == 0) return -1;
  return list->GetCurSel();
}

std::string CMacroControlUI::SelectedGuid() const {
  const int sel = GetSelectedMacro();
  if (sel < 0) return {};
  CControlUI* item = NameList()->GetItemAt(sel);
  return item == nullptr ? std::string() : std::string(item->GetUserData());
}

void CMacroControlUI::SetSelectionControls(bool enabled) {
  for (const char* name : macroui::kSelectionControls)
    if (CControlUI* c = Child(name)) c->SetEnabled(enabled);
}

void CMacroControlUI::SetNameText(std::string_view text) {
  if (CControlUI* c = Child(macroui::kNameEdit)) c->SetText(text);
}

CListContainerElementUI* CMacroControlUI::MakeRow(const MacroEvent& e) const {
  auto* row = new CListContainerElementUI();
  row->SetName(macroui::kActionRow);
  row->SetFixedHeight(kRowHeight);
  row->SetAttribute("valign", "center");
  row->SetAttribute("menu", "true");
  bool keyboardStyle = false;
  const std::string keyText = MacroKeyTextId(e.type, e.down, e.button, keyboardStyle);
  auto* key = new CLabelUI();
  ApplyStyle(key, keyboardStyle ? macroui::kKeyboardStyle : macroui::kMouseStyle);
  key->SetText(keyText);
  auto* action = new CLabelUI();
  if (e.type == kMacroMoveX || e.type == kMacroMoveY) {
    ApplyStyle(action, macroui::kTextStyle);
    action->SetResourceText(false);
    action->SetText(std::to_string(e.button));
  } else if (e.type == kMacroLegacyA || e.type == kMacroLegacyB) {
    ApplyStyle(action, macroui::kTextStyle);
    action->SetText("");
  } else {
    ApplyStyle(action, e.down ? macroui::kDownStyle : macroui::kUpStyle);
  }
  auto* delay = new CEditUI();
  delay->SetName(macroui::kDelayEdit);
  ApplyStyle(delay, macroui::kTextStyle);
  delay->SetBkColor(0xFF444444);
  delay->SetFixedHeight(25);
  delay->SetMaxChar(6);
  delay->SetNumberOnly(true);
  delay->SetMinValue(0);
  delay->SetMaxValue(static_cast<int>(kMaxMacroDelay));
  delay->SetText(std::to_string(e.delay));
  row->Add(key);
  row->Add(action);
  row->Add(delay);
  row->SetUserData(StyledJsonText(MacroEventJson(e)));
  return row;
}

bool CMacroControlUI::RowEvent(CControlUI* row, MacroEvent& out) {
  if (row == nullptr) return false;
  Json::Value doc(Json::objectValue);
  doc["Events"].append(ParseJsonText(std::string(row->GetUserData())));
  const MacroEventsRead r = ParseMacroEvents(doc);
  if (!r.ok() || r.events.empty()) return false;
  out = r.events.front();
  return true;
}

void CMacroControlUI::ShowSelectedMacro() {
  lastError_.clear();
  CListUI* actions = ActionList();
  const int sel = GetSelectedMacro();
  hiddenHead_.clear();
  hiddenTail_.clear();
  ShowHiddenCount();
  if (sel < 0) {
    SetNameText(" ");
    if (actions != nullptr) actions->RemoveAll();
    return;
  }
  const std::string guid = SelectedGuid();
  if (guid.empty()) return;
  SetSelectionControls(true);
  if (actions != nullptr) {
    actions->RemoveAll();
    const auto file = MacroFilePath(folder_, guid);
    std::error_code ec;
    if (file && std::filesystem::exists(*file, ec)) {
      const MacroEventsRead read = ReadMacroEvents(*file);
      if (!read.ok()) {
        lastError_ = file->filename().string() + ": " + read.error;
        Trace("macro editor: %s", lastError_.c_str());
      }
      ShowWindow(read.events, 0);
    } else if (!file) {
      lastError_ = "the macro's Guid is not a plain stamp";
    }
  }
  const auto index = ReadMacroIndex(folder_);
  if (static_cast<std::size_t>(sel) < index.size()) SetNameText(index[static_cast<std::size_t>(sel)].name);
}

std::string CMacroControlUI::AddMacro() {
  CListUI* list = NameList();
  if (list == nullptr || static_cast<std::size_t>(list->GetCount()) >= kMaxMacros) return {};
  std::vector<MacroInfoEntry> shown;
  for (int i = 0; i < list->GetCount(); ++i) shown.push_back({std::string(list->GetItemAt(i)->GetText()), {}});
  const std::string name = NextMacroName(shown);
  std::vector<MacroInfoEntry> index = ReadMacroIndex(folder_);
  const std::string guid = NewMacroGuid(index);
  index.push_back({name, guid});
  if (!WriteMacroIndex(folder_, index)) {
    lastError_ = "cannot write " + (folder_ / "macro.config").string();
    return {};
  }
  AppendListItem(name, guid);
  names_.push_back(name);
  list->SelectItem(list->GetCount() - 1, false, false);
  ShowSelectedMacro();
  return name;
}

std::string CMacroControlUI::ImportMacro(const std::filesystem::path& source) {
  lastError_.clear();
  CListUI* list = NameList();
  if (source.empty() || list == nullptr) return {};
  if (static_cast<std::size_t>(list->GetCount()) >= kMaxMacros) {
    lastError_ = "the list already holds 50 macros";
    return {};
  }
  importPath_ = source;
  const MacroImport r = ImportMacroFile(folder_, source);
  if (r.name.empty()) {
    lastError_ = r.error;
    return {};
  }
  AppendListItem(r.name, r.guid);
  names_.push_back(r.name);
  list->SelectItem(list->GetCount() - 1, false, false);
  ShowSelectedMacro();
  return r.name;
}

bool CMacroControlUI::ExportMacro(const std::filesystem::path& destination) {
  lastError_.clear();
  if (destination.empty() || GetSelectedMacro() < 0) return false;
  const auto file = MacroFilePath(folder_, SelectedGuid());
  std::error_code ec;
  if (!file || !std::filesystem::exists(*file, ec)) {
    lastError_ = "the macro has not been saved yet";
    return false;
  }
  return CopyFileChecked(*file, destination, lastError_);
}

std::pair<std::string, int> CMacroControlUI::RenameMacro() {
  const int sel = GetSelectedMacro();
  if (sel < 0) return {{}, -1};
  CControlUI* edit = Child(macroui::kNameEdit);
  const std::string name = edit == nullptr ? std::string() : std::string(edit->GetText());
  if (IsBlankText(name)) return {"IsEmpty", -1};
  CListUI* list = NameList();
  std::vector<MacroInfoEntry> shown;
  for (int i = 0; i < list->GetCount(); ++i) shown.push_back({std::string(list->GetItemAt(i)->GetText()), {}});
  if (FindMacroName(shown, name) >= 0) return {{}, sel};
  std::vector<MacroInfoEntry> index = ReadMacroIndex(folder_);
  if (static_cast<std::size_t>(sel) < index.size()) {
    index[static_cast<std::size_t>(sel)].name = name;
    if (!WriteMacroIndex(folder_, index)) Trace("macro editor: macro.config could not be written");
  }
  list->GetItemAt(sel)->SetText(name);
  if (static_cast<std::size_t>(sel) < names_.size()) names_[static_cast<std::size_t>(sel)] = name;
  SetNameText(name);
  return {name, sel};
}

int CMacroControlUI::DeleteMacro() {
  CListUI* list = NameList();
  const int sel = GetSelectedMacro();
  if (sel < 0) return -1;
  if (const auto file = MacroFilePath(folder_, SelectedGuid())) {
    std::error_code ec;
    std::filesystem::remove(*file, ec);
  }
  list->RemoveAt(sel);
  if (static_cast<std::size_t>(sel) < names_.size()) names_.erase(names_.begin() + sel);
  if (CListUI* actions = ActionList()) actions->RemoveAll();
  std::vector<MacroInfoEntry> index = ReadMacroIndex(folder_);
  if (static_cast<std::size_t>(sel) < index.size()) {
    index.erase(index.begin() + sel);
    if (!WriteMacroIndex(folder_, index)) Trace("macro editor: macro.config could not be written");
  }
  if (list->GetCount() > 0) {
    list->SelectItem(0, false, false);
    ShowSelectedMacro();
    SetNameText(index.empty() ? std::string() : index[0].name);
  } else {
    SetSelectionControls(false);
    SetNameText("");
  }
  return sel;
}

std::vector<MacroEvent> CMacroControlUI::GetRowEvents() const {
  std::vector<MacroEvent> events = hiddenHead_;
  CListUI* actions = ActionList();
  if (actions == nullptr) return events;
  for (int i = 0; i < actions->GetCount(); ++i) {
    auto* row = dynamic_cast<CContainerUI*>(actions->GetItemAt(i));
    MacroEvent e;
    if (!RowEvent(row, e)) {
      // A row that lost its event is left out; the rows after it still count.
      Trace("macro editor: row %d holds no event and is not saved", i);
      continue;
    }
    if (CControlUI* box = row->FindSubControl(macroui::kDelayEdit)) {
      const std::string text(box->GetText());
      e.delay = static_cast<uint16_t>(LeadingNumber(text.empty() ? "0" : text, kMaxMacroDelay));
    }
    events.push_back(e);
  }
  events.insert(events.end(), hiddenTail_.begin(), hiddenTail_.end());
  return events;
}

int CMacroControlUI::GetRowCount() const {
  CListUI* actions = ActionList();
  return actions == nullptr ? 0 : actions->GetCount();
}

int CMacroControlUI::GetActionCount() const {
  return static_cast<int>(hiddenHead_.size()) + GetRowCount() + static_cast<int>(hiddenTail_.size());
}

void CMacroControlUI::ShowWindow(std::vector<MacroEvent> events, int first) {
  CListUI* actions = ActionList();
  if (actions == nullptr) return;
  const int n = static_cast<int>(events.size());
  first = std::clamp(first, 0, std::max(0, n - 1));
  const int last = std::min(n, first + macroui::kShownRows);
  actions->SelectItem(-1, false, false);
  actions->RemoveAll();
  for (int i = first; i < last; ++i) actions->Add(MakeRow(events[static_cast<std::size_t>(i)]));
  hiddenTail_.assign(events.begin() + last, events.end());
  events.resize(static_cast<std::size_t>(first));
  hiddenHead_ = std::move(events);
  ShowHiddenCount();
}

void CMacroControlUI::ShowRowsFrom(int first) { ShowWindow(GetRowEvents(), first); }
void CMacroControlUI::ShowPreviousRows() { ShowRowsFrom(GetFirstRowAction() - macroui::kShownRows); }
void CMacroControlUI::ShowNextRows() {
  if (!hiddenTail_.empty()) ShowRowsFrom(GetFirstRowAction() + GetRowCount());
}

void CMacroControlUI::ShowHiddenCount() {
  const bool before = !hiddenHead_.empty(), after = !hiddenTail_.empty();
  const std::pair<const char*, bool> pagers[] = {{macroui::kPrevRows, before}, {macroui::kNextRows, after}};
  for (const auto& [name, enabled] : pagers) {
    if (CControlUI* c = Child(name)) {
      c->SetVisible(before || after);
      c->SetEnabled(enabled);
    }
  }
  CControlUI* label = Child(macroui::kHiddenRows);
  if (label == nullptr) return;
  label->SetResourceText(false);
  if (!before && !after) {
    label->SetText("");
    return;
  }
  // "Actions %d-%d of %d": the window's first and last action, 1-based, and the total.
  const int first = GetFirstRowAction();
  const int numbers[3] = {first + 1, first + GetRowCount(), GetActionCount()};
  std::string text = CResourceManager::GetInstance().GetText("macro_rows_shown_text");
  std::size_t at = 0;
  for (int v : numbers) {
    at = text.find("%d", at);
    if (at == std::string::npos) break;
    const std::string number = std::to_string(v);
    text.replace(at, 2, number);
    at += number.size();
  }
  label->SetText(text);
}

void CMacroControlUI::SaveSelectedMacro() {
  const int sel = GetSelectedMacro();
  if (sel < 0) return;
  const std::string guid = SelectedGuid();
  const auto file = MacroFilePath(folder_, guid);
  if (!file) return;
  const std::vector<MacroEvent> events = GetRowEvents();
  CListUI* actions = ActionList();
  // The rows' data follow the saved delays.
  for (int i = 0, k = GetFirstRowAction(); actions != nullptr && i < actions->GetCount(); ++i) {
    MacroEvent e;
    if (!RowEvent(actions->GetItemAt(i), e)) continue;
    actions->GetItemAt(i)->SetUserData(StyledJsonText(MacroEventJson(events[static_cast<std::size_t>(k++)])));
  }
  const std::string name(NameList()->GetItemAt(sel)->GetText());
  if (!TryWriteJsonFile(*file, MacroDocument(name, guid, events))) Trace("macro editor: %s could not be written", file->c_str());
}

void CMacroControlUI::MoveSelectedRow(int to) {
  CListUI* actions = ActionList();
  if (actions == nullptr) return;
  const int sel = actions->GetCurSel();
  MacroEvent e;
  if (sel < 0 || !RowEvent(actions->GetItemAt(sel), e)) return;
  actions->SelectItem(-1, false, false);
  actions->RemoveAt(sel);
  actions->AddAt(MakeRow(e), to);  // rebuilt from its data: an unsaved delay is dropped
  actions->SelectItem(to, false, false);
}

void CMacroControlUI::MoveSelectedAction(int to) {
  CListUI* actions = ActionList();
  MacroEvent moved;
  if (actions == nullptr || !RowEvent(actions->GetItemAt(actions->GetCurSel()), moved)) return;
  // The whole macro without the selected row, which comes back from its data
  // (an unsaved delay in its box is dropped, as for a move inside the rows).
  std::vector<MacroEvent> events = hiddenHead_;
  for (int i = 0; i < actions->GetCount(); ++i) {
    MacroEvent e;
    if (i == actions->GetCurSel() || !RowEvent(actions->GetItemAt(i), e)) continue;
    auto* row = dynamic_cast<CContainerUI*>(actions->GetItemAt(i));
    if (CControlUI* box = row != nullptr ? row->FindSubControl(macroui::kDelayEdit) : nullptr)
      e.delay = static_cast<uint16_t>(LeadingNumber(std::string(box->GetText()), kMaxMacroDelay));
    events.push_back(e);
  }
  events.insert(events.end(), hiddenTail_.begin(), hiddenTail_.end());
  to = std::clamp(to, 0, static_cast<int>(events.size()));
  events.insert(events.begin() + to, moved);
  const int first = to - to % macroui::kShownRows;
  ShowWindow(std::move(events), first);
  actions->SelectItem(to - first, false, false);
}

void CMacroControlUI::MoveActionUp() {
  CListUI* a = ActionList();
  if (a == nullptr || a->GetCurSel() < 0) return;
  if (a->GetCurSel() > 0)
    MoveSelectedRow(a->GetCurSel() - 1);
  else if (!hiddenHead_.empty())
    MoveSelectedAction(GetFirstRowAction() - 1);
}
void CMacroControlUI::MoveActionDown() {
  CListUI* a = ActionList();
  if (a == nullptr || a->GetCurSel() < 0) return;
  if (a->GetCurSel() < a->GetCount() - 1)
    MoveSelectedRow(a->GetCurSel() + 1);
  else if (!hiddenTail_.empty())
    MoveSelectedAction(GetFirstRowAction() + a->GetCount());
}
void CMacroControlUI::MoveActionToTop() {
  CListUI* a = ActionList();
  if (a == nullptr || a->GetCurSel() < 0) return;
  if (!hiddenHead_.empty())
    MoveSelectedAction(0);
  else if (a->GetCurSel() > 0)
    MoveSelectedRow(0);
}
void CMacroControlUI::MoveActionToBottom() {
  CListUI* a = ActionList();
  if (a == nullptr || a->GetCurSel() < 0) return;
  if (!hiddenTail_.empty())
    MoveSelectedAction(GetActionCount() - 1);
  else if (a->GetCurSel() < a->GetCount() - 1)
    MoveSelectedRow(a->GetCount() - 1);
}
void CMacroControlUI::DeleteAction() {
  CListUI* a = ActionList();
  if (a == nullptr || a->GetCurSel() < 0) return;
  const int sel = a->GetCurSel();
  a->SelectItem(-1, false, false);
  a->RemoveAt(sel);
  // An emptied window shows the actions that are left.
  if (a->GetCount() == 0 && GetActionCount() > 0) ShowRowsFrom(GetFirstRowAction() - macroui::kShownRows);
  ShowHiddenCount();
}
void CMacroControlUI::DeleteAllActions() {
  hiddenHead_.clear();
  hiddenTail_.clear();
  ShowHiddenCount();
  if (CListUI* a = ActionList()) {
    a->SelectItem(-1, false, false);
    a->RemoveAll();
  }
}

void CMacroControlUI::InsertMouseAction(int message, int subCode) {
  CListUI* actions = ActionList();
  if (actions == nullptr) return;
  if (static_cast<std::size_t>(GetActionCount()) >= kMaxMacroEvents) {
    // A longer macro could be neither read back nor stored on the device.
    lastError_ = "a macro holds at most " + std::to_string(kMaxMacroEvents) + " actions";
    return;
  }
  lastError_.clear();
  MacroEvent e;
  uint8_t typeByte = 0;
  auto button = [&](uint8_t bit, bool down) {
    e.button = bit;
    typeByte = down ? 0x81 : 0x01;
  };
  switch (message) {
    case kMsgLeftDown: case kMsgLeftUp: button(1, message == kMsgLeftDown); break;
    case kMsgRightDown: case kMsgRightUp: button(2, message == kMsgRightDown); break;
    case kMsgMiddleDown: case kMsgMiddleUp: button(4, message == kMsgMiddleDown); break;
    case kMsgXDown: case kMsgXUp: button(subCode == 0 ? 16 : 8, message == kMsgXDown); break;
    case kMsgMouseMove: {
      if (subCode < 0 || subCode > 3) return;
      static constexpr uint8_t kMoveTypes[4] = {0x84, 0x04, 0x85, 0x05};
      typeByte = kMoveTypes[subCode];
      CControlUI* box = Child(macroui::kMoveEdits[subCode]);
      // A distance is one byte on the device: more than 255 is stored as 255, never wrapped.
      e.button = static_cast<uint8_t>(LeadingNumber(box == nullptr ? "" : std::string(box->GetText()), 255));
      break;
    }
    default: return;
  }
  e.down = (typeByte & 0x80) != 0;
  e.type = typeByte & 0x7F;
  e.delay = static_cast<uint16_t>(std::min<uint32_t>(fixedDelay_, kMaxMacroDelay));
  const int p = std::max(actions->GetCurSel(), 0);
  actions->SelectItem(-1, false, false);
  const int at = actions->GetCount() == 0 ? 0 : p + 1;
  actions->AddAt(MakeRow(e), at);
  actions->SelectItem(at, false, false);
  ShowHiddenCount();
  if (GetManager() != nullptr) GetManager()->SetTimer(this, kScrollTimer, 50);
}

void CMacroControlUI::SetEditingEnabled(bool enabled) {
  for (const char* name : {"macro_name_tab", macroui::kActionList}) {
    if (CControlUI* c = Child(name)) {
      c->SetMouseEnabled(enabled);
      if (auto* box = dynamic_cast<CContainerUI*>(c)) box->ForEach([enabled](CControlUI* k) { k->SetMouseEnabled(enabled); });
    }
  }
  for (const char* name : {"macro_tab_macroaction_edit", "macro_tab_macrodelay_edit"})
    if (CControlUI* c = Child(name)) c->SetEnabled(enabled);
  if (CControlUI* c = Child("macro_btn_starredio")) c->SetVisible(enabled);
  if (CControlUI* c = Child("macro_btn_stopredio")) c->SetVisible(!enabled);
  // The recording pad takes the place of the row commands.
  if (CControlUI* c = Child(kRecordPadName)) c->SetVisible(!enabled);
  for (const char* name : {"macro_row_buttons", macroui::kFixedDelayCheck, macroui::kFixedDelayEdit})
    if (CControlUI* c = Child(name)) c->SetEnabled(enabled);
  if (CControlUI* c = Child("macro_row_buttons")) c->SetVisible(enabled);
  if (CControlUI* c = Child("mouse_move_layout")) c->SetEnabled(enabled && GetSelectedMacro() >= 0);
}

bool CMacroControlUI::IsFixedDelayOn() const {
  auto* o = dynamic_cast<COptionUI*>(Child(macroui::kFixedDelayCheck));
  return o != nullptr && o->IsSelected();
}

void CMacroControlUI::ReadFixedDelay() {
  CControlUI* box = Child(macroui::kFixedDelayEdit);
  if (box == nullptr) return;
  const uint32_t v = LeadingNumber(std::string(box->GetText()), kMaxMacroDelay);
  if (v == fixedDelay_) return;
  box->SetText(std::to_string(v));
  fixedDelay_ = v;
}

void RegisterMacroControl() {
  CControlFactory::GetInstance().RegistControl("CMacroControlUI", [] { return static_cast<CControlUI*>(new CMacroControlUI()); });
}

}  // namespace korvale
