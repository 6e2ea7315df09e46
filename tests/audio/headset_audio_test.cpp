// The headset page's audio operations with the real panels from the skin,
// against a sound server started by the test: what the panels show, what
// the profile keeps and what reaches the server (and only the headset).
#include <gtest/gtest.h>

#include <cstdlib>

#include "devices/eq_presets.h"
#include "devices/page_setup.h"
#include "devices/pulse_audio_chip.h"
#include "devices/varnik_hs6533_device.h"
#include "editors/magic_control.h"
#include "editors/voice6533_control.h"
#include "hid/device_table.h"
#include "platform/ui_loop.h"
#include "profiles/device_profiledata.h"
#include "profiles/json_file.h"
#include "tests/support/headset_audio.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/skin_controls.h"

namespace korvale {
namespace {

constexpr int kHeadsetProduct = 3;

class SkinBuilder : public IDialogBuilderCallback {
 public:
  explicit SkinBuilder(CPaintManagerUI* pm) : pm_(pm) {}
  CControlUI* CreateControl(std::string_view cls) override { return CreateSkinControl(cls, this, pm_); }

 private:
  CPaintManagerUI* pm_;
};

TEST(EqPresets, DefaultProfileCarriesTheBuiltInTable) {
  const Json::Value doc = ReadJsonFile(std::string(KORVALE_SOURCE_DIR) + "/data/DefaultData/HD.Json");
  const Json::Value& slots = doc["Device"][0]["EQHzValueInfo"];
  ASSERT_GE(slots.size(), 13u);
  for (int t = 1; t <= 12; ++t)
    for (int b = 0; b < 10; ++b)
      EXPECT_EQ(slots[t][b]["value"].asInt(), kEqPresets[static_cast<std::size_t>(t - 1)][static_cast<std::size_t>(b)])
          << "type " << t << " band " << b;
}

class HeadsetAudioPage : public ::testing::Test {
 protected:
  // chip: given to the page, or the sound server's when not given.
  void Open(bool withServer = true, std::optional<std::unique_ptr<IAudioChip>> chip = std::nullopt) {
    ::setenv("XDG_DATA_HOME", (tmp_.Path() / "data").c_str(), 1);
    if (withServer) {
      server_ = std::make_unique<testing::HeadsetSoundServer>(tmp_.Path() / "snd");
      ASSERT_TRUE(server_->Ok()) << "no sound server could be started (pulseaudio is installed by scripts/install-deps.sh)";
    }
    SetUiLoop(&loop_);
    auto supplied = DeviceControlCreators();
    supplied["CVoice6533ControlUI"] = [] { return static_cast<CControlUI*>(new CVoice6533ControlUI); };
    supplied["CMagicControlUI"] = [] { return static_cast<CControlUI*>(new CMagicControlUI); };
    RegisterSkinControls(supplied);
    CDialogBuilder builder;
    SkinBuilder callback(&pm_);
    CControlUI* root =
        builder.Create(std::string(KORVALE_SOURCE_DIR) + "/skin/XML/DeviceXml/hs6533device.xml", &callback, &pm_);
    page_ = dynamic_cast<CVarnikHS6533Device*>(root);
    ASSERT_NE(page_, nullptr);
    pm_.AttachDialog(root);
    const auto identity = ProductIdentity(kHeadsetProduct);
    ASSERT_TRUE(identity);
    ASSERT_TRUE(SetUpPage(*page_, kHeadsetProduct, *identity));
    if (chip) page_->UseAudioChip(std::move(*chip));
    page_->InitPage();
    page_->ReloadProfile();
    page_->RefreshPage();
    panel_ = dynamic_cast<CVoice6533ControlUI*>(pm_.FindControl("Voice6533ControlItem"));
    magic_ = dynamic_cast<CMagicControlUI*>(pm_.FindControl("MagicControlItem"));
    ASSERT_NE(panel_, nullptr);
    ASSERT_NE(magic_, nullptr);
  }
  void TearDown() override {
    pm_.AttachDialog(nullptr);
    SetUiLoop(nullptr);
  }
  bool Connected() {
    return testing::PumpUntil(loop_, [&] { return page_->HasAudioEndpoints(); }, 8000);
  }
  template <class T>
  T* Ctl(const std::string& name) {
    return dynamic_cast<T*>(pm_.FindControl(name));
  }
  std::string StatusText() { return std::string(Ctl<CControlUI>("audio_status_label")->GetText()); }
  const std::filesystem::path& SndDir() { return server_->Dir(); }
  std::vector<testing::ModuleRow> Equalisers() {
    return testing::ModulesWith(SndDir(), "module-ladspa-sink", std::string("sink_master=") + testing::kHsSink);
  }
  // The saved profile as the next start reads it.
  CHs6533Profiledata Saved() {
    CHs6533Profiledata p;
    p.Load(page_->GetProfilePath());
    p.ReadHeadsetSystemSetStages();
    return p;
  }
  Json::Value Source(const char* name) { return testing::Named(testing::PactlJson(SndDir(), "sources"), name); }

