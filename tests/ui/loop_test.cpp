#include <atomic>
#include <thread>

#include "ui_fixture.h"

namespace korvale::test {
namespace {

using LoopTest = UiTest;

TEST_F(LoopTest, TimersFireAtTheirVirtualTimesInOrder) {
  std::vector<std::pair<std::uint64_t, char>> log;
  loop.SetTimer(1, 30, [&] { log.emplace_back(loop.Now(), 'a'); });
  loop.SetTimer(2, 50, [&] { log.emplace_back(loop.Now(), 'b'); });
  loop.AdvanceBy(29);
  EXPECT_TRUE(log.empty());
  loop.AdvanceBy(121);  // to 150
  std::vector<std::pair<std::uint64_t, char>> want = {{30, 'a'}, {50, 'b'}, {60, 'a'}, {90, 'a'},
                                                      {100, 'b'}, {120, 'a'}, {150, 'b'}, {150, 'a'}};
  EXPECT_EQ(log, want);
  EXPECT_EQ(loop.Now(), 150u);
}

TEST_F(LoopTest, KillFromInsideTheTimerAndRestartMovesTheDueTime) {
  int ticks = 0;
  loop.SetTimer(7, 10, [&] {
    if (++ticks == 3) loop.KillTimer(7);
  });
  loop.AdvanceBy(100);
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(loop.HasTimer(7));

  int fired = 0;
  loop.SetTimer(8, 100, [&] { ++fired; });
  loop.AdvanceBy(90);
  loop.SetTimer(8, 100, [&] { ++fired; });  // restart: due at 190 from now
  loop.AdvanceBy(90);
  EXPECT_EQ(fired, 0);
  loop.AdvanceBy(10);
  EXPECT_EQ(fired, 1);
}

TEST_F(LoopTest, PostedWorkRunsInOrderIncludingWorkPostedByWork) {
  std::string order;
  loop.Post([&] {
    order += '1';
    loop.Post([&] { order += '3'; });
  });
  loop.Post([&] { order += '2'; });
  EXPECT_EQ(order, "");
  loop.AdvanceBy(0);
  EXPECT_EQ(order, "123");
}

TEST_F(LoopTest, SendFromWorkerWaitsForTheUiThread) {
  std::atomic<bool> ran{false};
  std::atomic<bool> returned{false};
  std::thread::id ranOn;
  std::thread worker([&] {
    EXPECT_TRUE(loop.Send([&] {
      ranOn = std::this_thread::get_id();
      ran = true;
    }, 5000));
    returned = true;
  });
  // Give the worker time to run ahead: it must still be waiting.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned);
  EXPECT_TRUE(loop.WaitForPosted(5000));
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(returned);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(LoopTest, SendTimesOutAndTheDroppedTaskNeverRuns) {
  std::atomic<bool> ran{false};
  bool ok = true;
  std::thread worker([&] { ok = loop.Send([&] { ran = true; }, 20); });
  worker.join();
  EXPECT_FALSE(ok);
  loop.AdvanceBy(0);
  EXPECT_FALSE(ran);
}

TEST_F(LoopTest, SendOnTheUiThreadRunsAtOnce) {
  bool ran = false;
  EXPECT_TRUE(loop.Send([&] { ran = true; }));
  EXPECT_TRUE(ran);
}

TEST_F(LoopTest, DestroyingTheLoopReleasesWaitingSenders) {
  auto other = std::make_unique<VirtualUiLoop>();
  std::atomic<int> result{-1};
  std::thread worker([&] { result = other->Send([] {}) ? 1 : 0; });
  // Once the send is queued, drop the loop without running it.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (other->PendingCount() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(other->PendingCount(), 1u);
  other.reset();
  worker.join();
  EXPECT_EQ(result, 0);
}

TEST_F(LoopTest, NestedRunStopsWhenItsGrantedTimeEnds) {
  bool done = false;
  bool finished = true;
  loop.SetTimer(1, 500, [&] { done = true; });
  loop.Post([&] { finished = loop.RunUntil([&] { return done; }); });
  loop.AdvanceBy(100);  // nested run may only use these 100 ms
  EXPECT_FALSE(finished);
  EXPECT_EQ(loop.Now(), 100u);
  loop.Post([&] { finished = loop.RunUntil([&] { return done; }); });
  loop.AdvanceBy(1000);
  EXPECT_TRUE(finished);
}

TEST_F(LoopTest, RunReturnsAtQuitWithItsCode) {
  loop.SetTimer(1, 40, [&] { loop.Quit(7); });
  int code = -1;
  loop.Post([&] { code = loop.Run(); });
  loop.AdvanceBy(100);
  EXPECT_EQ(code, 7);
}

}  // namespace
}  // namespace korvale::test
