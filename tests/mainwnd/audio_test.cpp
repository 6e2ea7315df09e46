// Music lighting in the main window: spectrum frames folded into band means,
// the styles file and the music window, and the companion on the real bus
// (a test peer in its place, and the real korvale-audio).
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <sstream>

#include "../support/audio_support.h"
#include "../support/emu_process.h"
#include "devices/varnik_usb_device.h"
#include "editors/music_wnd.h"
#include "hid/device_table.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "mainwnd_fixture.h"
#include "platform/message_bus.h"
#include "platform/registered_messages.h"
#include "platform/single_instance.h"
#include "profiles/json_file.h"
#include "profiles/profile_records.h"
#include "protocol/commands.h"
#include "ui/controls.h"
#include "ui/skin_controls.h"

namespace korvale::test {
namespace {

namespace fs = std::filesystem;
using korvale::testing::ChildProcess;
using korvale::testing::Tone;
using korvale::testing::WriteWav;

const std::string kCompanionTitle = std::string(kAppIdentity) + "AUDIORECORD";
const std::string kCompanionLock = std::string(kAppIdentity) + "AudioRecord";

std::vector<std::uint8_t> Ints(const std::vector<std::int32_t>& v) {
  std::vector<std::uint8_t> b(v.size() * 4);
  std::memcpy(b.data(), v.data(), b.size());
  return b;
}
std::int32_t IntAt(const std::vector<std::uint8_t>& b, std::size_t i) {
  std::int32_t v;
  std::memcpy(&v, b.data() + 4 * i, 4);
  return v;
}

class AudioWndTest : public MainWndTest {
 protected:
  void SetUp() override {
    // Socket paths must stay short: a runtime folder of its own under /tmp.
    char run[] = "/tmp/kvaXXXXXX";
    ASSERT_NE(::mkdtemp(run), nullptr);
    runDir = run;
    ::setenv("XDG_RUNTIME_DIR", run, 1);
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterWindowMessage(kAudioDaemonMsgName);  // the peer's side of the bus maps it
    bus = std::make_unique<MessageBus>(loop);
    // What the shell does: the window reachable under its title.
    ASSERT_TRUE(bus->Listen(kAppIdentity, [this](const BusMessage& m) -> std::intptr_t {
      if (!m.isCopyData) return SendMessageW(hwnd, m.msg, m.wParam, m.lParam);
      return SendCopyData(hwnd, static_cast<std::uint64_t>(m.lParam), m.data.data(), m.data.size());
    }));
    wnd->Audio().SetMessageBus(bus.get());
  }
  void TearDown() override {
    for (const char* t : {kCompanionTitle.c_str(), "WorkTool"}) bus->Unlisten(t);
    if (IsWindow(wnd->GetHWND())) wnd->DestroyWindow();
    wnd.reset();
    bus.reset();
    peerLock.reset();
    ::unsetenv("PULSE_SERVER");
    if (!runDir.empty()) fs::remove_all(runDir);
  }
  bool Pump(const std::function<bool()>& done, int ms = 8000) { return korvale::testing::PumpUntil(loop, done, ms); }
  void CopyData(std::uint64_t dwData, const std::vector<std::uint8_t>& bytes) {
    SendCopyData(hwnd, dwData, bytes.data(), bytes.size());
  }
  void WriteUserStyles(const std::string& json) {
    fs::create_directories(dir / "data" / kAppIdentity);
    std::ofstream(dir / "data" / kAppIdentity / "AudioFile.json") << json;
  }
  // A stand-in companion on the bus recording what it is told.
  void ListenAsCompanion() {
    peerLock = std::make_unique<SingleInstance>(kCompanionLock);
    ASSERT_EQ(peerLock->GetState(), SingleInstance::State::Owner);
    ASSERT_TRUE(bus->Listen(kCompanionTitle, [this](const BusMessage& m) -> std::intptr_t {
      told.push_back(m);
      return 1;
    }));
  }
  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const BusMessage& m : told)
      if (!m.isCopyData) out.push_back(std::to_string(m.wParam) + "," + std::to_string(m.lParam));
    return out;
  }

  fs::path runDir;
  std::unique_ptr<MessageBus> bus;
  std::unique_ptr<SingleInstance> peerLock;
  std::vector<BusMessage> told;
};

