#include "mainwnd/audio_companion_link.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "devices/varnik_keyboard_device.h"
#include "editors/music_wnd.h"
#include "hid/device_table.h"
#include "mainwnd/device_list.h"
#include "mainwnd/status_line.h"
#include "platform/message_bus.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "platform/thread_name.h"
#include "platform/trace.h"
#include "profiles/settings_files.h"
#include "ui/controls.h"

extern char** environ;

namespace korvale {

namespace {
using Clock = std::chrono::steady_clock;

// Names of the companion's objects: the identity string and a fixed word.
const std::string kCompanionLock = std::string(kAppIdentity) + "AudioRecord";
const std::string kCompanionTitle = std::string(kAppIdentity) + "AUDIORECORD";
constexpr const char* kWorkToolTitle = "WorkTool";

// Commands in wParam of the audio daemon message.
constexpr std::int64_t kCmdHello = 0, kCmdStart = 1, kCmdStop = 2, kCmdReset = 3, kCmdRelease = 4, kCmdExit = 5;
constexpr std::uint64_t kCmdLevelR = 6;
constexpr std::uint64_t kFrameData = 1, kColourData = 2, kStyleData = 10, kWorkToolData = 5;
constexpr std::size_t kStyleBytes = 40, kWorkToolBytes = 1024;
// How long the watchdog waits for a launched companion to appear on the bus.
constexpr std::uint32_t kAppearMs = 3000;

void PutLe32(std::vector<std::uint8_t>& out, std::size_t at, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::string SliderLabel(int colour) { return std::string(1, "RGB"[colour]) + "_light_label"; }
}  // namespace

struct CAudioCompanionLink::Shared {
  std::atomic<bool> alive{true};  // UI thread: the link still exists
  std::atomic<bool> known{false};
  std::atomic<int> launches{0};
  std::atomic<std::uint32_t> delayMs{kFirstDelayMs};
  std::mutex lock;  // guards what follows
  std::filesystem::path program;
  std::vector<std::string> args;
  pid_t pid = -1;
  Clock::time_point startedAt;
  // Watchdog only: a companion it did not start has been connected (the
  // start-up connect covers one running from the start).
  bool othersConnected = true;
};

CAudioCompanionLink::CAudioCompanionLink(CMainWnd& wnd)
    : wnd_(wnd), shared_(std::make_shared<Shared>()), sender_([this] { SenderLoop(); }) {
  shared_->program = ExecutableDir() / "korvale-audio";
}

CAudioCompanionLink::~CAudioCompanionLink() {
  shared_->alive = false;
  {
    std::lock_guard<std::mutex> g(sendLock_);
    senderStop_ = true;
  }
  sendWake_.notify_all();
  sender_.join();
  // A companion we started must not outlive us: it would keep writing into
  // folders its owner is about to remove. Ask it to end, then insist.
  std::lock_guard<std::mutex> g(shared_->lock);
  if (shared_->pid <= 0) return;
  if (::waitpid(shared_->pid, nullptr, WNOHANG) == 0) {
    ::kill(shared_->pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(2000);
    pid_t r = 0;
    while ((r = ::waitpid(shared_->pid, nullptr, WNOHANG)) == 0 && Clock::now() < deadline) ::usleep(5000);
    if (r == 0) {
      Trace("audio: korvale-audio did not end within 2 s of SIGTERM; killed");
      ::kill(shared_->pid, SIGKILL);
      ::waitpid(shared_->pid, nullptr, 0);
    }
  }
  shared_->pid = -1;
}

int CAudioCompanionLink::Launches() const { return shared_->launches.load(); }
std::uint32_t CAudioCompanionLink::CurrentDelayMs() const { return shared_->delayMs.load(); }
bool CAudioCompanionLink::CompanionKnown() const { return shared_->known.load(); }
pid_t CAudioCompanionLink::CompanionPid() const {
  std::lock_guard<std::mutex> g(shared_->lock);
  return shared_->pid;
}

void CAudioCompanionLink::SetProgram(std::filesystem::path program, std::vector<std::string> args) {
  std::lock_guard<std::mutex> g(shared_->lock);
  shared_->program = std::move(program);
  shared_->args = std::move(args);
}

// ---- start, watchdog, launch ----

void CAudioCompanionLink::Start() {
  styles_ = ReadAudioStyles(wnd_.GetAudioSettings());
  bool none = false;
  {
    std::lock_guard<std::mutex> g(shared_->lock);
    none = shared_->program.empty();
  }
  if (none) {
    Trace("audio: no companion program; music lighting stays still");
    return;
  }
  if (!wnd_.StartThread(CMainWnd::kAudioWatchSlot, [this](const MainThreadParam& p) { Watchdog(p); }))
    Trace("audio: the watchdog did not start");
  SendStyleColour();
}

void CAudioCompanionLink::Watchdog(const MainThreadParam& param) {
  std::shared_ptr<Shared> keep = shared_;
  Shared& s = *keep;
  std::uint32_t wait = 0;  // the first launch goes at once
  while (!param.stop->Wait(wait)) {
    wait = kFirstDelayMs;
    std::unique_lock<std::mutex> g(s.lock);
    if (s.pid > 0) {
      int status = 0;
      const pid_t r = ::waitpid(s.pid, &status, WNOHANG);
      if (r == 0) continue;  // our companion is running
      const auto ran = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s.startedAt).count();
      const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
      s.pid = -1;
      s.known = false;
      const bool healthy = code != kNoSoundServerStatus && ran >= kHealthyRunMs;
      s.delayMs = healthy ? kFirstDelayMs : std::min(s.delayMs.load() * 2, kMaxDelayMs);
      Trace("AudioDaemonThreadPrc: korvale-audio ended (status %d after %lld ms); next start in %u ms", code,
            static_cast<long long>(ran), s.delayMs.load());
      if (code == kNoSoundServerStatus) ShowStatus("audio_no_sound_server");
      wait = s.delayMs;
      continue;
    }
    g.unlock();
    // A companion started by someone else holds the lock as well.
    {
      SingleInstance probe(kCompanionLock);
      if (probe.GetState() != SingleInstance::State::Owner) {
        if (!s.known && !s.othersConnected) ConnectFromWatchdog();
        s.othersConnected = true;
        continue;
      }
    }
    s.othersConnected = false;
    s.known = false;
    Launch(s);
    if (s.pid <= 0) {
      wait = s.delayMs;
      continue;
    }
    const auto until = Clock::now() + std::chrono::milliseconds(kAppearMs);
    // A companion that ended (no sound server, say) will not appear: the
    // next pass reaps it at once instead of polling the bus for it.
    const auto ended = [pid = s.pid] {
      siginfo_t info{};
      return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
    };
    while (bus_ != nullptr && !bus_->FindWindow(kCompanionTitle) && Clock::now() < until) {
      if (param.stop->Wait(20)) return;
      if (ended()) {
        wait = 0;
        break;
      }
    }
    // On the bus means it found its sound: whatever was shown before is over.
    if (bus_ != nullptr && bus_->FindWindow(kCompanionTitle)) ShowStatus("");
    ConnectFromWatchdog();
  }
  Trace("AudioDaemonThreadPrc stop");
}

void CAudioCompanionLink::Launch(Shared& s) {
  std::lock_guard<std::mutex> g(s.lock);
  std::vector<std::string> all{s.program.string()};
  all.insert(all.end(), s.args.begin(), s.args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const int r = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (r != 0) {
    s.pid = -1;
    s.delayMs = std::min(s.delayMs.load() * 2, kMaxDelayMs);
    Trace("Record open failed! %s: %s; next try in %u ms", argv[0], std::strerror(r), s.delayMs.load());
    ShowStatus("audio_companion_missing");
    return;
  }
  s.pid = pid;
  s.startedAt = Clock::now();
  ++s.launches;
}

void CAudioCompanionLink::ShowStatus(const std::string& id) {
  std::shared_ptr<Shared> keep = shared_;
  GetUiLoop().Post([this, keep, id] {
    if (!keep->alive || status_ == id) return;
    status_ = id;
    Trace("audio: %s", id.empty() ? "companion running" : id.c_str());
    wnd_.StatusLine().SetAudioStatus(id);
  });
}

// ---- sends, all on the sender thread ----

void CAudioCompanionLink::Queue(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> g(sendLock_);
    sends_.push_back(std::move(task));
  }
  sendWake_.notify_all();
}

void CAudioCompanionLink::SenderLoop() {
  NameThisThread("kv-music-send");
  std::unique_lock<std::mutex> g(sendLock_);
  for (;;) {
    sendWake_.wait(g, [this] { return senderStop_ || !sends_.empty(); });
    if (senderStop_) return;
    auto task = std::move(sends_.front());
    sends_.pop_front();
    sending_ = true;
    g.unlock();
    task();
    g.lock();
    sending_ = false;
    sendWake_.notify_all();
  }
}

bool CAudioCompanionLink::DrainSends(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> g(sendLock_);
  return sendWake_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return sends_.empty() && !sending_; });
}

