#pragma once
// The application's single top-level window and its hub: builds the main
// skin, applies the language and the interface scale, owns the tray icon, the
// worker-thread slots and the child windows, and turns every notification and
// window message into a call on the right handler.
#include <json/value.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devices/sync_lighting.h"
#include "mainwnd/desktop_notices.h"
#include "mainwnd/main_routes.h"
#include "mainwnd/thread_slots.h"
#include "platform/event.h"
#include "profiles/settings_files.h"
#include "ui/app_messages.h"
#include "ui/popup_menu.h"
#include "ui/tray.h"
#include "ui/window.h"

namespace korvale {

class CAudioCompanionLink;
class CStatusLine;
class CDeviceList;
class CHeadsetCommands;
class CLightHandlers;
class CMainCommands;
class CProfileCommands;
class CMacroHandlers;
class CKeyCommands;
struct CommandDialogs;
class CVarnikUSBDevice;
class CWindowCommands;
struct LightInfo;

// Notification pump of the virtual window "mainpage"; its entries do nothing.
// Index in list of the language of a POSIX locale name, or -1.
int LanguageIndexForLocale(std::string_view locale, const std::vector<LanguageEntry>& list);

class CMainPage : public CNotifyPump {
 public:
  CMainPage();
};

class CMainWnd : public WindowImplBase {
 public:
  static constexpr int kThreadSlots = CThreadSlots::kCount;
  // Slot 0 stays free: the device list runs and stops the discovery thread.
  static constexpr int kDiscoverySlot = 0;
  static constexpr int kAudioWatchSlot = 1;  // the audio capture watchdog
  static constexpr int kSyncLightSlot = 8;
  static constexpr std::uint32_t kThreadStopWaitMs = CThreadSlots::kStopWaitMs;

  static constexpr UINT kTimerScale = 1011;
  static constexpr UINT kTimerTrayMenu = 1032;
  static constexpr UINT kTimerProfileSelect = 1055;
  static constexpr UINT kTimerGameEnd = 1066;
  static constexpr UINT kTimerNoticesArm = 1067;
  static constexpr UINT kTimerFirstPaint = 1068;
  // Device messages wait at most this long for the window's first paint.
  static constexpr uint32_t kFirstPaintWaitMs = 1000;

  static constexpr int kDefaultScale = 96;
  static constexpr int kLargeScale = 144;
  static constexpr UiSize kBaseSize{1000, 640};
  static constexpr int kMaxWindowSide = 16384;
  // Copy-data carrying a DPI change with its suggested rectangle: dpi, left,
  // top, right, bottom as five 32-bit values.
  static constexpr std::uint64_t kCopyDataDpiRect = wm::kDpiChanged;

  enum class ChildWindow { kSettings, kPalette, kToolA, kToolB, kCount };

  CMainWnd();
  ~CMainWnd() override;

  // --- wiring by the shell (before Create) ---
  // Numbers of the registered messages, looked up by name.
  void SetRegisteredMessages(const std::function<UINT(std::string_view name)>& lookup);
  // Broadcasts a registered message to every application of the user.
  void SetBroadcaster(std::function<void(std::string_view name, WPARAM, LPARAM)> broadcaster);
  // The tray icon (not owned); none keeps the window working without it.
  void SetTrayIcon(ITrayIcon* tray);
  // The desktop's notification service (may stay unset: nothing is told).
  void SetDesktopNotifier(IDesktopNotifier* notifier) { notices_.SetNotifier(notifier); }
  const CDesktopNotices& Notices() const { return notices_; }
  // The settings file's switch of the desktop notifications.
  static constexpr const char* kNotificationsSetting = "NOTIFICATIONS";
  // Devices bound this long after the window starts are plugged in, not found.
  static constexpr uint32_t kNoticesArmDelayMs = 3000;
  // Size of the monitor the window sits on (the scale rule reads it).
  void SetMonitorSize(UiSize size) { monitor_ = size; }
  // Shows or hides like the base window; the key lights' painting pauses
  // while the window is hidden.
  void ShowWindow(bool show = true, bool takeFocus = true);
  // Whether "windowinit" starts device discovery (on by default).
  void SetDiscoveryEnabled(bool on) { discoveryEnabled_ = on; }
  // Started hidden in the tray: the first scan's wake-up leaves the window
  // hidden; a second start or the tray still shows it.
  void SetStartHidden(bool on) { startHidden_ = on; }
  bool IsTrayShown() const { return trayShown_; }
  // Fills an entry of the routing tables; an empty function clears it.
  void SetRouteHandler(MainRoute route, MainRouteHandler handler);

