// Macro recording through the Qt renderer (offscreen): key events with their
// native scan codes, auto-repeat flags and timestamps, and mouse buttons on
// the recording pad, become the editor's rows and delays in each time mode.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "editors/macro_control.h"
#include "platform/atomic_file.h"
#include "profiles/json_file.h"
#include "profiles/macro_files.h"
#include "qt_fixture.h"
#include "qtview/input_capture_filter.h"
#include "ui/input_capture.h"

namespace korvale::test {
namespace {

namespace fs = std::filesystem;
using Placement = CMacroControlUI::Placement;

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    CPaintManagerUI::SetResourcePath(fs::path(KORVALE_SOURCE_DIR) / "skin");
    RegisterMacroControl();
    window = std::make_unique<SkinWindow>(R"(<Window size="1000,260"><VerticalLayout><Include source="XML/CustomControlXML/MacroControl.xml"/></VerticalLayout></Window>)");
    editor = window->Find<CMacroControlUI>(macroui::kEditorName);
    ASSERT_NE(editor, nullptr);
    window->Find("macro_action_layout")->SetEnabled(true);  // as with a macro selected
    filter = std::make_unique<qtview::QtInputCaptureFilter>();
  }
  void TearDown() override {
    filter.reset();
    window.reset();
    CPaintManagerUI::SetResourcePath({});
    if (!folder.empty()) fs::remove_all(folder);
  }
  void Record(int timeMode, Placement placement = Placement::Append) {
    editor->StartRecording(timeMode);
    ASSERT_TRUE(CInputCapture::Instance().Install(kCaptureAppend, [this, placement](const CapturedInput& in) {
      editor->RecordEvent(placement, in);
    }));
  }
  void Stop() {
    CInputCapture::Instance().Uninstall();
    editor->StopRecording();
  }
  // A key as X11 and Wayland give it: native scan code = evdev + 8.
  bool Key(bool press, uint16_t evdev, uint64_t time, bool repeat = false) {
    QKeyEvent ev(press ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, evdev + 8, 0, 0,
                 QString(), repeat);
    ev.setTimestamp(time);
    return QApplication::sendEvent(window->view->Window(), &ev);
  }
  void Mouse(const char* control, bool press, Qt::MouseButton button, uint64_t time) {
    QWidget* w = window->WidgetOf(control);
    ASSERT_NE(w, nullptr) << control;
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent ev(press ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at, w->mapToGlobal(at), button,
                   press ? button : Qt::NoButton, Qt::NoModifier);
    ev.setTimestamp(time);
    QApplication::sendEvent(w, &ev);
  }
  std::vector<MacroEvent> Rows() { return editor->GetRowEvents(); }
  static MacroEvent E(uint8_t type, uint8_t button, bool down, uint16_t delay) { return {delay, type, down, button}; }

  std::unique_ptr<SkinWindow> window;
  std::unique_ptr<qtview::QtInputCaptureFilter> filter;
  CMacroControlUI* editor = nullptr;
  fs::path folder;
};

constexpr uint16_t kA = 30, kB = 48, kLShift = 42;

TEST_F(RecordingTest, EachTimeModeGivesThePartsDelaysFromTheEventsTimes) {
  struct Mode {
    int mode;
    std::vector<uint16_t> delays;
  };
  for (const Mode& m : {Mode{1, {120, 300, 80, 0}}, Mode{2, {50, 50, 50, 50}}, Mode{3, {0, 0, 0, 0}}}) {
    SCOPED_TRACE(m.mode);
    editor->DeleteAllActions();
    window->Find(macroui::kFixedDelayEdit)->SetText("50");
    Record(m.mode);
    EXPECT_TRUE(Key(true, kA, 1000));
    EXPECT_TRUE(Key(true, kA, 1030, true));  // auto-repeat while held: one press
    EXPECT_TRUE(Key(false, kA, 1120));
    EXPECT_TRUE(Key(true, kB, 1420));
    EXPECT_TRUE(Key(false, kB, 1500));
    Stop();
    const auto d = m.delays;
    EXPECT_EQ(Rows(), (std::vector<MacroEvent>{E(10, 0x04, true, d[0]), E(10, 0x04, false, d[1]),
                                               E(10, 0x05, true, d[2]), E(10, 0x05, false, d[3])}));
  }
}