void CAudioCompanionLink::SendCommands(std::vector<std::pair<std::uint64_t, std::int64_t>> commands) {
  MessageBus* bus = bus_;
  std::shared_ptr<Shared> keep = shared_;
  Queue([bus, keep, commands = std::move(commands)] {
    if (bus == nullptr || !keep->known) return;
    for (const auto& [w, l] : commands)
      if (!bus->Send(kCompanionTitle, kAudioDaemonMsgName, 0, w, l, kSendTimeoutMs))
        Trace("audio: command %llu not answered", static_cast<unsigned long long>(w));
  });
}

void CAudioCompanionLink::ConnectFromWatchdog() {
  // The styles belong to the UI thread; the sends leave from the sender.
  std::shared_ptr<Shared> keep = shared_;
  GetUiLoop().Post([this, keep] {
    if (keep->alive) Connect();
  });
}

void CAudioCompanionLink::Connect() {
  MessageBus* bus = bus_;
  std::shared_ptr<Shared> keep = shared_;
  Queue([bus, keep] { keep->known = bus != nullptr && bus->FindWindow(kCompanionTitle); });
  SendCommands({{kCmdHello, static_cast<std::int64_t>(wnd_.GetHWND())}, {kCmdReset, 0}, {kCmdStart, 0}});
  // A restarted companion knows nothing of the style.
  SendStyleColour();
}

