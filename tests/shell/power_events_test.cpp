// Sleep notices: logind's PrepareForSleep, sent on a private D-Bus daemon,
// reaches the window as WM_POWERBROADCAST.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <chrono>
#include <thread>

#include "shell/app/power_events.h"
#include "tests/shell/shell_test_util.h"
#include "ui/app_messages.h"
#include "ui/window.h"

namespace fs = std::filesystem;
using namespace korvale;

namespace {

class PowerWindow : public CWindowWnd {
 public:
  std::vector<WPARAM> power;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == wm::kPowerBroadcast) power.push_back(wParam);
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
  }
};

TEST(PowerEvents, PrepareForSleepBecomesSuspendAndResume) {
  int argc = 1;
  char name[] = "power_events_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  korvale::shelltest::TempDir dir;
  korvale::shelltest::PrivateDbusDaemon daemon(dir.path());
  ASSERT_TRUE(daemon.Ok()) << "dbus-daemon did not start";
  const std::string& address = daemon.Address();

  VirtualUiLoop loop;
  SetUiLoop(&loop);
  {
    PowerWindow window;
    ASSERT_NE(window.Create(0, "power"), 0u);
    QDBusConnection listener = QDBusConnection::connectToBus(QString::fromStdString(address), "listener");
    QDBusConnection logind = QDBusConnection::connectToBus(QString::fromStdString(address), "logind");
    ASSERT_TRUE(listener.isConnected());
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
    PowerEvents events(window.GetHWND(), listener);
    ASSERT_TRUE(events.IsListening());
    // A signal from a sender that is not logind is not a sleep notice.
    QDBusConnection stranger = QDBusConnection::connectToBus(QString::fromStdString(address), "stranger");
    auto signal = [](bool start) {
      return QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                        "PrepareForSleep")
             << start;
    };
    ASSERT_TRUE(stranger.send(signal(true)));
    ASSERT_TRUE(logind.send(signal(true)));
    ASSERT_TRUE(logind.send(signal(false)));
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (window.power.size() < 2 && std::chrono::steady_clock::now() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      loop.RunPending();
    }
    // Let a late stray arrive if there were one.
    for (int i = 0; i < 10; ++i) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      loop.RunPending();
    }
    EXPECT_EQ(window.power, (std::vector<WPARAM>{PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC}));
    window.DestroyWindow();
    QDBusConnection::disconnectFromBus("listener");
    QDBusConnection::disconnectFromBus("logind");
    QDBusConnection::disconnectFromBus("stranger");
  }
  SetUiLoop(nullptr);
}

TEST(PowerEvents, WithoutABusNothingIsListened) {
  QDBusConnection none = QDBusConnection::connectToBus(QString("unix:path=/nonexistent/korvale-bus"), "none");
  PowerEvents events(1, none);
  EXPECT_FALSE(events.IsListening());
  QDBusConnection::disconnectFromBus("none");
}

}  // namespace
