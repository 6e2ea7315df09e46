#include "ui/paint_manager.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "platform/paths.h"
#include "platform/trace.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace korvale {

namespace {
struct Globals {
  std::vector<CPaintManagerUI*> managers;
  int defaultDpi = 96;
  std::filesystem::path instance;
  std::filesystem::path resource;
  std::string zip;
};
Globals& G() {
  static Globals g;
  return g;
}

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}
}  // namespace

CPaintManagerUI::CPaintManagerUI() : life_(std::make_shared<char>(0)), dpi_(G().defaultDpi) {
  G().managers.push_back(this);
}

CPaintManagerUI::~CPaintManagerUI() {
  auto& m = G().managers;
  m.erase(std::remove(m.begin(), m.end(), this), m.end());
  for (const TimerEntry& t : timers_) GetUiLoop().KillTimer(t.key);
  timers_.clear();
  observers_.clear();
  notifiers_.clear();
  CControlUI* root = root_;
  root_ = nullptr;
  delete root;
}

void CPaintManagerUI::Init(CWindowWnd* window, std::string_view name) {
  window_ = window;
  name_ = std::string(name);
}

HWND CPaintManagerUI::GetPaintWindow() const { return window_ != nullptr ? window_->GetHWND() : 0; }

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
  if (root_ == root) return root != nullptr;
  CControlUI* old = root_;
  root_ = nullptr;
  focus_ = nullptr;
  delete old;
  root_ = root;
  attaching_ = true;
  if (root_ != nullptr) root_->SetManager(this, nullptr, true);
  attaching_ = false;
  ForEachObserver([&](IControlObserver* o) { o->OnRootChanged(this, root_); });
  NeedUpdate();
  return root_ != nullptr;
}

CControlUI* CPaintManagerUI::FindControl(std::string_view name) const {
  if (root_ == nullptr || name.empty()) return nullptr;
  return root_->FindControlByName(name);
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, std::string_view name) const {
  auto* container = dynamic_cast<CContainerUI*>(parent);
  if (container == nullptr || name.empty()) return nullptr;
  return container->FindSubControl(name);
}

std::vector<CControlUI*> CPaintManagerUI::FindSubControlsByClass(CControlUI* parent, std::string_view cls) const {
  std::vector<CControlUI*> out;
  if (parent == nullptr) return out;
  parent->ForEach([&](CControlUI* c) {
    if (c != parent && c->IsClass(cls)) out.push_back(c);
  });
  return out;
}

void CPaintManagerUI::SendNotify(CControlUI* control, std::string_view type, WPARAM wParam, LPARAM lParam,
                                 bool bAsync) {
  TNotifyUI msg;
  msg.sType = CDuiString(type);
  msg.pSender = control;
  msg.wParam = wParam;
  msg.lParam = lParam;
  SendNotify(msg, bAsync);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool bAsync) {
  msg.dwTimestamp = NowMs();
  if (msg.pSender != nullptr && msg.sVirtualWnd.empty()) msg.sVirtualWnd = msg.pSender->GetVirtualWnd();
  if (!bAsync) {
    Deliver(msg);
    return;
  }
  std::weak_ptr<char> self = life_;
  std::weak_ptr<void> sender;
  if (msg.pSender != nullptr) sender = msg.pSender->Lifetime();
  bool hasSender = msg.pSender != nullptr;
  GetUiLoop().Post([this, self, sender, hasSender, copy = msg]() mutable {
    if (self.expired() || (hasSender && sender.expired())) return;
    Deliver(copy);
  });
}

