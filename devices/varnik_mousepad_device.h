#pragma once
// The mousepad's page: 15 LEDs, its lighting, its configuration record, the
// phone-charging status for the power panel and its change events.
#include "devices/lighting_device.h"

namespace korvale {

class CVarnikMousePadDevice : public CVarnikLightingDevice {
 public:
  CVarnikMousePadDevice();

  std::string GetClass() const override { return "VarnikMousePadDevice"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "VarnikMousePadDevice") || CVarnikLightingDevice::IsClass(cls);
  }
};

}  // namespace korvale