TEST_F(RecordingTest, PadClicksAreRecordedStopIsNotAndAHeldKeyIsReleasedAtStop) {
  window->Find(macroui::kFixedDelayEdit)->SetText("50");
  Record(1);
  EXPECT_TRUE(window->Find(kRecordPadName)->IsVisible());
  EXPECT_TRUE(window->Find("macro_btn_stopredio")->IsVisible());
  EXPECT_TRUE(Key(true, kLShift, 5000));
  Mouse(kRecordPadName, true, Qt::BackButton, 5100);
  Mouse(kRecordPadName, false, Qt::BackButton, 5160);
  Mouse(kRecordPadName, true, Qt::RightButton, 5200);
  Mouse(kRecordPadName, false, Qt::RightButton, 5210);
  // Stop lies outside the pad: the click reaches the button, not the macro.
  QTest::mouseClick(window->WidgetOf("macro_btn_stopredio"), Qt::LeftButton);
  EXPECT_EQ(window->rec.Count("click", "macro_btn_stopredio"), 1);
  // The lock keys are recorded and still reach the window, so their state stays right.
  CapturedInput caps;
  caps.nativeScanCode = 58 + kEvdevScanOffset;
  caps.timestampMs = 5320;
  EXPECT_FALSE(CInputCapture::Instance().Deliver(caps));
  Stop();
  EXPECT_FALSE(window->Find(kRecordPadName)->IsVisible());
  // Caps Lock is a key of the table as well; Shift was still down at Stop.
  EXPECT_EQ(Rows(), (std::vector<MacroEvent>{E(9, 0x02, true, 100), E(1, 8, true, 60), E(1, 8, false, 40),
                                             E(1, 2, true, 10), E(1, 2, false, 110), E(10, 0x39, true, 0),
                                             E(10, 0x39, false, 0), E(9, 0x02, false, 0)}));
  // A new recording forgets the last key: Shift, the last key pressed before, counts again.
  Record(3);
  EXPECT_TRUE(Key(true, kLShift, 6000));
  Stop();
  ASSERT_EQ(Rows().size(), 10u);
  EXPECT_EQ(Rows()[8], E(9, 0x02, true, 0));
}

TEST_F(RecordingTest, BeforeAndAfterFollowTheSelectionAndTheListKeepsRoomForReleases) {
  Record(3);
  Key(true, kA, 10);
  Key(false, kA, 20);
  Stop();
  auto* list = window->Find<CListUI>(macroui::kActionList);
  list->SelectItem(0, false, false);
  Record(3, Placement::Before);
  Key(true, kB, 30);
  Key(false, kB, 40);
  Stop();
  list->SelectItem(3, false, false);
  Record(3, Placement::After);
  Key(true, kLShift, 50);
  Stop();  // released at Stop, after the press
  EXPECT_EQ(Rows(), (std::vector<MacroEvent>{E(10, 5, true, 0), E(10, 5, false, 0), E(10, 4, true, 0),
                                             E(10, 4, false, 0), E(9, 2, true, 0), E(9, 2, false, 0)}));

  // 3,997 actions: a press fits with its release, the next press does not.
  std::string t = (fs::temp_directory_path() / "korvale-rec-XXXXXX").string();
  ASSERT_NE(::mkdtemp(t.data()), nullptr);
  folder = t;
  ASSERT_TRUE(WriteMacroIndex(folder, {{"long", "2024_01_01_00_00_00_000"}}));
  std::vector<MacroEvent> many(3997, E(1, 1, true, 5));
  ASSERT_TRUE(TryWriteJsonFile(folder / "2024_01_01_00_00_00_000.mac", MacroDocument("long", "2024_01_01_00_00_00_000", many)));
  editor->SetMacroFolder(folder);
  editor->LoadMacroList();
  window->Find<CListUI>(macroui::kNameList)->SelectItem(0, false, false);
  editor->ShowSelectedMacro();
  ASSERT_EQ(editor->GetActionCount(), 3997);
  Record(3);
  Key(true, kA, 1);
  Key(true, kB, 2);  // no room for it and its release
  Key(false, kB, 3);
  Stop();
  const auto events = editor->GetRowEvents();
  ASSERT_EQ(events.size(), 3999u);
  EXPECT_EQ(events[3997], E(10, 4, true, 0));
  EXPECT_EQ(events[3998], E(10, 4, false, 0));
}

}  // namespace
}  // namespace korvale::test
