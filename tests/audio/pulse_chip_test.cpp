// The audio chip on a real sound server started by the test: the headset's
// endpoints by their USB ids, microphone, monitoring and equaliser, and a
// second pair of endpoints that must stay untouched.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "devices/audio_chip.h"
#include "devices/pulse_audio_chip.h"
#include "tests/support/headset_audio.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace korvale {
namespace {

using testing::kHsSink;
using testing::kHsSource;
using testing::kOtherSink;
using testing::kOtherSource;

TEST(HeadsetUsbIds, PulseAudioAndPipeWireSpellings) {
  struct Case {
    const char* vendor;
    const char* product;
    bool headset;
  };
  for (const Case& c : {Case{"0c76", "1630", true}, Case{"0C76", "1630", true}, Case{"0x0c76", "0x1630", true},
                        Case{"3190", "5680", true}, Case{"0c76", "1631", false}, Case{"046d", "1630", false},
                        Case{"", "", false}, Case{"0c76", "", false}, Case{"0x0c76", "1630x", false}})
    EXPECT_EQ(IsHeadsetUsbIds(c.vendor, c.product), c.headset) << c.vendor << ":" << c.product;
}

TEST(EqualiserArgs, CarryTheBandsAsBellFiltersInPortOrder) {
  const std::string args = EqualiserModuleArgs("eq", "hs", "lsp-plugins-ladspa", {0, 0, 0, 0, 0, 6, 0, 0, 0, -30});
  EXPECT_NE(args.find("sink_master=hs "), std::string::npos);
  // 13 global ports, then 9 per band for 16 bands.
  const auto control = args.substr(args.find("control=") + 8, args.find(' ', args.find("control=")) - args.find("control=") - 8);
  EXPECT_EQ(std::count(control.begin(), control.end(), ','), 13 + 16 * 9 - 1);
  EXPECT_NE(control.find(",1000.0,1.995262,"), std::string::npos);  // +6 dB at 1 kHz
  EXPECT_NE(control.find(",16000.0,0.063096,"), std::string::npos);  // -30 dB kept to -24 dB
}

class PulseChipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Ok()) << "no sound server could be started (pulseaudio is installed by scripts/install-deps.sh): " << server_.Log();
    chip_ = CreatePulseAudioChip();
    ASSERT_EQ(chip_->ConfLibInit(), kAudioOk);
    ASSERT_TRUE(testing::WaitFor([&] { return chip_->ServerState() == AudioServerState::kReady; }, 5000));
    chip_->CreateDeviceList();
    out_ = Find(kAudioOutput, kEndpointHeadsetOutput);
    mic_ = Find(kAudioMicrophone, kEndpointHeadsetMicrophone);
  }

  std::optional<AudioDeviceRecord> Find(int direction, uint32_t type) {
    uint32_t n = 0;
    chip_->GetDeviceCount(direction, &n);
    for (uint32_t i = 0; i < n; ++i) {
      AudioDeviceRecord r;
      if (chip_->GetDeviceById(direction, i, &r) == kAudioOk && r.type == type) return r;
    }
    return std::nullopt;
  }
  int Write(const AudioDeviceRecord& r, const char* property, int number, float level = 0) {
    AudioValue v;
    v.number = number;
    v.level = level;
    return chip_->PropertyControl(r, property, v, -1, true);
  }
  std::optional<std::string> Read(const AudioDeviceRecord& r, const char* property) {
    AudioValue v;
    if (chip_->PropertyControl(r, property, v, -1, false) != kAudioOk) return std::nullopt;
    return v.text;
  }
  Json::Value Source(const char* name) { return testing::Named(testing::PactlJson(dir_.Path(), "sources"), name); }
  std::vector<testing::ModuleRow> Equalisers() {
    return testing::ModulesWith(dir_.Path(), "module-ladspa-sink", std::string("sink_master=") + kHsSink);
  }
  std::vector<testing::ModuleRow> Loopbacks() {
    return testing::ModulesWith(dir_.Path(), "module-loopback", std::string("source=") + kHsSource);
  }

  testing::TempDir dir_;
  testing::HeadsetSoundServer server_{dir_.Path()};
  std::unique_ptr<IAudioChip> chip_;
  std::optional<AudioDeviceRecord> out_, mic_;
};

