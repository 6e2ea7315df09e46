#include "ui/controls.h"

#include <algorithm>

#include "ui/paint_manager.h"

namespace korvale {

namespace {
// Inside the control, or anywhere when no layout has placed it yet.
bool Inside(const CControlUI* c, UiPoint p) { return c->GetPos().IsEmpty() || c->GetPos().Contains(p); }

// Counts UTF-8 code points, cutting after maxChars of them.
std::string CutUtf8(std::string_view s, int maxChars) {
  if (maxChars <= 0) return std::string(s);
  int count = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    if (count == maxChars) break;
    ++count;
    i = std::min(s.size(), i + len);
  }
  return std::string(s.substr(0, i));
}
}  // namespace

void CLabelUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  if (key == "font") {
    ParseInt(value, &font_);
  } else if (key == "align") {
    align_ = ToLower(value);
  } else if (key == "textpadding") {
    UiRect rc;
    if (ParseRect(value, &rc)) textPadding_ = rc;
  }
  CControlUI::SetAttribute(name, value);
}

void CLabelUI::SetFont(int font) {
  if (font_ == font) return;
  font_ = font;
  Changed(prop::kAttribute, "font");
}

void CButtonUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  DWORD color = 0;
  if (key == "normalimage") {
    SetNormalImage(value);
  } else if (key == "hotimage") {
    SetHotImage(value);
  } else if (key == "pushedimage") {
    SetPushedImage(value);
  } else if (key == "disabledimage") {
    SetDisabledImage(value);
  } else if (key == "foreimage") {
    SetForeImage(value);
  } else if (key == "hotbkcolor") {
    if (ParseColor(value, &color)) hotBkColor_ = color;
  } else if (key == "pushedbkcolor") {
    if (ParseColor(value, &color)) pushedBkColor_ = color;
  }
  CLabelUI::SetAttribute(name, value);
}

void CButtonUI::SetNormalImage(std::string_view image) {
  normalImage_ = CDuiString(image);
  Changed(prop::kImage, "normalimage");
}
void CButtonUI::SetHotImage(std::string_view image) {
  hotImage_ = CDuiString(image);
  Changed(prop::kImage, "hotimage");
}
void CButtonUI::SetPushedImage(std::string_view image) {
  pushedImage_ = CDuiString(image);
  Changed(prop::kImage, "pushedimage");
}
void CButtonUI::SetDisabledImage(std::string_view image) {
  disabledImage_ = CDuiString(image);
  Changed(prop::kImage, "disabledimage");
}
void CButtonUI::SetForeImage(std::string_view image) {
  if (foreImage_ == image) return;
  foreImage_ = CDuiString(image);
  Changed(prop::kImage, "foreimage");
}

const CDuiString& CButtonUI::GetStatusImage() const {
  if (!IsEnabled() && !disabledImage_.empty()) return disabledImage_;
  if (pushed_ && !pushedImage_.empty()) return pushedImage_;
  if (hot_ && !hotImage_.empty()) return hotImage_;
  return normalImage_;
}

void CButtonUI::SetHot(bool hot) {
  if (hot_ == hot) return;
  hot_ = hot;
  Changed(prop::kState, "hot");
}

void CButtonUI::SetPushed(bool pushed) {
  if (pushed_ == pushed) return;
  pushed_ = pushed;
  Changed(prop::kState, "pushed");
}

void CButtonUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UiEventType::MouseEnter:
      if (IsEnabled()) SetHot(true);
      return;
    case UiEventType::MouseLeave:
      SetHot(false);
      return;
    case UiEventType::ButtonDown:
    case UiEventType::DblClick:
      if (IsEnabled() && Inside(this, event.ptMouse)) SetPushed(true);
      return;
    case UiEventType::MouseMove:
      return;
    case UiEventType::ButtonUp:
      if (pushed_) {
        SetPushed(false);
        if (Inside(this, event.ptMouse)) Activate();
      }
      return;
    case UiEventType::KeyDown:
      if (event.chKey == ' ' || event.chKey == kVkReturn) {
        Activate();
        return;
      }
      break;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

bool CButtonUI::Activate() {
  if (!CLabelUI::Activate()) return false;
  Notify(notify::kClick);
  return true;
}

COptionUI::~COptionUI() {
  if (manager_ != nullptr && !group_.empty()) manager_->RemoveOptionGroup(group_, this);
}