void CAudioCompanionLink::SendStyleColour() {
  std::array<int, 3> c = StyleLevels(styles_, styles_.style);
  if (c[1] == 0) c[1] = 1;  // the capture program takes a green of 0 as 1
  std::vector<std::uint8_t> block(kStyleBytes, 0);
  for (std::size_t i = 0; i < 3; ++i) PutLe32(block, 4 * i, c[i]);
  MessageBus* bus = bus_;
  std::shared_ptr<Shared> keep = shared_;
  Queue([bus, keep, block] {
    if (bus == nullptr || !keep->known) return;
    if (bus->CopyData(kCompanionTitle, kStyleData, block, kSendTimeoutMs)) Trace("2222222222");
  });
}

void CAudioCompanionLink::SendExit() {
  MessageBus* bus = bus_;
  std::shared_ptr<Shared> keep = shared_;
  Queue([bus, keep] { keep->known = bus != nullptr && bus->FindWindow(kCompanionTitle); });
  SendCommands({{kCmdStop, 0}, {kCmdRelease, 0}, {kCmdExit, 0}});
}

// ---- routes ----

void CAudioCompanionLink::OnCapture(const MainRouteCall& call) {
  if (call.type == "timer" && call.name == "start") {
    Connect();
  } else if (call.type == "message" && call.name == "stop") {
    SendExit();
    if (!DrainSends(CMainWnd::kThreadStopWaitMs)) Trace("audio: exit commands still pending");
  } else if (call.type == notify::kClick && EqualsNoCase(call.name, "music_setting_btn")) {
    OpenMusicWindow();
  } else if (call.type == notify::kValueChanged) {
    for (int c = 0; c < 3; ++c)
      if (EqualsNoCase(call.name, std::string(1, "RGB"[c]) + "_light_slider")) OnLevelSlider(call, c);
    if (EqualsNoCase(call.name, "voice_sensitivity")) OnVoiceSensitivity();
  }
}

void CAudioCompanionLink::OnLevelSlider(const MainRouteCall& call, int colour) {
  auto* slider = call.notify != nullptr ? dynamic_cast<CProgressUI*>(call.notify->pSender) : nullptr;
  if (slider == nullptr) return;
  const int v = slider->GetValue();
  SendCommands({{kCmdLevelR + static_cast<std::uint64_t>(colour), v}});
  CPaintManagerUI& pm = wnd_.GetPaintManager();
  CControlUI* scope = wnd_.CurrentDevice();
  CControlUI* label = scope != nullptr ? pm.FindSubControlByName(scope, SliderLabel(colour)) : nullptr;
  if (label == nullptr) label = pm.FindControl(SliderLabel(colour));
  if (label != nullptr) label->SetText(std::string(1, "RGB"[colour]) + " " + std::to_string(v));
}

void CAudioCompanionLink::OnVoiceSensitivity() {
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(wnd_.CurrentDevice());
  if (kb == nullptr) return;
  const int v = kb->GetVoiceSensitivity();
  kb->Comm().lightSync = 0;
  kb->ShowVoiceSensitivity(v);
  LightInfo info = kb->GetLightInfoRecord();
  info.voiceSensitivity = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
  kb->SetLightInfo(info.ToWords());
  kb->SaveProfile();
  kb->ApplyLighting();
  const UiSize screen = wnd_.GetScreenSize();
  kb->WriteDeviceConfig(0, 0, 1, screen.cx, screen.cy);
}

void CAudioCompanionLink::OnData(const MainRouteCall& call) {
  const CopyDataView* block = CurrentCopyData();
  if (call.msg != wm::kCopyData || block == nullptr) return;
  OnCopyData(block->dwData, block->data, static_cast<std::uint32_t>(std::min<std::size_t>(block->size, UINT32_MAX)));
}