TEST_F(PulseChipTest, OnlyTheHeadsetsEndpointsAreOffered) {
  ASSERT_TRUE(out_ && mic_);
  uint32_t outputs = 0, mics = 0, headsetOut = 0, headsetMics = 0;
  chip_->GetDeviceCount(kAudioOutput, &outputs);
  chip_->GetDeviceCount(kAudioMicrophone, &mics);
  for (uint32_t i = 0; i < outputs; ++i) {
    AudioDeviceRecord r;
    ASSERT_EQ(chip_->GetDeviceById(kAudioOutput, i, &r), kAudioOk);
    headsetOut += r.type == kEndpointHeadsetOutput;
  }
  for (uint32_t i = 0; i < mics; ++i) {
    AudioDeviceRecord r;
    ASSERT_EQ(chip_->GetDeviceById(kAudioMicrophone, i, &r), kAudioOk);
    headsetMics += r.type == kEndpointHeadsetMicrophone;
  }
  // Four sinks (and their monitors) and two remapped microphones are there;
  // one of each is the headset's, and its sink's monitor is no microphone.
  EXPECT_GE(outputs, 4u);
  EXPECT_GE(mics, 6u);
  EXPECT_EQ(headsetOut, 1u);
  EXPECT_EQ(headsetMics, 1u);
  AudioDeviceRecord past;
  EXPECT_EQ(chip_->GetDeviceById(kAudioOutput, outputs, &past), kAudioFailed);
}

TEST_F(PulseChipTest, MuteAndLevelReachOnlyTheHeadsetsMicrophone) {
  ASSERT_TRUE(mic_);
  ASSERT_EQ(Write(*mic_, "MuteControl", 1), kAudioOk);
  ASSERT_EQ(Write(*mic_, "VolumeScalarControl", 0, 0.37f), kAudioOk);
  EXPECT_TRUE(Source(kHsSource)["mute"].asBool());
  EXPECT_NEAR(testing::VolumeOf(Source(kHsSource)), 0.37, 0.001);
  EXPECT_EQ(Read(*mic_, "MuteControl"), "1");
  EXPECT_EQ(Read(*mic_, "VolumeScalarControl"), "0.3700");
  EXPECT_FALSE(Source(kOtherSource)["mute"].asBool());
  EXPECT_NEAR(testing::VolumeOf(Source(kOtherSource)), 1.0, 0.001);

  // A record naming another endpoint, or the headset's output, is refused.
  const auto other = Find(kAudioMicrophone, kEndpointForeign);
  ASSERT_TRUE(other);
  for (const AudioDeviceRecord& r : {*other, *out_, AudioDeviceRecord{mic_->id + 1000, kEndpointHeadsetMicrophone, 0, 1}}) {
    EXPECT_EQ(Write(r, "MuteControl", 1), kAudioNotHeadset);
    EXPECT_EQ(Write(r, "VolumeScalarControl", 0, 0.1f), kAudioNotHeadset);
  }
  for (const Json::Value& s : testing::PactlJson(dir_.Path(), "sources")) {
    if (s["name"].asString() == kHsSource) continue;
    EXPECT_FALSE(s["mute"].asBool()) << s["name"];
    EXPECT_NEAR(testing::VolumeOf(s), 1.0, 0.001) << s["name"];
  }
  ASSERT_EQ(Write(*mic_, "MuteControl", 0), kAudioOk);
  EXPECT_FALSE(Source(kHsSource)["mute"].asBool());
}

