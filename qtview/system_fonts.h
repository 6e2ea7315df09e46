#pragma once
// What the system's fontconfig already offers, read from its own font set:
// cheaper than building Qt's whole font database to look.
#include <filesystem>
#include <string>
#include <thread>

namespace korvale::qtview {

// Reads fontconfig's configuration and, once the application object exists,
// builds Qt's font database, both on a worker thread while the program builds
// its windows (each costs several milliseconds and every drawn text needs
// them). The questions below wait for the configuration; Qt's first text
// waits for its database under Qt's own lock. At most one at a time.
class FontLoad {
 public:
  FontLoad();  // starts reading the configuration at once
  ~FontLoad();
  FontLoad(const FontLoad&) = delete;
  FontLoad& operator=(const FontLoad&) = delete;
  // The application object exists: Qt's font database is built next.
  void ApplicationReady();
  // Waits for the worker; due before the application object goes.
  void Join();

 private:
  std::thread worker_;
};

// fontconfig lists a face of this family (case and blanks ignored, as fontconfig does).
bool SystemHasFontFamily(const std::string& family);

// fontconfig lists a face from this file (its resolved path): its faces are
// there already without registering the file again.
bool SystemHasFontFile(const std::filesystem::path& file);

}  // namespace korvale::qtview
