#pragma once
// The main window's macro and shoot commands: the macro editor's buttons,
// list and delay boxes, the shoot editor's controls, deleting a macro with
// its key references fixed in every profile, and the downloads with their
// messages. Questions and notices go through CommandDialogs (the main
// window shows them in its message window); files are chosen through the
// file dialog service.
#include <functional>
#include <string>

#include "ui/control.h"
#include "ui/file_dialogs.h"

namespace korvale {

class CVarnikUSBDevice;
class CMacroControlUI;
class CShootControlUI;

struct CommandDialogs {
  // A confirmation by text ID; true when the user agrees. Unset: declined.
  std::function<bool(const std::string& textId)> confirm;
  // A notice: a text ID, then a detail line that is shown as it is ("" for none).
  std::function<void(const std::string& textId, const std::string& detail)> notice;
};

class CMacroHandlers {
 public:
  explicit CMacroHandlers(CommandDialogs dialogs = {}) : dialogs_(std::move(dialogs)) {}
  void SetDialogs(CommandDialogs dialogs) { dialogs_ = std::move(dialogs); }

  // True when msg was a macro editor command for this page.
  bool HandleMacro(const TNotifyUI& msg, CVarnikUSBDevice* page);
  // True when msg was a shoot editor command for this page.
  bool HandleShoot(const TNotifyUI& msg, CVarnikUSBDevice* page);

  // The key settings' apply: the used macros, then the key tables only when
  // the macros are stored (or the device has no macro memory), then the
  // profile saved. A key table write that fails is tried once more, then
  // reported. Returns the macro download's result.
  int ApplyKeySettings(CVarnikUSBDevice& page);
  // Deletes the selected macro, fixing key references in every profile.
  void DeleteSelectedMacro(CVarnikUSBDevice& page, CMacroControlUI& editor);
  // Reports a macro download result; true when the key tables may follow.
  bool ReportMacroDownload(CVarnikUSBDevice& page, int result);
  // A notice by text ID with an optional detail line.
  void Notice(const std::string& id, const std::string& detail = {}) const;

 private:
  bool Confirm(const std::string& id) const { return dialogs_.confirm && dialogs_.confirm(id); }
  // A file to open or to write, "" when cancelled; the page's window owns the dialog.
  static std::string Choose(const CVarnikUSBDevice& page, const FileFilter& filter, bool save);
  void MacroNamesChanged(CVarnikUSBDevice& page, CMacroControlUI& editor);

  CommandDialogs dialogs_;
};

}  // namespace korvale