namespace {

// The nearest ancestor that scopes option groups, or nullptr (the window).
const CControlUI* GroupScope(const CControlUI* c) {
  for (const CControlUI* up = c->GetParent(); up != nullptr; up = up->GetParent())
    if (up->ScopesOptionGroups()) return up;
  return nullptr;
}

}  // namespace

void COptionUI::Selected(bool selected, bool bTriggerEvent) {
  if (selected_ == selected) return;
  selected_ = selected;
  Changed(prop::kSelected);
  if (manager_ == nullptr) return;
  if (selected_ && !group_.empty()) {
    const CControlUI* scope = GroupScope(this);
    for (COptionUI* other : manager_->GetOptionGroup(group_)) {
      if (other != this && GroupScope(other) == scope) other->Selected(false, bTriggerEvent);
    }
  }
  // Only the option that became selected (or an ungrouped one) reports.
  if (bTriggerEvent && (group_.empty() || selected_)) {
    Notify(notify::kSelectChanged, selected_ ? 1 : 0, 0);
  }
}

void COptionUI::SetGroup(std::string_view group) {
  if (group_ == group) return;
  if (manager_ != nullptr && !group_.empty()) manager_->RemoveOptionGroup(group_, this);
  group_ = CDuiString(group);
  if (manager_ != nullptr && !group_.empty()) manager_->AddOptionGroup(group_, this);
}

bool COptionUI::Activate() {
  if (!CControlUI::Activate()) return false;
  // A click still reports "click" first, as pages listen for either.
  Notify(notify::kClick);
  if (!group_.empty()) {
    Selected(true);
  } else {
    Selected(!selected_);
  }
  return true;
}

void COptionUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  DWORD color = 0;
  if (key == "group") {
    SetGroup(value);
  } else if (key == "selected") {
    Selected(ParseBool(value), false);
  } else if (key == "selectedimage") {
    SetSelectedImage(value);
  } else if (key == "selectedbkcolor") {
    if (ParseColor(value, &color)) SetSelectedBkColor(color);
  } else if (key == "selectedtextcolor") {
    if (ParseColor(value, &color)) SetSelectedTextColor(color);
  }
  CButtonUI::SetAttribute(name, value);
}

void COptionUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool bInit) {
  if (manager_ != nullptr && manager_ != manager && !group_.empty()) manager_->RemoveOptionGroup(group_, this);
  CButtonUI::SetManager(manager, parent, bInit);
  if (manager_ != nullptr && !group_.empty()) manager_->AddOptionGroup(group_, this);
}

void COptionUI::SetSelectedBkColor(DWORD color) {
  selectedBkColor_ = color;
  Changed(prop::kColor, "selectedbkcolor");
}
void COptionUI::SetSelectedTextColor(DWORD color) {
  selectedTextColor_ = color;
  Changed(prop::kColor, "selectedtextcolor");
}
void COptionUI::SetSelectedImage(std::string_view image) {
  selectedImage_ = CDuiString(image);
  Changed(prop::kImage, "selectedimage");
}

// ---- edit ----

void CEditUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  int n = 0;
  if (key == "maxchar") {
    if (ParseInt(value, &n)) SetMaxChar(n);
  } else if (key == "numberonly") {
    SetNumberOnly(ParseBool(value));
  } else if (key == "readonly") {
    SetReadOnly(ParseBool(value));
  } else if (key == "password") {
    password_ = ParseBool(value);
  } else if (key == "minvalue" || key == "minnum") {
    if (ParseInt(value, &n)) SetMinValue(n);
  } else if (key == "maxvalue" || key == "maxnum") {
    if (ParseInt(value, &n)) SetMaxValue(n);
  }
  CLabelUI::SetAttribute(name, value);
}

void CEditUI::SetText(std::string_view text) { CLabelUI::SetText(CutUtf8(text, maxChar_)); }

void CEditUI::SetMaxChar(int maxChar) {
  if (maxChar <= 0) return;
  maxChar_ = maxChar;
  std::string cut = CutUtf8(GetRawText(), maxChar_);
  if (cut != GetRawText()) CLabelUI::SetText(cut);
}

void CEditUI::SetNumberOnly(bool numberOnly) { numberOnly_ = numberOnly; }
void CEditUI::SetReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  Changed(prop::kState, "readonly");
}
void CEditUI::SetMinValue(int v) { minValue_ = v; }
void CEditUI::SetMaxValue(int v) { maxValue_ = v; }