CVarnikUSBDevice* CAudioCompanionLink::CurrentKeyboard() const {
  CDeviceList* list = wnd_.GetDeviceList();
  const int i = wnd_.GetCurrentKeyboardIndex();
  if (list == nullptr || i < 0 || i >= static_cast<int>(list->KeyboardPages().size())) return nullptr;
  return list->KeyboardPages()[static_cast<std::size_t>(i)];
}

void CAudioCompanionLink::OnCopyData(std::uint64_t dwData, const void* data, std::uint32_t size) {
  if (size == 0 || data == nullptr) return;
  if (dwData == kFrameData) {
    // A shorter frame replaces only its own values.
    std::memcpy(frame_.data(), data, std::min<std::size_t>(size, sizeof frame_));
    ++frameCount_;
    std::array<std::int64_t, kFrameValues> d{};
    for (std::size_t i = 0; i < kFrameValues; ++i)
      d[i] = std::min<std::int64_t>(std::abs(std::int64_t{frame_[i]} - previous_[i]), INT32_MAX);
    previous_ = frame_;
    // Once per frame, in 64 bits, clamped to what a level can hold.
    for (std::size_t l = 0; l < static_cast<std::size_t>(kBands); ++l) {
      const std::int64_t sum = d[5 * l] + d[5 * l + 1] + d[5 * l + 2] + d[5 * l + 3];
      means_[l] = static_cast<std::int32_t>(std::min<std::int64_t>((means_[l] + sum) / 4, INT32_MAX));
    }
    if (frameCount_ > 2) {
      frameCount_ = 0;
      if (CVarnikUSBDevice* kb = CurrentKeyboard()) {
        std::array<int, kFrameValues> levels{};
        std::copy(means_.begin(), means_.end(), levels.begin());
        kb->FeedAudioSpectrum(levels.data(), static_cast<int>(levels.size()));
      }
    }
  } else if (dwData == kColourData) {
    std::memcpy(colours_.data(), data, std::min<std::size_t>(size, sizeof colours_));
    if (CVarnikUSBDevice* kb = CurrentKeyboard()) {
      std::array<std::uint32_t, kColourValues> words;
      for (std::size_t i = 0; i < kColourValues; ++i) words[i] = static_cast<std::uint32_t>(colours_[i]);
      kb->FeedAudioColours(words.data(), static_cast<int>(words.size()));
    }
  }
}

void CAudioCompanionLink::OnWorkTool(const MainRouteCall&) {
  std::vector<std::uint8_t> block(kWorkToolBytes, 0);
  const std::int32_t head[] = {2, 3, 0, 2, static_cast<std::int32_t>(kProductCount)};
  for (std::size_t i = 0; i < std::size(head); ++i) PutLe32(block, 4 * i, head[i]);
  for (std::size_t i = 0; i < kProductCount; ++i) {
    PutLe32(block, 20 + 12 * i, kProducts[i].vid);
    PutLe32(block, 24 + 12 * i, kProducts[i].pid);
    PutLe32(block, 28 + 12 * i, kProducts[i].kind);
  }
  MessageBus* bus = bus_;
  Queue([bus, block] {
    if (bus != nullptr && bus->FindWindow(kWorkToolTitle)) bus->CopyData(kWorkToolTitle, kWorkToolData, block, kSendTimeoutMs);
  });
}

// ---- styles and the music window ----

void CAudioCompanionLink::SaveStyles(const AudioStyles& styles) {
  styles_ = styles;
  WriteAudioStyles(styles_, wnd_.GetAudioSettings());
  if (!SaveAudioDevice(wnd_.GetAudioSettingsPath(), wnd_.GetAudioSettings()))
    Trace("audio: %s not written", wnd_.GetAudioSettingsPath().c_str());
  SendStyleColour();
}

void CAudioCompanionLink::ResetStyles() {
  wnd_.GetAudioSettings() = ResetAudioDevice(wnd_.GetAudioSettingsPath(), DefaultDataFolder() / "AudioFile.json");
  styles_ = ReadAudioStyles(wnd_.GetAudioSettings());
}

void CAudioCompanionLink::OpenMusicWindow() {
  if (musicWnd_ != 0 && IsWindow(musicWnd_)) return;
  CMusicWnd dialog(styles_, wnd_.GetPaintManager().GetDPI());
  musicWnd_ = dialog.CreateFor(wnd_.GetHWND());
  if (musicWnd_ == 0) return;
  if (!status_.empty())
    if (CControlUI* s = dialog.GetPaintManager().FindControl("music_status")) s->SetText(status_);
  const int result = dialog.ShowModal();
  musicWnd_ = 0;
  if (result == 1) SaveStyles(dialog.Styles());
}

}  // namespace korvale
