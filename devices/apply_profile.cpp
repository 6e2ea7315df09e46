#include "devices/apply_profile.h"

#include "devices/varnik_usb_device.h"

namespace korvale {

ApplyOutcome ApplyProfileToDevice(CVarnikUSBDevice& page, int screenWidth, int screenHeight) {
  ApplyOutcome o;
  page.ReloadProfile();
  page.RevalidateMacroKeys();
  page.RefreshPage();
  o.configResult = page.WriteDeviceConfig(0, 0, 1, screenWidth, screenHeight);
  o.macroResult = page.DownloadMacros(page.CollectUsedMacros());
  o.macroMessage = page.LastMacroDownload().message;
  if (!KeysMayFollowMacros(o.macroResult)) return o;
  o.keysSent = true;
  o.keysResult = page.ApplyKeyAssignments(0);
  return o;
}

}  // namespace korvale
