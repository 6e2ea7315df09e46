// Desktop notifications reach the notification service on a private
// session bus as the desktop's own Notify call, with our name and icon.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <chrono>
#include <thread>

#include "shell/app/desktop_notifications.h"
#include "tests/shell/shell_test_util.h"

namespace fs = std::filesystem;
using namespace korvale;

namespace {

// The desktop's side: what a notification daemon receives.
class NotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Received {
    QString app, icon, summary, body;
    int timeout = 0;
  };
  std::vector<Received> received;

 public slots:
  uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap&, int timeout) {
    received.push_back({app, icon, summary, body, timeout});
    return static_cast<uint>(received.size());
  }
};

TEST(DesktopNotifications, NotifyReachesTheNotificationService) {
  int argc = 1;
  char name[] = "notifications_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  korvale::shelltest::TempDir dir;
  korvale::shelltest::PrivateDbusDaemon daemon(dir.path());
  ASSERT_TRUE(daemon.Ok()) << "dbus-daemon did not start";
  const std::string& address = daemon.Address();
  {
    QDBusConnection desktop = QDBusConnection::connectToBus(QString::fromStdString(address), "desktop");
    ASSERT_TRUE(desktop.isConnected());
    NotificationService service;
    ASSERT_TRUE(desktop.registerObject(DBusNotifier::kPath, &service, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop.registerService(DBusNotifier::kService));

    DBusNotifier notifier(QDBusConnection::connectToBus(QString::fromStdString(address), "program"));
    EXPECT_TRUE(notifier.Notify("Mouse", "Battery low: 12 %"));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (service.received.empty() && std::chrono::steady_clock::now() < until)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(service.received.size(), 1u);
    EXPECT_EQ(service.received[0].app, "KORVALE TX730max");
    EXPECT_EQ(service.received[0].icon, "org.korvale.Korvale");
    EXPECT_EQ(service.received[0].summary, "Mouse");
    EXPECT_EQ(service.received[0].body, "Battery low: 12 %");
    EXPECT_EQ(service.received[0].timeout, -1);
    QDBusConnection::disconnectFromBus("program");
    QDBusConnection::disconnectFromBus("desktop");
  }
}

TEST(DesktopNotifications, WithoutABusNothingIsSent) {
  DBusNotifier notifier(QDBusConnection::connectToBus(QString("unix:path=/nonexistent/korvale-bus"), "nobus"));
  EXPECT_FALSE(notifier.Notify("Mouse", "Connected"));
  QDBusConnection::disconnectFromBus("nobus");
}

}  // namespace

#include "notifications_test.moc"
