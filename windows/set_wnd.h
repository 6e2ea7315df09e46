#pragma once
// The settings window: the interface language and the firmware update panel.
// The update itself runs in an external tool, which posts its progress as the
// update-status message; the main window forwards it here. Until the tool has
// been heard the panel says where updates come from and stays quiet.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ui/window.h"
#include "windows/update_entry.h"

namespace korvale {

class CSetWnd : public WindowImplBase {
 public:
  static constexpr UiSize kSize{630, 500};

  // Update status events (wParam of the update-status message; lParam the value).
  enum UpdateEvent : int {
    kEntryFinished = 1,
    kEntryFailed = 2,
    kEntryAborted = 3,
    kEntryProgress = 4,   // lParam 0..100
    kEntryOffered = 5,    // lParam: entry index | new revision << 16 (revision 10203 = "1.2.3")
    kNothingToUpdate = 6, // the tool's check found everything up to date
  };
  // Overall status, as the status line shows it.
  enum Status : int { kChecking = 0, kHaveUpdate = 1, kNoUpdateInfo = 2, kUpdating = 3, kLatest = 4 };

  // One row of the update list: a product present in the main window.
  struct ModelEntry {
    std::string nameId;    // the product's text id
    std::string revision;  // current revision text; empty when unknown
  };

  CSetWnd();
  ~CSetWnd() override;

  std::string GetWindowClassName() const override { return "SetWnd"; }
  std::string GetSkinFile() override { return "setwnd.xml"; }

  // 48..192 in steps of 24; anything else is traced and taken as 96.
  void SetUiScale(int dpi);
  int GetUiScale() const { return scale_; }
  // Receives the language change; index selects the combo's entry.
  void SetMainWindow(HWND main, int languageIndex);
  void SetModelEntries(std::vector<ModelEntry> entries);
  // The number the update-status message has in this process (0: none).
  void SetUpdateStatusMessage(UINT msg) { updateStatusMsg_ = msg; }
  // "updatetime.config"; default in the user data folder.
  void SetUpdateTimePath(std::filesystem::path path) { updateTimePath_ = std::move(path); }

  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  void OnClick(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  // One update event; false when refused (bad kind or value, no entry).
  bool OnUpdateEvent(WPARAM kind, LPARAM value);

  int GetLanguageIndex() const { return languageIndex_; }
  int GetStatus() const { return status_; }
  bool IsToolHeard() const { return toolHeard_; }
  const std::string& GetLastUpdateDate() const { return lastUpdate_; }
  int EntryCount() const { return static_cast<int>(entries_.size()); }
  CUpdateEntry* EntryAt(int index);
  // Whether an update runs (the close asks first).
  bool IsUpdating() const;

  // Shared with the main window; they outlive the window.
  static int UpdateRequested();
  static int UpdateResult();

 private:
  void LoadLanguages();
  void BuildEntries();
  void ShowStatus();
  void SetStatus(int status);
  // After an entry reached a final state: the panel settles when nothing runs.
  void SettleWhenIdle();
  CUpdateEntry* CurrentEntry();
  void OnCheckChanged();
  void StartUpdate();
  void RequestClose(UINT result);

  HWND main_ = 0;
  int languageIndex_ = -1;
  int scale_ = 96;
  int status_ = kChecking;
  bool toolHeard_ = false;
  UINT updateStatusMsg_ = 0;
  std::string lastUpdate_;
  std::filesystem::path updateTimePath_;
  std::vector<ModelEntry> models_;
  std::vector<std::unique_ptr<CUpdateEntry>> entries_;
};

// "1.2.3" for 10203.
std::string RevisionText(long long number);

}  // namespace korvale
