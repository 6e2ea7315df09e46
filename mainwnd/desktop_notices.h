#pragma once
// Which device events become desktop notifications: a battery running low, a
// device that stopped answering, a device plugged in while the program runs.
// Each is told once, until its condition ends; a setting turns them all off.
// UI thread only.
#include <set>
#include <string>

namespace korvale {

class IDesktopNotifier;

class CDesktopNotices {
 public:
  // At or below this level, not charging, the battery is low.
  static constexpr int kLowBatteryPercent = 15;

  void SetNotifier(IDesktopNotifier* notifier) { notifier_ = notifier; }
  // The user's setting ("NOTIFICATIONS" of the settings file, on by default).
  void SetEnabled(bool on) { enabled_ = on; }
  bool Enabled() const { return enabled_; }
  // The devices found at start are no news: plug-ins count from here on.
  void Arm() { armed_ = true; }

  // device identifies the device; name is what the user calls it.
  void Battery(const void* device, const std::string& name, int percent, bool charging);
  void Answering(const void* device, const std::string& name, bool answering);
  void Connected(const void* device, const std::string& name);
  void Disconnected(const void* device);

  // Notifications sent so far (for the trace and tests).
  int Sent() const { return sent_; }

 private:
  void Tell(const std::string& summary, const std::string& body);

  IDesktopNotifier* notifier_ = nullptr;
  bool enabled_ = true;
  bool armed_ = false;
  std::set<const void*> lowBattery_;
  std::set<const void*> silent_;
  int sent_ = 0;
};

}  // namespace korvale