  testing::TempDir tmp_{"korvale-au"};
  std::unique_ptr<testing::HeadsetSoundServer> server_;
  VirtualUiLoop loop_;
  CPaintManagerUI pm_;
  CVarnikHS6533Device* page_ = nullptr;
  CVoice6533ControlUI* panel_ = nullptr;
  CMagicControlUI* magic_ = nullptr;
};

TEST_F(HeadsetAudioPage, WithoutABackEndNothingIsCalledAndThePanelSaysWhy) {
  Open(false, std::unique_ptr<IAudioChip>());
  EXPECT_EQ(page_->AudioChip(), nullptr);
  EXPECT_EQ(StatusText(), "audio_status_no_backend");
  EXPECT_FALSE(Ctl<CControlUI>("6533_eq_layout")->IsEnabled());
  EXPECT_EQ(std::string(Ctl<CControlUI>("6533_mic_reason")->GetText()), "audio_status_no_backend");
  EXPECT_FALSE(Ctl<CControlUI>("6533_mic_reason")->IsVisible()) << "the status line says it already";
  EXPECT_FALSE(Ctl<CControlUI>("magic_enable_option")->IsEnabled());
  // The settings are still the profile's.
  page_->SetEqPreset(2);
  EXPECT_EQ(Saved().GetHeadsetSystemSetStages().eqType, 2);
  EXPECT_FALSE(page_->ChangeMicOn(false));
}

TEST_F(HeadsetAudioPage, NoServerTheRestOfThePageWorksAndALateServerIsPickedUp) {
  // The server's place, empty until later.
  const auto snd = tmp_.Path() / "snd";
  std::filesystem::create_directories(snd / "pulse");
  ::setenv("PULSE_SERVER", ("unix:" + (snd / "pulse" / "native").string()).c_str(), 1);
  Open(false);
  ASSERT_TRUE(testing::PumpUntil(loop_, [&] { return StatusText() == "audio_status_no_server"; }, 5000));
  EXPECT_FALSE(Ctl<CControlUI>("6533_eq_layout")->IsEnabled());
  EXPECT_EQ(page_->ApplyLighting(), 1);
  page_->SetEqPreset(1);  // stored, applied once the server is there
  server_ = std::make_unique<testing::HeadsetSoundServer>(snd);
  ASSERT_TRUE(server_->Ok()) << "no sound server could be started (pulseaudio is installed by scripts/install-deps.sh)";
  ASSERT_TRUE(Connected());
  EXPECT_EQ(StatusText(), "");
  EXPECT_TRUE(Ctl<CControlUI>("6533_mic_layout")->IsEnabled());
  ASSERT_TRUE(page_->AudioChip()->QueryFeature(AudioFeature::kEqualiser).supported) << "no equaliser plugin (lsp-plugins-ladspa is installed by scripts/install-deps.sh)";
  ASSERT_TRUE(page_->AudioChip()->Flush(5000));
  EXPECT_EQ(Equalisers().size(), 1u);
}

TEST_F(HeadsetAudioPage, PresetsAndBandsReachTheServerAndTheProfile) {
  Open();
  ASSERT_TRUE(Connected());
  ASSERT_TRUE(page_->AudioChip()->QueryFeature(AudioFeature::kEqualiser).supported) << "no equaliser plugin (lsp-plugins-ladspa is installed by scripts/install-deps.sh)";
  page_->SetEqPreset(5);  // flat: no filter at all
  ASSERT_TRUE(page_->AudioChip()->Flush(5000));
  EXPECT_TRUE(Equalisers().empty());
  page_->SetEqPreset(4);
  ASSERT_TRUE(page_->AudioChip()->Flush(5000));
  ASSERT_EQ(Equalisers().size(), 1u);
  EXPECT_EQ(panel_->GetShownPreset(), 4);
  EXPECT_EQ(panel_->GetBand(5), -7);
  EXPECT_EQ(Saved().GetHeadsetSystemSetStages().eqType, 4);

  // Moving band 3 while preset 4 is on: custom, no custom curve selected,
  // and stored that way.
  Ctl<CSliderUI>("6533_eq_hz_slider_3")->SetValue(9);
  page_->SetEqBand(3);
  EXPECT_EQ(page_->AudioSettings().eqType, CVarnikHS6533Device::kCustomEqType);
  EXPECT_EQ(panel_->GetShownPreset(), 13);
  EXPECT_EQ(panel_->GetCustomSelection(), -1);
  ASSERT_TRUE(page_->AudioChip()->Flush(5000));
  ASSERT_EQ(Equalisers().size(), 1u);
  EXPECT_NE(Equalisers()[0].argument.find(",250.0,2.818383,"), std::string::npos);  // +9 dB
  CHs6533Profiledata saved = Saved();
  EXPECT_EQ(saved.GetHeadsetSystemSetStages().eqType, 13);
  std::vector<int32_t> expect(kEqPresets[3].begin(), kEqPresets[3].end());
  expect[3] = 9;
  EXPECT_EQ(saved.ReadUnsavedEqBands(), expect);
  page_->ReloadProfile();
  EXPECT_EQ(page_->EqBands(), expect);
}

TEST_F(HeadsetAudioPage, CustomCurvesRoundTripAndDeleteKeepsNamesWithTheirBands) {
  Open();
  ASSERT_TRUE(Connected());
  const auto save = [&](const std::string& name, int band0) {
    panel_->ShowBand(0, band0);
    panel_->SetCustomNameText(name);
    return page_->SaveCustomEq();
  };
  EXPECT_EQ(page_->SaveCustomEq(), CVarnikHS6533Device::kEqRefused);  // no name, none selected
  EXPECT_EQ(save("Bass", 4), CVarnikHS6533Device::kEqSaved);
  EXPECT_EQ(save("Voice", -3), CVarnikHS6533Device::kEqSaved);
  EXPECT_EQ(save("Treble", 2), CVarnikHS6533Device::kEqSaved);
  EXPECT_EQ(save("VOICE", 1), CVarnikHS6533Device::kEqNameUsed);
  {
    CHs6533Profiledata p = Saved();
    EXPECT_EQ(p.ReadCustomEqNames(), (std::vector<std::string>{"Bass", "Voice", "Treble"}));
    EXPECT_EQ(p.ReadCustomEqBands(1)[0], -3);
  }
  // Deleting "Bass": "Voice" and "Treble" keep their own bands, and the new
  // selection ("Voice") is what the chip gets.
  page_->SetEqPreset(13);
  panel_->SelectCustomEq(0);
  page_->DeleteCustomEq();
  CHs6533Profiledata p = Saved();
  EXPECT_EQ(p.ReadCustomEqNames(), (std::vector<std::string>{"Voice", "Treble"}));
  EXPECT_EQ(p.ReadCustomEqBands(0)[0], -3);
  EXPECT_EQ(p.ReadCustomEqBands(1)[0], 2);
  EXPECT_EQ(panel_->GetBand(0), -3);
  ASSERT_TRUE(page_->AudioChip()->QueryFeature(AudioFeature::kEqualiser).supported) << "no equaliser plugin (lsp-plugins-ladspa is installed by scripts/install-deps.sh)";
  ASSERT_TRUE(page_->AudioChip()->Flush(5000));
  ASSERT_EQ(Equalisers().size(), 1u);
  EXPECT_NE(Equalisers()[0].argument.find(",31.5,0.707946,"), std::string::npos);  // -3 dB
  // Up to twenty; the twenty-first is refused.
  for (int i = 2; i < CVarnikHS6533Device::kMaxCustomEqs; ++i)
    ASSERT_EQ(save("Curve " + std::to_string(i), i), CVarnikHS6533Device::kEqSaved) << i;
  EXPECT_EQ(save("One too many", 0), CVarnikHS6533Device::kEqRefused);
  EXPECT_EQ(Saved().ReadCustomEqNames().size(), 20u);
  // Deleting the last ones returns the page to preset 1.
  while (panel_->GetCustomCount() > 0) {
    panel_->SelectCustomEq(0);
    page_->DeleteCustomEq();
  }
  EXPECT_EQ(page_->AudioSettings().eqType, 1);
  EXPECT_EQ(panel_->GetBand(1), kEqPresets[0][1]);
  EXPECT_TRUE(Saved().ReadCustomEqNames().empty());
}

TEST_F(HeadsetAudioPage, MicrophoneSwitchAndLevelReachOnlyTheHeadset) {
  Open();
  ASSERT_TRUE(Connected());
  ASSERT_TRUE(Ctl<COptionUI>("6533_MicIn_option")->IsSelected());  // the server's source is on
  page_->ToggleMicMute();
  EXPECT_TRUE(Source(testing::kHsSource)["mute"].asBool());
  EXPECT_FALSE(Ctl<COptionUI>("6533_MicIn_option")->IsSelected());
  EXPECT_EQ(Saved().GetHeadsetSystemSetStages().micInSelect, 0);
  Ctl<CSliderUI>("6533_MicIn_slider")->SetValue(37);
  page_->SetMicLevel();
  EXPECT_NEAR(testing::VolumeOf(Source(testing::kHsSource)), 0.37, 0.001);
  EXPECT_EQ(Saved().GetHeadsetSystemSetStages().micInValue, 37);
  EXPECT_FALSE(Source(testing::kOtherSource)["mute"].asBool());
  EXPECT_NEAR(testing::VolumeOf(Source(testing::kOtherSource)), 1.0, 0.001);
  // A level read back from the server rounds: 28.9 % shows as 29, not 28.
  ASSERT_TRUE(testing::Pactl(SndDir(), {"set-source-volume", testing::kHsSource, "18940"}));
  page_->ReadAudioState();
  EXPECT_EQ(page_->AudioSettings().micInValue, 29);
}

TEST_F(HeadsetAudioPage, ARefusedSwitchOrLevelChangesNothing) {
  Open();
  ASSERT_TRUE(Connected());
  const HeadsetSystemSetStages before = Saved().GetHeadsetSystemSetStages();
  // The microphone goes away; the page has not heard of it yet.
  for (const testing::ModuleRow& m : testing::ModulesWith(SndDir(), "module-remap-source", testing::kHsSource))
    ASSERT_TRUE(testing::Pactl(SndDir(), {"unload-module", m.index}));
  Ctl<COptionUI>("6533_MicIn_option")->Selected(false, false);  // the user's click
  page_->ToggleMicMute();
  EXPECT_TRUE(Ctl<COptionUI>("6533_MicIn_option")->IsSelected());  // back as it is in force
  Ctl<CSliderUI>("6533_MicIn_slider")->SetValue(12);
  page_->SetMicLevel();
  EXPECT_EQ(Ctl<CSliderUI>("6533_MicIn_slider")->GetValue(), page_->AudioSettings().micInValue);
  Ctl<COptionUI>("6533_MicMoniter_option")->Selected(true, false);
  page_->ToggleMonitorMute();
  EXPECT_FALSE(Ctl<COptionUI>("6533_MicMoniter_option")->IsSelected());
  EXPECT_EQ(Saved().GetHeadsetSystemSetStages(), before);
  // Once the page hears of it, the microphone's controls say why they are off.
  ASSERT_TRUE(testing::PumpUntil(loop_, [&] { return !Ctl<CControlUI>("6533_mic_layout")->IsEnabled(); }, 5000));
  EXPECT_EQ(std::string(Ctl<CControlUI>("6533_mic_reason")->GetText()), "audio_status_no_headset");
}

TEST_F(HeadsetAudioPage, MonitoringLoopbackFollowsTheSwitchAtTheStoredLevel) {
  Open();
  ASSERT_TRUE(Connected());
  const auto loops = [&] { return testing::ModulesWith(SndDir(), "module-loopback", testing::kHsSource); };
  Ctl<CSliderUI>("6533_MicMoniter_slider")->SetValue(40);
  page_->SetMonitorLevel();
  EXPECT_TRUE(loops().empty());
  page_->ToggleMonitorMute();
  ASSERT_EQ(loops().size(), 1u);
  EXPECT_TRUE(Ctl<COptionUI>("6533_MicMoniter_option")->IsSelected());
  page_->ReadAudioState();
  EXPECT_EQ(page_->AudioSettings().micMonitorValue, 40);
  EXPECT_EQ(Saved().GetHeadsetSystemSetStages().micMonitorSelect, 1);
  page_->ToggleMonitorMute();
  EXPECT_TRUE(loops().empty());
  EXPECT_EQ(Saved().GetHeadsetSystemSetStages().micMonitorSelect, 0);
}

TEST_F(HeadsetAudioPage, VoiceEffectsAreShownUnsupportedWithTheReason) {
  Open();
  ASSERT_TRUE(Connected());
  EXPECT_FALSE(Ctl<CControlUI>("magic_enable_option")->IsEnabled());
  EXPECT_TRUE(Ctl<CControlUI>("magic_reason")->IsVisible());
  EXPECT_EQ(std::string(Ctl<CControlUI>("magic_reason")->GetText()), "audio_reason_no_voice_effects");
}

TEST_F(HeadsetAudioPage, TheCurveIsAppliedAgainWhenTheHeadsetComesBack) {
  Open();
  ASSERT_TRUE(Connected());
  ASSERT_TRUE(page_->AudioChip()->QueryFeature(AudioFeature::kEqualiser).supported) << "no equaliser plugin (lsp-plugins-ladspa is installed by scripts/install-deps.sh)";
  page_->SetEqPreset(2);
  ASSERT_TRUE(page_->AudioChip()->Flush(5000));
  ASSERT_EQ(Equalisers().size(), 1u);
  // Unplugged: the sink and its filter go.
  for (const testing::ModuleRow& m : testing::ModulesWith(SndDir(), "module-null-sink", std::string("sink_name=") + testing::kHsSink))
    ASSERT_TRUE(testing::Pactl(SndDir(), {"unload-module", m.index}));
  ASSERT_TRUE(testing::PumpUntil(loop_, [&] { return !page_->HasAudioEndpoints(); }, 5000));
  EXPECT_TRUE(Equalisers().empty());
  ASSERT_TRUE(testing::Pactl(SndDir(), {"load-module", "module-null-sink", std::string("sink_name=") + testing::kHsSink,
                                        "sink_properties=\"device.vendor.id=0c76 device.product.id=1630\""}));
  ASSERT_TRUE(Connected());
  ASSERT_TRUE(testing::WaitFor([&] { return Equalisers().size() == 1; }, 5000));
}

}  // namespace
}  // namespace korvale