bool CEditUI::SetTextFromUser(std::string_view text) {
  if (readOnly_ || !IsEnabled()) return false;
  std::string accepted;
  if (numberOnly_) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      bool sign = c == '-' && accepted.empty() && HasValueRange() && minValue_ < 0;
      if ((c >= '0' && c <= '9') || sign) accepted.push_back(c);
    }
  } else {
    accepted = std::string(text);
  }
  accepted = CutUtf8(accepted, maxChar_);
  if (accepted == GetRawText()) return false;
  CLabelUI::SetText(accepted);
  Notify(notify::kTextChanged);
  return true;
}

bool CEditUI::ApplyRange() {
  if (!numberOnly_ || !HasValueRange()) return false;
  int v = 0;
  std::string text = GetRawText();
  if (!ParseInt(text, &v)) v = minValue_;
  v = std::clamp(v, minValue_, maxValue_);
  std::string clamped = std::to_string(v);
  if (clamped == text) return false;
  SetText(clamped);
  return true;
}

void CEditUI::ReturnFromUser() {
  if (!IsEnabled()) return;
  ApplyRange();
  Notify(notify::kReturn);
}

void CEditUI::DoEvent(TEventUI& event) {
  if (event.Type == UiEventType::KillFocus) {
    ApplyRange();
  } else if (event.Type == UiEventType::KeyDown && event.chKey == kVkReturn) {
    ReturnFromUser();
    return;
  }
  CLabelUI::DoEvent(event);
}

// ---- progress and slider ----

void CProgressUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  int n = 0;
  if (key == "min") {
    if (ParseInt(value, &n)) SetMinValue(n);
  } else if (key == "max") {
    if (ParseInt(value, &n)) SetMaxValue(n);
  } else if (key == "value") {
    if (ParseInt(value, &n)) SetValue(n);
  } else if (key == "hor") {
    horizontal_ = ParseBool(value);
  } else if (key == "foreimage") {
    SetForeImage(value);
  }
  CLabelUI::SetAttribute(name, value);
}

void CProgressUI::SetMinValue(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  Changed(prop::kRange);
  SetValue(value_);
}

void CProgressUI::SetMaxValue(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  Changed(prop::kRange);
  SetValue(value_);
}

void CProgressUI::SetValue(int v) {
  v = std::clamp(v, min_, max_);
  if (v == value_) return;
  value_ = v;
  Changed(prop::kValue);
}

void CProgressUI::SetForeImage(std::string_view image) {
  foreImage_ = CDuiString(image);
  Changed(prop::kImage, "foreimage");
}

void CSliderUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  int n = 0;
  if (key == "step") {
    if (ParseInt(value, &n) && n > 0) step_ = n;
  } else if (key == "thumbimage") {
    thumbImage_ = CDuiString(value);
  }
  CProgressUI::SetAttribute(name, value);
}

bool CSliderUI::SetValueFromUser(int v) {
  const int before = dragging_ ? dragStart_ : GetValue();
  dragging_ = false;
  if (!IsEnabled()) return false;
  SetValue(v);
  if (GetValue() == before) return false;
  Notify(notify::kValueChanged, static_cast<WPARAM>(GetValue()), before);
  return true;
}

bool CSliderUI::DragValueFromUser(int v) {
  if (!IsEnabled()) return false;
  if (!dragging_) {
    dragging_ = true;
    dragStart_ = GetValue();
  }
  const int before = GetValue();
  SetValue(v);
  if (GetValue() == before) return false;
  Notify(notify::kMoveValueChanged, static_cast<WPARAM>(GetValue()), before);
  return true;
}

// ---- list items ----

void CListLabelElementUI::SetSelectedState(bool selected) {
  if (IsSelected() == selected) return;
  IListItemUI::SetSelectedState(selected);
  Changed(prop::kSelected);
}

bool CListLabelElementUI::Activate() {
  if (!CControlUI::Activate()) return false;
  Notify(notify::kItemActivate);
  return true;
}

void CListLabelElementUI::DoEvent(TEventUI& event) {
  if (event.Type == UiEventType::ButtonDown || event.Type == UiEventType::RButtonDown) {
    if (IsEnabled()) {
      Notify(notify::kItemClick);
      if (GetOwner() != nullptr) GetOwner()->SelectItem(GetIndex(), true);
    }
    return;
  }
  if (event.Type == UiEventType::DblClick) {
    Activate();
    return;
  }
  CLabelUI::DoEvent(event);
}

