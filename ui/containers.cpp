#include "ui/containers.h"

#include "ui/paint_manager.h"

namespace korvale {

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  // Children go first, while this container is still whole.
  std::vector<CControlUI*> items;
  items.swap(items_);
  for (CControlUI* c : items) delete c;
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return items_[static_cast<std::size_t>(index)];
}

int CContainerUI::GetItemIndex(const CControlUI* control) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i] == control) return static_cast<int>(i);
  }
  return -1;
}

bool CContainerUI::SetItemIndex(CControlUI* control, int index) {
  int from = GetItemIndex(control);
  if (from < 0 || index < 0 || index >= GetCount()) return false;
  if (from == index) return true;
  if (manager_ != nullptr) manager_->FireChildRemoved(this, control);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + index, control);
  OnItemRemoved(control, from);
  OnItemAdded(control, index);
  if (manager_ != nullptr) manager_->FireChildAdded(this, control, index);
  NeedUpdate();
  return true;
}

bool CContainerUI::Add(CControlUI* control) { return AddAt(control, GetCount()); }

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (control == nullptr) return false;
  if (index < 0 || index > GetCount()) index = GetCount();
  items_.insert(items_.begin() + index, control);
  control->SetManager(manager_, this, manager_ != nullptr);
  OnItemAdded(control, index);
  if (manager_ != nullptr) manager_->FireChildAdded(this, control, index);
  NeedUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* control, bool bDoNotDestroy) {
  return RemoveAt(GetItemIndex(control), bDoNotDestroy);
}

bool CContainerUI::RemoveAt(int index, bool bDoNotDestroy) {
  CControlUI* control = GetItemAt(index);
  if (control == nullptr) return false;
  if (manager_ != nullptr) manager_->FireChildRemoved(this, control);
  items_.erase(items_.begin() + index);
  OnItemRemoved(control, index);
  if (bDoNotDestroy) {
    // The caller owns it now; it no longer belongs to this window.
    if (manager_ != nullptr) {
      control->ForEach([this](CControlUI* c) { manager_->ReapControl(c); });
    }
    control->SetManager(nullptr, nullptr, false);
  } else {
    delete control;
  }
  NeedUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  while (!items_.empty()) RemoveAt(GetCount() - 1);
}

void CContainerUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  int n = 0;
  if (key == "inset") {
    ParseRect(value, &inset_);
    NeedUpdate();
  } else if (key == "childpadding") {
    if (ParseInt(value, &n)) childPadding_ = n;
    NeedUpdate();
  }
  CControlUI::SetAttribute(name, value);
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool bInit) {
  // Children first take the manager, so a container's DoInit sees them attached.
  for (CControlUI* c : items_) c->SetManager(manager, this, bInit);
  CControlUI::SetManager(manager, parent, bInit);
}

CControlUI* CContainerUI::FindControlByName(std::string_view name) {
  if (CControlUI* self = CControlUI::FindControlByName(name)) return self;
  return FindSubControl(name);
}

CControlUI* CContainerUI::FindSubControl(std::string_view name) {
  for (CControlUI* c : items_) {
    if (CControlUI* found = c->FindControlByName(name)) return found;
  }
  return nullptr;
}

void CContainerUI::ForEach(const std::function<void(CControlUI*)>& fn) {
  fn(this);
  // Copy: fn may not add or remove, but be safe against reentrant reads.
  std::vector<CControlUI*> items = items_;
  for (CControlUI* c : items) c->ForEach(fn);
}

bool CTabLayoutUI::SelectItem(int index, bool bTriggerEvent) {
  if (index < 0 || index >= GetCount()) return false;
  int old = curSel_;
  curSel_ = index;
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == index);
  if (old != index) {
    Changed(prop::kCurSel);
    if (bTriggerEvent) Notify(notify::kTabSelect, static_cast<WPARAM>(index), old);
  }
  return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* control, bool bTriggerEvent) {
  return SelectItem(GetItemIndex(control), bTriggerEvent);
}

void CTabLayoutUI::SetAttribute(std::string_view name, std::string_view value) {
  if (EqualsNoCase(name, "selectedid")) {
    int n = 0;
    if (ParseInt(value, &n)) {
      initialSel_ = n;
      SelectItem(n, false);
    }
  }
  CContainerUI::SetAttribute(name, value);
}

void CTabLayoutUI::DoInit() {
  // "selectedid" may have come before the pages did.
  if (initialSel_ >= 0 && initialSel_ < GetCount() && initialSel_ != curSel_) SelectItem(initialSel_, false);
}

void CTabLayoutUI::OnItemAdded(CControlUI* control, int index) {
  if (curSel_ < 0) {
    curSel_ = index;
    control->SetVisible(true);
    return;
  }
  if (index <= curSel_) ++curSel_;
  control->SetVisible(false);
}

void CTabLayoutUI::OnItemRemoved(CControlUI* /*control*/, int index) {
  if (index < curSel_) {
    --curSel_;
  } else if (index == curSel_) {
    curSel_ = -1;
    if (GetCount() > 0) SelectItem(index < GetCount() ? index : GetCount() - 1, false);
  }
}

}  // namespace korvale
