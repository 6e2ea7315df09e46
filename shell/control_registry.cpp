#include "shell/control_registry.h"

#include <array>

#include "devices/varnik_usb_device.h"
#include "editors/device_profile.h"
#include "editors/key_set_control.h"
#include "editors/light_control.h"
#include "editors/magic_control.h"
#include "editors/voice6533_control.h"
#include "editors/macro_control.h"
#include "editors/shoot_control.h"
#include "mainwnd/device_option.h"
#include "mainwnd/mpdevice_power.h"

namespace korvale {
namespace {

template <class T>
CControlFactory::CreateClass Creator() {
  return [] { return static_cast<CControlUI*>(new T); };
}

// Device pages come from the device layer's own list, so a page class joins
// as soon as that layer offers it.
CControlFactory::CreateClass FromDeviceLayer() { return nullptr; }

// Every class of the factory list that comes from a layer above the UI
// library. A row without a creator is skipped at registration.
constexpr std::array<SuppliedControlClass, 14> kSupplied = {{
    {"CDeviceOptionUI", Creator<CDeviceOptionUI>},    // device selector tile
    {"CMpDevicePowerUI", Creator<CMpDevicePowerUI>},  // power panel
    {"CLightControlUI", Creator<CLightControlUI>},    // lighting editor
    {"CMacroControlUI", Creator<CMacroControlUI>},    // macro editor
    {"CKeySetControlUI", Creator<CKeySetControlUI>},  // key-assignment editor
    {"CDeviceProfileUI", Creator<CDeviceProfileUI>},  // profile bar
    {"CShootControlUI", Creator<CShootControlUI>},    // shoot editor
    {"CMagicControlUI", Creator<CMagicControlUI>},    // headset voice effects
    {"CVoice6533ControlUI", Creator<CVoice6533ControlUI>},  // headset equaliser and microphone
    {"CVarnikUSBDevice", FromDeviceLayer},            // device page base
    {"CVarnikMousePadDevice", FromDeviceLayer},       // mousepad page
    {"CVarnikHS6533Device", FromDeviceLayer},         // headset page
    {"CVarnikMouseDevice", FromDeviceLayer},          // mouse page (registered after the list)
    {"CVarnikKeyboardDevice", FromDeviceLayer},       // keyboard page (registered after the list)
}};

}  // namespace

std::map<std::string, CControlFactory::CreateClass> SuppliedControlClasses() {
  std::map<std::string, CControlFactory::CreateClass> out;
  const auto pages = DeviceControlCreators();
  for (const SuppliedControlClass& row : kSupplied) {
    if (row.creator == nullptr) continue;
    CControlFactory::CreateClass create = row.creator();
    if (row.creator == &FromDeviceLayer) {
      auto it = pages.find(row.name);
      if (it != pages.end()) create = it->second;
    }
    if (create) out.emplace(row.name, std::move(create));
  }
  return out;
}

}  // namespace korvale
