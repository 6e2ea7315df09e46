// The lighting editor built from the real skin: which panels each device kind
// and effect leaves usable, how a LightInfo record and the audio record are
// shown and read back, and what a missing control does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/light_control.h"
#include "platform/trace.h"
#include "platform/ui_loop.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"

namespace korvale {
namespace {

const std::string kSkin = std::string(KORVALE_SOURCE_DIR) + "/skin/XML/CustomControlXML/LightControl.xml";

class NoteCounter : public INotifyUI {
 public:
  void Notify(TNotifyUI& msg) override { notes.push_back(msg.sType + " " + msg.pSender->GetName()); }
  std::vector<std::string> notes;
};

class LightEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUiLoop(&loop_);
    RegisterLightControl();
    CDialogBuilder builder;
    CControlUI* root = builder.Create(kSkin, nullptr, &pm_);
    editor_ = dynamic_cast<CLightControlUI*>(root);
    ASSERT_NE(editor_, nullptr);
    EXPECT_EQ(editor_->GetName(), "LightControlItem");
    pm_.AttachDialog(root);
    pm_.AddNotifier(&notes_);
    std::vector<std::string> names;
    for (int i = 0; i < 36; ++i) names.push_back("light_mode_" + std::to_string(i));
    editor_->SetEffectList(names, std::vector<int>(names.size(), 1), 4, 4);
  }
  void TearDown() override {
    pm_.RemoveNotifier(&notes_);
    pm_.AttachDialog(nullptr);
    SetUiLoop(nullptr);
  }
  CControlUI* C(const std::string& name) {
    CControlUI* c = editor_->FindSubControl(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  template <class T>
  T* As(const std::string& name) {
    return dynamic_cast<T*>(C(name));
  }

  VirtualUiLoop loop_;
  CPaintManagerUI pm_;
  NoteCounter notes_;
  CLightControlUI* editor_ = nullptr;
};

TEST_F(LightEditorTest, SkinHoldsEveryNamedControl) {
  for (const char* name :
       {"light_combo_modeSelect", "light_combo_custommodeSelect", "light_combo_ZZCCmodeSelect", "deng_light_slider",
        "deng_speed_slider", "deng_edit_R", "deng_edit_G", "deng_edit_B", "deng_Color_Pallet", "color_option_0",
        "deng_colordp_btn", "deng_7color_check", "deng_FXL_check", "deng_FXR_check", "deng_same_mode",
        "lighteffect_layout", "deng_color_layout", "colorpallet_layout", "deng_light_layout", "deng_speed_layout",
        "deng_fx_layout", "lightcustom_layout", "light_combo_ZZCCmodeSelectLayout", "light_color_layout",
        "light_combo_AudiomodeSelectLayout", "light_color_tablayout", "light_combo_audiomodeSelect",
        "deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B", "deng_audioColor_Pallet",
        "deng_audiocolordp_btn", "audiocolor_option_0", "deng_7audiocolor_check", "audio_BkColor_check",
        "audio_FgColor_check", "light_audiocolor_layout", "audiocolorpallet_layout", "custom_bright_color_btn",
        "custom_off_color_btn"})
    EXPECT_NE(editor_->FindSubControl(name), nullptr) << name;
}

// Enabled state of L M C P B S F; '-' = not checked. Extras: -1 = not checked.
struct LayoutCase {
  int kind;
  int effect;
  bool sameFlag;
  const char* enabled;  // L M C P B S F
  int sameShown, customShown, speedShown, extraShown, audioShown, tabPage, colourPanel;
  const char* fxLeftText;
};

TEST_F(LightEditorTest, PanelsFollowKindAndEffect) {
  const LayoutCase cases[] = {
      {1, 1, true, "1111111", 0, 0, 1, 0, 0, 0, 1, "light_set_right_to_left_text"},
      {1, 3, true, "1111111", 0, 0, 1, 0, 0, 0, 1, "light_set_clockwise_text"},
      {1, 4, true, "1000110", 1, 0, 1, 0, 0, 0, 0, "light_set_right_to_left_text"},
      {1, 4, false, "1000110", 0, 0, 1, 0, 0, 0, 0, nullptr},
      {1, 29, true, "1111101", 0, 0, 0, 0, 1, 1, 1, nullptr},
      {1, 20, true, "1011100", 0, 1, 0, 0, 0, 0, 1, nullptr},
      {1, 0, true, "1000000", 0, 0, 1, 0, 0, 0, 1, nullptr},
      {1, 17, true, "1000110", 0, 0, 0, 1, 0, 0, 0, nullptr},
      {1, 18, true, "1000101", 0, 0, 1, 0, 0, 0, 0, "light_set_outside_to_inside_text"},
      {1, 21, true, "1000000", 1, 0, 1, 0, 0, 0, 1, nullptr},
      {1, 32, true, "1111111", 0, 0, 1, 0, 0, 0, 1, "light_set_up_to_down_text"},
      {1, 35, true, "1000000", 0, 0, 1, 0, 0, 0, 1, nullptr},
      {9, 20, true, "1011100", 0, 1, 0, 0, 0, 0, 1, nullptr},  // receiver keyboard
      {2, 11, true, "1111101", 0, -1, 0, -1, 1, 1, -1, "light_set_down_to_up_text"},
      {2, 3, true, "1011100", 0, -1, 1, -1, 0, 0, -1, nullptr},
      {2, 10, true, "1000000", 0, -1, 1, -1, 0, 0, -1, nullptr},
      {2, 9, true, "1000000", 0, -1, 1, -1, 0, 0, -1, nullptr},
      {3, 8, true, "1000000", 1, -1, -1, -1, -1, -1, -1, nullptr},
      {3, 0, true, "1111111", 0, -1, -1, -1, -1, -1, -1, nullptr},
      {7, 2, true, "1111110", 1, -1, -1, -1, -1, -1, -1, nullptr},
      {4, 3, true, "1011100", 1, -1, -1, -1, -1, -1, -1, nullptr},
      {5, 1, true, "101110-", -1, -1, -1, -1, -1, -1, -1, nullptr},
      {5, 9, true, "100000-", -1, -1, -1, -1, -1, -1, -1, nullptr},
  };
  const char* panels[] = {"lighteffect_layout", "deng_7color_check", "deng_color_layout", "colorpallet_layout",
                          "deng_light_layout",  "deng_speed_layout", "deng_fx_layout"};
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE("kind " + std::to_string(c.kind) + " effect " + std::to_string(c.effect));
    // Start from the opposite of a fresh editor so stale state shows.
    C("deng_fx_layout")->SetEnabled(false);
    editor_->SetDeviceKind(c.kind);
    editor_->SetSameModeAvailable(c.sameFlag);
    editor_->ApplyLayout(c.effect);
    for (int i = 0; i < 7; ++i)
      if (c.enabled[i] != '-') {
        EXPECT_EQ(C(panels[i])->IsEnabled(), c.enabled[i] == '1') << panels[i];
      }
    if (c.enabled[6] == '-') {
      EXPECT_FALSE(C("deng_fx_layout")->IsEnabled()) << "kind 5 leaves the direction panel";
    }
    auto shown = [&](int want, const char* name) {
      if (want >= 0) {
        EXPECT_EQ(C(name)->IsVisible(), want == 1) << name;
      }
    };
    shown(c.sameShown, "deng_same_mode");
    shown(c.customShown, "lightcustom_layout");
    shown(c.speedShown, "deng_speed_layout");
    shown(c.extraShown, "light_combo_ZZCCmodeSelectLayout");
    shown(c.audioShown, "light_combo_AudiomodeSelectLayout");
    if (c.tabPage >= 0) {
      EXPECT_EQ(As<CTabLayoutUI>("light_color_tablayout")->GetCurSel(), c.tabPage);
    }
    if (c.colourPanel >= 0) {
      EXPECT_EQ(C("light_color_layout")->IsEnabled(), c.colourPanel == 1);
    }
    if (c.fxLeftText != nullptr) {
      EXPECT_EQ(C("deng_FXL_check")->GetRawText(), c.fxLeftText);
    }
  }
  EXPECT_TRUE(notes_.notes.empty()) << "laying out sends no notification";
}

TEST_F(LightEditorTest, EffectListReplacesItemsAndSetsSliderMaxima) {
  editor_->SetEffectList({"light_mode_static", "light_mode_wave", "light_mode_off"}, {1, 0, 1}, 4, 3);
  auto* combo = As<CComboUI>("light_combo_modeSelect");
  ASSERT_EQ(combo->GetCount(), 3);
  auto* item = dynamic_cast<CListLabelElementUI*>(combo->GetItemAt(1));
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->GetRawText(), "light_mode_wave");
  EXPECT_EQ(item->GetUserData(), "light_mode_wave");
  EXPECT_TRUE(item->IsResourceText());
  EXPECT_EQ(item->GetFixedHeight(), 30);
  EXPECT_FALSE(item->IsVisible());
  EXPECT_TRUE(combo->GetItemAt(2)->IsVisible());
  EXPECT_EQ(As<CSliderUI>("deng_light_slider")->GetMaxValue(), 4);
  EXPECT_EQ(As<CSliderUI>("deng_speed_slider")->GetMaxValue(), 3);
}

