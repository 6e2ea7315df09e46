#pragma once
// The main window's status row: a notice of the current device while it
// refuses commands or does not answer, else the audio companion's state,
// else "Ready". UI thread only.
#include <string>

namespace korvale {

class CPaintManagerUI;
class CVarnikUSBDevice;

class CStatusLine {
 public:
  explicit CStatusLine(CPaintManagerUI& pm) : pm_(pm) {}

  // The audio companion's text id; "" while it runs as it should.
  void SetAudioStatus(const std::string& id);
  // The current device (null: none); its notice is read again.
  void ShowDevice(const CVarnikUSBDevice* current);
  // The text id on the row now.
  const std::string& Shown() const { return shown_; }

 private:
  void Show();

  CPaintManagerUI& pm_;
  std::string audio_;
  std::string device_;
  std::string shown_;
};

}  // namespace korvale
