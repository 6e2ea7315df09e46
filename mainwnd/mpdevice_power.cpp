#include "mainwnd/mpdevice_power.h"

#include <algorithm>
#include <cstdio>

#include "hid/device_table.h"
#include "ui/controls.h"

namespace korvale {

namespace {

struct PhoneType {
  const char* toolTip;
  const char* image;
};
constexpr PhoneType kPhoneTypes[] = {
    {"Phone_type_no_device", "file='power/Phone_type_no_device.png'"},
    {"Phone_type_iphone", "file='power/Phone_type_iphone.png'"},
    {"Phone_type_samsung", "file='power/Phone_type_samsung.png'"},
    {"Phone_type_other", "file='power/Phone_type_other.png'"},
};
constexpr const char* kChargeImages[] = {
    "file='power/powered.png'",
    "file='power/powering.png'",
    "file='power/power.png'",
};

bool ShowsWirelessMark(int kind) {
  return IsKind(kind, DeviceKind::Keyboard) || IsKind(kind, DeviceKind::Mouse) || IsReceiverKind(kind);
}

}  // namespace

void CMpDevicePowerUI::FindChildren() {
  if (found_) return;
  found_ = true;
  layout_ = FindSubControl("device_power_Layout");
  value_ = dynamic_cast<CLabelUI*>(FindSubControl("device_power_value"));
  wirelessLogo_ = FindSubControl("device_wuxian_logo");
  progress_ = dynamic_cast<CProgressUI*>(FindSubControl("device_Power_progress"));
  status_image_ = FindSubControl("device_power_status");
  phoneType_ = FindSubControl("device_phone_type");
}

void CMpDevicePowerUI::SetWireless(bool wireless) {
  wireless_ = wireless;
  FindChildren();
  if (layout_ != nullptr) layout_->SetVisible(wireless);
}

void CMpDevicePowerUI::ShowStatusBytes(const uint8_t* data, std::size_t length) {
  std::array<uint8_t, power::kBlockSize> block{};
  const std::size_t n = std::min({length, std::size_t{64}, block.size()});
  if (data != nullptr) std::copy_n(data, n, block.begin());
  ShowStatus(block);
}

void CMpDevicePowerUI::ShowStatus(const std::array<uint8_t, 6>& status) {
  status_ = status;
  hasStatus_ = true;
  Refresh();
  if (statusHandler_) statusHandler_();
}

void CMpDevicePowerUI::Refresh() {
  FindChildren();
  const int level = status_[power::kLevel];
  const int charge = status_[power::kChargeState];
  const bool viaReceiver = status_[power::kWirelessMark] != 0;
  if (value_ != nullptr) value_->SetText(CDuiString::Printf("%d%s", level, "%"));
  if (progress_ != nullptr) progress_->SetValue(100 - level);
  if (charge >= 0 && charge < static_cast<int>(std::size(kChargeImages))) {
    if (status_image_ != nullptr) status_image_->SetBkImage(kChargeImages[charge]);
    // While charging through the receiver the level is not meaningful.
    if (progress_ != nullptr) progress_->SetVisible(charge != 1 || !viaReceiver);
  }
  if (wirelessLogo_ != nullptr && ShowsWirelessMark(kind_)) wirelessLogo_->SetVisible(viaReceiver);
  if (phoneType_ != nullptr) phoneType_->SetVisible(kind_ == 3);
  if (phoneType_ != nullptr && kind_ == 3) {
    const int t = status_[power::kPhoneType];
    const PhoneType& p = kPhoneTypes[t >= 1 && t <= 3 ? t : 0];
    phoneType_->SetToolTip(p.toolTip);
    phoneType_->SetBkImage(p.image);
  }
}

void CMpDevicePowerUI::Select() { Notify(notify::kSelectChanged); }

}  // namespace korvale