TEST_F(LightEditorTest, ShowLightInfoFillsEveryControlQuietly) {
  editor_->SetDeviceKind(1);
  editor_->SetSameModeAvailable(false);
  LightInfo info;
  info.selectItem = 20;
  info.light = 3;
  info.speed = 1;
  info.fx = 0;
  info.multiColor = 1;
  info.red = 18;
  info.green = 52;
  info.blue = 86;
  info.zzccLedMode = 2;
  editor_->ShowLightInfo(info);
  EXPECT_EQ(editor_->GetSelectedEffect(), 20);
  EXPECT_EQ(editor_->GetBrightness(), 3);
  EXPECT_EQ(editor_->GetSpeed(), 1);
  EXPECT_EQ(editor_->GetColourText(ColourChannel::kRed), "18");
  EXPECT_EQ(editor_->GetColourText(ColourChannel::kGreen), "52");
  EXPECT_EQ(editor_->GetColourText(ColourChannel::kBlue), "86");
  EXPECT_EQ(editor_->GetPaletteColour(), 0xFF123456u);
  EXPECT_EQ(editor_->GetColourDisplay(), 0xFF123456u);
  EXPECT_TRUE(editor_->GetMultiColour());
  EXPECT_EQ(editor_->GetExtraMode(), 2);
  EXPECT_FALSE(As<COptionUI>("deng_FXL_check")->IsSelected());
  EXPECT_TRUE(As<COptionUI>("deng_FXR_check")->IsSelected());
  EXPECT_TRUE(C("lightcustom_layout")->IsVisible());  // effect 20: custom colours, no speed
  EXPECT_FALSE(C("deng_speed_layout")->IsVisible());
  EXPECT_TRUE(notes_.notes.empty()) << notes_.notes.front();

  // An effect past the list clears the selection rather than keeping the old one.
  info.selectItem = 200;
  editor_->ShowLightInfo(info);
  EXPECT_EQ(editor_->GetSelectedEffect(), -1);
  EXPECT_FALSE(C("deng_color_layout")->IsEnabled());
  EXPECT_EQ(editor_->GetSwatchColour(3), 0xFF00FF00u);
  EXPECT_EQ(editor_->GetSwatchColour(99), 0u);
}