TEST_F(PulseChipTest, MonitoringIsALoopbackThatComesAndGoesWithTheSwitch) {
  ASSERT_TRUE(mic_);
  EXPECT_EQ(Read(*mic_, "AAMuteControl"), "1");
  EXPECT_EQ(Read(*mic_, "AAVolumeScalarControl"), std::nullopt);  // nothing known yet
  ASSERT_EQ(Write(*mic_, "AAVolumeScalarControl", 0, 0.25f), kAudioOk);
  ASSERT_EQ(Write(*mic_, "AAMuteControl", 0), kAudioOk);
  const auto loops = Loopbacks();
  ASSERT_EQ(loops.size(), 1u);
  EXPECT_NE(loops[0].argument.find(std::string("sink=") + kHsSink + " "), std::string::npos);
  EXPECT_EQ(Read(*mic_, "AAMuteControl"), "0");
  EXPECT_EQ(Read(*mic_, "AAVolumeScalarControl"), "0.2500");  // the loopback got the level set before
  ASSERT_EQ(Write(*mic_, "AAVolumeScalarControl", 0, 0.6f), kAudioOk);
  EXPECT_EQ(Read(*mic_, "AAVolumeScalarControl"), "0.6000");
  // Switching on twice does not make a second loopback.
  ASSERT_EQ(Write(*mic_, "AAMuteControl", 0), kAudioOk);
  EXPECT_EQ(Loopbacks().size(), 1u);
  ASSERT_EQ(Write(*mic_, "AAMuteControl", 1), kAudioOk);
  EXPECT_TRUE(Loopbacks().empty());
  EXPECT_EQ(Read(*mic_, "AAMuteControl"), "1");
}

TEST_F(PulseChipTest, WhatTheServerCannotDoIsUnsupported) {
  ASSERT_TRUE(mic_ && out_);
  for (const char* p : {"Enable_MAGICVOICE", "MagicVoice_Selection", "VirtualSurroundEffectControl", "Enable_ENC_LFX",
                        "NoSuchProperty", "EQ_Slider0", "EQ_Slider11"}) {
    AudioValue v;
    EXPECT_EQ(chip_->PropertyControl(*mic_, p, v, -1, false), kAudioUnsupported) << p;
    EXPECT_EQ(chip_->PropertyControl(*out_, p, v, -1, true), kAudioUnsupported) << p;
  }
  EXPECT_FALSE(chip_->QueryFeature(AudioFeature::kVoiceEffects).supported);
  EXPECT_FALSE(chip_->QueryFeature(AudioFeature::kVoiceEffects).reason.empty());
  EXPECT_TRUE(chip_->QueryFeature(AudioFeature::kMicrophone).supported);
  // Seven fields, none with the voice-effect bit.
  EXPECT_EQ(Read(*mic_, "GetSupportFeature"), "0,0,0,0,0,0,0");
}

class PulseEqualiserTest : public PulseChipTest {
 protected:
  void SetUp() override {
    PulseChipTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(chip_->QueryFeature(AudioFeature::kEqualiser).supported) << "no equaliser plugin (lsp-plugins-ladspa is installed by scripts/install-deps.sh)";
    ASSERT_TRUE(out_);
  }
  bool Curve(const std::array<int, 10>& bands) {
    if (Write(*out_, "Enable_EQ_GFX", 1) != kAudioOk) return false;
    for (int j = 0; j < 10; ++j) {
      const std::string name = "EQ_Slider" + std::to_string(j + 1);
      if (Write(*out_, name.c_str(), bands[static_cast<std::size_t>(j)]) != kAudioOk) return false;
    }
    return chip_->Flush(5000);
  }
};

