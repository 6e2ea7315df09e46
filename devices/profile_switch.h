#pragma once
// What a page does when its profile list selects another profile: the page
// takes the profile's file, and the device gets the profile's configuration
// record, the macros its keys use and its key tables. Shared by the main
// window's profile commands and korvalectl.
#include <string>

namespace korvale {

class CVarnikUSBDevice;

struct ProfileSwitchResult {
  bool loaded = false;  // the page loaded the profile's file
  int config = 0;       // WriteDeviceConfig's result
  int macros = 0;       // DownloadMacros' result: 0 done, -1 no macro memory, > 0 does not fit
  bool keysWritten = false;
  int keys = 0;         // ApplyKeyAssignments' result when written
};

// uuid names the profile file (the list's "profileUUID"). The key tables are
// not written when the used macros do not fit (macros > 0): keys would point
// at macros the device does not hold.
ProfileSwitchResult SwitchPageProfile(CVarnikUSBDevice& page, const std::string& uuid, int screenWidth,
                                      int screenHeight);

}  // namespace korvale
