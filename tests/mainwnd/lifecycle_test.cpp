// Start, language, scale, tray, close and exit, shutdown of worker threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "mainwnd_fixture.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#include "mainwnd/device_list.h"
#include "mainwnd/language_font.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"
#include "ui/containers.h"
#include "ui/controls.h"

namespace korvale::test {
namespace {

using Clock = std::chrono::steady_clock;

// A child window that counts what it is sent.
class ChildWnd : public CWindowWnd {
 public:
  int languageChanged = 0;
  int closed = 0;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
    if (msg == WM_LANGUAGE_CHANGED) ++languageChanged;
    if (msg == wm::kClose) ++closed;
    return CWindowWnd::HandleMessage(msg, w, l);
  }
};

using LifecycleTest = MainWndTest;

TEST_F(LifecycleTest, StartsHiddenWithTrayAndOverlayAndIsShownByTheWakeUp) {
  Start();
  EXPECT_TRUE(tray.shown);
  EXPECT_EQ(tray.owner, hwnd);
  EXPECT_EQ(tray.toolTip, "KORVALE TX730max");
  EXPECT_FALSE(wnd->IsVisible());
  ASSERT_NE(Find("No_device_Link"), nullptr);
  EXPECT_TRUE(Find("No_device_Link")->IsVisible());
  // The audio-lighting settings came from the default copy, now the user's.
  EXPECT_TRUE(wnd->GetAudioSettings().isObject());
  EXPECT_TRUE(wnd->GetAudioSettings().isMember("AudioLightInfo"));
  EXPECT_TRUE(std::filesystem::exists(wnd->GetAudioSettingsPath()));
  EXPECT_TRUE(IsInside(dir / "data", wnd->GetAudioSettingsPath()));
  // Companions hear that the lighting is ours.
  ASSERT_FALSE(broadcasts.empty());
  EXPECT_EQ(broadcasts[0], std::string(kLightControlNotifyMsgName) + " 1 1");

  // The wake-up (identity message) shows it.
  TraceSink::Instance().Clear();
  wnd->SendMessage(Number(kAppIdentity), 0, 0);
  EXPECT_TRUE(wnd->IsVisible());
  EXPECT_TRUE(Find("No_device_Link")->IsVisible());
  EXPECT_TRUE(TraceSink::Instance().Contains("软件标示"));
}

// A user "AudioFile.json" whose root is no object used to end every start.
class AudioFileShapeTest : public MainWndTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(AudioFileShapeTest, WrongRootIsRebuiltFromTheDefaultCopy) {
  const auto path = AppDataFolder() / "AudioFile.json";
  ASSERT_TRUE(WriteFileAtomic(path, GetParam()));
  Start();
  EXPECT_TRUE(wnd->GetAudioSettings().isMember("AudioLightInfo"));
  EXPECT_TRUE(JsonMember(ReadJsonFile(path), "Device").isObject());
}
INSTANTIATE_TEST_SUITE_P(Roots, AudioFileShapeTest, ::testing::Values("[1,2]", "\"text\"", "12"));

TEST_F(LifecycleTest, WithNoDeviceTheFirstDiscoveryPassShowsTheWindowWithTheOverlay) {
  wnd->SetDiscoveryEnabled(true);
  Start();
  for (int i = 0; i < 50 && !wnd->IsVisible(); ++i) loop.WaitForPosted(100);
  EXPECT_TRUE(wnd->IsVisible());
  EXPECT_TRUE(Find("No_device_Link")->IsVisible());
  EXPECT_EQ(wnd->CurrentDevice(), nullptr);
  ASSERT_NE(wnd->GetDeviceList(), nullptr);
  EXPECT_EQ(wnd->GetDeviceList()->VisibleTileCount(), 0);
}

TEST_F(LifecycleTest, CloseHidesToTheTrayAndTheTrayBringsItBack) {
  Start();
  wnd->ShowWindow(true);
  auto child = std::make_unique<ChildWnd>();
  ASSERT_NE(child->Create(hwnd, "settings"), 0u);
  wnd->SetChildWindow(CMainWnd::ChildWindow::kSettings, child->GetHWND());

  auto* close = dynamic_cast<CButtonUI*>(Find("closebtn"));
  ASSERT_NE(close, nullptr);
  close->Activate();
  loop.RunPending();
  EXPECT_FALSE(wnd->IsVisible());
  EXPECT_TRUE(IsWindow(hwnd));          // still running
  EXPECT_TRUE(wnd->IsThreadRunning(CMainWnd::kSyncLightSlot));
  EXPECT_EQ(child->closed, 1);          // child windows closed with it
  EXPECT_EQ(wnd->GetChildWindow(CMainWnd::ChildWindow::kSettings), 0u);

  wnd->SendMessage(WM_TRAY_NOTIFY, 0, kTrayLButtonUp);
  EXPECT_TRUE(wnd->IsVisible());
  EXPECT_EQ(wnd->GetWindowRect().Width(), 1000);
  EXPECT_EQ(wnd->GetWindowRect().Height(), 640);
  wnd->SendMessage(WM_TRAY_NOTIFY, 0, kTrayLButtonUp);
  EXPECT_FALSE(wnd->IsVisible());
}

TEST_F(LifecycleTest, MinimiseKeepsTheWindowInTheTaskBarUntilTheTrayOrAWakeUpRestoresIt) {
  Start();
  wnd->ShowWindow(true);
  auto click = [&](const char* name) {
    auto* b = dynamic_cast<CButtonUI*>(Find(name));
    ASSERT_NE(b, nullptr) << name;
    b->Activate();
    loop.RunPending();
  };
  click("minbtn");
  EXPECT_TRUE(wnd->IsVisible());  // still in the task bar
  EXPECT_TRUE(wnd->IsMinimized());
  EXPECT_FALSE(wnd->GetDeviceList()->IsWindowShown());
  // The tray counts a minimised window as not shown: a click brings it back.
  wnd->SendMessage(WM_TRAY_NOTIFY, 0, kTrayLButtonUp);
  EXPECT_TRUE(wnd->IsVisible());
  EXPECT_FALSE(wnd->IsMinimized());
  EXPECT_TRUE(wnd->GetDeviceList()->IsWindowShown());
  click("minbtn");
  wnd->SendMessage(Number(kAppIdentity), 0, 1);  // a second start wakes it
  EXPECT_FALSE(wnd->IsMinimized());
  EXPECT_TRUE(wnd->IsVisible());
  // Only the close button hides to the tray.
  click("closebtn");
  EXPECT_FALSE(wnd->IsVisible());
  EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(LifecycleTest, WithoutATrayTheCloseButtonEndsTheProgram) {
  tray.available = false;
  Start();
  wnd->ShowWindow(true);
  auto* close = dynamic_cast<CButtonUI*>(Find("closebtn"));
  ASSERT_NE(close, nullptr);
  close->Activate();
  loop.RunPending();
  loop.RunPending();
  EXPECT_FALSE(IsWindow(hwnd));  // not left hidden and unreachable
}

TEST_F(LifecycleTest, WithoutATrayAFrameCloseEndsTheProgram) {
  tray.available = false;
  Start();
  ASSERT_TRUE(PostMessageW(hwnd, wm::kClose, 0, 0));
  loop.RunPending();
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(LifecycleTest, RightClickOpensTheMenuAfter10msFrameCloseHidesAndExitEndsTheWindow) {
  Start();
  wnd->SendMessage(WM_TRAY_NOTIFY, 0, kTrayRButtonUp);
  EXPECT_TRUE(tray.menus.empty());
  loop.AdvanceBy(9);
  EXPECT_TRUE(tray.menus.empty());
  loop.AdvanceBy(1);
  ASSERT_EQ(tray.menus.size(), 1u);
  loop.AdvanceBy(100);
  EXPECT_EQ(tray.menus.size(), 1u);  // once: the timer killed itself

  const auto& items = tray.menus[0];
  std::size_t exitIndex = items.size();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].name == "exit") exitIndex = i;
  ASSERT_LT(exitIndex, items.size());
  // Texts arrive translated (English by default here).
  EXPECT_EQ(items[exitIndex].text, "Exit");

  // A close from the window frame only hides to the tray.
  wnd->ShowWindow(true);
  ASSERT_TRUE(PostMessageW(hwnd, wm::kClose, 0, 0));
  loop.RunPending();
  ASSERT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(wnd->IsVisible());
  EXPECT_TRUE(wnd->IsThreadRunning(CMainWnd::kSyncLightSlot));
  EXPECT_EQ(tray.deletes, 0);

  ASSERT_TRUE(PostMessageW(hwnd, WM_MENU_COMMAND, exitIndex, 0));
  loop.RunPending();  // the command, then the WM_CLOSE it posts
  loop.RunPending();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(tray.deletes, 1);
}

TEST_F(LifecycleTest, LanguageSwitchUpdatesTextsChildWindowsFontsAndTheStoredId) {
  Start();
  EXPECT_EQ(wnd->GetLanguageIndex(), 0);  // nothing stored: no list entry has 520
  auto* title = Find("no_device_title");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->GetText(), "No device connected");