  // --- window ---
  std::string GetWindowClassName() const override { return "MainWnd"; }
  std::string GetSkinFile() override { return "XML_MAIN"; }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  void OnClick(TNotifyUI& msg) override;
  CControlUI* CreateControl(std::string_view cls) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  // A close from the frame hides to the tray like the close button; only the
  // tray menu's "exit" lets it end the window. Without a tray icon closing
  // ends it.
  LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  // Minimise and restore; the key lights' painting pauses while minimised.
  LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  // --- for the handlers ---
  void CloseChildWindows();
  void HideToTray();  // child windows closed, window hidden, wireless polling paused
  // The window's shown state (visible, not minimised) to the device list and
  // the synchronised lighting: nobody sees the previews while it is not.
  void PassWindowShown();
  void Exit();        // child windows closed, then the window ends
  void SetChildWindow(ChildWindow which, HWND hwnd);
  HWND GetChildWindow(ChildWindow which) const;
  bool GetLightingControl() const { return lightingControl_; }
  bool IsActive() const { return active_; }
  bool IsHovered() const { return hovered_; }
  UiSize GetScreenSize() const { return screen_; }
  // Process-wide: cleared on suspend, set on resume.
  static bool IsPowerOn();

  // Language: index into "Language.config"'s list, -1 before the first.
  int GetLanguageIndex() const { return languageIndex_; }
  // The update-status message's number here (0 until registered).
  UINT GetUpdateStatusMessage() const { return updateStatusMsg_; }
  void ApplyLanguage(int index);
  // The stored choice; on the first start the desktop's locale when a
  // language file matches it.
  static int StartLanguageIndex();

  // Interface scale: 144 on a monitor wider than 1500 and taller than 960.
  static int ScaleForMonitor(UiSize monitor);
  int GetInterfaceScale() const { return scale_; }
  void SetInterfaceScale();

  // Worker threads. body runs on its own thread with the slot's record and
  // must return soon after the stop event is set. False when the slot is
  // taken or out of range.
  bool StartThread(int slot, std::function<void(const MainThreadParam&)> body);
  bool IsThreadRunning(int slot) const;
  // Signals every slot and waits for each thread at most kThreadStopWaitMs;
  // a thread still running then is left to end by itself (traced).
  void StopThreads();

  // Wake-up reaction: overlay, polling resumed, window restored to the front.
  void WakeUp();
  // The tray menu as loaded from "menu.xml" (translated texts).
  const std::vector<TrayMenuItem>& GetMenuItems() const { return menuItems_; }
  bool IsMenuOpen() const { return menuOpen_; }
  // The macro action list's menu, shown at the cursor (skin file below).
  static constexpr const char* kActionMenuFile = "XML\\Menus\\macro_action_menu.xml";
  void ShowActionMenu();
  // Closes the tray menu and any pop-up menu, without a choice.
  void CloseMenus();
  int VisibleTileCount() const;

  // --- devices ---
  // Created at "windowinit"; null before.
  CDeviceList* GetDeviceList() const { return devices_.get(); }
  CMainCommands& Commands() { return *commands_; }
  CMacroHandlers& MacroHandlers() { return *macros_; }
  CKeyCommands& KeyCommands() { return *keyCommands_; }
  // The registered number of hook message kHookMessageNames[index], 0 when unknown.
  UINT GetHookMessage(std::size_t index) const { return index < hookMsgs_.size() ? hookMsgs_[index] : 0; }
  CWindowCommands& Windows() { return *windows_; }
  // The device of the first visible, selected tile, or null.
  CVarnikUSBDevice* CurrentDevice() const;
  // Every page of the four lists.
  std::vector<CVarnikUSBDevice*> AllDevices() const;
  // Whether the lighting editors offer the same-mode command (two or more
  // devices shown).
  bool GetSameModeAvailable() const { return sameModeAvailable_; }
  // Index in "device_select_layout" of the current tile (-1 before any).
  int GetCurrentTileIndex() const { return currentTile_; }

