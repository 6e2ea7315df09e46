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
    : CVarnikLightingDevice(kKindHeadset, kHeadsetFacts, std::make_unique<CHs6533Profiledata>()),
      bands_(static_cast<std::size_t>(CHs6533Profiledata::kEqBands), 0) {}

CVarnikHS6533Device::~CVarnikHS6533Device() {
  // The chip calls back from its own thread: it goes before anything it reaches.
  chip_.reset();
}

void CVarnikHS6533Device::InitPage() {
  CVarnikLightingDevice::InitPage();
  InitAudio();
}

void CVarnikHS6533Device::OnConnected() {
  // Events share the headset's one collection with the command answers:
  // they get a reader of their own there, so no exchange takes one.
  if (IsPrimaryOpen()) OpenEventChannel(comm_.cableChannel.Path(), kind_);
  CVarnikLightingDevice::OnConnected();
  ReadAudioState();
  ShowAudioValues();
}

CHs6533Profiledata& CVarnikHS6533Device::HsProfile() { return static_cast<CHs6533Profiledata&>(Profile()); }

}  // namespace korvale
