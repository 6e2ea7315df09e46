#pragma once
// Private fonts through Qt's application font database: visible to this
// process only, gone when removed or when the process ends.
#include "shell/app_shell.h"

namespace korvale {

class QtFontInstaller : public IFontInstaller {
 public:
  int AddFont(const std::vector<std::uint8_t>& bytes) override;
  void RemoveFont(int handle) override;
};

}  // namespace korvale
