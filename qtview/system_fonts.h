#pragma once
// What the system's fontconfig already offers, asked about one family or one
// file at a time: cheaper than building Qt's whole font database to look.
#include <filesystem>
#include <string>

namespace korvale::qtview {

// fontconfig lists a face of this family (exact family name).
bool SystemHasFontFamily(const std::string& family);

// fontconfig lists a face from this file (its resolved path): its faces are
// there already without registering the file again.
bool SystemHasFontFile(const std::filesystem::path& file);

}  // namespace korvale::qtview