void CPaintManagerUI::Deliver(TNotifyUI& msg) {
  std::weak_ptr<void> sender;
  if (msg.pSender != nullptr) {
    sender = msg.pSender->Lifetime();
    msg.pSender->RunOnNotify(msg);
  }
  std::weak_ptr<char> self = life_;
  auto notifiers = notifiers_;
  for (INotifyUI* n : notifiers) {
    // A handler may destroy the sender, the window, or remove a notifier.
    if (self.expired()) return;
    if (msg.pSender != nullptr && sender.expired()) return;
    if (std::find(notifiers_.begin(), notifiers_.end(), n) == notifiers_.end()) continue;
    n->Notify(msg);
  }
}

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  if (notifier == nullptr) return false;
  if (std::find(notifiers_.begin(), notifiers_.end(), notifier) != notifiers_.end()) return false;
  notifiers_.push_back(notifier);
  return true;
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  auto it = std::find(notifiers_.begin(), notifiers_.end(), notifier);
  if (it == notifiers_.end()) return false;
  notifiers_.erase(it);
  return true;
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT id, UINT elapseMs) {
  if (control == nullptr) return false;
  UiLoop::TimerKey key = 0;
  for (const TimerEntry& t : timers_) {
    if (t.control == control && t.id == id) key = t.key;
  }
  if (key == 0) {
    key = UiLoop::NewTimerKey();
    timers_.push_back(TimerEntry{control, id, key});
  }
  std::weak_ptr<void> life = control->Lifetime();
  GetUiLoop().SetTimer(key, elapseMs, [life, control, id] {
    if (life.expired()) return;
    TEventUI ev;
    ev.Type = UiEventType::Timer;
    ev.pSender = control;
    ev.wParam = id;
    control->DoEvent(ev);
  });
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->control == control && it->id == id) {
      GetUiLoop().KillTimer(it->key);
      timers_.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::KillTimer(CControlUI* control) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->control == control) {
      GetUiLoop().KillTimer(it->key);
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

bool CPaintManagerUI::HasTimer(CControlUI* control, UINT id) const {
  for (const TimerEntry& t : timers_) {
    if (t.control == control && t.id == id) return true;
  }
  return false;
}

void CPaintManagerUI::AddObserver(IControlObserver* observer) {
  if (observer != nullptr && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void CPaintManagerUI::RemoveObserver(IControlObserver* observer) {
  // While observers are being told, the entry is emptied, not erased: the
  // walk goes on by index (no copy of the list per notice, which came for
  // every key light of every frame).
  if (notifying_ > 0) {
    std::replace(observers_.begin(), observers_.end(), observer, static_cast<IControlObserver*>(nullptr));
    return;
  }
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void CPaintManagerUI::NeedUpdate() {
  needUpdate_ = true;
  ForEachObserver([&](IControlObserver* o) { o->OnNeedUpdate(this); });
}

void CPaintManagerUI::Invalidate(CControlUI* control) {
  ForEachObserver([&](IControlObserver* o) { o->OnInvalidate(control); });
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (focus_ == control) return;
  CControlUI* old = focus_;
  focus_ = control;
  if (old != nullptr) {
    TEventUI ev;
    ev.Type = UiEventType::KillFocus;
    ev.pSender = old;
    old->DoEvent(ev);
  }
  if (control != nullptr && focus_ == control) {
    TEventUI ev;
    ev.Type = UiEventType::SetFocus;
    ev.pSender = control;
    control->DoEvent(ev);
  }
}

bool CPaintManagerUI::IsValidDPI(int dpi) { return dpi >= 48 && dpi <= 192 && dpi % 24 == 0; }

void CPaintManagerUI::SetDPI(int dpi) {
  int v = IsValidDPI(dpi) ? dpi : 96;
  if (v == dpi_) return;
  dpi_ = v;
  NeedUpdate();
}

void CPaintManagerUI::SetAllDPI(int dpi) {
  G().defaultDpi = IsValidDPI(dpi) ? dpi : 96;
  auto managers = G().managers;
  for (CPaintManagerUI* m : managers) m->SetDPI(dpi);
}

void CPaintManagerUI::ResetDPIAssets() { NeedUpdate(); }

void CPaintManagerUI::AddOptionGroup(std::string_view group, COptionUI* option) {
  auto& v = optionGroups_[ToLower(group)];
  if (std::find(v.begin(), v.end(), option) == v.end()) v.push_back(option);
}

void CPaintManagerUI::RemoveOptionGroup(std::string_view group, COptionUI* option) {
  auto it = optionGroups_.find(ToLower(group));
  if (it == optionGroups_.end()) return;
  auto& v = it->second;
  v.erase(std::remove(v.begin(), v.end(), option), v.end());
  if (v.empty()) optionGroups_.erase(it);
}

std::vector<COptionUI*> CPaintManagerUI::GetOptionGroup(std::string_view group) const {
  auto it = optionGroups_.find(ToLower(group));
  return it == optionGroups_.end() ? std::vector<COptionUI*>() : it->second;
}

void CPaintManagerUI::AddDefaultAttributeList(std::string_view cls, std::string_view list) {
  defaultAttrs_[ToLower(cls)] = std::string(list);
}

std::string CPaintManagerUI::GetDefaultAttributeList(std::string_view cls) const {
  auto it = defaultAttrs_.find(ToLower(cls));
  return it == defaultAttrs_.end() ? std::string() : it->second;
}

void CPaintManagerUI::AddFont(const TFontInfo& font) {
  for (TFontInfo& f : fonts_) {
    if (f.id == font.id) {
      f = font;
      return;
    }
  }
  fonts_.push_back(font);
}

const TFontInfo* CPaintManagerUI::GetFont(int id) const {
  for (const TFontInfo& f : fonts_) {
    if (f.id == id) return &f;
  }
  return nullptr;
}

void CPaintManagerUI::SetWindowAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  windowAttrs_[key] = std::string(value);
  if (key == "size") ParseSize(value, &initSize_);
}

std::string CPaintManagerUI::GetWindowAttribute(std::string_view name) const {
  auto it = windowAttrs_.find(ToLower(name));
  return it == windowAttrs_.end() ? std::string() : it->second;
}

void CPaintManagerUI::SetInstance(const std::filesystem::path& instanceDir) { G().instance = instanceDir; }

std::filesystem::path CPaintManagerUI::GetInstancePath() {
  if (G().instance.empty()) return ExecutableDir();
  return G().instance;
}

void CPaintManagerUI::SetResourcePath(const std::filesystem::path& path) { G().resource = path; }

std::filesystem::path CPaintManagerUI::GetResourcePath() {
  if (G().resource.empty()) return InstallDataDir() / "skin";
  return G().resource;
}

void CPaintManagerUI::SetResourceZip(std::string_view zipName, bool /*cached*/) {
  G().zip = std::string(zipName);
  if (!G().zip.empty()) Trace("skin archive %s ignored: skins are read from folders", G().zip.c_str());
}

std::string CPaintManagerUI::GetResourceZip() { return G().zip; }

int CPaintManagerUI::MessageLoop() { return GetUiLoop().Run(); }

std::vector<CPaintManagerUI*> CPaintManagerUI::GetManagers() { return G().managers; }

void CPaintManagerUI::FirePropertyChanged(CControlUI* control, const std::string& property,
                                          const std::string& detail) {
  if (observers_.empty() || attaching_) return;
  ForEachObserver([&](IControlObserver* o) { o->OnPropertyChanged(control, property, detail); });
}

void CPaintManagerUI::FireChildAdded(CContainerUI* parent, CControlUI* child, int index) {
  if (attaching_) return;
  ForEachObserver([&](IControlObserver* o) { o->OnChildAdded(parent, child, index); });
}

void CPaintManagerUI::FireChildRemoved(CContainerUI* parent, CControlUI* child) {
  if (attaching_) return;
  ForEachObserver([&](IControlObserver* o) { o->OnChildRemoved(parent, child); });
}

void CPaintManagerUI::ReapControl(CControlUI* control) {
  KillTimer(control);
  if (focus_ == control) focus_ = nullptr;
  // Under destruction the cast fails; ~COptionUI has left its group already.
  if (auto* option = dynamic_cast<COptionUI*>(control)) {
    for (auto it = optionGroups_.begin(); it != optionGroups_.end();) {
      auto& v = it->second;
      v.erase(std::remove(v.begin(), v.end(), option), v.end());
      it = v.empty() ? optionGroups_.erase(it) : std::next(it);
    }
  }
  if (root_ == control) root_ = nullptr;
}

}  // namespace korvale
