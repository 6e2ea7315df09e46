#include "devices/varnik_hs6533_device.h"

#include "profiles/device_profiledata.h"

namespace korvale {

namespace {

constexpr CVarnikLightingDevice::Facts kHeadsetFacts = {
    .panelName = "hs6533_device_key_light",
    .name = "headset",
    .waveHueSpacing = 16,
    .waveStep = 3,
    .waveSpacing = 10,
    .waveStartOffset = 0,
    .readsInfo = false,
    .streamsLeds = true,
    .eventReportId = proto::kHeadsetEventReportId,
};

}  // namespace

CVarnikHS6533Device::CVarnikHS6533Device()
    : CVarnikLightingDevice(kKindHeadset, kHeadsetFacts, std::make_unique<CHs6533Profiledata>()) {}

void CVarnikHS6533Device::OnConnected() {
  // Events share the headset's one collection with the command answers:
  // they get a reader of their own there, so no exchange takes one.
  if (IsPrimaryOpen()) OpenEventChannel(comm_.cableChannel.Path(), kind_);
  CVarnikLightingDevice::OnConnected();
}

}  // namespace korvale