TEST_F(AudioWndTest, FramesFoldIntoBandMeansOncePerFrameIn64Bits) {
  Start();
  const auto& means = wnd->Audio().BandMeans();
  // Band 0 reads values 0..3; each differs by 800 from the zero start.
  std::vector<std::int32_t> frame(500, 0);
  for (int i = 0; i < 4; ++i) frame[static_cast<std::size_t>(i)] = 800;
  CopyData(1, Ints(frame));
  EXPECT_EQ(means[0], 800);  // (0 + 4 × 800) / 4
  // The same frame again: no difference, the mean quarters once per frame.
  for (int expected : {200, 50, 12, 3, 0}) {
    CopyData(1, Ints(frame));
    EXPECT_EQ(means[0], expected);
  }
  // Extremes: the differences and sums no longer wrap, they clamp.
  std::fill(frame.begin(), frame.end(), INT32_MAX);
  CopyData(1, Ints(frame));
  std::fill(frame.begin(), frame.end(), INT32_MIN);
  CopyData(1, Ints(frame));
  for (std::int32_t m : means) EXPECT_EQ(m, INT32_MAX);
  // 700 values are cut to 500.
  CopyData(1, Ints(std::vector<std::int32_t>(700, 12345)));
  std::fill(frame.begin(), frame.end(), 12345);
  CopyData(1, Ints(frame));
  EXPECT_EQ(means[24], INT32_MAX / 4);
  // Empty blocks and other kinds change nothing.
  CopyData(1, {});
  CopyData(7, Ints(std::vector<std::int32_t>(500, 99)));
  EXPECT_EQ(means[24], INT32_MAX / 4);
  // A short block replaces only its own values: value 10 (band 2) keeps 300.
  std::fill(frame.begin(), frame.end(), 12345);
  frame[10] = 12345 + 300;
  CopyData(1, Ints(frame));
  const std::int32_t band2 = means[2];
  EXPECT_EQ(band2, (INT32_MAX / 4 + 300) / 4);
  CopyData(1, Ints({12345, 12345, 12345}));
  EXPECT_EQ(means[2], band2 / 4);
}

TEST_F(AudioWndTest, AFileWithoutDeviceIsReplacedAndWritingBackKeepsOtherMembers) {
  WriteUserStyles(R"({"Other": 1})");
  Start();
  const Json::Value user = ReadJsonFile(wnd->GetAudioSettingsPath());
  EXPECT_TRUE(user["Device"]["AudioLightInfo"].isObject());
  EXPECT_FALSE(user.isMember("Other"));  // the default file, whole
  Json::Value device;
  device["AudioLightInfo"]["nStyleR1"] = 255;
  device["AudioLightInfo"]["Extra"] = 1;
  device["Mine"] = true;
  // Written back: the 17 members, clamped, and the unknown ones kept.
  WriteAudioStyles(ReadAudioStyles(device), device);
  EXPECT_EQ(device["AudioLightInfo"].size(), 18u);
  EXPECT_TRUE(device["Mine"].asBool());
  EXPECT_EQ(device["AudioLightInfo"]["nStyleR1"].asInt(), 9);
}