void CListContainerElementUI::SetSelectedState(bool selected) {
  if (IsSelected() == selected) return;
  IListItemUI::SetSelectedState(selected);
  Changed(prop::kSelected);
}

bool CListContainerElementUI::Activate() {
  if (!CControlUI::Activate()) return false;
  Notify(notify::kItemActivate);
  return true;
}

bool CListContainerElementUI::Select(bool bTriggerEvent) {
  if (GetOwner() == nullptr) return false;
  return GetOwner()->SelectItem(GetIndex(), true, bTriggerEvent);
}

void CListContainerElementUI::SetHot(bool hot) {
  if (hot_ == hot) return;
  hot_ = hot;
  Changed(prop::kState, "hot");
}

void CListContainerElementUI::SetAttribute(std::string_view name, std::string_view value) {
  if (EqualsNoCase(name, "menu")) menu_ = ParseBool(value);
  CHorizontalLayoutUI::SetAttribute(name, value);
}

void CListContainerElementUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UiEventType::ButtonDown:
    case UiEventType::RButtonDown:
      if (IsEnabled()) {
        Notify(notify::kItemClick);
        Select();
      }
      return;
    case UiEventType::DblClick:
      Activate();
      return;
    case UiEventType::KeyDown:
      if (event.chKey == kVkReturn) {
        Activate();
        return;
      }
      break;
    case UiEventType::MouseEnter:
      if (IsEnabled()) SetHot(true);
      return;
    case UiEventType::MouseLeave:
      SetHot(false);
      return;
    case UiEventType::ContextMenu:
      if (menu_) Notify(notify::kMenu);
      return;
    default:
      break;
  }
  CHorizontalLayoutUI::DoEvent(event);
}

// ---- list ----

IListItemUI* CListUI::GetListItem(int index) const { return dynamic_cast<IListItemUI*>(GetItemAt(index)); }

void CListUI::Reindex() {
  for (int i = 0; i < GetCount(); ++i) {
    if (IListItemUI* item = GetListItem(i)) {
      item->SetIndex(i);
      item->SetOwner(this);
    }
  }
}

void CListUI::OnItemAdded(CControlUI* /*control*/, int index) {
  Reindex();
  if (curSel_ >= index) ++curSel_;
}

void CListUI::OnItemRemoved(CControlUI* control, int index) {
  if (IListItemUI* item = dynamic_cast<IListItemUI*>(control)) item->SetOwner(nullptr);
  Reindex();
  if (curSel_ == index) {
    curSel_ = -1;
  } else if (curSel_ > index) {
    --curSel_;
  }
}

bool CListUI::SelectItem(int index, bool bTakeFocus, bool bTriggerEvent) {
  // A bad index changes nothing; -1 clears the selection.
  if (index < -1 || index >= GetCount() || (index >= 0 && GetListItem(index) == nullptr)) return false;
  if (index == curSel_ && (index < 0 || GetListItem(index)->IsSelected()) && GetSelectedItems().size() <= 1) return true;
  int old = curSel_;
  for (int i = 0; i < GetCount(); ++i) {
    if (IListItemUI* item = GetListItem(i)) item->SetSelectedState(false);
  }
  curSel_ = -1;
  Changed(prop::kCurSel);
  if (index < 0) return true;
  GetListItem(index)->SetSelectedState(true);
  curSel_ = index;
  if (bTakeFocus) GetItemAt(index)->SetFocus();
  if (bTriggerEvent) Notify(notify::kItemSelect, static_cast<WPARAM>(curSel_), old);
  return true;
}

bool CListUI::SelectMultiItem(int index) {
  if (!multi_) return SelectItem(index);
  IListItemUI* item = GetListItem(index);
  if (item == nullptr) return false;
  if (item->IsSelected()) return true;
  int old = curSel_;
  item->SetSelectedState(true);
  curSel_ = index;
  Notify(notify::kItemSelect, static_cast<WPARAM>(curSel_), old);
  return true;
}

bool CListUI::UnSelectItem(int index) {
  IListItemUI* item = GetListItem(index);
  if (item == nullptr || !item->IsSelected()) return false;
  item->SetSelectedState(false);
  if (curSel_ == index) {
    curSel_ = -1;
    for (int i = 0; i < GetCount(); ++i) {
      if (IListItemUI* other = GetListItem(i); other != nullptr && other->IsSelected()) curSel_ = i;
    }
  }
  Changed(prop::kCurSel);
  return true;
}

