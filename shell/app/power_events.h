#pragma once
// Suspend and resume notices: logind's PrepareForSleep signal on the system
// bus becomes WM_POWERBROADCAST for the main window (PBT_APMSUSPEND before
// sleep, PBT_APMRESUMEAUTOMATIC after). Without a system bus nothing arrives
// and the window simply never hears of sleep.
#include <QDBusConnection>
#include <QObject>

#include "ui/ui_types.h"

namespace korvale {

class PowerEvents : public QObject {
  Q_OBJECT
 public:
  // Listens on connection (the system bus in the program, a private bus in tests).
  PowerEvents(HWND window, const QDBusConnection& connection, QObject* parent = nullptr);
  bool IsListening() const { return listening_; }

 private slots:
  void OnPrepareForSleep(bool start);

 private:
  HWND window_;
  bool listening_ = false;
};

}  // namespace korvale
