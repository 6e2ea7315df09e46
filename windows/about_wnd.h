#pragma once
// The about window: the program's name and the version of this build.
#include <string>

#include "ui/window.h"

namespace korvale {

class CAboutWnd : public WindowImplBase {
 public:
  static constexpr UiSize kSize{800, 572};
  CAboutWnd();

  std::string GetWindowClassName() const override { return "AboutWnd"; }
  std::string GetSkinFile() override { return "AboutWnd.xml"; }
  // The translated "software_rev_text" followed by the version.
  void SetVersionLine(const std::string& version);
  void OnClick(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

 private:
  std::string version_;
};

// The version this build carries.
const char* BuildVersion();

}  // namespace korvale