TEST_F(AudioWndTest, MusicWindowEditsTheStylesAndOkSavesThemAndSendsTheColour) {
  WriteUserStyles(R"({"Keep": 5, "Device": {"Own": 1, "AudioLightInfo": {"nAudioStyle": 0, "nStyleName1": "Calm"}}})");
  ListenAsCompanion();
  wnd->Audio().SetProgram("/nonexistent/korvale-audio");
  Start();
  loop.AdvanceBy(100);  // the connect timer
  ASSERT_TRUE(Pump([&] { return wnd->Audio().CompanionKnown(); }));
  CMusicWnd* dialog = nullptr;
  const auto key = UiLoop::NewTimerKey();
  loop.SetTimer(key, 50, [&] {
    loop.KillTimer(key);
    dialog = dynamic_cast<CMusicWnd*>(CWindowWnd::FromHandle(wnd->Audio().MusicWindow()));
    ASSERT_NE(dialog, nullptr);
    CPaintManagerUI& pm = dialog->GetPaintManager();
    EXPECT_EQ(pm.FindControl("audio_edit_name1")->GetText(), "Calm");
    EXPECT_EQ(pm.FindControl("audio_edit_name2")->GetText(), CResourceManager::GetInstance().GetText("audio_style_name_2"));
    dynamic_cast<COptionUI*>(pm.FindControl("audio_select_tab3"))->Selected(true);
    dynamic_cast<CSliderUI*>(pm.FindControl("audio_r_slider"))->SetValueFromUser(4);
    dynamic_cast<CSliderUI*>(pm.FindControl("audio_g_slider"))->SetValueFromUser(0);
    dynamic_cast<CSliderUI*>(pm.FindControl("audio_b_slider"))->SetValueFromUser(9);
    CControlUI* name3 = pm.FindControl("audio_edit_name3");
    name3->SetText("");
    pm.SendNotify(name3, notify::kKillFocus);
    EXPECT_EQ(name3->GetText(), CResourceManager::GetInstance().GetText("audio_style_name_3"));
    // A second press while it is open opens nothing more.
    dynamic_cast<CButtonUI*>(Find("music_setting_btn"))->Activate();
    dynamic_cast<CButtonUI*>(pm.FindControl("okbtn"))->Activate();
  });
  // Pressed from inside the loop, so the modal loop has time to run.
  loop.Post([&] { dynamic_cast<CButtonUI*>(Find("music_setting_btn"))->Activate(); });
  loop.AdvanceBy(500);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(wnd->Audio().MusicWindow(), 0u);
  const Json::Value user = ReadJsonFile(wnd->GetAudioSettingsPath());
  EXPECT_EQ(user["Keep"].asInt(), 5);
  EXPECT_EQ(user["Device"]["Own"].asInt(), 1);
  const Json::Value& info = user["Device"]["AudioLightInfo"];
  EXPECT_EQ(info["nAudioStyle"].asInt(), 2);
  EXPECT_EQ(info["nStyleName3"].asString(), "audio_style_name_3");
  EXPECT_EQ(info["nStyleR2"].asInt(), 4);
  EXPECT_EQ(info["nStyleB2"].asInt(), 9);
  // The style's colour goes to the companion, a green of 0 as 1.
  ASSERT_TRUE(Pump([&] {
    return !told.empty() && told.back().isCopyData && told.back().data.size() == 40 && IntAt(told.back().data, 0) == 4;
  }));
  EXPECT_EQ(told.back().lParam, 10);
  EXPECT_EQ(IntAt(told.back().data, 1), 1);
  EXPECT_EQ(IntAt(told.back().data, 2), 9);
}

TEST_F(AudioWndTest, ConnectsToARunningCompanionAndPassesLevelsAndAnswersTheWorkTool) {
  WriteUserStyles(R"({"Device": {"AudioLightInfo": {"nAudioStyle": 2, "nStyleR2": 4, "nStyleG2": 0, "nStyleB2": 9}}})");
  ListenAsCompanion();
  // Someone else's companion holds the lock: nothing is launched, it is connected.
  wnd->Audio().SetProgram("/nonexistent/korvale-audio");
  Start();
  BuildPages({1});  // the keyboard's page holds the audio-lighting sliders
  loop.AdvanceBy(100);  // the connect timer
  ASSERT_TRUE(Pump([&] { return Commands().size() >= 3 && told.size() >= 4; }));
  EXPECT_EQ(wnd->Audio().Launches(), 0);
  const std::vector<std::string> all = Commands();
  const std::vector<std::string> connect(all.begin(), all.begin() + 3);
  EXPECT_EQ(connect, (std::vector<std::string>{"0," + std::to_string(hwnd), "3,0", "1,0"}));
  const BusMessage* colour = nullptr;
  for (const BusMessage& m : told)
    if (m.isCopyData) colour = &m;
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(colour->data.size(), 40u);
  EXPECT_EQ((std::vector<int>{IntAt(colour->data, 0), IntAt(colour->data, 1), IntAt(colour->data, 2)}),
            (std::vector<int>{4, 1, 9}));

  auto* g = dynamic_cast<CSliderUI*>(Find("G_light_slider"));
  ASSERT_NE(g, nullptr);
  told.clear();
  g->SetValueFromUser(5);
  EXPECT_EQ(Find("G_light_label")->GetText(), "G 5");
  ASSERT_TRUE(Pump([&] { return !Commands().empty(); }));
  EXPECT_EQ(Commands(), (std::vector<std::string>{"7,5"}));

  // The work tool's query: the version bytes and the product table.
  std::vector<std::uint8_t> answer;
  ASSERT_TRUE(bus->Listen("WorkTool", [&](const BusMessage& m) -> std::intptr_t {
    if (m.isCopyData && m.lParam == 5) answer = m.data;
    return 1;
  }));
  wnd->SendMessage(Number(kWorkToolQueryMsgName), 0, 0);
  ASSERT_TRUE(Pump([&] { return !answer.empty(); }));
  ASSERT_EQ(answer.size(), 1024u);
  EXPECT_EQ((std::vector<int>{IntAt(answer, 0), IntAt(answer, 1), IntAt(answer, 2), IntAt(answer, 3), IntAt(answer, 4)}),
            (std::vector<int>{2, 3, 0, 2, 4}));
  for (std::size_t i = 0; i < kProductCount; ++i) {
    EXPECT_EQ(IntAt(answer, 5 + 3 * i), kProducts[i].vid);
    EXPECT_EQ(IntAt(answer, 6 + 3 * i), kProducts[i].pid);
    EXPECT_EQ(IntAt(answer, 7 + 3 * i), kProducts[i].kind);
  }
  EXPECT_EQ(IntAt(answer, 5 + 3 * 4), 0);
}

