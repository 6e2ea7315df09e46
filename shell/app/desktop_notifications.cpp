#include "shell/app/desktop_notifications.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "platform/trace.h"

namespace korvale {

bool DBusNotifier::Notify(const std::string& summary, const std::string& body) {
  if (!connection_.isConnected()) {
    Trace("notifications: no session bus");
    return false;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
  call << QStringLiteral("KORVALE TX730max") << 0u << QStringLiteral("org.korvale.Korvale")
       << QString::fromStdString(summary) << QString::fromStdString(body) << QStringList() << QVariantMap() << -1;
  return connection_.send(call);
}

}  // namespace korvale
