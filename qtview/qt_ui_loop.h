#pragma once
// The UI loop on Qt's event loop: posted work and sends travel as queued
// calls to an object living on the UI thread, timers are QTimers. Nothing
// polls: an idle loop sleeps in Qt's event dispatcher.
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "platform/ui_loop.h"

class QEventLoop;

namespace korvale {

class QtUiLoop : public UiLoop {
 public:
  // Create on the UI thread after the QApplication.
  QtUiLoop();
  ~QtUiLoop() override;

  void Post(Task task) override;
  void SetTimer(TimerKey key, std::uint32_t intervalMs, Task task) override;
  void KillTimer(TimerKey key) override;
  bool HasTimer(TimerKey key) const override;
  int Run() override;
  void Quit(int code = 0) override;
  bool RunUntil(const std::function<bool()>& done) override;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;  // outlives the loop for late posts
  QObject* receiver_;
  std::map<TimerKey, std::unique_ptr<QTimer>> timers_;
  std::vector<QEventLoop*> running_;  // innermost last
  int pendingQuits_ = 0;
  int quitCode_ = 0;
};

}  // namespace korvale
