#pragma once
// The file dialog service drawn by QFileDialog: per filter its own default
// suffix, a question before a save overwrites a file, and no "must exist" on
// save. Qt picks the desktop portal's dialog where the platform has one.
#include <functional>

#include "ui/file_dialogs.h"

class QWidget;

namespace korvale::qtview {

class QtFileDialogs : public IFileDialogs {
 public:
  // ownerOf: the widget that shows a model window (nullptr when none).
  explicit QtFileDialogs(std::function<QWidget*(HWND)> ownerOf) : ownerOf_(std::move(ownerOf)) {}
  std::optional<std::filesystem::path> Ask(const FileDialogRequest& request) override;

 private:
  std::function<QWidget*(HWND)> ownerOf_;
};

}  // namespace korvale::qtview
