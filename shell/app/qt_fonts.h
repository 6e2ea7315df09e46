#pragma once
// Private fonts through Qt's application font database: visible to this
// process only, gone when removed or when the process ends. A file that
// fontconfig already serves (our links to the system's Noto fonts) is not
// registered again, and one file under two names is registered once.
#include <map>
#include <string>

#include "shell/app_shell.h"

namespace korvale {

class QtFontInstaller : public IFontInstaller {
 public:
  int AddFont(const std::filesystem::path& file) override;
  void RemoveFont(int handle) override;
  // Qt's application font id behind a handle; -1 when the system serves the
  // file (nothing was registered) or the handle is unknown.
  int ApplicationFontId(int handle) const;

 private:
  struct Registration {
    int qtId = -1;  // -1: served by the system
    int users = 0;
  };
  std::map<std::string, Registration> byFile_;  // by resolved path
  std::map<int, std::string> handles_;          // handle -> resolved path
  int next_ = 1;
};

}  // namespace korvale
