#include "ui/window.h"

#include <mutex>

#include "platform/trace.h"

namespace korvale {

namespace {
struct WindowRegistry {
  std::mutex lock;
  std::map<HWND, CWindowWnd*> windows;
  HWND next = 1;
  IWindowObserver* observer = nullptr;
  UiSize screen{1920, 1080};
};
WindowRegistry& R() {
  static WindowRegistry* r = new WindowRegistry;  // outlives windows destroyed at exit
  return *r;
}
}  // namespace

CWindowWnd* CWindowWnd::FromHandle(HWND hwnd) {
  std::lock_guard<std::mutex> g(R().lock);
  auto it = R().windows.find(hwnd);
  return it == R().windows.end() ? nullptr : it->second;
}

bool IsWindow(HWND hwnd) { return hwnd != 0 && CWindowWnd::FromHandle(hwnd) != nullptr; }

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, std::uint32_t timeoutMs) {
  UiLoop& loop = GetUiLoop();
  if (loop.IsUiThread()) {
    CWindowWnd* w = CWindowWnd::FromHandle(hwnd);
    return w == nullptr ? 0 : w->Dispatch(msg, wParam, lParam);
  }
  if (!IsWindow(hwnd)) return 0;
  LRESULT result = 0;
  bool ok = loop.Send(
      [&] {
        if (CWindowWnd* w = CWindowWnd::FromHandle(hwnd)) result = w->Dispatch(msg, wParam, lParam);
      },
      timeoutMs);
  return ok ? result : 0;
}

namespace {
// Set only while SendCopyData's WM_COPYDATA runs on the UI thread.
const CopyDataView* g_copyData = nullptr;
}  // namespace

LRESULT SendCopyData(HWND hwnd, std::uint64_t dwData, const std::uint8_t* data, std::size_t size,
                     std::uint32_t timeoutMs) {
  const CopyDataView view{dwData, data, size};
  LRESULT result = 0;
  auto deliver = [&] {
    CWindowWnd* w = CWindowWnd::FromHandle(hwnd);
    if (w == nullptr) return;
    const CopyDataView* outer = g_copyData;
    g_copyData = &view;
    result = w->Dispatch(wm::kCopyData, 0, 0);
    g_copyData = outer;
  };
  UiLoop& loop = GetUiLoop();
  if (loop.IsUiThread()) {
    deliver();
    return result;
  }
  if (!IsWindow(hwnd)) return 0;
  return loop.Send(deliver, timeoutMs) ? result : 0;
}

const CopyDataView* CurrentCopyData() { return g_copyData; }

bool PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsWindow(hwnd)) return false;
  GetUiLoop().Post([hwnd, msg, wParam, lParam] {
    if (CWindowWnd* w = CWindowWnd::FromHandle(hwnd)) w->Dispatch(msg, wParam, lParam);
  });
  return true;
}

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd() { ReleaseWindow(); }

void CWindowWnd::ReleaseWindow() {
  if (hwnd_ == 0) return;
  for (auto& [id, key] : timers_) GetUiLoop().KillTimer(key);
  timers_.clear();
  if (announced_) {
    if (IWindowObserver* o = GetObserver()) o->OnWindowDestroyed(this);
  }
  {
    std::lock_guard<std::mutex> g(R().lock);
    R().windows.erase(hwnd_);
  }
  hwnd_ = 0;
  visible_ = false;
  announced_ = false;
  if (modalState_) {
    modalState_->done = true;
    modalState_->result = closeResult_;
    modalState_.reset();
  }
  modal_ = false;
}

HWND CWindowWnd::Create(HWND parent, std::string_view name, UINT /*style*/, UINT /*exStyle*/, UiRect rc) {
  if (hwnd_ != 0) return 0;
  {
    std::lock_guard<std::mutex> g(R().lock);
    hwnd_ = R().next++;
    R().windows[hwnd_] = this;
  }
  parent_ = parent;
  name_ = std::string(name);
  title_ = name_;
  rect_ = rc;
  HWND self = hwnd_;
  Dispatch(wm::kCreate, 0, 0);
  if (!IsWindow(self)) return 0;  // destroyed while creating
  announced_ = true;
  if (IWindowObserver* o = GetObserver()) o->OnWindowCreated(this);
  return hwnd_;
}

void CWindowWnd::ShowWindow(bool show, bool /*takeFocus*/) {
  if (hwnd_ == 0) return;
  const bool wasMinimized = minimized_;
  minimized_ = false;
  if (visible_ == show) {
    if (wasMinimized && announced_)
      if (IWindowObserver* o = GetObserver()) o->OnWindowMinimized(this, false);
    return;
  }
  visible_ = show;
  if (!announced_) return;
  if (IWindowObserver* o = GetObserver()) o->OnWindowShown(this, show);
}

