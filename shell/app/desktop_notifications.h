#pragma once
// Desktop notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus).
#include <QDBusConnection>

#include "ui/desktop_notifier.h"

namespace korvale {

class DBusNotifier : public IDesktopNotifier {
 public:
  static constexpr const char* kService = "org.freedesktop.Notifications";
  static constexpr const char* kPath = "/org/freedesktop/Notifications";
  static constexpr const char* kInterface = "org.freedesktop.Notifications";

  explicit DBusNotifier(const QDBusConnection& connection) : connection_(connection) {}
  // Sent without waiting for the answer: the window never waits on the
  // desktop. A service that is not running yet is started by the bus.
  bool Notify(const std::string& summary, const std::string& body) override;

 private:
  QDBusConnection connection_;
};

}  // namespace korvale
