#include "mainwnd/desktop_notices.h"

#include "platform/trace.h"
#include "ui/desktop_notifier.h"
#include "ui/resource_manager.h"
#include "windows/msg_wnd.h"

namespace korvale {

void CDesktopNotices::Battery(const void* device, const std::string& name, int percent, bool charging) {
  const bool low = percent <= kLowBatteryPercent && !charging;
  if (!low) {
    lowBattery_.erase(device);
    return;
  }
  if (!lowBattery_.insert(device).second) return;
  Tell(name, TranslateTextId("notify_battery_low", percent));
}

void CDesktopNotices::Answering(const void* device, const std::string& name, bool answering) {
  if (answering) {
    silent_.erase(device);
    return;
  }
  if (!silent_.insert(device).second) return;
  Tell(name, CResourceManager::GetInstance().GetText("notify_no_answer"));
}

void CDesktopNotices::Connected(const void* device, const std::string& name) {
  silent_.erase(device);
  if (!armed_) return;
  Tell(name, CResourceManager::GetInstance().GetText("notify_connected"));
}

void CDesktopNotices::Disconnected(const void* device) {
  lowBattery_.erase(device);
  silent_.erase(device);
}

void CDesktopNotices::Tell(const std::string& summary, const std::string& body) {
  if (!enabled_ || notifier_ == nullptr) return;
  ++sent_;
  if (!notifier_->Notify(summary, body)) Trace("notifications: no notification service took \"%s\"", body.c_str());
}

}  // namespace korvale
