#include "devices/varnik_mousepad_device.h"

namespace korvale {

namespace {

constexpr CVarnikLightingDevice::Facts kMousePadFacts = {
    .panelName = "mousepad_device_key_light",
    .name = "mousepad",
    .waveHueSpacing = 7,
    .waveStep = 1,
    .waveSpacing = 7,
    .waveStartOffset = 1,
    .readsInfo = true,
    .streamsLeds = false,
    .eventReportId = proto::kEventReportId,
};

}  // namespace

CVarnikMousePadDevice::CVarnikMousePadDevice()
    : CVarnikLightingDevice(kKindMousePad, kMousePadFacts, std::make_unique<CBasicProfiledata>()) {}

}  // namespace korvale
