#include "windows/set_wnd.h"

#include <ctime>

#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"
#include "ui/app_messages.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/resource_manager.h"
#include "windows/msg_wnd.h"

namespace korvale {

namespace {

int g_updateRequested = 0;
int g_updateResult = 0;

constexpr const char* kEntrySkin = "XML/CustomControlXML/UpdateItem.xml";

std::string Today() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return FormatUpdateDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

}  // namespace

std::string RevisionText(long long number) {
  return std::to_string(number / 10000) + "." + std::to_string(number / 100 % 100) + "." +
         std::to_string(number % 100);
}

int CSetWnd::UpdateRequested() { return g_updateRequested; }
int CSetWnd::UpdateResult() { return g_updateResult; }

CSetWnd::CSetWnd() : updateTimePath_(AppDataFolder() / "updatetime.config") {
  AddNotifyHandler(notify::kSelectChanged, [this](TNotifyUI& msg) {
    if (msg.pSender != nullptr && EqualsNoCase(msg.pSender->GetName(), "check_name_select")) OnCheckChanged();
  });
  AddNotifyHandler(notify::kItemSelect, [this](TNotifyUI& msg) {
    if (msg.pSender == nullptr || !EqualsNoCase(msg.pSender->GetName(), "Language_combox_info")) return;
    auto* combo = dynamic_cast<CComboUI*>(msg.pSender);
    if (combo == nullptr || combo->GetCurSel() < 0) return;
    languageIndex_ = combo->GetCurSel();
    if (main_ != 0) SendMessageW(main_, WM_LANGUAGE_CHANGED, static_cast<WPARAM>(languageIndex_), 0);
  });
}

CSetWnd::~CSetWnd() = default;

void CSetWnd::SetUiScale(int dpi) {
  if (!CPaintManagerUI::IsValidDPI(dpi)) {
    Trace("SET_WND DPI SET ERROR");
    dpi = 96;
  }
  scale_ = dpi;
  m_pm.SetDPI(dpi);
}

void CSetWnd::SetMainWindow(HWND main, int languageIndex) {
  main_ = main;
  languageIndex_ = languageIndex;
}

void CSetWnd::SetModelEntries(std::vector<ModelEntry> entries) { models_ = std::move(entries); }

CUpdateEntry* CSetWnd::EntryAt(int index) {
  return index >= 0 && index < EntryCount() ? entries_[static_cast<std::size_t>(index)].get() : nullptr;
}

void CSetWnd::InitWindow() {
  // Sized by the skin; the window keeps its place.
  const UiRect& r = GetWindowRect();
  MoveWindow(UiRect{r.left, r.top, r.left + kSize.cx, r.top + kSize.cy});
}

void CSetWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == notify::kWindowInit) {
    LoadLanguages();
    BuildEntries();
    // Read only: a date is recorded when a check has run, not on opening.
    const Json::Value doc = ReadJsonFile(updateTimePath_);
    const Json::Value& v = JsonMember(JsonMember(doc, "updatelasttime"), "value");
    lastUpdate_ = v.isString() ? v.asString() : std::string();
    ShowStatus();
  }
  WindowImplBase::Notify(msg);
}

void CSetWnd::LoadLanguages() {
  auto* combo = dynamic_cast<CComboUI*>(m_pm.FindControl("Language_combox_info"));
  if (combo == nullptr) return;
  combo->RemoveAll();
  for (const LanguageEntry& e : ReadLanguageList()) {
    auto* item = new CListLabelElementUI;
    item->SetText(e.text);
    item->SetResourceText(true);
    combo->Add(item);
  }
  if (languageIndex_ >= 0 && languageIndex_ < combo->GetCount()) combo->SelectItem(languageIndex_, false, false);
}

void CSetWnd::BuildEntries() {
  auto* list = dynamic_cast<CContainerUI*>(m_pm.FindControl("device_update_list_info"));
  entries_.clear();
  if (list == nullptr) return;
  list->RemoveAll();
  for (const ModelEntry& m : models_) {
    CDialogBuilder builder;
    auto* item = dynamic_cast<CUpdateInfoListItemUI*>(builder.Create(kEntrySkin, nullptr, &m_pm, list));
    if (item == nullptr) {
      Trace("settings: %s built no update entry", kEntrySkin);
      return;
    }
    auto entry = std::make_unique<CUpdateEntry>(item);
    if (CControlUI* name = m_pm.FindSubControlByName(item, "update_model_name")) name->SetText(m.nameId);
    entry->SetCurrentRevision(m.revision.empty() ? "update_rev_unknown" : m.revision);
    entry->SetNewRevision("");
    entry->SetState(UpdateState::kNone);
    entries_.push_back(std::move(entry));
  }
}

