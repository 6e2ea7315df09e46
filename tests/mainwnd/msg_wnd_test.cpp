// The message window: its buttons per mode, the result of each way to close
// it, and the texts it leaves alone.
#include "mainwnd_fixture.h"
#include "ui/controls.h"
#include "windows/msg_wnd.h"

namespace korvale::test {
namespace {

class MsgWndTest : public MainWndTest {
 protected:
  void SetUp() override { Start(); }
  void TearDown() override { CMsgWnd::SetOpenedHook({}); }
  // Shows a message and presses `button` in it; the result and what showed.
  int ShowAndPress(const char* button, int mode, const std::string& title = "") {
    CMsgWnd::SetOpenedHook([this, button](CMsgWnd& m) {
      CPaintManagerUI& pm = m.GetPaintManager();
      cancelVisible = pm.FindControl("cancel_btn")->IsVisible();
      titleText = std::string(pm.FindControl("MessageTitle")->GetText());
      owner = m.GetParent();
      const HWND h = m.GetHWND();
      loop.Post([h, button] {
        if (auto* w = dynamic_cast<CMsgWnd*>(CWindowWnd::FromHandle(h)))
          dynamic_cast<CButtonUI*>(w->GetPaintManager().FindControl(button))->Activate();
      });
    });
    return ShowMessage(hwnd, title, "message_text_29", 96, true, mode);
  }
  bool cancelVisible = false;
  std::string titleText;
  HWND owner = 0;
};

TEST_F(MsgWndTest, EachWayToCloseGivesItsResult) {
  struct Case {
    const char* button;
    int mode;
    int result;
    bool cancelShown;
  };
  const Case cases[] = {
      {"confirm_btn", kMsgConfirm, 1, true},
      {"cancel_btn", kMsgConfirm, 0, true},
      {"closebtn", kMsgConfirm, 0, true},
      {"confirm_btn", kMsgNotice, 1, false},
      {"closebtn", kMsgNotice, 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShowAndPress(c.button, c.mode), c.result) << c.button << " " << c.mode;
    EXPECT_EQ(cancelVisible, c.cancelShown) << c.button << " " << c.mode;
    EXPECT_EQ(owner, hwnd) << "a message window is owned by the main window";
    EXPECT_EQ(CMsgWnd::Showing(), nullptr);
  }
}

TEST_F(MsgWndTest, AnEmptyTitleKeepsTheSkinsAndAnOddScaleIsTraced) {
  ShowAndPress("confirm_btn", kMsgNotice);
  EXPECT_EQ(titleText, CResourceManager::GetInstance().GetText("message_title"));
  ShowAndPress("confirm_btn", kMsgNotice, "Mine");
  EXPECT_EQ(titleText, "Mine");
  TraceSink::Instance().Clear();
  CMsgWnd::SetOpenedHook([this](CMsgWnd& m) {
    EXPECT_EQ(m.GetPaintManager().GetDPI(), 96);
    const HWND h = m.GetHWND();
    loop.Post([h] { CWindowWnd::FromHandle(h)->Close(0); });
  });
  EXPECT_EQ(ShowMessage(hwnd, "", "x", 100, false, kMsgNotice), 0);
  EXPECT_TRUE(TraceSink::Instance().Contains("MSG_WND DPI SET ERROR"));
  // The number takes the "%d"; any other "%" stays text.
  CResourceManager::GetInstance().AddText("test_format", "%s: %d of %n");
  EXPECT_EQ(TranslateTextId("test_format", 7), "%s: 7 of %n");
}

}  // namespace
}  // namespace korvale::test