  // The audio-lighting settings document ("Device" of "AudioFile.json") and
  // the user file it came from; read at "windowinit".
  Json::Value& GetAudioSettings() { return audioSettings_; }
  const std::filesystem::path& GetAudioSettingsPath() const { return audioSettingsPath_; }
  // The four styles as loaded (clamped to the sliders' range) and since edited.
  const AudioStyles& GetAudioStyles() const;
  // The audio capture companion and music lighting.
  CAudioCompanionLink& Audio() { return *audio_; }
  // The status row under the pages.
  CStatusLine& StatusLine() { return *statusLine_; }
  // The current tile's index less the mouse pages: the keyboard page's position, if any.
  int GetCurrentKeyboardIndex() const { return currentKeyboardIndex_; }

  // --- synchronised lighting (thread slot 8) ---
  void SetSyncLightMode(const SyncLightMode& mode);
  // Devices whose LEDs the thread drives; empty lets it sleep.
  void SetSyncDevices(std::vector<CVarnikUSBDevice*> devices);
  // Effect steps run so far (the thread's own count).
  std::uint64_t SyncStepCount() const;
  CSyncLighting& SyncLighting() { return *sync_; }

 private:

  // The macro and shoot commands' questions and notices in the message window.
  CommandDialogs MessageWindowDialogs();
  void OnWindowInit();
  void OnTimer(UINT id);
  void OnDpiChanged(int dpi, const UiRect* suggested);
  void OnCopyData();
  // The message table's handlers (parameters as values only).
  LRESULT OnActivateMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnMouseLeaveMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnMouseHoverMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnIdentityMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnUpdateStatusMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnLightControlSetMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnWorkToolMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnDestroyMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnPowerMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnHookMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnShowProgressMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnLanguageMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnDeviceListMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnPaintMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  // Hands the device messages held for the first paint on, in their order,
  // then runs the work that waited for it.
  void ReleaseFirstPaintHold();
  // Runs task now, or after the first paint while the window waits for it
  // (first-start writes with their syncs need not delay the first frame).
  void AfterFirstPaint(std::function<void()> task);
  LRESULT OnOpenSettingsMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnUpdateIsLatestMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnNothingMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnDpiNoteMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnHookControlMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnDpiChangedMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnTrayNotifyMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnMenuCommandMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnTimerMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnCopyDataMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  LRESULT OnDisplayChangeMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  void OnTrayNotify(LPARAM mouseMsg);
  void OnMenuCommand(WPARAM index);
  void ShowTrayMenu();
  void LoadMenu();
  // The tray menu's device entries: each visible device with its battery and
  // a submenu of its profiles, the selected one checked.
  std::vector<TrayMenuItem> TrayDeviceItems();
  void ToggleLightingControl();
  void SetLightingControl(bool on, bool broadcast);
  void ShowLightControlStatus();
  void PassHovered();
  void PassLightingControl(bool on);
  void UpdateNoDeviceOverlay();
  void BringToFront();
  void InstallFonts(const std::string& face);
  void Route(MainRoute route, const MainRouteCall& call);
  bool RouteNotify(TNotifyUI& msg);
  void OnVelmoDpiSlider(TNotifyUI& msg, int index);
  void OnVelmoDpiEdit(TNotifyUI& msg, int index);
  void Shutdown();
  void OnDeviceSelect();
  void SelectNeighbourTile(int direction);
  void OnGameMessage(WPARAM wParam, LPARAM lParam);
  void EndGameLighting();
  void DropFromSync(CVarnikUSBDevice* device);
  void StoreLightInfo(CVarnikUSBDevice* device, const LightInfo& info);
  void SetWirelessPolling(bool on);
  void OnResetRepeat();
  void OnMouseLedSelection(CControlUI* panel);
  // The keyboard's rows of the device settings; false when not one of them.
  bool OnKeyboardSettings(const std::string& type, const std::string& name);
  // The mouse's rows (mouse_settings.cpp); false when not one of them.
  bool OnMouseSettings(const std::string& type, const std::string& name);
  void OnCloseBkColour();
  // The lighting editor's controls of the current page.
  void OnLightingNotify(const MainRouteCall& call);
  void SetSameModeAvailable(bool available);
  // The pages marked for synchronised lighting go to the sync thread.
  void UpdateSyncDevices();
  // The function tabs of the current page: the page's own step.
  bool OnFunctionTab(const std::string& name);
  int HookMessageIndex(UINT msg) const;
  int GameMessageIndex(UINT msg) const;

