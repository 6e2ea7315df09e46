#include "shell/control_registry.h"

#include <array>

namespace korvale {
namespace {

// Every class of the factory list that comes from a layer above the UI
// library. Creators are filled in as those layers join the program.
constexpr std::array<SuppliedControlClass, 12> kSupplied = {{
    {"CDeviceOptionUI", nullptr},         // device selector tile (device list)
    {"CMpDevicePowerUI", nullptr},        // power panel (device list)
    {"CLightControlUI", nullptr},         // lighting editor
    {"CMacroControlUI", nullptr},         // macro editor
    {"CKeySetControlUI", nullptr},        // key-assignment editor
    {"CDeviceProfileUI", nullptr},        // profile list
    {"CShootControlUI", nullptr},         // shoot editor
    {"CMagicControlUI", nullptr},         // headset voice effects
    {"CVoice6533ControlUI", nullptr},     // headset equaliser and microphone
    {"CVarnikUSBDevice", nullptr},        // device page base
    {"CVarnikMousePadDevice", nullptr},   // mousepad page
    {"CVarnikHS6533Device", nullptr},     // headset page
}};

}  // namespace

std::map<std::string, CControlFactory::CreateClass> SuppliedControlClasses() {
  std::map<std::string, CControlFactory::CreateClass> out;
  for (const SuppliedControlClass& row : kSupplied)
    if (row.creator != nullptr) out.emplace(row.name, row.creator());
  return out;
}

}  // namespace korvale
