#include "ui/control.h"

#include <cstdlib>

#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace korvale {

CControlUI::CControlUI() : life_(std::make_shared<char>(0)) {}

CControlUI::~CControlUI() {
  if (manager_ != nullptr) manager_->ReapControl(this);
}

void CControlUI::SetName(std::string_view name) {
  if (name_ == name) return;
  name_ = CDuiString(name);
  Changed(prop::kName);
}

CDuiString CControlUI::GetText() const {
  if (resourceText_) {
    if (const std::string* word = CResourceManager::GetInstance().FindText(text_)) return *word;
  }
  return text_;
}

void CControlUI::SetText(std::string_view text) {
  if (text_ == text) return;
  text_ = CDuiString(text);
  Changed(prop::kText);
}

CDuiString CControlUI::GetToolTip() const {
  if (resourceText_) {
    if (const std::string* word = CResourceManager::GetInstance().FindText(toolTip_)) return *word;
  }
  return toolTip_;
}

void CControlUI::SetToolTip(std::string_view tip) {
  if (toolTip_ == tip) return;
  toolTip_ = CDuiString(tip);
  Changed(prop::kToolTip);
}

void CControlUI::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (!visible && manager_ != nullptr && manager_->GetFocus() != nullptr) {
    // A hidden control cannot keep the focus.
    for (CControlUI* c = manager_->GetFocus(); c != nullptr; c = c->GetParent()) {
      if (c == this) {
        manager_->SetFocus(nullptr);
        break;
      }
    }
  }
  Changed(prop::kVisible);
  NeedUpdate();
}

bool CControlUI::IsShown() const {
  for (const CControlUI* c = this; c != nullptr; c = c->parent_) {
    if (!c->visible_) return false;
  }
  return true;
}

void CControlUI::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed(prop::kEnabled);
}

void CControlUI::SetFocus() {
  if (manager_ != nullptr) manager_->SetFocus(this);
}

void CControlUI::SetBkColor(DWORD color) {
  if (bkColor_ == color) return;
  bkColor_ = color;
  Changed(prop::kBkColor);
}

void CControlUI::SetBkImage(std::string_view image) {
  if (bkImage_ == image) return;
  bkImage_ = CDuiString(image);
  Changed(prop::kBkImage);
}

void CControlUI::SetTextColor(DWORD color) {
  if (textColor_ == color) return;
  textColor_ = color;
  Changed(prop::kColor, "textcolor");
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0 || fixedSize_.cx == cx) return;
  fixedSize_.cx = cx;
  attrs_["width"] = std::to_string(cx);
  NeedUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0 || fixedSize_.cy == cy) return;
  fixedSize_.cy = cy;
  attrs_["height"] = std::to_string(cy);
  NeedUpdate();
}

void CControlUI::SetPadding(const UiRect& padding) {
  padding_ = padding;
  NeedUpdate();
}

void CControlUI::SetFloat(bool floating) {
  if (float_ == floating) return;
  float_ = floating;
  attrs_["float"] = floating ? "true" : "false";
  NeedUpdate();
}

void CControlUI::SetFixedXY(const UiRect& pos) {
  fixedPos_ = pos;
  if (pos.Width() > 0) fixedSize_.cx = pos.Width();
  if (pos.Height() > 0) fixedSize_.cy = pos.Height();
  NeedUpdate();
}

void CControlUI::SetMouseEnabled(bool enabled) {
  if (mouseEnabled_ == enabled) return;
  mouseEnabled_ = enabled;
  Changed(prop::kState, "mouse");
}

void CControlUI::SetPos(const UiRect& rc) {
  if (pos_ == rc) return;
  pos_ = rc;
  Changed(prop::kPos);
}

void CControlUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  attrs_[key] = std::string(value);
  int n = 0;
  DWORD color = 0;
  UiRect rc;
  if (key == "name") {
    SetName(value);
  } else if (key == "text") {
    SetText(value);
  } else if (key == "tooltip") {
    SetToolTip(value);
  } else if (key == "userdata") {
    SetUserData(value);
  } else if (key == "tag") {
    if (ParseInt(value, &n)) SetTag(static_cast<std::uintptr_t>(n));
  } else if (key == "visible") {
    SetVisible(ParseBool(value));
  } else if (key == "enabled") {
    SetEnabled(ParseBool(value));
  } else if (key == "bkcolor") {
    if (ParseColor(value, &color)) SetBkColor(color);
  } else if (key == "bkimage") {
    SetBkImage(value);
  } else if (key == "textcolor") {
    if (ParseColor(value, &color)) SetTextColor(color);
  } else if (key == "width") {
    if (ParseInt(value, &n)) SetFixedWidth(n);
  } else if (key == "height") {
    if (ParseInt(value, &n)) SetFixedHeight(n);
  } else if (key == "minwidth") {
    if (ParseInt(value, &n)) minSize_.cx = n;
  } else if (key == "minheight") {
    if (ParseInt(value, &n)) minSize_.cy = n;
  } else if (key == "maxwidth") {
    if (ParseInt(value, &n)) maxSize_.cx = n;
  } else if (key == "maxheight") {
    if (ParseInt(value, &n)) maxSize_.cy = n;
  } else if (key == "padding") {
    if (ParseRect(value, &rc)) SetPadding(rc);
  } else if (key == "float") {
    SetFloat(ParseBool(value));
  } else if (key == "pos") {
    // A "pos" also gives the size, as skins expect.
    if (ParseRect(value, &rc)) SetFixedXY(rc);
  } else if (key == "mouse") {
    SetMouseEnabled(ParseBool(value));
  } else if (key == "resourcetext") {
    resourceText_ = ParseBool(value);
  } else {
    Changed(prop::kAttribute, key);
  }
}

std::string CControlUI::GetAttribute(std::string_view name) const {
  auto it = attrs_.find(ToLower(name));
  return it == attrs_.end() ? std::string() : it->second;
}

bool CControlUI::HasAttribute(std::string_view name) const { return attrs_.count(ToLower(name)) != 0; }

void CControlUI::ApplyAttributeList(std::string_view list) {
  std::size_t i = 0;
  auto skipSpace = [&] {
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t' || list[i] == '\r' || list[i] == '\n')) ++i;
  };
  for (;;) {
    skipSpace();
    if (i >= list.size()) return;
    std::size_t eq = list.find('=', i);
    if (eq == std::string_view::npos) return;
    std::string_view key = list.substr(i, eq - i);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    i = eq + 1;
    skipSpace();
    if (i >= list.size() || (list[i] != '"' && list[i] != '\'')) return;
    char quote = list[i++];
    std::size_t end = list.find(quote, i);
    if (end == std::string_view::npos) return;
    SetAttribute(key, list.substr(i, end - i));
    i = end + 1;
  }
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool bInit) {
  manager_ = manager;
  parent_ = parent;
  if (bInit && manager_ != nullptr) Init();
}

void CControlUI::Init() {
  if (inited_) return;
  inited_ = true;
  DoInit();
}

CControlUI* CControlUI::FindControlByName(std::string_view name) {
  return EqualsNoCase(name_, name) ? this : nullptr;
}

void CControlUI::ForEach(const std::function<void(CControlUI*)>& fn) { fn(this); }

void CControlUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UiEventType::SetFocus:
      focused_ = true;
      Notify(notify::kSetFocus);
      break;
    case UiEventType::KillFocus:
      focused_ = false;
      Notify(notify::kKillFocus);
      break;
    case UiEventType::Timer:
      Notify(notify::kTimer, event.wParam, event.lParam);
      break;
    case UiEventType::ContextMenu:
      if (ParseBool(GetAttribute("menu"))) Notify(notify::kMenu, event.wParam, event.lParam);
      break;
    default:
      if (parent_ != nullptr && event.Type != UiEventType::MouseEnter && event.Type != UiEventType::MouseLeave) {
        parent_->DoEvent(event);
      }
      break;
  }
}

bool CControlUI::Activate() { return IsShown() && IsEnabled(); }

void CControlUI::Invalidate() {
  if (manager_ != nullptr) manager_->Invalidate(this);
}

void CControlUI::NeedUpdate() {
  if (manager_ != nullptr) manager_->NeedUpdate();
}

void CControlUI::RunOnNotify(TNotifyUI& msg) {
  // Handlers may add handlers; iterate over a snapshot.
  auto handlers = onNotify_;
  for (auto& h : handlers) h(msg);
}

CDuiString CControlUI::GetVirtualWnd() const {
  for (const CControlUI* c = this; c != nullptr; c = c->parent_) {
    auto it = c->attrs_.find("virtualwnd");
    if (it != c->attrs_.end() && !it->second.empty()) return it->second;
  }
  return {};
}

void CControlUI::Changed(const std::string& property, const std::string& detail) {
  if (manager_ != nullptr) manager_->FirePropertyChanged(this, property, detail);
}

void CControlUI::Notify(const char* type, WPARAM wParam, LPARAM lParam) {
  if (manager_ != nullptr) manager_->SendNotify(this, type, wParam, lParam);
}

}  // namespace korvale