void CWindowWnd::Minimize() {
  if (hwnd_ == 0 || minimized_) return;
  ShowWindow(true);
  minimized_ = true;
  if (!announced_) return;
  if (IWindowObserver* o = GetObserver()) o->OnWindowMinimized(this, true);
}

int CWindowWnd::ShowModal() {
  if (hwnd_ == 0) return -1;
  HWND self = hwnd_;
  HWND owner = parent_;
  auto state = std::make_shared<ModalState>();
  modalState_ = state;
  modal_ = true;
  if (CWindowWnd* o = FromHandle(owner)) o->EnableWindow(false);
  ShowWindow(true);
  GetUiLoop().RunUntil([state] { return state->done; });
  // The window may be gone (and deleted) by now: only handles from here on.
  if (CWindowWnd* o = FromHandle(owner)) o->EnableWindow(true);
  if (state->done) return state->result;
  if (CWindowWnd* w = FromHandle(self)) {
    w->modal_ = false;
    w->modalState_.reset();
  }
  return -1;
}

void CWindowWnd::Close(UINT ret) { PostMessage(wm::kClose, ret, 0); }

void CWindowWnd::DestroyWindow() {
  if (hwnd_ == 0) return;
  HWND h = hwnd_;
  Dispatch(wm::kDestroy, 0, 0);
  if (!IsWindow(h)) return;  // a handler destroyed it already
  ReleaseWindow();
  OnFinalMessage(h);  // may delete this
}

void CWindowWnd::CenterWindow() {
  UiRect ref{0, 0, R().screen.cx, R().screen.cy};
  if (CWindowWnd* o = FromHandle(parent_); o != nullptr && !o->GetWindowRect().IsEmpty()) ref = o->GetWindowRect();
  int w = rect_.Width();
  int h = rect_.Height();
  int left = ref.left + (ref.Width() - w) / 2;
  int top = ref.top + (ref.Height() - h) / 2;
  MoveWindow(UiRect{left, top, left + w, top + h});
}

void CWindowWnd::MoveWindow(const UiRect& rect) {
  if (rect_ == rect) return;
  bool resized = rect_.Width() != rect.Width() || rect_.Height() != rect.Height();
  rect_ = rect;
  if (!announced_) return;
  if (IWindowObserver* o = GetObserver()) o->OnWindowMoved(this, rect_);
  if (resized) SendWindowSize();
}

void CWindowWnd::SendWindowSize() {
  CPaintManagerUI* pm = GetManager();
  if (pm == nullptr || pm->GetRoot() == nullptr) return;
  pm->NeedUpdate();
  pm->SendNotify(pm->GetRoot(), notify::kWindowSize, 0, 0, true);
}

void CWindowWnd::SetWindowText(std::string_view title) {
  title_ = std::string(title);
  if (announced_) {
    if (IWindowObserver* o = GetObserver()) o->OnWindowTitleChanged(this);
  }
}

void CWindowWnd::EnableWindow(bool enable) {
  if (enabled_ == enable) return;
  enabled_ = enable;
  if (announced_) {
    if (IWindowObserver* o = GetObserver()) o->OnWindowEnabled(this, enable);
  }
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(hwnd_, msg, wParam, lParam);
}

bool CWindowWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(hwnd_, msg, wParam, lParam);
}

bool CWindowWnd::SetTimer(UINT id, UINT elapseMs) {
  if (hwnd_ == 0) return false;
  auto it = timers_.find(id);
  UiLoop::TimerKey key = it == timers_.end() ? UiLoop::NewTimerKey() : it->second;
  timers_[id] = key;
  HWND h = hwnd_;
  GetUiLoop().SetTimer(key, elapseMs, [h, id] {
    if (CWindowWnd* w = FromHandle(h)) w->Dispatch(wm::kTimer, id, 0);
  });
  return true;
}

bool CWindowWnd::KillTimer(UINT id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  GetUiLoop().KillTimer(it->second);
  timers_.erase(it);
  return true;
}

LRESULT CWindowWnd::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == wm::kClose) closeResult_ = static_cast<int>(wParam);
  return HandleMessage(msg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM /*wParam*/, LPARAM /*lParam*/) {
  if (msg == wm::kClose) DestroyWindow();
  return 0;
}

void CWindowWnd::SetObserver(IWindowObserver* observer) {
  std::lock_guard<std::mutex> g(R().lock);
  R().observer = observer;
}

