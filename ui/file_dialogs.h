#pragma once
// The open and save file dialogs as a small service: the program asks through
// OpenFileDialog and SaveFileDialog; the renderer installs the real dialogs
// (Qt's, which use the desktop portal where there is one) and tests install a
// scripted answerer. With nothing installed every dialog is cancelled.
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ui/ui_types.h"

namespace korvale {

struct FileFilter {
  std::string text;     // a text ID of the language files, shown translated
  std::string pattern;  // "*.json"
  std::string suffix;   // added to a saved name without one: "json"
};

struct FileDialogRequest {
  bool save = false;  // save: asks before overwriting, the file need not exist
  HWND owner = 0;     // the dialog is transient for this window
  std::vector<FileFilter> filters;
};

class IFileDialogs {
 public:
  virtual ~IFileDialogs() = default;
  // The chosen path, or nothing when cancelled.
  virtual std::optional<std::filesystem::path> Ask(const FileDialogRequest& request) = 0;
};

// Not owned; nullptr removes it.
void SetFileDialogs(IFileDialogs* dialogs);
IFileDialogs* GetFileDialogs();

std::optional<std::filesystem::path> OpenFileDialog(HWND owner, const FileFilter& filter);
std::optional<std::filesystem::path> SaveFileDialog(HWND owner, const FileFilter& filter);

// The filters of the main window's commands.
inline const FileFilter kProfileFileFilter{"file_filter_profile", "*.json", "json"};

// Answers dialogs from a queue, oldest first, and keeps every request; an
// empty queue cancels. Installs itself for its lifetime.
class CScriptedFileDialogs : public IFileDialogs {
 public:
  CScriptedFileDialogs();
  ~CScriptedFileDialogs() override;
  CScriptedFileDialogs(const CScriptedFileDialogs&) = delete;
  CScriptedFileDialogs& operator=(const CScriptedFileDialogs&) = delete;

  void Answer(std::optional<std::filesystem::path> path) { answers_.push_back(std::move(path)); }
  std::optional<std::filesystem::path> Ask(const FileDialogRequest& request) override;
  const std::vector<FileDialogRequest>& Requests() const { return requests_; }

 private:
  IFileDialogs* previous_ = nullptr;
  std::deque<std::optional<std::filesystem::path>> answers_;
  std::vector<FileDialogRequest> requests_;
};

}  // namespace korvale