  ChildWnd child;
  ASSERT_NE(child.Create(hwnd, "palette"), 0u);
  wnd->SetChildWindow(CMainWnd::ChildWindow::kPalette, child.GetHWND());

  wnd->SendMessage(WM_LANGUAGE_CHANGED, 1, 0);
  EXPECT_EQ(wnd->GetLanguageIndex(), 1);
  EXPECT_EQ(title->GetText(), "Kein Gerät verbunden");
  EXPECT_EQ(child.languageChanged, 1);
  EXPECT_EQ(SettingsStore().ReadDword("LANGUAGE"), 1031u);
  // Latin languages keep the Latin face set at start, whatever their index.
  const CPaintManagerUI& pm = wnd->GetPaintManager();
  for (int id : {0, 1, 3, 11, 50}) {
    ASSERT_NE(pm.GetFont(id), nullptr) << id;
    EXPECT_EQ(pm.GetFont(id)->name, "Arial") << id;
  }
  EXPECT_EQ(pm.GetFont(3)->size, 30);
  EXPECT_TRUE(pm.GetFont(50)->bold);
  EXPECT_TRUE(pm.GetFont(1)->underline);

  wnd->SendMessage(WM_LANGUAGE_CHANGED, 2, 0);
  EXPECT_EQ(pm.GetFont(0)->name, "Arial");
  EXPECT_EQ(title->GetText(), "Aucun appareil connecté");