std::vector<int> CListUI::GetSelectedItems() const {
  std::vector<int> out;
  for (int i = 0; i < GetCount(); ++i) {
    if (IListItemUI* item = GetListItem(i); item != nullptr && item->IsSelected()) out.push_back(i);
  }
  return out;
}

void CListUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  DWORD color = 0;
  if (key == "itemhotbkcolor" || key == "itemhotcolor") {
    if (ParseColor(value, &color)) hotColor_ = color;
  } else if (key == "multiselect") {
    multi_ = ParseBool(value);
  }
  CVerticalLayoutUI::SetAttribute(name, value);
}

// ---- combo ----

void CComboUI::Reindex() {
  for (int i = 0; i < GetCount(); ++i) {
    if (IListItemUI* item = dynamic_cast<IListItemUI*>(GetItemAt(i))) {
      item->SetIndex(i);
      item->SetOwner(this);
    }
  }
}

void CComboUI::OnItemAdded(CControlUI* /*control*/, int index) {
  Reindex();
  if (curSel_ >= index) ++curSel_;
  // "selectedid" may have come before the items.
  if (curSel_ < 0 && initialSel_ == index) SelectItem(index, false, false);
}

void CComboUI::OnItemRemoved(CControlUI* control, int index) {
  if (IListItemUI* item = dynamic_cast<IListItemUI*>(control)) item->SetOwner(nullptr);
  Reindex();
  if (curSel_ == index) {
    curSel_ = -1;
    Changed(prop::kCurSel);
  } else if (curSel_ > index) {
    --curSel_;
  }
}

bool CComboUI::SelectItem(int index, bool /*bTakeFocus*/, bool bTriggerEvent) {
  if (index == curSel_) return true;
  if (index >= GetCount() || index < -1) return false;
  int old = curSel_;
  if (IListItemUI* prev = dynamic_cast<IListItemUI*>(GetItemAt(curSel_))) prev->SetSelectedState(false);
  curSel_ = index;
  if (IListItemUI* item = dynamic_cast<IListItemUI*>(GetItemAt(curSel_))) item->SetSelectedState(true);
  Changed(prop::kCurSel);
  Changed(prop::kText);
  if (bTriggerEvent && index >= 0) Notify(notify::kItemSelect, static_cast<WPARAM>(curSel_), old);
  return true;
}

int CComboUI::AddString(std::string_view text, std::string_view userData) {
  auto* item = new CListLabelElementUI;
  item->SetText(text);
  item->SetUserData(userData);
  Add(item);
  return GetCount() - 1;
}

CDuiString CComboUI::GetItemText(int index) const {
  CControlUI* item = GetItemAt(index);
  return item == nullptr ? CDuiString() : item->GetText();
}

CDuiString CComboUI::GetText() const {
  if (curSel_ < 0) return CContainerUI::GetText();
  return GetItemText(curSel_);
}

void CComboUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  DWORD color = 0;
  int n = 0;
  if (key == "itemhotbkcolor" || key == "itemhotcolor") {
    if (ParseColor(value, &color)) hotColor_ = color;
  } else if (key == "selectedid") {
    if (ParseInt(value, &n)) {
      initialSel_ = n;
      if (n < GetCount()) SelectItem(n, false, false);
    }
  }
  CContainerUI::SetAttribute(name, value);
}

// ---- colour palette ----

void CColorPaletteUI::SetSelectColor(DWORD color) {
  if (color_ == color) return;
  color_ = color;
  Changed(prop::kColor, "selectcolor");
}

bool CColorPaletteUI::SetSelectColorFromUser(DWORD color) {
  dragging_ = false;
  if (!IsEnabled()) return false;
  SetSelectColor(color);
  Notify(notify::kColorChanged, color, 0);
  return true;
}

bool CColorPaletteUI::DragColorFromUser(DWORD color) {
  if (!IsEnabled()) return false;
  dragging_ = true;
  SetSelectColor(color);
  Notify(notify::kColorChanged, color, 0);
  return true;
}

void CColorPaletteUI::SetAttribute(std::string_view name, std::string_view value) {
  DWORD color = 0;
  if (EqualsNoCase(name, "selectcolor") && ParseColor(value, &color)) SetSelectColor(color);
  CControlUI::SetAttribute(name, value);
}

}  // namespace korvale
