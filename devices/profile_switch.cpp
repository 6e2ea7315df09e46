#include "devices/profile_switch.h"

#include "devices/varnik_usb_device.h"
#include "platform/trace.h"

namespace korvale {

ProfileSwitchResult SwitchPageProfile(CVarnikUSBDevice& page, const std::string& uuid, int screenWidth,
                                      int screenHeight) {
  page.SetProfileName(uuid);
  return ApplyPageProfile(page, screenWidth, screenHeight);
}

ProfileSwitchResult ApplyPageProfile(CVarnikUSBDevice& page, int screenWidth, int screenHeight) {
  ProfileSwitchResult r;
  r.loaded = page.ReloadProfile() == 1;
  if (!r.loaded) {
    // Nothing of the old profile goes to the device under the new name.
    Trace("profile switch: profile \"%s\" could not be loaded; nothing written", page.GetProfileName().c_str());
    return r;
  }
  page.RevalidateMacroKeys();
  page.RefreshPage();
  r.config = page.WriteDeviceConfig(0, 0, 1, screenWidth, screenHeight);
  r.macros = page.DownloadMacros(page.CollectUsedMacros());
  r.macroMessage = page.LastMacroDownload().message;
  if (!KeysMayFollowMacros(r.macros)) {
    Trace("profile switch: %s; key tables not written", r.macroMessage.c_str());
    return r;
  }
  r.keys = page.ApplyKeyAssignments(0);
  r.keysWritten = true;
  return r;
}

}  // namespace korvale