  // The same index again changes nothing, not even the children.
  wnd->SendMessage(WM_LANGUAGE_CHANGED, 2, 0);
  EXPECT_EQ(child.languageChanged, 2);

  // An index past the list is refused and keeps the language.
  wnd->SendMessage(WM_LANGUAGE_CHANGED, 7, 0);
  EXPECT_EQ(wnd->GetLanguageIndex(), 2);
  EXPECT_EQ(child.languageChanged, 2);
  EXPECT_EQ(SettingsStore().ReadDword("LANGUAGE"), 1036u);
}

TEST_F(LifecycleTest, StoredLanguageIsAppliedAtStart) {
  ASSERT_TRUE(SettingsStore().WriteDword("LANGUAGE", 1036));
  Start();
  EXPECT_EQ(wnd->GetLanguageIndex(), 2);
  EXPECT_EQ(Find("no_device_title")->GetText(), "Aucun appareil connecté");
}

TEST_F(LifecycleTest, AudioLevelsOutOfTheSlidersRangeClampAtStart) {
  ASSERT_TRUE(WriteFileAtomic(AppDataFolder() / "AudioFile.json",
                              R"({"Device": {"AudioLightInfo": {"nAudioStyle": 9, "nStyleR0": 255, "nStyleB2": 12,
                                  "nStyleG1": 5}}})"));
  Start();
  const AudioStyles& s = wnd->GetAudioStyles();
  EXPECT_EQ(s.style, 3);
  EXPECT_EQ(s.levels[0], 9);
  EXPECT_EQ(s.levels[4], 5);
  EXPECT_EQ(s.levels[8], 9);
}