TEST_F(LightEditorTest, AudioRecordShowsTheEditedColourAndModeThreeDisablesPanels) {
  AudioLightInfo rec;
  rec.audioMode = 1;
  rec.bkRed = 1, rec.bkGreen = 2, rec.bkBlue = 3;
  rec.fgRed = 200, rec.fgGreen = 100, rec.fgBlue = 50;
  rec.sevenColor = 1;
  rec.colorType = 1;
  auto w = rec.ToWords();
  ASSERT_TRUE(editor_->SetAudioLightInfo(w[0], w[1], w[2]));
  EXPECT_EQ(As<CComboUI>("light_combo_audiomodeSelect")->GetCurSel(), 1);
  EXPECT_TRUE(As<COptionUI>("audio_FgColor_check")->IsSelected());
  EXPECT_FALSE(As<COptionUI>("audio_BkColor_check")->IsSelected());
  EXPECT_TRUE(As<COptionUI>("deng_7audiocolor_check")->IsSelected());
  EXPECT_EQ(editor_->GetAudioEditText(0), "200");
  EXPECT_EQ(editor_->GetAudioEditText(2), "50");
  EXPECT_EQ(editor_->GetAudioPaletteColour(), 0xFFC86432u);
  EXPECT_EQ(C("deng_audiocolordp_btn")->GetBkColor(), 0xFFC86432u);
  EXPECT_TRUE(C("light_audiocolor_layout")->IsEnabled());
  EXPECT_TRUE(C("audiocolorpallet_layout")->IsEnabled());
  EXPECT_EQ(editor_->GetAudioColours(), w) << "reading back gives the same record";

  rec.audioMode = 3;
  rec.colorType = 0;
  w = rec.ToWords();
  ASSERT_TRUE(editor_->SetAudioLightInfo(w[0], w[1], w[2]));
  EXPECT_FALSE(C("light_audiocolor_layout")->IsEnabled());
  EXPECT_FALSE(C("audiocolorpallet_layout")->IsEnabled());
  EXPECT_TRUE(As<COptionUI>("audio_BkColor_check")->IsSelected());
  EXPECT_EQ(editor_->GetAudioEditText(1), "2");
  EXPECT_TRUE(notes_.notes.empty());
}

