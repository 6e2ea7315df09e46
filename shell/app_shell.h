#pragma once
// Process start and exit: private fonts, the identity message, the
// single-instance rule, the registered messages, the skin resources and the
// control classes, the main window, the loop, and the tear-down in reverse.
// The renderer's parts (fonts, the window host, the loop) are handed in, so the
// same sequence runs under Qt and headless in tests. Every path exits with 0.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/message_bus.h"
#include "platform/single_instance.h"
#include "platform/ui_loop.h"
#include "mainwnd/main_wnd.h"
#include "ui/app_messages.h"
#include "ui/window.h"

namespace korvale {

// Private fonts, in load order (removed in reverse), from the data folder's "Font".
inline constexpr std::array<std::string_view, 4> kPrivateFontFiles = {
    "Simplified_Chinese.ttf",
    "Quorvane-Regular.otf",
    "NotoSansThai-Regular.ttf",
    "NotoSansCJKtc-Regular.otf",
};

// Makes font files available to this process only. A file is handed over by
// its path, never read whole: a collection of CJK faces is tens of MB.
class IFontInstaller {
 public:
  virtual ~IFontInstaller() = default;
  // A handle > 0, or 0 when the file is refused.
  virtual int AddFont(const std::filesystem::path& file) = 0;
  virtual void RemoveFont(int handle) = 0;
};

struct ShellOptions {
  UiLoop* loop = nullptr;            // the UI loop (required)
  IFontInstaller* fonts = nullptr;   // none: no private fonts
  std::filesystem::path dataDir;     // default InstallDataDir()
  std::filesystem::path busDir;      // default MessageBus::DefaultDir()
  std::filesystem::path lockDir;     // default the runtime folder
  ITrayIcon* tray = nullptr;         // none: the window works without an icon
  bool discovery = true;             // the main window scans for devices
  bool startHidden = false;          // in the tray only (shown when there is no tray)
  // After the main window is created, centred and shown (unless started
  // hidden), before the loop runs.
  std::function<void(CMainWnd& window)> onMainWindow;
};

class CAppShell {
 public:
  // SecondInstance is also where a second start ends.
  enum class Stage { Created, Starting, SecondInstance, Running, TornDown };

  explicit CAppShell(ShellOptions options);
  ~CAppShell();

  // The whole life of the process; returns the exit code (always 0).
  int Run();

  Stage GetStage() const { return stage_; }
  UINT IdentityMessage() const { return identityMsg_; }
  // Handles of the private fonts, in table order (0: not loaded).
  const std::array<int, kPrivateFontFiles.size()>& FontHandles() const { return fontHandles_; }
  // How many windows the second start's wake-up reached.
  int WakeUpsDelivered() const { return wakeUpsDelivered_; }
  MessageBus* Bus() { return bus_.get(); }

  static constexpr UiSize kMainWindowSize{800, 572};
  // How long a second start keeps trying to reach the first one's window
  // (it may still be starting).
  static constexpr std::uint32_t kWakeUpRetryMs = 3000;

 private:
  void LoadFonts();
  void RemoveFonts();
  void SetUpResources();
  void RegisterMessages();
  // Handed every message for the main window's title from other processes.
  std::intptr_t FromBus(HWND hwnd, const BusMessage& m);

  ShellOptions options_;
  Stage stage_ = Stage::Created;
  UINT identityMsg_ = 0;
  std::array<int, kPrivateFontFiles.size()> fontHandles_{};
  int wakeUpsDelivered_ = 0;
  std::unique_ptr<MessageBus> bus_;
  std::unique_ptr<SingleInstance> instance_;
};

// The registered companion messages, in registration order.
inline constexpr std::array<const char*, 5> kCompanionMessageNames = {
    kUpdateStatusMsgName, kLightControlNotifyMsgName, kLightControlSetMsgName,
    kWorkToolQueryMsgName, kAudioDaemonMsgName,
};

}  // namespace korvale