void CSetWnd::ShowStatus() {
  CControlUI* ring = m_pm.FindControl("update_status_ring");
  CControlUI* image = m_pm.FindControl("update_status_image");
  CControlUI* line = m_pm.FindControl("Update_Status_text");
  if (!toolHeard_) {
    // No update tool has spoken: nothing is being checked.
    if (ring != nullptr) ring->SetVisible(false);
    if (image != nullptr) image->SetVisible(false);
    if (line != nullptr) {
      line->SetResourceText(true);
      line->SetText("UpdateFromDistributionText");
    }
    return;
  }
  static constexpr const char* kKeys[] = {"GetUpdateInfoText", "HaveUpdateInfoText", "NoUpdateInfoText",
                                          "ISUpdateINGText", "UpdateIsLastText"};
  if (ring != nullptr) ring->SetVisible(status_ == kChecking);
  if (image != nullptr) image->SetVisible(status_ != kChecking);
  if (line == nullptr) return;
  if (status_ == kLatest) {
    // The date follows the translated words, so the line is rebuilt on a
    // language change.
    line->SetResourceText(false);
    line->SetText(CResourceManager::GetInstance().GetText(kKeys[kLatest]) + " " + lastUpdate_);
  } else {
    line->SetResourceText(true);
    line->SetText(kKeys[status_]);
  }
}

void CSetWnd::SetStatus(int status) {
  status_ = status;
  if (status == kLatest) {
    lastUpdate_ = Today();
    Json::Value doc(Json::objectValue);
    doc["updatelasttime"]["value"] = lastUpdate_;
    if (!TryWriteJsonFile(updateTimePath_, doc)) Trace("settings: %s not written", updateTimePath_.c_str());
    if (main_ != 0) PostMessageW(main_, WM_UPDATE_IS_LATEST, 0, 0);
  }
  ShowStatus();
}

bool CSetWnd::IsUpdating() const {
  for (const auto& e : entries_)
    if (e->IsBusy()) return true;
  return false;
}

CUpdateEntry* CSetWnd::CurrentEntry() {
  for (auto& e : entries_)
    if (e->IsBusy()) return e.get();
  return nullptr;
}

void CSetWnd::SettleWhenIdle() {
  OnCheckChanged();
  if (IsUpdating()) return;
  bool pending = false;
  for (auto& e : entries_) {
    const UpdateState s = e->GetState();
    if (s == UpdateState::kNeeded || s == UpdateState::kNeededAlso || s == UpdateState::kFailed) {
      e->EnableCheck(true);
      pending = true;
    }
  }
  SetStatus(pending ? kHaveUpdate : kLatest);
}

bool CSetWnd::OnUpdateEvent(WPARAM kind, LPARAM value) {
  if (kind < kEntryFinished || kind > kNothingToUpdate) {
    Trace("settings: update event of kind %llu refused", static_cast<unsigned long long>(kind));
    return false;
  }
  toolHeard_ = true;
  switch (static_cast<int>(kind)) {
    case kEntryOffered: {
      const long long index = value & 0xFFFF;
      const long long revision = value >> 16;
      if (value < 0 || index >= EntryCount() || revision <= 0 || revision > 999999) {
        Trace("settings: update offer %lld refused", static_cast<long long>(value));
        ShowStatus();
        return false;
      }
      CUpdateEntry* e = EntryAt(static_cast<int>(index));
      if (e->IsBusy()) {
        Trace("settings: entry %lld is updating; offer ignored", index);
        return false;
      }
      e->SetNewRevision(RevisionText(revision));
      e->SetState(UpdateState::kNeeded);
      SetStatus(kHaveUpdate);
      return true;
    }
    case kNothingToUpdate:
      if (IsUpdating()) {
        Trace("settings: 'nothing to update' while an update runs; ignored");
        return false;
      }
      SetStatus(kLatest);
      return true;
    default:
      break;
  }
  CUpdateEntry* e = CurrentEntry();
  if (e == nullptr) {
    Trace("settings: update event %llu with no entry being updated; ignored", static_cast<unsigned long long>(kind));
    ShowStatus();
    return false;
  }
  switch (static_cast<int>(kind)) {
    case kEntryFinished:
      if (!e->GetNewRevision().empty()) e->SetCurrentRevision(e->GetNewRevision());
      e->SetNewRevision("");
      e->SetState(UpdateState::kDone);
      e->SetChecked(false);
      g_updateResult = 0;
      SettleWhenIdle();
      return true;
    case kEntryFailed:
      // Every failure ends the entry, also one that follows a success.
      e->SetState(UpdateState::kFailed);
      SettleWhenIdle();
      return true;
    case kEntryAborted:
      g_updateResult = -1;
      e->SetState(UpdateState::kFailed);
      SettleWhenIdle();
      return true;
    case kEntryProgress:
      if (value < 0 || value > 100) {
        Trace("settings: progress %lld refused", static_cast<long long>(value));
        return false;
      }
      if (e->GetState() == UpdateState::kWaiting) e->SetState(UpdateState::kUpdating);
      e->SetProgress(static_cast<int>(value));
      return true;
    default:
      return false;
  }
}