TEST_F(PulseEqualiserTest, TheOneKilohertzBandLiftsAToneBySixDecibels) {
  const auto flat = testing::ToneLevelDb(nullptr, kHsSink, 1000);
  ASSERT_TRUE(flat);
  ASSERT_TRUE(Curve({0, 0, 0, 0, 0, 6, 0, 0, 0, 0}));
  ASSERT_EQ(Equalisers().size(), 1u);
  // The default output became the filter, so the tone takes the headset's route.
  const auto boosted = testing::ToneLevelDb(nullptr, kHsSink, 1000);
  ASSERT_TRUE(boosted);
  EXPECT_NEAR(*boosted - *flat, 6.0, 1.0);
  RecordProperty("boost_db", std::to_string(*boosted - *flat));
  // A band an octave and more away leaves it nearly alone.
  ASSERT_TRUE(Curve({0, 0, 0, 0, 0, 0, 0, 0, 6, 0}));
  const auto far = testing::ToneLevelDb(nullptr, kHsSink, 1000);
  ASSERT_TRUE(far);
  EXPECT_NEAR(*far - *flat, 0.0, 1.0);
}

TEST_F(PulseEqualiserTest, ANewCurveReplacesTheFilterAndAFlatOneRemovesIt) {
  ASSERT_TRUE(Curve({3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(Equalisers().size(), 1u);
  const std::string first = Equalisers()[0].argument;
  ASSERT_TRUE(Curve({3, 0, 0, -4, 0, 0, 0, 0, 0, 0}));
  const auto now = Equalisers();
  ASSERT_EQ(now.size(), 1u);
  EXPECT_NE(now[0].argument, first);
  // The same curve again changes nothing.
  ASSERT_TRUE(Curve({3, 0, 0, -4, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Equalisers()[0].index, now[0].index);
  const Json::Value info = testing::PactlJson(dir_.Path(), "sinks");
  ASSERT_TRUE(Curve({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(Equalisers().empty());
  // The headset is the default output again; the other sink was never involved.
  EXPECT_EQ(testing::Pactl(dir_.Path(), {"get-default-sink"}).value_or(""), std::string(kHsSink) + "\n");
  EXPECT_TRUE(testing::ModulesWith(dir_.Path(), "module-ladspa-sink", kOtherSink).empty());
}

TEST_F(PulseEqualiserTest, TheCurveOutlivesTheProgram) {
  ASSERT_TRUE(Curve({0, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Written but not yet applied when the chip goes: it is applied on the way out.
  ASSERT_EQ(Write(*out_, "EQ_Slider3", 5), kAudioOk);
  chip_.reset();
  const auto eq = Equalisers();
  ASSERT_EQ(eq.size(), 1u);
  EXPECT_NE(eq[0].argument.find(",125.0,1.778279,"), std::string::npos);  // +5 dB
}

TEST(PulseChipNoServer, ReportsItWithoutBlockingAndPicksUpALateServer) {
  testing::TempDir dir;
  // Where the server will be, before it is there.
  std::filesystem::create_directories(dir.Path() / "pulse");
  ::setenv("PULSE_SERVER", ("unix:" + (dir.Path() / "pulse" / "native").string()).c_str(), 1);
  auto chip = CreatePulseAudioChip();
  std::atomic<int> calls{0};
  chip->RegisterCallbackFunction([&] { ++calls; });
  ASSERT_EQ(chip->ConfLibInit(), kAudioOk);
  ASSERT_TRUE(testing::WaitFor([&] { return chip->ServerState() == AudioServerState::kNoServer; }, 5000));
  chip->CreateDeviceList();
  uint32_t n = 7;
  EXPECT_EQ(chip->GetDeviceCount(kAudioOutput, &n), kAudioOk);
  EXPECT_EQ(n, 0u);
  AudioValue v;
  EXPECT_EQ(chip->PropertyControl(AudioDeviceRecord{0, kEndpointHeadsetMicrophone, 0, 1}, "MuteControl", v, -1, true),
            kAudioNoServer);
  testing::HeadsetSoundServer server(dir.Path());
  ASSERT_TRUE(server.Ok()) << "no sound server could be started (pulseaudio is installed by scripts/install-deps.sh)";
  ASSERT_TRUE(testing::WaitFor([&] { return chip->ServerState() == AudioServerState::kReady; }, 10000));
  EXPECT_GE(calls.load(), 2);
  chip->CreateDeviceList();
  EXPECT_EQ(chip->GetDeviceCount(kAudioOutput, &n), kAudioOk);
  EXPECT_GE(n, 4u);
}

}  // namespace
}  // namespace korvale

namespace korvale {
namespace {

// korvalectl audio, run as the user runs it.
class KorvalectlAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", (dir_.Path() / "data").c_str(), 1);
    ::setenv("KORVALE_VHID_DIR", (dir_.Path() / "bus").c_str(), 1);
  }
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), std::string(KORVALE_BIN_DIR) + "/korvalectl");
    testing::ChildProcess p;
    if (!p.Start(args, dir_.Path() / "ctl.out", dir_.Path() / "ctl.err")) return -1;
    return p.Wait(20000);
  }
  std::string Out() { return testing::ReadAll(dir_.Path() / "ctl.out"); }
  testing::TempDir dir_;
};

TEST_F(KorvalectlAudio, ChangesReachTheServerAndStayAfterItEnds) {
  testing::HeadsetSoundServer server(dir_.Path() / "snd");
  ASSERT_TRUE(server.Ok()) << "no sound server could be started (pulseaudio is installed by scripts/install-deps.sh)";
  ASSERT_EQ(Run({"audio", "headset", "--eq", "4", "--mic", "off", "--mic-level", "33", "--monitor", "on"}), 0)
      << testing::ReadAll(dir_.Path() / "ctl.err");
  const Json::Value mic = testing::Named(testing::PactlJson(server.Dir(), "sources"), testing::kHsSource);
  EXPECT_TRUE(mic["mute"].asBool());
  EXPECT_NEAR(testing::VolumeOf(mic), 0.33, 0.001);
  EXPECT_EQ(testing::ModulesWith(server.Dir(), "module-loopback", testing::kHsSource).size(), 1u);
  const auto eq = [&] { return testing::ModulesWith(server.Dir(), "module-ladspa-sink", testing::kHsSink); };
  if (std::string(Out()).find("equaliser: preset 4") == std::string::npos) ADD_FAILURE() << Out();
  ASSERT_TRUE(CreatePulseAudioChip()->QueryFeature(AudioFeature::kEqualiser).supported) << "no equaliser plugin (lsp-plugins-ladspa is installed by scripts/install-deps.sh)";
  EXPECT_EQ(eq().size(), 1u);
  // Own bands on top; the last flat curve takes the filter away.
  ASSERT_EQ(Run({"audio", "headset", "--band", "6=6"}), 0);
  EXPECT_NE(Out().find("own curve (not saved under a name)"), std::string::npos) << Out();
  ASSERT_EQ(eq().size(), 1u);
  ASSERT_EQ(Run({"audio", "headset", "--eq", "5"}), 0);
  EXPECT_TRUE(eq().empty());
  // Shown without options, from the profile and the server.
  ASSERT_EQ(Run({"audio", "headset"}), 0);
  EXPECT_NE(Out().find("microphone: off, level 33"), std::string::npos) << Out();
  EXPECT_NE(Out().find("monitoring: on"), std::string::npos) << Out();
}

TEST_F(KorvalectlAudio, BadOptionsAndNoServerAreToldAndChangeNothing) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"audio", "mouse"},
                                                                 {"audio", "headset", "--band", "11=3"},
                                                                 {"audio", "headset", "--band", "2=30"},
                                                                 {"audio", "headset", "--eq", "3", "--band", "2=3"},
                                                                 {"audio", "headset", "--mic", "maybe"},
                                                                 {"audio", "headset", "--mic-level"}})
    EXPECT_EQ(Run(args), 2) << args.back();
  ::setenv("PULSE_SERVER", ("unix:" + (dir_.Path() / "nothing").string()).c_str(), 1);
  EXPECT_EQ(Run({"audio", "headset", "--mic", "off"}), 4);
  EXPECT_NE(testing::ReadAll(dir_.Path() / "ctl.err").find("no sound server is running"), std::string::npos);
  ::unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace korvale
