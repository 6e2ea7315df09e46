#pragma once
// Sending a page's current profile to its device: the configuration, the
// macros its keys use, then the key tables. The key tables go only when the
// macros they point at are on the device (or the device has no macro memory
// at all, where macro keys are simply not played).
#include <string>

namespace korvale {

class CVarnikUSBDevice;

struct ApplyOutcome {
  int configResult = 0;   // WriteDeviceConfig's result
  int macroResult = 0;    // DownloadMacros' result
  std::string macroMessage;
  bool keysSent = false;
  int keysResult = 0;     // ApplyKeyAssignments' result when sent
};

// ReloadProfile, RevalidateMacroKeys, RefreshPage, WriteDeviceConfig(0, 0, 1,
// w, h), CollectUsedMacros, DownloadMacros, ApplyKeyAssignments(0).
ApplyOutcome ApplyProfileToDevice(CVarnikUSBDevice& page, int screenWidth, int screenHeight);

// Whether the key tables may follow a macro download with this result.
inline bool KeysMayFollowMacros(int macroResult) { return macroResult == 0 || macroResult == -1; }

}  // namespace korvale