TEST_F(LightEditorTest, AudioComboOffersEveryAudioModeOfTheKeyboard) {
  auto* combo = As<CComboUI>("light_combo_audiomodeSelect");
  ASSERT_EQ(combo->GetCount(), 7);  // columns, split columns, beat waves, rings, peak hold, two band modes
  AudioLightInfo rec;
  for (uint8_t mode = 0; mode < 7; ++mode) {
    rec.audioMode = mode;
    const auto w = rec.ToWords();
    ASSERT_TRUE(editor_->SetAudioLightInfo(w[0], w[1], w[2]));
    EXPECT_EQ(combo->GetCurSel(), mode);
    EXPECT_EQ(editor_->GetAudioColours(), w) << "mode " << int(mode) << " reads back";
  }
}

TEST_F(LightEditorTest, SwitchingTheEditedAudioColourKeepsBothColours) {
  AudioLightInfo rec;
  rec.bkRed = 10, rec.bkGreen = 20, rec.bkBlue = 30;
  rec.fgRed = 200, rec.fgGreen = 210, rec.fgBlue = 220;
  rec.colorType = 1;
  auto w = rec.ToWords();
  ASSERT_TRUE(editor_->SetAudioLightInfo(w[0], w[1], w[2]));
  // The user picks the background option; the display still shows the foreground.
  As<COptionUI>("audio_BkColor_check")->Selected(true, false);
  As<COptionUI>("audio_FgColor_check")->Selected(false, false);
  auto got = editor_->GetAudioLightInfo(true);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->colorType, 0);
  EXPECT_EQ((std::array<int, 6>{got->bkRed, got->bkGreen, got->bkBlue, got->fgRed, got->fgGreen, got->fgBlue}),
            (std::array<int, 6>{10, 20, 30, 200, 210, 220}));
  // The display's colour goes into the colour being edited.
  C("deng_audiocolordp_btn")->SetBkColor(0xFF0A0B0C);
  got = editor_->GetAudioLightInfo(true);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ((std::array<int, 3>{got->bkRed, got->bkGreen, got->bkBlue}), (std::array<int, 3>{10, 11, 12}));
  EXPECT_EQ(got->fgRed, 200);
}

