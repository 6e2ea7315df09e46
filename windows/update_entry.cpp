#include "windows/update_entry.h"

#include <iterator>

#include "ui/controls.h"
#include "ui/paint_manager.h"

namespace korvale {

namespace {

struct StateRow {
  const char* textKey;
  bool busy;      // busy mark and progress shown
  bool done;      // done mark shown
  bool checkable; // check box enabled
  DWORD textColour;
};
constexpr DWORD kWhite = 0xFFFFFFFF, kBlue = 0xFF0099FF;
constexpr StateRow kStates[] = {
    {"LessUpdateText", false, false, false, kWhite},
    {"NeedUpdateText", false, false, true, kBlue},
    {"NeedUpdateText", false, false, true, kBlue},
    {"DownloadWaitText", false, false, false, kBlue},
    {"DownloadIngText", true, false, false, kBlue},
    {"DownloadOkText", false, true, false, kBlue},
    {"UpdateIngText", true, false, false, kBlue},
    {"UpdateOkText", false, false, false, kWhite},
    {"UpdateFailText", false, false, true, kBlue},
};
static_assert(std::size(kStates) == kUpdateStateCount);

}  // namespace

const char* UpdateStateTextKey(UpdateState state) { return kStates[static_cast<int>(state)].textKey; }

CUpdateEntry::CUpdateEntry(CUpdateInfoListItemUI* item) : item_(item) {}

CControlUI* CUpdateEntry::Part(const char* name) const {
  return item_ != nullptr && item_->GetManager() != nullptr ? item_->GetManager()->FindSubControlByName(item_, name)
                                                           : nullptr;
}

void CUpdateEntry::SetState(UpdateState state) {
  if (state == state_ && shown_) return;
  state_ = state;
  Show();
}

void CUpdateEntry::Show() {
  shown_ = true;
  const StateRow& row = kStates[static_cast<int>(state_)];
  if (CControlUI* text = Part("update_status_text")) {
    text->SetText(row.textKey);
    text->SetTextColor(row.textColour);
  }
  if (CControlUI* busy = Part("update_status_ing")) busy->SetVisible(row.busy);
  if (CControlUI* value = Part("update_progress_value")) {
    value->SetVisible(row.busy);
    value->SetText(std::to_string(progress_) + "%");
  }
  if (CControlUI* ok = Part("update_status_ok")) ok->SetVisible(row.done);
  EnableCheck(row.checkable);
}

bool CUpdateEntry::SetProgress(int percent) {
  if (percent < 0 || percent > 100) return false;
  progress_ = percent;
  if (CControlUI* value = Part("update_progress_value")) value->SetText(std::to_string(percent) + "%");
  return true;
}

bool CUpdateEntry::IsChecked() const {
  auto* check = dynamic_cast<COptionUI*>(Part("check_name_select"));
  return check != nullptr && check->IsSelected();
}

void CUpdateEntry::SetChecked(bool checked) {
  if (auto* check = dynamic_cast<COptionUI*>(Part("check_name_select"))) check->Selected(checked, false);
}

bool CUpdateEntry::IsCheckEnabled() const {
  CControlUI* check = Part("check_name_select");
  return check != nullptr && check->IsEnabled();
}

void CUpdateEntry::EnableCheck(bool enabled) {
  if (CControlUI* check = Part("check_name_select")) check->SetEnabled(enabled);
}

std::string CUpdateEntry::GetCurrentRevision() const {
  CControlUI* c = Part("OldRev");
  return c != nullptr ? std::string(c->GetRawText()) : std::string();
}

void CUpdateEntry::SetCurrentRevision(const std::string& text) {
  if (CControlUI* c = Part("OldRev")) c->SetText(text);
}

std::string CUpdateEntry::GetNewRevision() const {
  CControlUI* c = Part("updateRev");
  return c != nullptr ? std::string(c->GetRawText()) : std::string();
}

void CUpdateEntry::SetNewRevision(const std::string& text) {
  if (CControlUI* c = Part("updateRev")) {
    c->SetText(text);
    c->SetVisible(!text.empty());
  }
}

}  // namespace korvale
