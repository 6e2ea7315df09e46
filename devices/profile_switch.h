#pragma once
// What a page does when its profile list selects another profile, or when its
// current profile is applied again: the page takes the profile's file, and
// the device gets the profile's configuration record, the macros its keys use
// and its key tables. Shared by the main window's profile commands and
// korvalectl.
#include <string>

namespace korvale {

class CVarnikUSBDevice;

struct ProfileSwitchResult {
  bool loaded = false;  // the page loaded the profile's file
  int config = 0;       // WriteDeviceConfig's result
  // DownloadMacros' result: 0 done, -1 no macro memory, > 0 does not fit,
  // other negatives a broken macro file or a failed transfer (macroMessage says which).
  int macros = 0;
  std::string macroMessage;
  bool keysWritten = false;
  int keys = 0;         // ApplyKeyAssignments' result when written
};

// Whether the key tables may follow a macro download with this result: only
// when the macros they point at are on the device, or the device has no macro
// memory at all (where macro keys are simply not played).
inline bool KeysMayFollowMacros(int macroResult) { return macroResult == 0 || macroResult == -1; }

// uuid names the profile file (the list's "profileUUID").
ProfileSwitchResult SwitchPageProfile(CVarnikUSBDevice& page, const std::string& uuid, int screenWidth,
                                      int screenHeight);

// The page's current profile reloaded from its file and sent: ReloadProfile,
// RevalidateMacroKeys, RefreshPage, WriteDeviceConfig(0, 0, 1, w, h),
// CollectUsedMacros, DownloadMacros, ApplyKeyAssignments(0).
ProfileSwitchResult ApplyPageProfile(CVarnikUSBDevice& page, int screenWidth, int screenHeight);

}  // namespace korvale
