#pragma once
// The battery panel of a device page ("MpDevicePower"): level, charge state,
// the receiver mark for keyboards and mice, the phone type for mousepads.
#include <array>
#include <cstdint>
#include <functional>

#include "devices/page_hooks.h"
#include "ui/containers.h"

namespace korvale {

class CLabelUI;
class CProgressUI;

// Bytes of the power status block a device reads and hands to its panel.
namespace power {
constexpr std::size_t kLevel = 0;        // percent
constexpr std::size_t kChargeState = 1;  // 0 powered, 1 charging, 2 on battery
constexpr std::size_t kWirelessMark = 3; // non-zero while reached through the receiver
constexpr std::size_t kPhoneType = 5;    // mousepads: 1 iPhone, 2 Samsung, 3 other
constexpr std::size_t kBlockSize = 6;
}  // namespace power

class CMpDevicePowerUI : public CHorizontalLayoutUI, public IPowerDisplayHooks {
 public:
  std::string GetClass() const override { return "MpDevicePower"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "MpDevicePower") || CHorizontalLayoutUI::IsClass(cls);
  }

  void SetKindAndAuxiliary(int kind, int auxiliary) {
    kind_ = kind;
    auxiliary_ = auxiliary;
  }
  int GetKind() const { return kind_; }
  int GetAuxiliary() const { return auxiliary_; }
  bool IsWireless() const { return wireless_; }
  const std::array<uint8_t, power::kBlockSize>& LastStatus() const { return status_; }
  // Whether the device has reported its status since the panel was made.
  bool HasStatus() const { return hasStatus_; }
  // Called after every status the device reports.
  void SetStatusHandler(std::function<void()> handler) { statusHandler_ = std::move(handler); }

  // IPowerDisplayHooks
  void SetWireless(bool wireless) override;
  void ShowStatus(const std::array<uint8_t, 6>& status) override;
  void Refresh() override;
  // The same from a raw block: at most 64 bytes are taken, missing ones read as 0.
  void ShowStatusBytes(const uint8_t* data, std::size_t length);
  // Selecting the panel tells the window ("selectchanged").
  void Select();

 private:
  void FindChildren();

  int kind_ = 0;
  int auxiliary_ = 0;
  bool wireless_ = false;
  std::array<uint8_t, power::kBlockSize> status_{};
  bool hasStatus_ = false;
  std::function<void()> statusHandler_;
  bool found_ = false;
  CControlUI* layout_ = nullptr;
  CLabelUI* value_ = nullptr;
  CControlUI* wirelessLogo_ = nullptr;
  CProgressUI* progress_ = nullptr;
  CControlUI* status_image_ = nullptr;
  CControlUI* phoneType_ = nullptr;
};

}  // namespace korvale
