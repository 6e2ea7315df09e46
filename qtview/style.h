#pragma once
// The application's look: the one style sheet (skin/style.qss) and the type.
#include <QString>
#include <filesystem>

class QApplication;

namespace korvale::qtview {

// The style sheet for a skin folder: style.qss in that folder or one of its
// parents, else the installed skin's. Empty path when none is found.
std::filesystem::path FindStyleSheet(const std::filesystem::path& skinDir);

// Loads Noto Sans when the system does not offer it, makes it the default
// font and applies the style sheet. False (with a trace) when no sheet was
// found or it could not be read; the fonts are set either way.
bool ApplyStyle(QApplication& app, const std::filesystem::path& skinDir);

}  // namespace korvale::qtview
