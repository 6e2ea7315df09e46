#include "ui/file_dialogs.h"

#include <atomic>

namespace korvale {

namespace {
std::atomic<IFileDialogs*> g_dialogs{nullptr};

std::optional<std::filesystem::path> AskWith(bool save, HWND owner, const FileFilter& filter) {
  IFileDialogs* d = g_dialogs.load();
  if (d == nullptr) return std::nullopt;
  auto path = d->Ask(FileDialogRequest{save, owner, {filter}});
  if (path && path->empty()) return std::nullopt;
  return path;
}
}  // namespace

void SetFileDialogs(IFileDialogs* dialogs) { g_dialogs = dialogs; }
IFileDialogs* GetFileDialogs() { return g_dialogs.load(); }

std::optional<std::filesystem::path> OpenFileDialog(HWND owner, const FileFilter& filter) {
  return AskWith(false, owner, filter);
}

std::optional<std::filesystem::path> SaveFileDialog(HWND owner, const FileFilter& filter) {
  return AskWith(true, owner, filter);
}

CScriptedFileDialogs::CScriptedFileDialogs() : previous_(GetFileDialogs()) { SetFileDialogs(this); }
CScriptedFileDialogs::~CScriptedFileDialogs() { SetFileDialogs(previous_); }

std::optional<std::filesystem::path> CScriptedFileDialogs::Ask(const FileDialogRequest& request) {
  requests_.push_back(request);
  if (answers_.empty()) return std::nullopt;
  auto a = std::move(answers_.front());
  answers_.pop_front();
  return a;
}

}  // namespace korvale