TEST_F(AudioWndTest, RealCompanionStreamsAToneIsRestartedAfterAKillAndEndsWithTheWindow) {
  WriteWav(dir / "tone.wav", Tone(1000, 0.5, 30));
  wnd->Audio().SetProgram(std::string(KORVALE_BIN_DIR) + "/korvale-audio", {"--input", (dir / "tone.wav").string()});
  Start();
  const auto& means = wnd->Audio().BandMeans();
  // The tone's band rises and the others fall once the onset has passed
  // (frames may come in a burst on a loaded machine).
  auto toneOnly = [&] {
    if (means[13] <= 1000) return false;
    for (int b : {0, 5, 20, 24})
      if (means[static_cast<std::size_t>(b)] >= means[13] / 4) return false;
    return true;
  };
  ASSERT_TRUE(Pump(toneOnly)) << "bands 0 5 13 20 24: " << means[0] << " " << means[5] << " " << means[13] << " "
                              << means[20] << " " << means[24];
  EXPECT_EQ(wnd->Audio().Launches(), 1);

  const pid_t first = wnd->Audio().CompanionPid();
  ASSERT_GT(first, 0);
  ::kill(first, SIGKILL);
  const auto killed = std::chrono::steady_clock::now();
  ASSERT_TRUE(Pump([&] { return wnd->Audio().Launches() == 2 && wnd->Audio().CompanionKnown(); }, 10000));
  // It ran for less than the healthy time: the next start waited twice the first delay.
  EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::milliseconds(2 * 2000 + 1000));
  EXPECT_EQ(wnd->Audio().CurrentDelayMs(), 2000u);
  const int before = means[13];
  ASSERT_TRUE(Pump([&] { return means[13] != before && means[13] > 1000; }));  // frames flow again

  // The window's end sends the exit commands; the companion goes at once
  // although the window's title is still on the bus.
  const pid_t second = wnd->Audio().CompanionPid();
  ASSERT_GT(second, 0);
  wnd->DestroyWindow();
  EXPECT_TRUE(korvale::testing::WaitFor([&] { return ::waitpid(second, nullptr, WNOHANG) == second; }, 3000));
}

TEST_F(AudioWndTest, WithoutASoundServerTheWindowShowsItAndTheWatchdogBacksOff) {
  ::setenv("PULSE_SERVER", ("unix:" + (dir / "no-server").string()).c_str(), 1);
  wnd->Audio().SetProgram(std::string(KORVALE_BIN_DIR) + "/korvale-audio");
  Start();
  ASSERT_TRUE(Pump([&] { return wnd->Audio().StatusText() == "audio_no_sound_server"; }));
  EXPECT_EQ(Find("status_line")->GetText(), CResourceManager::GetInstance().GetText("audio_no_sound_server"));
  EXPECT_EQ(wnd->Audio().CurrentDelayMs(), 2000u);
  ASSERT_TRUE(Pump([&] { return wnd->Audio().CurrentDelayMs() == 4000u; }, 8000));
  // Two starts in about two seconds, where a retry every second would have made three.
  EXPECT_EQ(wnd->Audio().Launches(), 2);
}

}  // namespace
}  // namespace korvale::test
