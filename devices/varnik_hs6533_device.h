#pragma once
// The headset's page, lighting half: 13 LEDs streamed to the headset as
// output reports, its configuration record, its status and its change
// events. The audio panels sit on the page; their logic is the audio
// editors'.
#include "devices/lighting_device.h"

namespace korvale {

class CVarnikHS6533Device : public CVarnikLightingDevice {
 public:
  CVarnikHS6533Device();

  std::string GetClass() const override { return "VarnikHS6533Device"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "VarnikHS6533Device") || CVarnikLightingDevice::IsClass(cls);
  }

  void OnConnected() override;

  // The headset's names for the shared steps.
  void StepHeadsetWave() { StepPadWave(); }
  void StepHeadsetGroupFlow() { StepPadGroupFlow(); }
  void StepHeadsetFlow() { StepPadFlow(); }
};

}  // namespace korvale
