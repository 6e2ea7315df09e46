#include <atomic>
#include <functional>
#include <thread>

#include "tests/qtview/qt_fixture.h"

namespace korvale::test {
namespace {

TEST(QtUiLoop, WorkerPostsAndSendsRunOnTheUiThreadInOrder) {
  App();
  QtUiLoop loop;
  std::vector<int> order;
  std::atomic<bool> sendOk{false};
  std::thread::id ranOn;
  std::thread worker([&] {
    loop.Post([&] { order.push_back(1); });
    // Waits until the UI thread has run it.
    sendOk = loop.Send([&] {
      order.push_back(2);
      ranOn = std::this_thread::get_id();
    });
    loop.Post([&] { loop.Quit(7); });
  });
  EXPECT_EQ(loop.Run(), 7);
  worker.join();
  EXPECT_TRUE(sendOk);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(QtUiLoop, SendTimesOutWhenTheUiThreadIsBusyAndTheTaskNeverRuns) {
  App();
  QtUiLoop loop;
  std::atomic<bool> ran{false};
  bool ok = true;
  std::thread worker([&] { ok = loop.Send([&] { ran = true; }, 50); });
  worker.join();  // the UI thread is not running the loop meanwhile
  EXPECT_FALSE(ok);
  loop.RunUntil([&] { return true; });
  QApplication::processEvents();
  EXPECT_FALSE(ran);
}

TEST(QtUiLoop, TimersRepeatUntilKilledEvenFromTheirOwnTask) {
  App();
  QtUiLoop loop;
  const auto key = UiLoop::NewTimerKey();
  int ticks = 0;
  loop.SetTimer(key, 5, [&] {
    if (++ticks == 3) loop.KillTimer(key);
  });
  EXPECT_TRUE(loop.HasTimer(key));
  loop.RunUntil([&] { return ticks >= 3; });
  EXPECT_FALSE(loop.HasTimer(key));
  // No tick after the kill.
  const auto other = UiLoop::NewTimerKey();
  bool later = false;
  loop.SetTimer(other, 30, [&] { later = true; });
  loop.RunUntil([&] { return later; });
  loop.KillTimer(other);
  EXPECT_EQ(ticks, 3);

  // A task may restart its own timer (new interval, same key).
  const auto self = UiLoop::NewTimerKey();
  int runs = 0;
  std::function<void()> task = [&] {
    if (++runs == 1) loop.SetTimer(self, 2, task);
  };
  loop.SetTimer(self, 5, task);
  loop.RunUntil([&] { return runs >= 3; });
  loop.KillTimer(self);
  EXPECT_FALSE(loop.HasTimer(self));
}

TEST(QtUiLoop, NestedRunsEndAtTheirOwnQuit) {
  App();
  QtUiLoop loop;
  std::vector<int> codes;
  loop.Post([&] {
    loop.Post([&] { loop.Quit(2); });
    codes.push_back(loop.Run());  // inner
    loop.Quit(1);
  });
  codes.push_back(loop.Run());  // outer
  EXPECT_EQ(codes, (std::vector<int>{2, 1}));
}

}  // namespace
}  // namespace korvale::test