IWindowObserver* CWindowWnd::GetObserver() {
  std::lock_guard<std::mutex> g(R().lock);
  return R().observer;
}

void CWindowWnd::SetScreenSize(UiSize size) { R().screen = size; }
UiSize CWindowWnd::GetScreenSize() { return R().screen; }

// ---- notification routing ----

void CNotifyPump::AddNotifyHandler(std::string_view type, Handler handler) {
  entries_.push_back(Entry{std::string(type), {}, std::move(handler)});
}

void CNotifyPump::AddNotifyHandler(std::string_view type, std::string_view controlName, Handler handler) {
  entries_.push_back(Entry{std::string(type), ToLower(controlName), std::move(handler)});
}

bool CNotifyPump::AddVirtualWnd(std::string_view name, CNotifyPump* pump) {
  if (pump == nullptr || pump == this || name.empty()) return false;
  return virtualWnds_.emplace(ToLower(name), pump).second;
}

bool CNotifyPump::RemoveVirtualWnd(std::string_view name) { return virtualWnds_.erase(ToLower(name)) != 0; }

bool CNotifyPump::NotifyPump(TNotifyUI& msg) {
  if (!msg.sVirtualWnd.empty()) {
    auto it = virtualWnds_.find(ToLower(msg.sVirtualWnd));
    if (it != virtualWnds_.end()) return it->second->NotifyPump(msg);
  }
  std::string sender = msg.pSender != nullptr ? ToLower(msg.pSender->GetName()) : std::string();
  for (const Entry& e : entries_) {
    if (!e.name.empty() && e.type == msg.sType && e.name == sender) {
      Handler h = e.handler;  // the handler may add entries
      h(msg);
      return true;
    }
  }
  for (const Entry& e : entries_) {
    if (e.name.empty() && e.type == msg.sType) {
      Handler h = e.handler;
      h(msg);
      return true;
    }
  }
  return false;
}

// ---- skinned window ----

WindowImplBase::WindowImplBase() {
  AddNotifyHandler(notify::kClick, [this](TNotifyUI& msg) { OnClick(msg); });
}

WindowImplBase::~WindowImplBase() {
  // Tell the renderer while the controls still exist.
  ReleaseWindow();
  m_pm.RemoveNotifier(this);
}

void WindowImplBase::OnClick(TNotifyUI& msg) {
  if (msg.pSender != nullptr && EqualsNoCase(msg.pSender->GetName(), "closebtn")) Close();
}

void WindowImplBase::Notify(TNotifyUI& msg) { NotifyPump(msg); }

CControlUI* WindowImplBase::CreateControl(std::string_view /*pstrClass*/) { return nullptr; }

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
  // The low four bits are the system's own.
  switch (wParam & 0xFFF0) {
    case SC_MINIMIZE:
      Minimize();
      break;
    case SC_RESTORE:
      ShowWindow(true);
      break;
    default:
      bHandled = false;
      return 0;
  }
  bHandled = true;
  return 0;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = true;
  m_pm.Init(this, GetWindowClassName());
  CControlUI* root = nullptr;
  std::string skin = GetSkinFile();
  if (!skin.empty()) {
    std::string folder = GetSkinFolder();
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    CDialogBuilder builder;
    root = builder.Create(folder + skin, this, &m_pm);
    if (root == nullptr) Trace("window %s: skin %s built no controls", GetWindowClassName().c_str(), skin.c_str());
  }
  m_pm.AttachDialog(root);
  m_pm.AddNotifier(this);
  if (GetWindowRect().IsEmpty()) {
    UiSize size = m_pm.GetInitSize();
    MoveWindow(UiRect{0, 0, size.cx, size.cy});
  }
  InitWindow();
  // Both arrive once the window runs, after InitWindow: first its size, then
  // the first paint's "windowinit".
  SendWindowSize();
  m_pm.SendNotify(root, notify::kWindowInit, 0, 0, true);
  return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  bool handled = true;
  LRESULT r = 0;
  switch (msg) {
    case wm::kCreate:
      r = OnCreate(msg, wParam, lParam, handled);
      break;
    case wm::kClose:
      r = OnClose(msg, wParam, lParam, handled);
      break;
    case wm::kDestroy:
      r = OnDestroy(msg, wParam, lParam, handled);
      break;
    case wm::kSysCommand:
      r = OnSysCommand(msg, wParam, lParam, handled);
      break;
    default:
      handled = false;
      break;
  }
  if (handled) return r;
  r = HandleCustomMessage(msg, wParam, lParam, handled);
  if (handled) return r;
  return CWindowWnd::HandleMessage(msg, wParam, lParam);
}

}  // namespace korvale
