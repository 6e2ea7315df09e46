#pragma once
// The main window's side of audio-reactive lighting: keeps korvale-audio
// running (watchdog with back-off) and connected, sends it commands, levels
// and the current style's colour off the UI thread, turns its spectrum frames
// into band levels for the current keyboard page, opens the music window, and
// answers the "WorkTool" peer.
#include <sys/types.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "editors/audio_styles.h"
#include "mainwnd/main_wnd.h"

namespace korvale {

class MessageBus;
class CVarnikUSBDevice;

class CAudioCompanionLink {
 public:
  static constexpr int kBands = 25;
  static constexpr std::size_t kFrameValues = 500;
  static constexpr std::size_t kColourValues = 6;
  static constexpr std::uint32_t kSendTimeoutMs = 1500;
  static constexpr std::uint32_t kFirstDelayMs = 1000;
  static constexpr std::uint32_t kMaxDelayMs = 64000;
  // A companion that ran at least this long was healthy: the back-off restarts.
  static constexpr std::uint32_t kHealthyRunMs = 10000;
  // Exit status by which the companion says there is no sound server.
  static constexpr int kNoSoundServerStatus = 3;

  explicit CAudioCompanionLink(CMainWnd& wnd);
  ~CAudioCompanionLink();
  CAudioCompanionLink(const CAudioCompanionLink&) = delete;
  CAudioCompanionLink& operator=(const CAudioCompanionLink&) = delete;

  // The bus the companion and the "WorkTool" peer are reached on; none
  // leaves every send undone.
  void SetMessageBus(MessageBus* bus) { bus_ = bus; }
  // The program and its arguments; by default korvale-audio beside the
  // executable. An empty program leaves music lighting without a companion.
  void SetProgram(std::filesystem::path program, std::vector<std::string> args = {});

  // Start-up: settings read, watchdog started, companion launched.
  void Start();
  // Route entries.
  void OnCapture(const MainRouteCall& call);
  void OnData(const MainRouteCall& call);
  void OnWorkTool(const MainRouteCall& call);

  // Spectrum frames (dwData 1) and colour blocks (dwData 2); others ignored.
  void OnCopyData(std::uint64_t dwData, const void* data, std::uint32_t size);
  // After the music window's OK: saved and sent to the companion.
  void SaveStyles(const AudioStyles& styles);
  // The default file back over the user file; the companion is not told.
  void ResetStyles();
  const AudioStyles& Styles() const { return styles_; }
  // Opens the music window (modal); nothing when it is already open.
  void OpenMusicWindow();
  HWND MusicWindow() const { return musicWnd_; }

  const std::array<std::int32_t, kBands>& BandMeans() const { return means_; }
  int Launches() const;
  std::uint32_t CurrentDelayMs() const;
  bool CompanionKnown() const;
  // The companion this window started and has not yet seen end; -1 if none.
  pid_t CompanionPid() const;
  // The text id shown for the companion's state ("" while it is fine).
  const std::string& StatusText() const { return status_; }
  // Waits (bounded) until every queued send has gone.
  bool DrainSends(std::uint32_t timeoutMs);

 private:
  struct Shared;
  void Watchdog(const MainThreadParam& param);
  void Launch(Shared& s);
  void Connect();
  void ConnectFromWatchdog();
  void SendCommands(std::vector<std::pair<std::uint64_t, std::int64_t>> commands);
  void SendStyleColour();
  void SendExit();
  void Queue(std::function<void()> task);
  void SenderLoop();
  void ShowStatus(const std::string& id);
  void OnLevelSlider(const MainRouteCall& call, int colour);
  void OnVoiceSensitivity();
  CVarnikUSBDevice* CurrentKeyboard() const;

  CMainWnd& wnd_;
  MessageBus* bus_ = nullptr;
  std::shared_ptr<Shared> shared_;
  AudioStyles styles_;
  std::string status_;
  HWND musicWnd_ = 0;

  std::array<std::int32_t, kFrameValues> frame_{};
  std::array<std::int32_t, kFrameValues> previous_{};
  std::array<std::int32_t, kBands> means_{};
  std::array<std::int32_t, kColourValues> colours_{};
  int frameCount_ = 0;

  std::mutex sendLock_;
  std::condition_variable sendWake_;
  std::deque<std::function<void()>> sends_;
  bool sending_ = false;
  bool senderStop_ = false;
  std::thread sender_;
};

}  // namespace korvale
