#include <gtest/gtest.h>
#include <pulse/simple.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "companions/audio_companion.h"
#include "companions/band_analysis.h"
#include "companions/wav_file.h"
#include "platform/message_bus.h"
#include "platform/registered_messages.h"
#include "tests/support/audio_support.h"
#include "ui/app_messages.h"

namespace fs = std::filesystem;
using namespace korvale;
using namespace korvale::testing;

namespace {

const std::string kProgram = std::string(KORVALE_BIN_DIR) + "/korvale-audio";

struct Printed {
  std::vector<std::vector<int>> frames;   // 125 levels each
  std::vector<std::vector<int>> colours;  // 6 values each
};

Printed Parse(const std::string& text) {
  Printed p;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    std::string kind;
    int n = 0;
    l >> kind >> n;
    std::vector<int> v;
    for (int x; l >> x;) v.push_back(x);
    (kind == "frame" ? p.frames : p.colours).push_back(v);
  }
  return p;
}

// The strongest value of each band over a frame.
std::vector<int> BandPeaks(const std::vector<int>& frame) {
  std::vector<int> bands(SpectrumFrame::kBands, 0);
  for (std::size_t i = 0; i < frame.size(); ++i)
    bands[i / SpectrumFrame::kSlicesPerBand] = std::max(bands[i / SpectrumFrame::kSlicesPerBand], frame[i]);
  return bands;
}

