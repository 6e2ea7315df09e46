// The start-up sequence headless: a virtual UI loop, no renderer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/registered_messages.h"
#include "platform/trace.h"
#include "shell/app_shell.h"
#include "tests/shell/shell_test_util.h"
#include "ui/dialog_builder.h"
#include "ui/skin_controls.h"

namespace fs = std::filesystem;
using namespace korvale;
using korvale::shelltest::TempDir;

namespace {

// Records what the shell asks of the font installer; refuses files that do
// not start like a font file.
class RecordingFonts : public IFontInstaller {
 public:
  int AddFont(const fs::path& file) override {
    added.push_back(file);
    char head[4] = {};
    std::ifstream(file, std::ios::binary).read(head, sizeof head);
    const bool looksLikeFont = head[0] == 0 || std::memcmp(head, "OTTO", 4) == 0;
    return looksLikeFont ? next++ : 0;
  }
  void RemoveFont(int handle) override { removed.push_back(handle); }
  std::vector<fs::path> added;
  std::vector<int> removed;
  int next = 1;
};

void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TraceSink::Instance().Clear();
    SetUiLoop(&loop);
    fs::create_directories(data.path() / "skin");
    options.loop = &loop;
    options.fonts = &fonts;
    options.dataDir = data.path();
    options.busDir = runtime.path() / "korvale-bus";
    options.lockDir = runtime.path();
    options.discovery = false;  // no device scan: its wake-up would show the window
  }
  void TearDown() override { SetUiLoop(nullptr); }

  TempDir data, runtime;
  VirtualUiLoop loop;
  RecordingFonts fonts;
  ShellOptions options;
};