TEST_F(LightEditorTest, MissingAudioControlStopsTheAudioOperationsWithATrace) {
  AudioLightInfo rec;
  rec.audioMode = 2;
  auto w = rec.ToWords();
  ASSERT_TRUE(editor_->SetAudioLightInfo(w[0], w[1], w[2]));
  CControlUI* fg = C("audio_FgColor_check");
  ASSERT_TRUE(static_cast<CContainerUI*>(fg->GetParent())->Remove(fg));
  TraceSink::Instance().Clear();
  EXPECT_FALSE(editor_->GetAudioLightInfo(true).has_value());
  EXPECT_TRUE(TraceSink::Instance().Contains("GetAudioLightInfo control is NULL"));
  rec.audioMode = 3;
  w = rec.ToWords();
  EXPECT_FALSE(editor_->SetAudioLightInfo(w[0], w[1], w[2]));
  EXPECT_TRUE(TraceSink::Instance().Contains("SetAudioLightInfo control is NULL"));
  EXPECT_EQ(editor_->GetStoredAudioLightInfo().audioMode, 2) << "nothing changed";
  EXPECT_TRUE(C("light_audiocolor_layout")->IsEnabled());
  EXPECT_FALSE(editor_->GetLightAudioColor(42).has_value());
  EXPECT_TRUE(TraceSink::Instance().Contains("GetLightAudioColor control is NULL"));
}

TEST(LightEditorWithoutControls, SettersDoNothingAndGettersGiveTheirEmptyValues) {
  VirtualUiLoop loop;
  SetUiLoop(&loop);
  RegisterLightControl();
  CPaintManagerUI pm;
  CDialogBuilder builder;
  auto* editor = dynamic_cast<CLightControlUI*>(
      builder.CreateFromText("<Window><LightControl name=\"LightControlItem\"/></Window>", nullptr, &pm));
  ASSERT_NE(editor, nullptr);
  pm.AttachDialog(editor);
  editor->SetDeviceKind(1);
  editor->SetEffectList({"a", "b"}, {1, 1}, 4, 4);
  LightInfo info;
  info.selectItem = 29;
  info.red = 7;
  editor->ShowLightInfo(info);
  editor->SetSameModeAvailable(true);
  EXPECT_EQ(editor->GetSelectedEffect(), -1);
  EXPECT_EQ(editor->GetCustomGroup(), -1);
  EXPECT_EQ(editor->GetExtraMode(), -1);
  EXPECT_EQ(editor->GetBrightness(), 0);
  EXPECT_EQ(editor->GetSpeed(), 0);
  EXPECT_EQ(editor->GetColourText(ColourChannel::kRed), "");
  EXPECT_EQ(editor->GetPaletteColour(), 0xFF000000u);
  EXPECT_EQ(editor->GetSwatchColour(0), 0u);
  EXPECT_EQ(editor->GetColourDisplay(), 0u);
  EXPECT_FALSE(editor->GetMultiColour());
  EXPECT_EQ(editor->GetDirection(), -1);
  EXPECT_EQ(editor->GetAudioPaletteColour(), 0xFF000000u);
  EXPECT_EQ(editor->GetAudioEditText(0), "");
  EXPECT_EQ(editor->GetAudioColours(), (std::array<uint32_t, 3>{0, 0, 0}));
  pm.AttachDialog(nullptr);
  SetUiLoop(nullptr);
}

TEST(ColourText, ReadsDecimalValuesClampedToAByte) {
  const std::pair<const char*, int> cases[] = {{"", 0},    {"0", 0},     {"255", 255}, {"300", 255},
                                               {"abc", 0}, {"12abc", 12}, {"-5", 0},   {" 42", 42},
                                               {"+7", 7},  {"99999999999999", 255}};
  for (const auto& [text, want] : cases) EXPECT_EQ(ParseColourText(text), want) << '"' << text << '"';
}

}  // namespace
}  // namespace korvale
