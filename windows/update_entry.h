#pragma once
// One row of the settings window's update list: a check box, the current and
// the new revision, a status text, a busy mark, a progress text and a done
// mark. The row keeps its state 0-8 and its progress; the sub-controls are
// found by name inside the row.
#include <string>

#include "ui/custom_controls.h"

namespace korvale {

enum class UpdateState {
  kNone = 0,         // nothing to update
  kNeeded = 1,       // an update is offered
  kNeededAlso = 2,   // offered, as the tool sees it
  kWaiting = 3,      // chosen, waiting for the tool
  kDownloading = 4,
  kDownloaded = 5,
  kUpdating = 6,
  kDone = 7,
  kFailed = 8,
};
inline constexpr int kUpdateStateCount = 9;

class CUpdateEntry {
 public:
  explicit CUpdateEntry(CUpdateInfoListItemUI* item);

  CUpdateInfoListItemUI* Item() const { return item_; }
  UpdateState GetState() const { return state_; }
  // Setting the state it has changes nothing.
  void SetState(UpdateState state);
  int GetProgress() const { return progress_; }
  // 0..100; anything else is refused (false) and changes nothing.
  bool SetProgress(int percent);

  bool IsChecked() const;
  void SetChecked(bool checked);
  bool IsCheckEnabled() const;
  void EnableCheck(bool enabled);

  std::string GetCurrentRevision() const;
  void SetCurrentRevision(const std::string& text);
  std::string GetNewRevision() const;
  // An empty revision hides its text.
  void SetNewRevision(const std::string& text);

  // A running state: the tool works on this entry.
  bool IsBusy() const { return state_ >= UpdateState::kWaiting && state_ <= UpdateState::kUpdating; }
  // A state the window may close in.
  bool IsSettled() const {
    return state_ == UpdateState::kNeeded || state_ == UpdateState::kNeededAlso || state_ == UpdateState::kDone ||
           state_ == UpdateState::kFailed || state_ == UpdateState::kNone;
  }

 private:
  CControlUI* Part(const char* name) const;
  void Show();

  CUpdateInfoListItemUI* item_;
  UpdateState state_ = UpdateState::kNone;
  int progress_ = 0;
  bool shown_ = false;
};

// The status text key of a state ("LessUpdateText" ...).
const char* UpdateStateTextKey(UpdateState state);

}  // namespace korvale
