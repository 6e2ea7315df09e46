#include "mainwnd/status_line.h"

#include "devices/varnik_usb_device.h"
#include "ui/paint_manager.h"

namespace korvale {

namespace {

constexpr DWORD kQuietColour = 0xFF5C6370;
constexpr DWORD kNoticeColour = 0xFFE0A030;

}  // namespace

void CStatusLine::SetAudioStatus(const std::string& id) {
  audio_ = id;
  Show();
}

void CStatusLine::ShowDevice(const CVarnikUSBDevice* current) {
  device_.clear();
  if (current != nullptr) {
    switch (current->DeviceNotice()) {
      case CVarnikUSBDevice::Notice::kNoAnswer: device_ = "device_notice_no_answer"; break;
      case CVarnikUSBDevice::Notice::kRefused: device_ = "device_notice_refused"; break;
      case CVarnikUSBDevice::Notice::kNone: break;
    }
  }
  Show();
}

void CStatusLine::Show() {
  // What the user is looking at comes first: the device's state, then music lighting.
  const std::string id = !device_.empty() ? device_ : !audio_.empty() ? audio_ : "main_status_ready";
  shown_ = id;
  CControlUI* label = pm_.FindControl("status_line");
  if (label == nullptr) return;
  label->SetText(id);
  label->SetTextColor(device_.empty() ? kQuietColour : kNoticeColour);
}

}  // namespace korvale