void CSetWnd::OnCheckChanged() {
  bool any = false;
  for (auto& e : entries_) any = any || e->IsChecked();
  if (CControlUI* b = m_pm.FindControl("update_fw_and_ap")) {
    b->SetEnabled(any);
    b->SetVisible(any);
  }
}

void CSetWnd::StartUpdate() {
  for (auto& e : entries_) {
    const UpdateState s = e->GetState();
    if (s != UpdateState::kNeeded && s != UpdateState::kNeededAlso) continue;
    if (e->IsChecked())
      e->SetState(UpdateState::kWaiting);
    else
      e->EnableCheck(false);
  }
  if (CControlUI* b = m_pm.FindControl("update_fw_and_ap")) b->SetEnabled(false);
  g_updateRequested = 1;
  if (IsUpdating()) SetStatus(kUpdating);
  if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("get_update_tab_layout"))) tab->SelectItem(0);
}

void CSetWnd::RequestClose(UINT result) {
  // While an update runs the close asks first; closing never stops the
  // update tool, the window just stops showing its progress.
  if (IsUpdating()) {
    if (ShowMessage(GetHWND(), "", "update_close_running", scale_, true, kMsgConfirm) != 1) return;
    Trace("settings: closed while an update runs");
  }
  Close(result);
}

void CSetWnd::OnClick(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return;
  const std::string name = msg.pSender->GetName();
  if (EqualsNoCase(name, "closebtn") || EqualsNoCase(name, "laterbtn")) {
    RequestClose(0);
  } else if (EqualsNoCase(name, "minbtn")) {
    SendMessage(wm::kSysCommand, SC_MINIMIZE, 0);
  } else if (EqualsNoCase(name, "maxbtn")) {
    SendMessage(wm::kSysCommand, SC_MAXIMIZE, 0);
  } else if (EqualsNoCase(name, "restorebtn")) {
    SendMessage(wm::kSysCommand, SC_RESTORE, 0);
  } else if (EqualsNoCase(name, "set_in_update_wnd_btn")) {
    if (CControlUI* tip = m_pm.FindControl("update_tishi_layout")) tip->SetVisible(false);
    InitWindow();
  } else if (EqualsNoCase(name, "update_fw_and_ap")) {
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("get_update_tab_layout"))) tab->SelectItem(1);
  } else if (EqualsNoCase(name, "update_OK_btn")) {
    StartUpdate();
  } else if (EqualsNoCase(name, "update_cancel_btn")) {
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("get_update_tab_layout"))) tab->SelectItem(0);
  }
}

LRESULT CSetWnd::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (updateStatusMsg_ != 0 && msg == updateStatusMsg_) {
    OnUpdateEvent(wParam, lParam);
    bHandled = true;
    return 0;
  }
  if (msg == WM_LANGUAGE_CHANGED) {
    ShowStatus();
    m_pm.NeedUpdate();
    bHandled = true;
    return 0;
  }
  if (msg == wm::kDpiChanged) {
    const int dpi = static_cast<int>(wParam & 0xFFFF);
    if (CPaintManagerUI::IsValidDPI(dpi)) {
      m_pm.SetDPI(dpi);
      m_pm.ResetDPIAssets();
      m_pm.NeedUpdate();
    }
    bHandled = true;
    return 0;
  }
  return 0;
}


}  // namespace korvale
