#include <atomic>
#include <thread>

#include "ui_fixture.h"

namespace korvale::test {
namespace {

constexpr UINT kMsgA = wm::kUser + 1;
constexpr UINT kMsgB = wm::kUser + 2;

// A window built from skin text written to a temporary skin folder.
class TestWindow : public WindowImplBase {
 public:
  std::string skin = "win.xml";
  std::vector<std::string> log;
  bool keepOnClose = false;

  std::string GetWindowClassName() const override { return "TestWnd"; }
  std::string GetSkinFile() override { return skin; }
  void InitWindow() override { log.push_back("InitWindow"); }
  void OnClick(TNotifyUI& msg) override {
    log.push_back("OnClick " + std::string(msg.pSender->GetName()));
    WindowImplBase::OnClick(msg);
  }
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override {
    if (msg == kMsgA || msg == kMsgB) {
      log.push_back("msg " + std::to_string(msg - wm::kUser) + " " + std::to_string(wParam));
      handled = true;
      return static_cast<LRESULT>(wParam) * 2 + lParam;
    }
    if (msg == wm::kTimer) {
      log.push_back("timer " + std::to_string(wParam));
      handled = true;
      return 0;
    }
    if (msg == wm::kDestroy) log.push_back("destroy");
    handled = false;
    return 0;
  }
  LRESULT OnClose(UINT, WPARAM, LPARAM, bool& handled) override {
    handled = keepOnClose;
    if (keepOnClose) ShowWindow(false);
    return 0;
  }
};

class WindowTest : public UiTest {
 protected:
  WindowTest() {
    dir = std::filesystem::temp_directory_path() /
          ("korvale-ui-win-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    CPaintManagerUI::SetResourcePath(dir);
    Write("win.xml", R"(<Window size="400,300">
      <VerticalLayout name="root">
        <Button name="apply"/>
        <Button name="closebtn"/>
        <VerticalLayout name="sub" virtualwnd="mainpage"><Button name="inner"/></VerticalLayout>
      </VerticalLayout></Window>)");
  }
  ~WindowTest() override {
    CPaintManagerUI::SetResourcePath({});
    std::filesystem::remove_all(dir);
  }
  void Write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(WriteFileAtomic(dir / name, text));
  }
  std::filesystem::path dir;
};

TEST_F(WindowTest, CreateBuildsTheSkinThenWindowInitArrivesAfterInitWindow) {
  TestWindow w;
  w.AddNotifyHandler("windowinit", [&](TNotifyUI&) { w.log.push_back("windowinit"); });
  w.AddNotifyHandler("windowsize", "root", [&](TNotifyUI&) { w.log.push_back("windowsize"); });
  HWND h = w.Create(0, "Test");
  ASSERT_NE(h, 0u);
  EXPECT_EQ(w.GetPaintManager().GetPaintWindow(), h);
  EXPECT_NE(w.GetPaintManager().FindControl("APPLY"), nullptr);
  EXPECT_EQ(w.GetWindowRect(), (UiRect{0, 0, 400, 300}));
  loop.AdvanceBy(0);
  EXPECT_EQ(w.log, (std::vector<std::string>{"InitWindow", "windowsize", "windowinit"}));
  w.CenterWindow();  // a move is not a resize
  EXPECT_EQ(w.GetWindowRect(), (UiRect{760, 390, 1160, 690}));
  w.MoveWindow(UiRect{0, 0, 500, 300});
  loop.AdvanceBy(0);
  EXPECT_EQ(w.log.back(), "windowsize");
  EXPECT_EQ(w.log.size(), 4u);
}

TEST_F(WindowTest, NotificationMapRoutesByTypeAndName) {
  TestWindow w;
  ASSERT_NE(w.Create(0, "Test"), 0u);
  std::vector<std::string> hits;
  w.AddNotifyHandler("valuechanged", [&](TNotifyUI& m) { hits.push_back("any " + std::string(m.pSender->GetName())); });
  w.AddNotifyHandler("valuechanged", "Apply", [&](TNotifyUI&) { hits.push_back("apply only"); });
  CNotifyPump page;
  page.AddNotifyHandler("click", [&](TNotifyUI& m) { hits.push_back("page " + std::string(m.pSender->GetName())); });
  ASSERT_TRUE(w.AddVirtualWnd("mainpage", &page));

  CPaintManagerUI& pm = w.GetPaintManager();
  pm.SendNotify(pm.FindControl("apply"), "valuechanged");
  pm.SendNotify(pm.FindControl("closebtn"), "valuechanged");
  pm.SendNotify(pm.FindControl("inner"), "click");  // under the "mainpage" virtual window
  pm.SendNotify(pm.FindControl("apply"), "itemselect");  // nobody listens
  static_cast<CButtonUI*>(pm.FindControl("apply"))->Activate();
  EXPECT_EQ(hits, (std::vector<std::string>{"apply only", "any closebtn", "page inner"}));
  EXPECT_EQ(w.log, (std::vector<std::string>{"InitWindow", "OnClick apply"}));
}

TEST_F(WindowTest, PostedMessagesRunInOrderOnTheUiThread) {
  TestWindow w;
  HWND h = w.Create(0, "Test");
  EXPECT_TRUE(w.PostMessage(kMsgA, 1));
  EXPECT_TRUE(PostMessageW(h, kMsgB, 2));
  EXPECT_EQ(w.SendMessage(kMsgA, 3, 1), 7);  // UI thread: at once, before the posted ones
  loop.AdvanceBy(0);
  EXPECT_EQ(w.log, (std::vector<std::string>{"InitWindow", "msg 1 3", "msg 1 1", "msg 2 2"}));
  EXPECT_FALSE(PostMessageW(h + 1000, kMsgA)) << "not a window";
}

TEST_F(WindowTest, SendFromAWorkerWaitsForTheUiThreadAndGetsTheResult) {
  TestWindow w;
  HWND h = w.Create(0, "Test");
  loop.AdvanceBy(0);  // "windowinit" out of the way
  std::atomic<LRESULT> result{0};
  std::thread worker([&] { result = SendMessageW(h, kMsgA, 20, 2); });  // no deadline: waits for the UI thread
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the worker run ahead
  EXPECT_TRUE(loop.WaitForPosted(5000));
  worker.join();
  EXPECT_EQ(result, 42);
  EXPECT_EQ(w.log.back(), "msg 1 20");
}

TEST_F(WindowTest, MessagesPostedFromManyWorkersArriveAllAndInEachWorkersOrder) {
  struct Counter : CWindowWnd {
    std::vector<std::vector<int>> seen = std::vector<std::vector<int>>(4);
    std::size_t total = 0;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
      if (msg != kMsgA) return CWindowWnd::HandleMessage(msg, wParam, lParam);
      seen[wParam].push_back(static_cast<int>(lParam));
      ++total;
      return 0;
    }
  };
  Counter w;
  HWND h = w.Create(0, "Counter");
  constexpr int kEach = 300;
  std::vector<std::thread> workers;
  for (WPARAM t = 0; t < 4; ++t) {
    workers.emplace_back([h, t] {
      for (int i = 0; i < kEach; ++i) {
        if (i % 50 == 49) {
          SendMessageW(h, kMsgA, t, i, 5000);  // sends interleave with posts
        } else {
          PostMessageW(h, kMsgA, t, i);
        }
      }
    });
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (w.total < 4 * kEach && std::chrono::steady_clock::now() < deadline) loop.WaitForPosted(100);
  for (auto& t : workers) t.join();
  loop.AdvanceBy(0);
  ASSERT_EQ(w.total, 4u * kEach);
  for (const auto& perWorker : w.seen) {
    ASSERT_EQ(perWorker.size(), static_cast<std::size_t>(kEach));
    for (int i = 0; i < kEach; ++i) EXPECT_EQ(perWorker[static_cast<std::size_t>(i)], i);
  }
}

TEST_F(WindowTest, MessagesToADestroyedWindowAreSwallowed) {
  auto* w = new TestWindow;
  HWND h = w->Create(0, "Test");
  PostMessageW(h, kMsgA, 1);
  w->DestroyWindow();
  delete w;
  loop.AdvanceBy(0);  // the queued message finds no window; nothing runs
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(SendMessageW(h, kMsgA, 1), 0);
}

TEST_F(WindowTest, WindowTimersDeliverWmTimerUntilKilled) {
  TestWindow w;
  w.Create(0, "Test");
  w.SetTimer(1011, 100);
  loop.AdvanceBy(250);
  EXPECT_TRUE(w.KillTimer(1011));
  loop.AdvanceBy(500);
  EXPECT_EQ(w.log, (std::vector<std::string>{"InitWindow", "timer 1011", "timer 1011"}));
}

TEST_F(WindowTest, ModalShowReturnsTheCloseValueAndDisablesTheOwner) {
  TestWindow owner;
  HWND ownerHandle = owner.Create(0, "Owner");
  TestWindow dialog;
  dialog.Create(ownerHandle, "Dialog");
  int result = 0;
  bool ownerDisabledMeanwhile = false;
  loop.SetTimer(99, 300, [&] {
    ownerDisabledMeanwhile = !owner.IsWindowEnabled();
    dialog.Close(IDCANCEL);
    loop.KillTimer(99);
  });
  loop.Post([&] { result = dialog.ShowModal(); });
  loop.AdvanceBy(1000);
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(ownerDisabledMeanwhile);
  EXPECT_TRUE(owner.IsWindowEnabled());
  EXPECT_FALSE(IsWindow(dialog.GetHWND()));
  EXPECT_EQ(dialog.log.back(), "destroy");
}

TEST_F(WindowTest, ModalShowEndsWhenTheTestTimeEnds) {
  TestWindow dialog;
  dialog.Create(0, "Dialog");
  int result = 0;
  loop.Post([&] { result = dialog.ShowModal(); });
  loop.AdvanceBy(100);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(IsWindow(dialog.GetHWND()));
  EXPECT_FALSE(dialog.IsModal());
}

TEST_F(WindowTest, CloseButtonClosesUnlessTheWindowKeepsItself) {
  TestWindow keeper;
  keeper.keepOnClose = true;
  keeper.Create(0, "Keeper");
  keeper.ShowWindow(true);
  static_cast<CButtonUI*>(keeper.GetPaintManager().FindControl("closebtn"))->Activate();
  loop.AdvanceBy(0);
  EXPECT_TRUE(IsWindow(keeper.GetHWND()));
  EXPECT_FALSE(keeper.IsVisible());

  TestWindow plain;
  plain.Create(0, "Plain");
  static_cast<CButtonUI*>(plain.GetPaintManager().FindControl("closebtn"))->Activate();
  loop.AdvanceBy(0);
  EXPECT_FALSE(IsWindow(plain.GetHWND()));
}

TEST_F(WindowTest, MissingSkinGivesAnEmptyWindowAndATrace) {
  TraceSink::Instance().Clear();
  TestWindow w;
  w.skin = "absent.xml";
  EXPECT_NE(w.Create(0, "Test"), 0u);
  EXPECT_EQ(w.GetPaintManager().GetRoot(), nullptr);
  EXPECT_EQ(w.GetPaintManager().FindControl("apply"), nullptr);
  EXPECT_TRUE(TraceSink::Instance().Contains("absent.xml"));
  loop.AdvanceBy(0);  // "windowinit" without a tree must not crash
}

// The renderer's view of windows.
struct WindowLog : IWindowObserver {
  std::vector<std::string> log;
  void OnWindowCreated(CWindowWnd* w) override { log.push_back("created " + w->GetWindowText()); }
  void OnWindowShown(CWindowWnd*, bool shown) override { log.push_back(shown ? "shown" : "hidden"); }
  void OnWindowMoved(CWindowWnd*, const UiRect& r) override { log.push_back("moved " + std::to_string(r.left)); }
  void OnWindowDestroyed(CWindowWnd* w) override {
    // The controls are still there when the renderer hears it.
    log.push_back(std::string("destroyed ") + (w->GetManager()->FindControl("apply") ? "with tree" : "no tree"));
  }
};

TEST_F(WindowTest, WindowObserverFollowsTheLifecycle) {
  WindowLog obs;
  CWindowWnd::SetObserver(&obs);
  {
    TestWindow w;
    w.Create(0, "Main");
    w.ShowWindow(true);
    w.MoveWindow(UiRect{10, 10, 410, 310});
  }
  CWindowWnd::SetObserver(nullptr);
  EXPECT_EQ(obs.log, (std::vector<std::string>{"created Main", "shown", "moved 10", "destroyed with tree"}));
}

}  // namespace
}  // namespace korvale::test
