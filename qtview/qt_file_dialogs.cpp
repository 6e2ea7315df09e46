#include "qtview/qt_file_dialogs.h"

#include <QFileDialog>
#include <QStringList>

#include "ui/resource_manager.h"

namespace korvale::qtview {

std::optional<std::filesystem::path> QtFileDialogs::Ask(const FileDialogRequest& request) {
  QFileDialog dialog(ownerOf_ ? ownerOf_(request.owner) : nullptr);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // Open: the file must exist. Save: any name, and Qt asks before overwriting.
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  QStringList names;
  for (const FileFilter& f : request.filters) {
    const std::string text = CResourceManager::GetInstance().GetText(f.text);
    names << QString::fromStdString(text + " (" + f.pattern + ")");
  }
  dialog.setNameFilters(names);
  const auto suffixFor = [&request, names](const QString& filter) {
    const auto i = names.indexOf(filter);
    return i < 0 ? QString() : QString::fromStdString(request.filters[static_cast<std::size_t>(i)].suffix);
  };
  if (!names.isEmpty()) dialog.setDefaultSuffix(suffixFor(names.front()));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, suffixFor](const QString& f) { dialog.setDefaultSuffix(suffixFor(f)); });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace korvale::qtview
