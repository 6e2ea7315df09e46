#pragma once
// What the system's fontconfig already offers, listed once at the first
// question: cheaper than building Qt's whole font database to look.
#include <filesystem>
#include <string>

namespace korvale::qtview {

// fontconfig lists a face of this family (case and blanks ignored, as fontconfig does).
bool SystemHasFontFamily(const std::string& family);

// fontconfig lists a face from this file (its resolved path): its faces are
// there already without registering the file again.
bool SystemHasFontFile(const std::filesystem::path& file);

}  // namespace korvale::qtview