class CompanionTest : public ::testing::Test {
 protected:
  CompanionTest() {
    dir = fs::temp_directory_path() /
          ("korvale-audio-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  ~CompanionTest() override { fs::remove_all(dir); }

  // Runs korvale-audio to its end; returns its status, stdout in out, stderr in err.
  int Run(const std::vector<std::string>& args, std::string* out, std::string* err = nullptr, int timeoutMs = 20000) {
    ChildProcess p;
    std::vector<std::string> all{kProgram};
    all.insert(all.end(), args.begin(), args.end());
    if (!p.Start(all, dir / "out", dir / "err")) return -1;
    const int status = p.Wait(timeoutMs);
    if (out != nullptr) *out = ReadAll(dir / "out");
    if (err != nullptr) *err = ReadAll(dir / "err");
    return status;
  }

  Printed PrintWav(const std::vector<std::int16_t>& stereo, int rate = 48000) {
    WriteWav(dir / "in.wav", stereo, rate);
    std::string out;
    EXPECT_EQ(Run({"--input", (dir / "in.wav").string(), "--print"}, &out), 0);
    return Parse(out);
  }

  fs::path dir;
};

TEST_F(CompanionTest, ASineLightsTheBandOfItsFrequencyAndLittleElse) {
  // At 192 kHz a hop is longer than the analysis window.
  for (auto [hz, rate] : {std::pair{100.0, 48000}, {1000.0, 48000}, {6000.0, 48000}, {1000.0, 192000}}) {
    SCOPED_TRACE(::testing::Message() << hz << " Hz at " << rate);
    const Printed p = PrintWav(Tone(hz, 0.5, 0.5, rate), rate);
    ASSERT_EQ(p.frames.size(), 30u);  // 60 frames a second
    const std::vector<int> bands = BandPeaks(p.frames.back());
    const int expected = CSpectrumAnalyser::BandOf(hz);
    EXPECT_EQ(std::max_element(bands.begin(), bands.end()) - bands.begin(), expected);
    // Half of full scale is 6 dB down: 900 of 1000 on the 60 dB scale.
    EXPECT_NEAR(bands[static_cast<std::size_t>(expected)], 900, 20);
    for (int b = 0; b < SpectrumFrame::kBands; ++b)
      if (std::abs(b - expected) > 3) {
        EXPECT_LT(bands[static_cast<std::size_t>(b)], 300) << "band " << b;
      }
    EXPECT_EQ(p.colours.back()[4], expected);  // the loudest band
  }
}

TEST_F(CompanionTest, SilenceLightsNothing) {
  const Printed p = PrintWav(Tone(1000, 0.0, 0.25));
  ASSERT_FALSE(p.frames.empty());
  for (const auto& f : p.frames) EXPECT_EQ(*std::max_element(f.begin(), f.end()), 0);
  EXPECT_EQ(p.colours.back(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
}

TEST_F(CompanionTest, ALoudSquareWaveClampsAtTheTop) {
  const Printed p = PrintWav(Tone(200, 1.0, 0.25, 48000, true));
  const std::vector<int>& f = p.frames.back();
  EXPECT_EQ(*std::max_element(f.begin(), f.end()), CSpectrumAnalyser::kFullLevel);
  // Full loudness: the style's colour at full strength (levels 9 → 255).
  EXPECT_EQ(p.colours.back()[0], 255);
  EXPECT_EQ(p.colours.back()[3], CSpectrumAnalyser::kFullLevel);
}

TEST_F(CompanionTest, BadCommandLinesAndFilesAreRefusedWithAMessage) {
  std::string out, err;
  EXPECT_EQ(Run({"--frobnicate"}, &out, &err), 2);
  EXPECT_NE(err.find("unknown argument"), std::string::npos);
  std::ofstream(dir / "bad.wav") << "RIFF....WAVEjunk";
  EXPECT_EQ(Run({"--input", (dir / "bad.wav").string(), "--print"}, &out, &err), 4);
  EXPECT_NE(err.find("cannot read"), std::string::npos) << err;
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(Run({"--input", (dir / "missing.wav").string()}, &out, &err), 4);
}

// On the bus: it waits for the main window's start command, streams frames
// whose signs alternate, takes levels, and ends when the main window goes.
TEST_F(CompanionTest, StreamsToTheMainWindowOnCommandAndEndsWhenItGoes) {
  char run[] = "/tmp/kvcXXXXXX";  // socket paths must stay short
  ASSERT_NE(::mkdtemp(run), nullptr);
  ::setenv("XDG_RUNTIME_DIR", run, 1);
  WriteWav(dir / "tone.wav", Tone(1000, 0.5, 30));
  VirtualUiLoop loop;
  const std::uint32_t daemon = RegisterWindowMessage(kAudioDaemonMsgName);
  std::vector<BusMessage> got;
  {
    MessageBus bus(loop);
    ASSERT_TRUE(bus.Listen(kAudioMainTitle, [&](const BusMessage& m) -> std::intptr_t {
      got.push_back(m);
      return 1;
    }));
    ChildProcess p;
    ASSERT_TRUE(p.Start({kProgram, "--input", (dir / "tone.wav").string()}, dir / "out", dir / "err"));
    auto pump = [&](const std::function<bool()>& done) { return PumpUntil(loop, done, 8000); };
    ASSERT_TRUE(pump([&] { return bus.FindWindow(kAudioCompanionTitle); })) << ReadAll(dir / "err");
    EXPECT_TRUE(got.empty());  // nothing before the start command
    for (std::uint64_t command : {0, 3, 1})
      EXPECT_EQ(bus.Send(kAudioCompanionTitle, kAudioDaemonMsgName, daemon, command, 0, 1500), 1);
    EXPECT_EQ(bus.Send(kAudioCompanionTitle, kAudioDaemonMsgName, daemon, 99, 0, 1500), 0);  // unknown
    auto frames = [&] {
      std::vector<const BusMessage*> f;
      for (const BusMessage& m : got)
        if (m.isCopyData && m.lParam == 1) f.push_back(&m);
      return f;
    };
    ASSERT_TRUE(pump([&] { return frames().size() >= 10; }));
    const auto f = frames();
    std::int32_t a, b;
    const std::size_t slice = 5 * 13 + 2;  // band 13, where 1 kHz lies
    std::memcpy(&a, f[8]->data.data() + 4 * slice, 4);
    std::memcpy(&b, f[9]->data.data() + 4 * slice, 4);
    EXPECT_EQ(f[9]->data.size(), 500u);
    EXPECT_GT(std::abs(a), 500);
    EXPECT_LT(static_cast<std::int64_t>(a) * b, 0) << "consecutive frames carry opposite signs";
    // Colour blocks: six values, the style's levels scaled by loudness.
    std::vector<std::uint8_t> style(kAudioStyleBytes, 0);
    style[0] = 9;  // red only
    EXPECT_EQ(bus.CopyData(kAudioCompanionTitle, kAudioStyleData, style, 1500), 1);
    ASSERT_TRUE(pump([&] {
      for (const BusMessage& m : got) {
        std::int32_t rgb[3];
        if (!m.isCopyData || m.lParam != 2 || m.data.size() != 24) continue;
        std::memcpy(rgb, m.data.data(), 12);
        if (rgb[0] > 100 && rgb[1] == 0 && rgb[2] == 0) return true;
      }
      return false;
    }));
    bus.Unlisten(kAudioMainTitle);
    EXPECT_EQ(p.Wait(5000), 0) << ReadAll(dir / "err");
    EXPECT_NE(ReadAll(dir / "err").find("main window has gone"), std::string::npos);
  }
  fs::remove_all(run);
}

TEST(WavFile, ReadsTheSampleFormatsAndRefusesBrokenFiles) {
  auto build = [](std::uint16_t format, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                  const std::vector<std::uint8_t>& data, std::uint32_t claimed = 0) {
    std::vector<std::uint8_t> b;
    auto put = [&b](std::uint32_t v, int n) {
      for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put(36 + static_cast<std::uint32_t>(data.size()), 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4);
    put(format, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * bits / 8, 4);
    put(static_cast<std::uint32_t>(channels * bits / 8), 2);
    put(bits, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put(claimed != 0 ? claimed : static_cast<std::uint32_t>(data.size()), 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
  };
  std::string why;
  // One sample of each format at half scale, and a stereo pair that cancels.
  const float half = 0.5f;
  std::vector<std::uint8_t> f32(4);
  std::memcpy(f32.data(), &half, 4);
  struct Case {
    std::uint16_t format, channels, bits;
    std::vector<std::uint8_t> data;
    float expected;
  } cases[] = {
      {1, 1, 8, {192}, 0.5f},
      {1, 1, 16, {0x00, 0x40}, 0.5f},
      {1, 1, 24, {0x00, 0x00, 0x40}, 0.5f},
      {1, 1, 32, {0x00, 0x00, 0x00, 0x40}, 0.5f},
      {3, 1, 32, f32, 0.5f},
      {1, 2, 16, {0x00, 0x40, 0x00, 0xC0}, 0.0f},
  };
  for (const Case& c : cases) {
    const auto bytes = build(c.format, c.channels, 48000, c.bits, c.data);
    auto wav = ParseWav(bytes.data(), bytes.size(), &why);
    ASSERT_TRUE(wav) << why << " bits " << c.bits;
    ASSERT_EQ(wav->mono.size(), 1u);
    EXPECT_NEAR(wav->mono[0], c.expected, 1e-3) << c.bits;
  }
  // A data length past the end (a stream's header) reads what is there.
  auto bytes = build(1, 1, 48000, 16, {0, 0x40, 0, 0x40}, 0xFFFFFFFF);
  auto wav = ParseWav(bytes.data(), bytes.size(), &why);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->mono.size(), 2u);

  struct Bad {
    std::vector<std::uint8_t> bytes;
    const char* why;
  } bad[] = {
      {{'R', 'I', 'F', 'F'}, "not a RIFF WAVE file"},
      {build(2, 1, 48000, 16, {0, 0}), "not PCM or float samples"},
      {build(1, 0, 48000, 16, {0, 0}), "unsupported channel count or sample rate"},
      {build(1, 1, 1000, 16, {0, 0}), "unsupported channel count or sample rate"},
      {build(1, 1, 48000, 12, {0, 0}), "unsupported sample size"},
      {build(3, 1, 48000, 16, {0, 0}), "unsupported sample size"},
  };
  for (const Bad& b : bad) {
    EXPECT_FALSE(ParseWav(b.bytes.data(), b.bytes.size(), &why));
    EXPECT_EQ(why, b.why);
  }
  bytes = build(1, 1, 48000, 16, {0, 0});
  bytes.resize(36);  // the data chunk cut off
  EXPECT_FALSE(ParseWav(bytes.data(), bytes.size(), &why));
  EXPECT_EQ(why, "no data chunk");
}

TEST_F(CompanionTest, WithoutASoundServerItSaysSoOnceAndEnds) {
  ::setenv("PULSE_SERVER", ("unix:" + (dir / "no-server").string()).c_str(), 1);
  std::string out, err;
  EXPECT_EQ(Run({}, &out, &err), 3);
  ::unsetenv("PULSE_SERVER");
  EXPECT_NE(err.find("no sound server"), std::string::npos) << err;
  EXPECT_EQ(err.find("no sound server"), err.rfind("no sound server"));
}

// Plays stereo 16-bit samples into the default output of the server in PULSE_SERVER.
bool Play(const std::vector<std::int16_t>& stereo) {
  const pa_sample_spec spec{PA_SAMPLE_S16LE, 48000, 2};
  int error = 0;
  pa_simple* s = pa_simple_new(nullptr, "korvale test", PA_STREAM_PLAYBACK, nullptr, "tone", &spec, nullptr, nullptr,
                               &error);
  if (s == nullptr) return false;
  const bool ok = pa_simple_write(s, stereo.data(), stereo.size() * 2, &error) == 0 && pa_simple_drain(s, &error) == 0;
  pa_simple_free(s);
  return ok;
}

TEST_F(CompanionTest, CapturesATonePlayedIntoTheSoundServersDefaultOutput) {
  PulseServer server(dir / "sound");
  if (!server.Available()) GTEST_SKIP() << "no PulseAudio server here: " << server.Log();
  ChildProcess capture;
  ASSERT_TRUE(capture.Start({kProgram, "--print"}, dir / "out", dir / "err"));
  // Frames flow once the monitor is recorded, silent until the tone plays.
  ASSERT_TRUE(WaitFor([&] { return Parse(ReadAll(dir / "out")).frames.size() > 5; }, 10000))
      << ReadAll(dir / "err") << server.Log();
  ASSERT_TRUE(Play(Tone(1000, 0.5, 1.0)));
  capture.Kill();
  const Printed p = Parse(ReadAll(dir / "out"));
  int best = 0;
  std::vector<int> loudest;
  for (const auto& f : p.frames) {
    const auto bands = BandPeaks(f);
    if (bands.size() == SpectrumFrame::kBands && bands[13] > best) {
      best = bands[13];
      loudest = bands;
    }
  }
  ASSERT_GT(best, 700) << "the tone never reached the capture";
  EXPECT_EQ(std::max_element(loudest.begin(), loudest.end()) - loudest.begin(), CSpectrumAnalyser::BandOf(1000));
}

}  // namespace
