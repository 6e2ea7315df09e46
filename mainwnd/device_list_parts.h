#pragma once
// What the device list's files share: the names of the main skin's layouts,
// the tile timings and the list's entry per page. Inside mainwnd only.
#include <cstdint>
#include <memory>

#include "hid/device_table.h"
#include "mainwnd/device_list.h"
#include "ui/ui_types.h"

namespace korvale {

class CDeviceOptionUI;
class CMpDevicePowerUI;
class CVarnikUSBDevice;

namespace devicelist {

inline constexpr const char* kTileLayout = "device_select_layout";
inline constexpr const char* kPageLayout = "device_switch";
inline constexpr const char* kPowerLayout = "device_power_switch";
inline constexpr const char* kNoDeviceOverlay = "No_device_Link";

// Pauses and attempts of the link check after a switch to the receiver.
inline constexpr int kLinkCheckAttempts = 26;
inline constexpr UINT kLinkCheckPauseMs = 50;
inline constexpr UINT kConnectDelayMs = 500;
inline constexpr UINT kConnectRetryMs = 3000;
inline constexpr UINT kPaintFirstMs = 5;
inline constexpr UINT kPaintMs = 50;
inline constexpr UINT kStatusFirstMs = 50;
inline constexpr UINT kStatusMs = 5000;
inline constexpr UINT kLinkWatchFirstMs = 2000;
inline constexpr UINT kLinkWatchMs = 3000;
// Private tile timer: one link-check attempt after a switch to the receiver.
inline constexpr UINT kTileTimerLinkCheck = 1010;

// The cable kind of the product: keyboard, mouse, mousepad or headset; 0 for anything else.
inline int Family(int kind) {
  switch (static_cast<DeviceKind>(kind)) {
    case DeviceKind::Keyboard:
    case DeviceKind::ReceiverKeyboard: return static_cast<int>(DeviceKind::Keyboard);
    case DeviceKind::Mouse:
    case DeviceKind::ReceiverMouse: return static_cast<int>(DeviceKind::Mouse);
    case DeviceKind::MousePad: return static_cast<int>(DeviceKind::MousePad);
    case DeviceKind::Headset: return static_cast<int>(DeviceKind::Headset);
  }
  return 0;
}
// Vendor id, product id and kind agree.
inline bool Matches(const DeviceIdEntry& a, const DeviceIdEntry& b) {
  return a.vid == b.vid && a.pid == b.pid && a.kind == b.kind;
}

}  // namespace devicelist

struct CDeviceList::Entry {
  CVarnikUSBDevice* page = nullptr;
  CDeviceOptionUI* tile = nullptr;
  CMpDevicePowerUI* panel = nullptr;
  int productRow = -1;
  int family = 0;
  int linkAttempts = 0;
  bool painting = false;  // connected: its key lights repaint on the paint timer
  uint64_t paintedFrames = 0;  // the page's light frame count at the last paint
  uint64_t lastPaintMs = 0;    // UI loop time of the last paint
  bool statusResting = false;  // its status timer stopped while polling is paused
  std::weak_ptr<void> tileLife;
};

}  // namespace korvale
