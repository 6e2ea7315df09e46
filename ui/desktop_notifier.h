#pragma once
// Desktop notifications as the main window sees them. The program supplies
// the real one (the desktop's notification service on the session bus);
// without one the window works the same and tells nobody.
#include <string>

namespace korvale {

class IDesktopNotifier {
 public:
  virtual ~IDesktopNotifier() = default;
  // Shows one notification; false when no notification service takes it.
  virtual bool Notify(const std::string& summary, const std::string& body) = 0;
};

}  // namespace korvale
