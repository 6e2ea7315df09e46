#include "windows/msg_wnd.h"

#include "platform/trace.h"
#include "ui/controls.h"
#include "ui/resource_manager.h"

namespace korvale {

namespace {
CMsgWnd* g_showing = nullptr;
std::function<void(CMsgWnd&)> g_opened;
// WS_POPUP | WS_VISIBLE
constexpr UINT kMsgStyle = 0x90000000;
constexpr UiRect kMsgRect{0, 0, 420, 200};
}  // namespace

CMsgWnd::CMsgWnd() = default;

CMsgWnd::~CMsgWnd() {
  if (g_showing == this) g_showing = nullptr;
}

CMsgWnd* CMsgWnd::Showing() { return g_showing; }

void CMsgWnd::SetOpenedHook(std::function<void(CMsgWnd&)> hook) { g_opened = std::move(hook); }

void CMsgWnd::SetTitle(std::string_view text) {
  if (text.empty()) return;
  if (CControlUI* c = m_pm.FindControl("MessageTitle")) c->SetText(text);
}

void CMsgWnd::SetMessage(std::string_view text, bool isTextId) {
  if (text.empty()) return;
  if (CControlUI* c = m_pm.FindControl("MessageText")) {
    c->SetResourceText(isTextId);
    c->SetText(text);
  }
}

void CMsgWnd::SetButtons(int mode) {
  CControlUI* confirm = m_pm.FindControl("confirm_btn");
  CControlUI* cancel = m_pm.FindControl("cancel_btn");
  if (mode != kMsgNotice && mode != kMsgConfirm) return;
  if (confirm != nullptr) confirm->SetVisible(true);
  if (cancel != nullptr) cancel->SetVisible(mode == kMsgConfirm);
}

void CMsgWnd::SetUiScale(int dpi) {
  if (!CPaintManagerUI::IsValidDPI(dpi)) {
    Trace("MSG_WND DPI SET ERROR");
    dpi = 96;
  }
  m_pm.SetDPI(dpi);
}

void CMsgWnd::OnClick(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return;
  const std::string name = msg.pSender->GetName();
  if (EqualsNoCase(name, "confirm_btn")) {
    Close(1);
  } else if (EqualsNoCase(name, "cancel_btn") || EqualsNoCase(name, "closebtn")) {
    Close(0);
  }
}

void CMsgWnd::OnFinalMessage(HWND) { delete this; }

int ShowMessage(HWND parent, std::string_view title, std::string_view text, int dpi, bool isTextId, int mode) {
  auto* w = new CMsgWnd();
  const HWND h = w->Create(parent, "MsgWnd", kMsgStyle, 0, kMsgRect);
  if (h == 0) {
    delete w;
    return 0;
  }
  w->SetTitle(title);
  w->SetMessage(text, isTextId);
  w->SetUiScale(dpi);
  w->SetButtons(mode);
  w->CenterWindow();
  CMsgWnd* outer = g_showing;
  g_showing = w;
  if (g_opened) g_opened(*w);
  const int result = w->ShowModal();
  // A loop that ended first (tests) leaves the window: it goes unanswered.
  if (CWindowWnd* still = CWindowWnd::FromHandle(h)) still->DestroyWindow();
  g_showing = outer;
  return result == 1 ? 1 : 0;
}

std::string TranslateTextId(std::string_view id, int number) {
  std::string text = CResourceManager::GetInstance().GetText(id);
  if (const auto at = text.find("%d"); at != std::string::npos) text.replace(at, 2, std::to_string(number));
  return text;
}

}  // namespace korvale