TEST(FontFace, ChosenByTheLanguageNotItsPosition) {
  struct Case {
    int64_t id, previous;
    const char* face;
  };
  const Case cases[] = {
      {2052, 1033, "汉仪菱心体简"},  {4100, -1, "汉仪菱心体简"},  // simplified: PRC, Singapore
      {1028, 1033, "Noto Sans CJK TC Regular"}, {3076, 2052, "Noto Sans CJK TC Regular"},  // traditional
      {1054, 1031, "Noto Sans Thai"},
      {1033, -1, "Arial"},  {1036, 1054, "Arial"}, {1031, 2052, "Arial"}, {1036, 1028, "Arial"},
      {1036, 1033, ""},     {1031, 1036, ""},      {-1, 1033, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FontFaceForLanguage(c.id, c.previous), c.face) << c.id << " from " << c.previous;
}

TEST(InterfaceScale, LargeMonitorsGet144) {
  EXPECT_EQ(CMainWnd::ScaleForMonitor({1920, 1080}), 144);
  EXPECT_EQ(CMainWnd::ScaleForMonitor({1366, 768}), 96);
  EXPECT_EQ(CMainWnd::ScaleForMonitor({1501, 961}), 144);
  EXPECT_EQ(CMainWnd::ScaleForMonitor({1500, 1080}), 96);
  EXPECT_EQ(CMainWnd::ScaleForMonitor({1920, 960}), 96);
}

TEST_F(LifecycleTest, ScaleTimerAfterStartSizesTheWindowAndSetsTheDpi) {
  wnd->SetMonitorSize({1920, 1080});
  Start();
  loop.AdvanceBy(100);
  EXPECT_EQ(wnd->GetInterfaceScale(), 144);
  EXPECT_EQ(wnd->GetPaintManager().GetDPI(), 144);
  EXPECT_EQ(wnd->GetWindowRect().Width(), 1000);
  EXPECT_FALSE(wnd->IsVisible());  // hidden stays hidden
}

TEST_F(LifecycleTest, LightingControlButtonAndMessage) {
  Start();
  auto* button = dynamic_cast<CButtonUI*>(Find("control_light_status"));
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(wnd->GetLightingControl());
  broadcasts.clear();
  button->Activate();
  loop.RunPending();
  EXPECT_FALSE(wnd->GetLightingControl());
  EXPECT_EQ(button->GetRawText(), "不控制灯光");
  EXPECT_EQ(button->GetText(), "Lighting: released");
  ASSERT_EQ(broadcasts.size(), 1u);
  EXPECT_EQ(broadcasts[0], std::string(kLightControlNotifyMsgName) + " 1 0");

  const UINT set = Number(kLightControlSetMsgName);
  wnd->SendMessage(set, 2, 1);  // wParam other than 1: nothing
  EXPECT_FALSE(wnd->GetLightingControl());
  wnd->SendMessage(set, 1, 5);  // another lParam keeps the flag
  EXPECT_FALSE(wnd->GetLightingControl());
  wnd->SendMessage(set, 1, 1);
  EXPECT_TRUE(wnd->GetLightingControl());
  EXPECT_EQ(button->GetRawText(), "控制灯光");
  EXPECT_EQ(broadcasts.size(), 1u);  // the message is not echoed to peers
}

TEST_F(LifecycleTest, VelmoDpiEditIsClampedAndDrivesItsSlider) {
  Start();
  auto* root = dynamic_cast<CContainerUI*>(wnd->GetPaintManager().GetRoot());
  ASSERT_NE(root, nullptr);
  auto* edit = new CEditUI;
  edit->SetName("velmo_DPI_edit_2");
  auto* slider = new CSliderUI;
  slider->SetName("velmo_DPI_slider_2");
  slider->SetAttribute("max", "10000");
  root->Add(edit);
  root->Add(slider);
  const std::pair<const char*, int> cases[] = {{"abc", 200}, {"", 200}, {"150", 200}, {"800", 800}, {"99999", 6500}};
  for (const auto& [typed, expected] : cases) {
    edit->SetText(typed);
    wnd->GetPaintManager().SendNotify(edit, "killfocus");
    EXPECT_EQ(edit->GetText(), std::to_string(expected)) << typed;
    EXPECT_EQ(slider->GetValue(), expected) << typed;
  }
  slider->SetValue(1234);
  wnd->GetPaintManager().SendNotify(slider, "movevaluechanged");
  EXPECT_EQ(edit->GetText(), "1234");
}

TEST_F(LifecycleTest, DpiChangeTakesTheScaleAndTheSuggestedSizeAsValuesOnly) {
  Start();
  auto sendRect = [&](std::vector<std::int32_t> v, std::size_t bytes) {
    std::vector<std::uint8_t> b(bytes);
    std::memcpy(b.data(), v.data(), std::min(bytes, v.size() * sizeof(std::int32_t)));
    SendCopyData(wnd->GetHWND(), CMainWnd::kCopyDataDpiRect, b.data(), b.size());
  };
  sendRect({144, 0, 0, 1500, 960}, 20);
  EXPECT_EQ(wnd->GetPaintManager().GetDPI(), 144);
  EXPECT_EQ(wnd->GetWindowRect().Width(), 1500);
  EXPECT_EQ(wnd->GetWindowRect().Height(), 960);
  // lParam is a value: an address there is never read.
  UiRect other{0, 0, 1200, 700};
  wnd->SendMessage(wm::kDpiChanged, 96, reinterpret_cast<LPARAM>(&other));
  wnd->SendMessage(wm::kDpiChanged, 96, 16);
  EXPECT_EQ(wnd->GetPaintManager().GetDPI(), 96);
  EXPECT_EQ(wnd->GetWindowRect().Width(), 1500);
  // Refused, changing nothing: a block of the wrong size, an empty or huge
  // rectangle, a dpi the skin has no drawing for, WM_COPYDATA without a block.
  sendRect({144, 0, 0, 800, 600}, 16);
  sendRect({144, 0, 0, 800, 600, 0}, 24);
  sendRect({144, 10, 10, 10, 600}, 20);
  sendRect({144, -2000000000, 0, 2000000000, 600}, 20);
  sendRect({100000, 0, 0, 800, 600}, 20);
  wnd->SendMessage(wm::kDpiChanged, 0xFFFF, 0);
  wnd->SendMessage(wm::kCopyData, 0, 16);
  EXPECT_EQ(wnd->GetPaintManager().GetDPI(), 96);
  EXPECT_EQ(wnd->GetWindowRect().Width(), 1500);
  EXPECT_EQ(wnd->GetWindowRect().Height(), 960);
}

TEST_F(LifecycleTest, UpdateIsLatestClearsTheSettingsBadge) {
  Start();
  auto* set = dynamic_cast<CButtonUI*>(Find("setbtn"));
  ASSERT_NE(set, nullptr);
  set->SetForeImage("badge.png");
  wnd->SendMessage(WM_UPDATE_IS_LATEST);
  EXPECT_EQ(set->GetForeImage(), "");
}

TEST_F(LifecycleTest, DisplayChangeRescalesForTheNewResolution) {
  Start();
  ASSERT_EQ(wnd->GetInterfaceScale(), 96);  // 1366 x 768 at start
  wnd->SendMessage(wm::kDisplayChange, 32, 1920 | 1080 << 16);
  EXPECT_EQ(wnd->GetInterfaceScale(), 144);
  wnd->SendMessage(wm::kDisplayChange, 32, 1366 | 768 << 16);
  EXPECT_EQ(wnd->GetInterfaceScale(), 96);
  wnd->SendMessage(wm::kDisplayChange, 32, 0);  // no size given: the last one stands
  EXPECT_EQ(wnd->GetInterfaceScale(), 96);
}

TEST_F(LifecycleTest, ActivationAndHoverFlags) {
  Start();
  wnd->SendMessage(wm::kMouseHover);
  EXPECT_TRUE(wnd->IsHovered());
  wnd->SendMessage(wm::kMouseLeave);
  EXPECT_FALSE(wnd->IsHovered());
  wnd->SendMessage(wm::kActivate, 1, 0);
  EXPECT_TRUE(wnd->IsActive());
  EXPECT_TRUE(wnd->IsHovered());
  wnd->SendMessage(wm::kMouseLeave);  // active: hover stays
  EXPECT_TRUE(wnd->IsHovered());
  wnd->SendMessage(wm::kActivate, 0, 0);
  EXPECT_FALSE(wnd->IsActive());
  EXPECT_FALSE(wnd->IsHovered());
}

TEST_F(LifecycleTest, ShutdownEndsWithinTheBoundEvenWhenAThreadIgnoresItsStop) {
  Start();
  auto release = std::make_shared<Event>(Event::Reset::Manual);
  std::atomic<bool> politeEnded{false};
  ASSERT_TRUE(wnd->StartThread(3, [&politeEnded](const MainThreadParam& p) {
    p.stop->Wait(Event::kInfinite);
    politeEnded = true;
  }));
  ASSERT_TRUE(wnd->StartThread(5, [release](const MainThreadParam&) { release->Wait(10000); }));
  EXPECT_FALSE(wnd->StartThread(3, [](const MainThreadParam&) {}));   // taken
  EXPECT_FALSE(wnd->StartThread(20, [](const MainThreadParam&) {}));  // no such slot

  TraceSink::Instance().Clear();
  const auto t0 = Clock::now();
  wnd->DestroyWindow();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  EXPECT_TRUE(politeEnded);
  EXPECT_GE(ms, static_cast<long>(CMainWnd::kThreadStopWaitMs) - 50);
  EXPECT_LT(ms, static_cast<long>(CMainWnd::kThreadStopWaitMs) + 700);
  EXPECT_TRUE(TraceSink::Instance().Contains("所有对象处于激发状态"));
  EXPECT_TRUE(TraceSink::Instance().Contains("thread slot 5 did not stop"));
  EXPECT_TRUE(TraceSink::Instance().Contains("退出测试"));
  EXPECT_FALSE(IsWindow(hwnd));
  release->Set();  // let the stray thread end before the test program does
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// Destroyed before its posted "windowinit" ran: that notification starts
// nothing, and the destructor still stops a thread started after the shutdown.
TEST_F(LifecycleTest, WindowInitAfterDestroyStartsNothingAndTheDestructorStopsLateThreads) {
  hwnd = wnd->Create(0, kAppIdentity);
  ASSERT_NE(hwnd, 0u);
  wnd->DestroyWindow();
  loop.RunPending();
  EXPECT_FALSE(wnd->IsThreadRunning(CMainWnd::kSyncLightSlot));
  EXPECT_EQ(wnd->GetDeviceList(), nullptr);

  auto ended = std::make_shared<std::atomic<bool>>(false);
  ASSERT_TRUE(wnd->StartThread(3, [ended](const MainThreadParam& p) {
    p.stop->Wait(Event::kInfinite);
    *ended = true;
  }));
  wnd.reset();
  EXPECT_TRUE(*ended);
}

}  // namespace
}  // namespace korvale::test