TEST_F(ShellTest, StartsInOrderRunsTheWindowAndTearsDown) {
  // Rows 1 and 3 present (3 is not a font), 2 and 4 absent.
  WriteFile(data.path() / "Font" / "Simplified_Chinese.ttf", std::string("\0\1\0\0", 4) + "glyphs");
  WriteFile(data.path() / "Font" / "NotoSansThai-Regular.ttf", "not a font at all");
  bool ran = false;
  CAppShell* self = nullptr;
  options.onMainWindow = [&](CMainWnd& window) {
    ran = true;
    EXPECT_EQ(self->GetStage(), CAppShell::Stage::Running);
    EXPECT_EQ(window.GetWindowText(), kAppIdentity);
    const UiRect r = window.GetWindowRect();
    EXPECT_EQ(r.Width(), 800);
    EXPECT_EQ(r.Height(), 572);
    const UiSize screen = CWindowWnd::GetScreenSize();
    EXPECT_EQ(r.left, (screen.cx - 800) / 2);
    EXPECT_TRUE(window.IsVisible());
    // Peers find the window by its title.
    EXPECT_TRUE(self->Bus()->FindWindow(kAppIdentity));
    // The companion messages follow the identity message in their order.
    const std::uint32_t id = self->IdentityMessage();
    EXPECT_EQ(RegisteredMessageName(id), kAppIdentity);
    for (std::size_t i = 0; i < kCompanionMessageNames.size(); ++i)
      EXPECT_EQ(FindRegisteredMessage(kCompanionMessageNames[i]), id + 1 + i) << i;
    EXPECT_EQ(RegisteredMessageName(id + 6), kHookMessageNames[0]);
    EXPECT_TRUE(FindRegisteredMessage("Game_Death"));
    // The skin's classes are registered in the table's order.
    auto names = CControlFactory::GetInstance().GetRegisteredNames();
    auto at = [&](const char* n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
    EXPECT_LT(at("CCircleProgressUI"), at("CChartViewUI"));
    EXPECT_LT(at("CChartViewUI"), at("CAudioRecordUI"));
    EXPECT_LT(at("CAudioRecordUI"), static_cast<long>(names.size()));
    EXPECT_EQ(CPaintManagerUI::GetResourcePath(), data.path() / "skin");
    loop.Post([&window] { window.DestroyWindow(); });
  };
  CAppShell shell(options);
  self = &shell;
  EXPECT_EQ(shell.Run(), 0);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(TraceSink::Instance().Contains("软件标示：" + std::to_string(shell.IdentityMessage())));
  // The present rows by their paths, in table order.
  EXPECT_EQ(fonts.added, (std::vector<fs::path>{data.path() / "Font" / "Simplified_Chinese.ttf",
                                                data.path() / "Font" / "NotoSansThai-Regular.ttf"}));
  EXPECT_EQ(fonts.removed, std::vector<int>{1});
  EXPECT_EQ(shell.GetStage(), CAppShell::Stage::TornDown);
  // The lock and the window's socket went with the tear-down.
  EXPECT_EQ(SingleInstance(kAppIdentity, runtime.path()).GetState(), SingleInstance::State::Owner);
  MessageBus probe(loop, options.busDir);
  EXPECT_FALSE(probe.FindWindow(kAppIdentity));
}

TEST_F(ShellTest, FontsAreRemovedInReverseOrder) {
  for (auto name : kPrivateFontFiles) WriteFile(data.path() / "Font" / std::string(name), "OTTO....");
  options.onMainWindow = [&](CMainWnd& window) {
    EXPECT_TRUE(fonts.removed.empty());
    loop.Post([&window] { window.DestroyWindow(); });
  };
  CAppShell shell(options);
  EXPECT_EQ(shell.Run(), 0);
  EXPECT_EQ(fonts.removed, (std::vector<int>{4, 3, 2, 1}));
}

TEST_F(ShellTest, ASecondStartWakesTheFirstAndExitsWithZero) {
  WriteFile(data.path() / "Font" / "Quorvane-Regular.otf", "OTTO....");
  int secondExit = -1;
  CAppShell::Stage secondStage{};
  int delivered = 0;
  bool hiddenBefore = false, shownAfter = false;
  options.onMainWindow = [&](CMainWnd& window) {
    // The window hides itself at "windowinit" until a wake-up (no discovery here).
    loop.RunPending();
    hiddenBefore = !window.IsVisible();
    ShellOptions again = options;
    again.onMainWindow = [](CMainWnd&) { ADD_FAILURE() << "a second main window"; };
    RecordingFonts fonts2;
    again.fonts = &fonts2;
    {
      CAppShell second(again);
      secondExit = second.Run();
      secondStage = second.GetStage();
      delivered = second.WakeUpsDelivered();
    }
    // The early exit removed the fonts it had loaded.
    EXPECT_EQ(fonts2.removed, std::vector<int>{1});
    // The wake-up arrives through the bus on the UI thread and shows the window.
    for (int i = 0; i < 40 && !window.IsVisible(); ++i) loop.WaitForPosted(50);
    shownAfter = window.IsVisible();
    loop.Post([&window] { window.DestroyWindow(); });
  };
  CAppShell first(options);
  EXPECT_EQ(first.Run(), 0);
  EXPECT_EQ(secondExit, 0);
  EXPECT_EQ(secondStage, CAppShell::Stage::SecondInstance);
  EXPECT_EQ(delivered, 1);
  EXPECT_TRUE(hiddenBefore);
  EXPECT_TRUE(shownAfter);
  EXPECT_TRUE(TraceSink::Instance().Contains("软件标示 " + std::to_string(first.IdentityMessage()) + "，"));
}

struct OneTray : ITrayIcon {
  bool CreateTrayIcon(HWND, std::string_view) override { return available; }
  void DeleteTrayIcon() override {}
  void ShowMenu(HWND, const std::vector<TrayMenuItem>&) override {}
  bool available = true;
};

// --hidden: the first scan's wake-up leaves the window in the tray, a second
// start shows it; without a tray nothing could show it, so it starts shown.
TEST_F(ShellTest, AHiddenStartStaysInTheTrayUntilWokenUp) {
  struct Case {
    bool startHidden, trayAvailable, visibleAfterFirstScan;
  };
  const Case cases[] = {
      {true, true, false},
      {true, false, true},
      {false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "hidden " << c.startHidden << " tray " << c.trayAvailable);
    OneTray tray;
    tray.available = c.trayAvailable;
    options.tray = &tray;
    options.startHidden = c.startHidden;
    bool afterFirstScan = !c.visibleAfterFirstScan, afterSecondStart = false;
    CAppShell* self = nullptr;
    options.onMainWindow = [&](CMainWnd& window) {
      loop.RunPending();
      window.SendMessage(self->IdentityMessage(), 0, 0);  // as the discovery thread after its first scan
      afterFirstScan = window.IsVisible();
      window.SendMessage(self->IdentityMessage(), 0, 1);  // as a second start
      afterSecondStart = window.IsVisible();
      loop.Post([&window] { window.DestroyWindow(); });
    };
    CAppShell shell(options);
    self = &shell;
    EXPECT_EQ(shell.Run(), 0);
    EXPECT_EQ(afterFirstScan, c.visibleAfterFirstScan);
    EXPECT_TRUE(afterSecondStart);
  }
}

TEST_F(ShellTest, WithoutTheFontFolderStartupCarriesOn) {
  bool ran = false;
  options.onMainWindow = [&](CMainWnd& window) {
    ran = true;
    loop.Post([&window] { window.DestroyWindow(); });
  };
  CAppShell shell(options);
  EXPECT_EQ(shell.Run(), 0);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(fonts.added.empty());
  for (int h : shell.FontHandles()) EXPECT_EQ(h, 0);
}

}  // namespace
