#include "windows/about_wnd.h"

#include "ui/app_messages.h"
#include "ui/resource_manager.h"

namespace korvale {

const char* BuildVersion() { return KORVALE_VERSION; }

CAboutWnd::CAboutWnd() {
  AddNotifyHandler(notify::kItemSelect, [](TNotifyUI&) {});
  AddNotifyHandler(notify::kSelectChanged, [](TNotifyUI&) {});
}

void CAboutWnd::SetVersionLine(const std::string& version) {
  version_ = version;
  // The label shows the words of the current language and the version as is.
  CControlUI* line = m_pm.FindControl("software_ver_label");
  if (line == nullptr) return;
  line->SetResourceText(false);
  line->SetText(CResourceManager::GetInstance().GetText("software_rev_text") + " " + version);
}

void CAboutWnd::OnClick(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return;
  const std::string name = msg.pSender->GetName();
  if (EqualsNoCase(name, "closebtn")) Close(0);
  else if (EqualsNoCase(name, "minbtn")) SendMessage(wm::kSysCommand, SC_MINIMIZE, 0);
  else if (EqualsNoCase(name, "maxbtn")) SendMessage(wm::kSysCommand, SC_MAXIMIZE, 0);
  else if (EqualsNoCase(name, "restorebtn")) SendMessage(wm::kSysCommand, SC_RESTORE, 0);
}

LRESULT CAboutWnd::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, bool& bHandled) {
  if (msg == wm::kTimer && wParam == 1) {
    KillTimer(1);
    bHandled = true;
  } else if (msg == WM_LANGUAGE_CHANGED) {
    SetVersionLine(version_);
    m_pm.NeedUpdate();
    bHandled = true;
  }
  return 0;
}

}  // namespace korvale