  CMainPage mainPage_;
  std::array<MainRouteHandler, static_cast<std::size_t>(MainRoute::kCount)> routes_;
  std::function<void(std::string_view, WPARAM, LPARAM)> broadcaster_;
  ITrayIcon* tray_ = nullptr;
  CDesktopNotices notices_;
  // The name the user sees on a device's tile.
  std::string DeviceDisplayName(CVarnikUSBDevice* page) const;
  bool trayShown_ = false;
  bool startHidden_ = false;
  // Until the window's first paint, device messages wait here and so does
  // other work (the audio companion's start, first-start writes): the window
  // shows at once, each device's page is built after it and nothing else
  // competes for the first frame.
  struct HeldMessage {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  bool holdForFirstPaint_ = false;
  std::vector<HeldMessage> held_;
  std::vector<std::function<void()>> afterFirstPaint_;
  bool awaitingFirstScan_ = false;  // the shown window keeps the no-device note until then

  // Registered numbers (0 = not registered: never matches a message).
  UINT identityMsg_ = 0;
  UINT updateStatusMsg_ = 0;
  UINT lightControlNotifyMsg_ = 0;
  UINT lightControlSetMsg_ = 0;
  UINT workToolQueryMsg_ = 0;
  std::array<UINT, std::size(kHookMessageNames)> hookMsgs_{};
  std::array<UINT, std::size(kGameMessageNames)> gameMsgs_{};

  // Caption buttons, found once.
  CControlUI* closeBtn_ = nullptr;
  CControlUI* minBtn_ = nullptr;
  CControlUI* setBtn_ = nullptr;

  bool lightingControl_ = true;
  bool active_ = false;
  bool hovered_ = false;
  int scale_ = kDefaultScale;
  int languageIndex_ = -1;
  bool firstSizeArmed_ = false;
  bool shutDown_ = false;
  bool exiting_ = false;  // "exit" chosen: the next close ends the window
  bool menuOpen_ = false;
  // The pages the open tray menu lists, in its device commands' order.
  std::vector<CVarnikUSBDevice*> menuDevices_;
  UiSize screen_;
  UiSize monitor_;  // empty: the screen size of the window model
  std::array<HWND, static_cast<std::size_t>(ChildWindow::kCount)> children_{};
  std::vector<TrayMenuItem> menuItems_;
  // The pop-up menu last shown, which its commands' numbers index.
  std::vector<PopupMenuItem> popupItems_;
  std::vector<PopupMenuItem> actionMenu_;  // read once, as the tray's menu
  CThreadSlots threads_;
  bool discoveryEnabled_ = true;
  int currentTile_ = -1;
  int currentKeyboardIndex_ = -1;
  int currentMousePadIndex_ = -1;
  int currentKind_ = 0;
  int currentAuxiliary_ = 0;
  std::shared_ptr<CSyncLighting> sync_;
  std::unique_ptr<CDeviceList> devices_;
  std::unique_ptr<CLightHandlers> light_;
  std::unique_ptr<CWindowCommands> windows_;
  std::unique_ptr<CMainCommands> commands_;
  std::unique_ptr<CProfileCommands> profileCommands_;
  std::unique_ptr<CHeadsetCommands> headsetCommands_;
  std::unique_ptr<CMacroHandlers> macros_;
  std::unique_ptr<CKeyCommands> keyCommands_;
  bool sameModeAvailable_ = false;
  Json::Value audioSettings_;
  std::filesystem::path audioSettingsPath_;
  std::unique_ptr<CAudioCompanionLink> audio_;
  std::unique_ptr<CStatusLine> statusLine_;
};

}  // namespace korvale
