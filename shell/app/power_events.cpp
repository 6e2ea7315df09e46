#include "shell/app/power_events.h"

#include "platform/trace.h"
#include "ui/app_messages.h"
#include "ui/window.h"

namespace korvale {

PowerEvents::PowerEvents(HWND window, const QDBusConnection& connection, QObject* parent)
    : QObject(parent), window_(window) {
  if (!connection.isConnected()) {
    Trace("power: no system bus; suspend and resume go unnoticed");
    return;
  }
  QDBusConnection c = connection;
  listening_ = c.connect("org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "PrepareForSleep", this,
                         SLOT(OnPrepareForSleep(bool)));
  if (!listening_) Trace("power: cannot subscribe to PrepareForSleep");
}

void PowerEvents::OnPrepareForSleep(bool start) {
  PostMessageW(window_, wm::kPowerBroadcast, start ? PBT_APMSUSPEND : PBT_APMRESUMEAUTOMATIC, 0);
}

}  // namespace korvale
