#include "qtview/qt_ui_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <mutex>

namespace korvale {

// Posts from worker threads race with the loop's destruction: they reach the
// receiver through this guarded pointer only.
struct QtUiLoop::Shared {
  std::mutex lock;
  QPointer<QObject> receiver;
};

QtUiLoop::QtUiLoop() : shared_(std::make_shared<Shared>()), receiver_(new QObject) {
  shared_->receiver = receiver_;
  BindToCurrentThread();
}

QtUiLoop::~QtUiLoop() {
  {
    std::lock_guard<std::mutex> g(shared_->lock);
    shared_->receiver = nullptr;
  }
  timers_.clear();
  delete receiver_;  // queued calls to it are dropped by Qt
  AbandonSends();
}

void QtUiLoop::Post(Task task) {
  std::lock_guard<std::mutex> g(shared_->lock);
  if (shared_->receiver.isNull()) return;
  QMetaObject::invokeMethod(shared_->receiver.data(), std::move(task), Qt::QueuedConnection);
}

void QtUiLoop::SetTimer(TimerKey key, std::uint32_t intervalMs, Task task) {
  KillTimer(key);  // a restart may come from the timer's own task
  auto& slot = timers_[key];
  slot = std::make_unique<QTimer>();
  slot->setTimerType(intervalMs < 100 ? Qt::PreciseTimer : Qt::CoarseTimer);
  slot->setInterval(static_cast<int>(std::min<std::uint32_t>(intervalMs, 0x7FFFFFFF)));
  // The task may kill or replace its own timer: run a copy.
  QObject::connect(slot.get(), &QTimer::timeout, receiver_, [t = std::move(task)] {
    Task copy = t;
    copy();
  });
  slot->start();
}

void QtUiLoop::KillTimer(TimerKey key) {
  auto it = timers_.find(key);
  if (it == timers_.end()) return;
  // Deleting a QTimer from inside its own timeout handler is unsafe: stop it
  // now, delete it later.
  QTimer* timer = it->second.release();
  timer->stop();
  timer->disconnect();
  timer->deleteLater();
  timers_.erase(it);
}

bool QtUiLoop::HasTimer(TimerKey key) const { return timers_.count(key) != 0; }

int QtUiLoop::Run() {
  if (pendingQuits_ > 0) {
    --pendingQuits_;
    return quitCode_;
  }
  QEventLoop loop;
  running_.push_back(&loop);
  int code = loop.exec();
  running_.pop_back();
  return code;
}

void QtUiLoop::Quit(int code) {
  quitCode_ = code;
  if (running_.empty()) {
    ++pendingQuits_;
    return;
  }
  running_.back()->exit(code);
}

bool QtUiLoop::RunUntil(const std::function<bool()>& done) {
  // Sleeps in the dispatcher between events; done() is checked after each wake.
  QEventLoop loop;
  while (!done()) loop.processEvents(QEventLoop::WaitForMoreEvents);
  return true;
}

}  // namespace korvale
