#pragma once
// The common base of the device pages. A page is at once a control of the
// model (its own control tree: tabs, key buttons, editors) and the device's
// logic: command engines, profile, LED colour table, preview state, threads.
// The main window, discovery and the tiles drive every kind through the
// virtual interface below without knowing the kind.
//
// Threads: everything here runs on the UI thread except the preview steps and
// the reactive-level operations, which the light threads also run. Worker
// threads reach the page only through RunOnUi (posted to the UI loop and
// dropped once the page is gone).
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devices/macro_download.h"
#include "devices/page_hooks.h"
#include "devices/whole_device_effects.h"
#include "hid/device_table.h"
#include "profiles/profile_records.h"
#include "protocol/device_comm.h"
#include "platform/event.h"
#include "platform/ui_loop.h"
#include "ui/containers.h"
#include "ui/window.h"

namespace korvale {

class CBasicProfiledata;
class CDeviceKeyButtonUI;
class CTabLayoutUI;

// Device kinds as the constructors set them (binding replaces them with the
// identity's kind, which may be a receiver variant).
inline constexpr int kKindKeyboard = 1;
inline constexpr int kKindMouse = 2;
inline constexpr int kKindMousePad = 3;
inline constexpr int kKindHeadset = 7;

// A LedColour packed into one word: red, green, blue, intensity from the low byte up.
constexpr uint32_t PackLedColour(const LedColour& c) {
  return uint32_t{c.red} | uint32_t{c.green} << 8 | uint32_t{c.blue} << 16 | uint32_t{c.alpha} << 24;
}
constexpr LedColour UnpackLedColour(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}
// The colour word a light button takes: 0xRRGGBB, as the button draws it.
constexpr uint32_t LightButtonColour(const LedColour& c) {
  return uint32_t{c.red} << 16 | uint32_t{c.green} << 8 | uint32_t{c.blue};
}

// The level buffer: one level per LED (1..170), one hue index per LED
// (171..340), 23 column trigger flags (341..363).
inline constexpr int kLevelLeds = 170;
inline constexpr int kTriggerFlags = 23;
inline constexpr int kLevelBase = 1;
inline constexpr int kHueBase = kLevelBase + kLevelLeds;
inline constexpr int kTriggerBase = kHueBase + kLevelLeds;
inline constexpr int kLevelBufferSize = kTriggerBase + kTriggerFlags;

// Channel sides of the event engine (the identity kinds discovery passes).
inline constexpr int kEventSideCable = 0;
inline constexpr int kEventSideReceiver = 1;
// 6 (receiver mouse) and 9 (receiver keyboard) are the receiver side.
int EventSideOfKind(int kind);
// "key_12" -> ("key_", 12); "light_0_3" -> ("light_0_", 3). False without
// "_" or a decimal number after it.
// A light button shown white at full intensity (bound, nothing painted yet).
void ShowWhite(CDeviceKeyButtonUI* button);

// One listener thread for one side of the event engine.
struct EventListener {
  std::thread thread;
  Event stop{Event::Reset::Manual};
  std::atomic<bool> running{false};
};

// The event code of one input report on an event channel: the first usage
// of the channel's first input entry; nothing for a report that carries none.
std::optional<uint16_t> EventCodeOf(CHidDevice& channel, const uint8_t* report, uint32_t length);

class CVarnikUSBDevice : public CHorizontalLayoutUI, public CNotifyPump, public INotifyUI {
 public:
  CVarnikUSBDevice();
  ~CVarnikUSBDevice() override;

  std::string GetClass() const override { return "VarnikUSBDevice"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "VarnikUSBDevice") || CHorizontalLayoutUI::IsClass(cls);
  }
  // Each page's tabs and choices are its own, whatever their group names.
  bool ScopesOptionGroups() const override { return true; }
  // INotifyUI: only notifications from the page's own controls reach the pump.
  void Notify(TNotifyUI& msg) override;
  // The page shown or put aside by the page switcher: its preview is seen or not.
  void SetVisible(bool visible = true) override;

  // ---- the virtual interface, in slot order ----
  virtual void InitPage();                                          // 1
  virtual int ApplyLighting();                                      // 2
  virtual void StepBreathing();                                     // 3
  virtual void StepBreathingFourColours();                          // 4
  virtual void StepStatic();                                        // 5
  virtual void StepSpectrum();                                      // 6
  virtual void StepBlink();                                         // 7
  virtual void StepBlinkFourColours();                              // 8
  virtual void StepOff();                                           // 9
  virtual void PaintLights();                                       // 10
  virtual void SetLedColour(int led, uint32_t packed);              // 11
  virtual uint32_t GetLedColour(int led) const;                     // 12
  virtual void OnConnected();                                       // 13
  virtual void OnResync();                                          // 14
  virtual void ReservedTimerA() {}                                  // 15
  virtual void ReservedTimerB() {}                                  // 16
  virtual void PollWirelessStatus();                                // 17
  virtual bool IsWirelessLinkUp();                                  // 18
  virtual int ReloadProfile();                                      // 19
  virtual int ReservedQuery() { return 0; }                         // 20
  virtual void RefreshPage();                                       // 21
  virtual void ReservedActionA() {}                                 // 22
  virtual void ReservedActionB() {}                                 // 23
  virtual void RevalidateMacroKeys();                               // 24
  virtual void RestoreDefaultProfile();                             // 25
  virtual std::vector<int> CollectUsedMacros();                     // 26
  virtual int WriteKeyAssignments(int profile, const std::vector<KeyRecord>& keys);  // 27
  virtual int ApplyKeyAssignments(int profile);                     // 28
  virtual int ApplySecondaryKeyAssignments(int profile);            // 29
  virtual int WriteSecondaryKeyTable(int profile, const std::vector<KeyRecord>& keys);  // 30
  virtual int DownloadMacros(const std::vector<int>& macros);       // 31
  // What the last DownloadMacros settled, with its message.
  const DownloadReport& LastMacroDownload() const { return lastMacroDownload_; }
  // The four shoot files of the device folder into the device's shoot
  // memory (the mouse page's save button; the keyboard takes them too).
  DownloadReport DownloadShootSequences();
  virtual int WriteDeviceConfig(int profile, int firstByte, int a = 0, int b = 0, int c = 0);  // 32
  virtual void LoadEffectLists();                                   // 33
  virtual void SetAuxKeyMap(const std::map<int, int>& map);         // 34
  virtual int DecayLevel(int led, int mode);                        // 35
  virtual void TriggerFlaggedLeds();                                // 36
  virtual void RotateTriggers(int direction);                       // 37
  virtual void ClearLevels();                                       // 38
  virtual void ShowFunctionPage(int type);                          // 39
  virtual int GetFunctionPage() const;                              // 40
  virtual void ResolveProfilePaths();                               // 41
  virtual std::string GetProfilePath() const;                       // 42
  virtual void SaveProfile();                                       // 43
  virtual void SetModelIndex(int index);                            // 44
  virtual int GetModelIndex() const;                                // 45
  virtual void SetLightInfo(const std::array<uint32_t, 5>& words);  // 46
  virtual void SetAudioLightColours(uint32_t a, uint32_t b, uint32_t c);  // 47
  virtual std::array<uint32_t, 3> GetAudioLightColours();           // 48
  virtual void SelectKey(int key);                                  // 49
  virtual void SelectSecondaryKey(int key);                         // 50
  virtual void FeedAudioSpectrum(const int* values, int count);     // 51
  virtual void FeedAudioColours(const uint32_t* values, int count); // 52

  // ---- entry points for discovery (virtual: kinds with event threads run them) ----
  // Opens the cable (side 0) or receiver (side 1) event channel on path, read
  // and write, shared; reopens it when open. False when it cannot be opened.
  virtual bool OpenEventChannel(const std::string& path, int kind);
  virtual void CloseEventChannel(int kind);
  bool IsEventChannelOpen(int kind) const;
  // A listener thread runs on that side of the event engine.
  bool IsListening(int side) const;

  // Opens the primary engine's cable or receiver channel on path (under the
  // engine's channelLock); on success marks the engine open and, when
  // connectionMode is 1 or 2, sets that mode. False when the path cannot be opened.
  bool AttachPrimary(const std::string& path, bool receiver, int connectionMode);
  // Marks the engine closed and closes both of its channels.
  void DetachPrimary();
  // Cable/receiver switch: closes the channel not in use, opens it on path and
  // on success inverts viaReceiver (the engine is marked closed meanwhile).
  bool SwitchPrimaryChannel(const std::string& path);
  bool IsPrimaryOpen() const { return comm_.opened.load() != 0; }

  CDeviceComm& Comm() { return comm_; }
  CDeviceComm& EventComm() { return eventComm_; }

  // ---- the configuration record, the same way for every device kind ----
  // Reads the active record index r (configuration byte 0), then size bytes
  // at r × stride. Returns r, or -1 when a read fails or the record does not
  // fit the configuration area (a trace says which).
  int ReadActiveRecord(uint8_t* record, std::size_t size, std::size_t stride);
  // Writes size bytes back where the record was read, r × stride, with byte
  // 0 := r, between BeginConfig and EndConfig, so the device stays on its
  // onboard profile and no other record is touched. CMD_NOT_READ (nothing
  // sent) while no record has been read since the device was attached.
  int WriteActiveRecord(uint8_t* record, std::size_t size, std::size_t stride);
  // The record index last read, -1 before any.
  int ActiveRecordIndex() const { return recordIndex_; }
  // Reads only the active record index (configuration byte 0) and takes it
  // as the record to write: for pages that write their profile's look
  // without reading the device's record first. CMD_OK or the failure.
  int LearnActiveRecordIndex();
  // Reached through a receiver, every step of the two above asks LinkCheck
  // first (the mouse's pages set this).
  void SetGateOnLink(bool on) { gateOnLink_ = on; }

  // ---- configuration by the page builder and the main window ----
  void SetPageXmlPath(const std::string& path) { pageXmlPath_ = path; }
  const std::string& GetPageXmlPath() const { return pageXmlPath_; }
  void SetMainWindow(HWND hwnd) { mainWnd_ = hwnd; }
  HWND GetMainWindow() const { return mainWnd_; }
  void SetKeyCount(int count);
  int GetKeyCount() const { return keyCount_; }
  void SetLightCount(int count);
  int GetLightCount() const { return lightCount_; }
  void SetProductRow(int row) { productRow_ = row; }
  int GetProductRow() const { return productRow_; }
  void SetKind(int kind, int auxiliary) { kind_ = kind; auxiliary_ = auxiliary; }
  int GetKind() const { return kind_; }
  int GetAuxiliary() const { return auxiliary_; }
  void SetProfileName(const std::string& name) { profileName_ = name; }
  const std::string& GetProfileName() const { return profileName_; }
  void SetLightConfigName(const std::string& name) { lightConfigName_ = name; }
  const std::string& GetLightConfigName() const { return lightConfigName_; }
  void SetDeviceFolderName(const std::string& name);
  const std::string& GetDeviceFolderName() const { return deviceFolderName_; }
  void SetDeviceTile(CControlUI* tile) { tile_ = tile; }
  CControlUI* GetDeviceTile() const { return tile_; }
  // A control that implements IPowerDisplayHooks (or nullptr); it is told the wireless flag.
  void SetPowerDisplay(CControlUI* display);
  CControlUI* GetPowerDisplay() const { return powerDisplay_; }
  void SetWirelessFlag(bool wireless);
  bool GetWirelessFlag() const { return wireless_; }
  void SetDeviceIdentity(const DeviceIdEntry& id);
  const DeviceIdEntry& GetDeviceIdentity() const { return identity_; }
  void SetLightingControlActive(bool on);
  bool GetLightingControlActive() const { return lightingControlActive_; }
  void SetWindowActive(bool on) { windowActive_ = on; }
  bool GetWindowActive() const { return windowActive_; }

  // ---- who needs the LED table's frames ----
  // The main window is shown (not hidden to the tray, not minimised). On by
  // default, so a page on its own (korvalectl, tests) steps as always.
  void SetWindowShown(bool shown);
  // Clears the primary engine's lightSync mark: the page's own light thread
  // draws its look again (it may have slept through the synchronised lighting).
  void ReleaseLightSync();
  // The preview can be seen: lighting control on, the window shown and this
  // page the one the page switcher shows. Any thread.
  bool PreviewShown() const { return previewShown_.load(); }
  // The page feeds its device from PaintLights (the keyboard's streamed
  // modes): its paint timer runs whether or not anyone sees the preview.
  bool FeedsDeviceFromPaint() const { return feedsDeviceFromPaint_.load(); }
  // Frames written into the LED table so far (light thread, synchronised
  // lighting), and one more for every time the preview comes into view.
  uint64_t LightFrames() const { return lightFrames_.load(); }
  // A new frame is in the LED table (any thread). When the paint timer rests
  // and someone needs the frame, the waiting handler runs on the UI thread.
  void LightFrameWritten();
  // The paint timer rests after painting frame `painted`: handler runs once,
  // on the UI thread, when a later frame someone needs is written (at once
  // when one already was). UI thread.
  void WaitForLightFrame(uint64_t painted, std::function<void()> handler);
  // The main window pauses wireless polling while it switches channels.
  void SetWirelessPollPaused(bool paused) { wirelessPollPaused_ = paused; }
  bool IsWirelessPollPaused() const { return wirelessPollPaused_.load(); }
  // A read-only page (korvalectl info) shows what it read: it creates no file
  // or folder and writes nothing back to the device.
  void SetReadOnly(bool on) { readOnly_ = on; }
  CControlUI* GetKeyLightPanel() const { return keyLightPanel_; }

  // Files: DefaultDataFolder/<folder>.Json and AppDataFolder/<folder>/ (created).
  std::filesystem::path DefaultProfilePath() const;
  std::filesystem::path UserDataFolder() const;

  // ---- state read by the tiles, the editors and tests ----
  const std::vector<LedColour>& LedTable() const { return ledTable_; }
  const LightInfo& GetLightInfoRecord() const { return lightInfo_; }
  std::array<uint32_t, 5> GetLightInfoWords() const { return lightInfo_.ToWords(); }
  const std::array<uint8_t, 34>& GetDeviceInfo() const { return deviceInfo_; }
  CDeviceKeyButtonUI* KeyButton(int key) const;
  CDeviceKeyButtonUI* LightButton(int led) const;
  int GetSelectedKey() const { return selectedKey_; }
  int GetSecondarySelectedKey() const { return secondarySelectedKey_; }
  uint8_t Level(int index) const { return levels_[static_cast<std::size_t>(index)]; }
  void SetLevel(int index, uint8_t value) { levels_[static_cast<std::size_t>(index)] = value; }
  // The delay from a device's resync request to OnResync.
  virtual uint32_t ResyncDelayMs() const { return 50; }

  // ---- saving while a control is dragged ----
  // A change made during a drag: saved now when this page made no save in
  // the last kDragSaveIntervalMs, else once when that interval ends, so a
  // drag writes the file at most that often and its last value lands.
  void SaveProfileWhileDragging();
  // A save now, standing for any save still waiting (a click, a drag's end).
  void SaveProfileNow();
  // A waiting save runs now (before exit, a profile or a device switch).
  // True when one was waiting.
  bool FlushProfileSave();
  bool IsProfileSavePending() const { return savePending_; }
  static constexpr std::uint32_t kDragSaveIntervalMs = 250;

  // Runs task on the UI thread (posted; dropped when the page is gone first).
  // Safe from any thread.
  void RunOnUi(std::function<void()> task);
  // From any thread: OnResync runs on the UI thread after ResyncDelayMs.
  void RequestResync();
  // The device list's reaction to a receiver whose device stopped answering
  // in the middle of an operation (the tile goes away until the link is back).
  void SetLinkLostHandler(std::function<void()> handler) { linkLostHandler_ = std::move(handler); }

  // What the device did with the commands sent to it, for the status row: a
  // notice while it refuses them or does not answer, so the page is not taken
  // for what the device holds. A later good read or write ends the notice.
  enum class Notice { kNone, kNoAnswer, kRefused };
  Notice DeviceNotice() const { return static_cast<Notice>(notice_.load()); }
  // The result code behind the notice (proto::CMD_STATUS_FF, ...).
  int NoticeResult() const { return noticeResult_.load(); }
  // Called on the UI thread after every change of the notice.
  void SetNoticeHandler(std::function<void()> handler) { noticeHandler_ = std::move(handler); }

  // Preview state, reset by the subclasses when the effect changes.
  using PreviewState = wholefx::State;
  PreviewState& Preview() { return preview_; }
  // Milliseconds of the clock the blink steps use (steady clock; tests may replace it).
  void SetClockForTest(std::function<uint64_t()> clock) { clock_ = std::move(clock); }

 protected:
  // Who needs the frames changed (preview seen, lighting control, the device
  // opened or closed): the page re-plans its light thread. UI thread.
  virtual void LightDemandChanged() {}
  void SetFeedsDeviceFromPaint(bool on);
  // Called before the LED table is resized: whatever holds on to it lets go.
  virtual void LightTableChanging() {}
  // The "SelectPanel" binding steps, shared with the subclasses' BindPageControls.
  void BindButtons(CContainerUI* panel);
  // Clears counts and the three vectors (a page without content).
  void ResetToEmptyPage();
  // A child control of the page by name (nullptr when missing).
  CControlUI* FindChild(std::string_view name) const;
  template <class Hooks>
  Hooks* FindHooks(std::string_view name) const {
    return dynamic_cast<Hooks*>(FindChild(name));
  }
  uint64_t NowMs() const;
  void FillAllLeds(const LedColour& colour);

  // Listener threads of the event engine (kinds with events run them). The
  // subclass stops them before its own members go.
  virtual void HandleEventCode(uint16_t /*code*/) {}
  void StartListener(int side);
  void StopListener(int side);
  // Macro names, effect names, values and visibility, area and user effect
  // names from the data files (every page's lists).
  void LoadStandardEffectLists();
  // The number of macros in the user's "macro.config".
  int MacroCountOnDisk() const;
  // A text ID in the page's language.
  std::string Localise(std::string_view id) const;
  // The profile's default, current and lighting files from the folders and
  // the profile name (a name that is not a plain file name changes nothing).
  void ResolvePathsOf(CBasicProfiledata& profile);
  // The page's editors: profile list (its selected profile becomes the
  // page's), lighting editor, macro list and key assignment editor; an editor
  // the page's skin lacks is skipped.
  void BindEditors();
  // The event channel of a side with its listener thread, and closing both.
  bool OpenListenedChannel(const std::string& path, int kind);
  void CloseListenedChannel(int kind);
  // Reached through the receiver with the device answering it.
  bool ReceiverLinkUp();
  // The power status read and shown on the battery panel (receiver flag set).
  void PollStatusToDisplay();
  // Through the receiver: the link is up (asked now); by cable always true.
  // A lost link is reported once to the link-lost handler.
  bool LinkUpForCommand();

  CDeviceComm comm_;
  CDeviceComm eventComm_;
  std::array<uint8_t, 34> deviceInfo_{};
  DownloadReport lastMacroDownload_;
  int recordIndex_ = -1;

  std::string pageXmlPath_;
  HWND mainWnd_ = 0;
  std::string profileName_;
  std::string lightConfigName_ = "velmo_light";
  std::string deviceFolderName_;
  int kind_ = 0;
  int auxiliary_ = 0;
  int productRow_ = -1;
  int modelIndex_ = 0;
  DeviceIdEntry identity_;

  std::vector<CDeviceKeyButtonUI*> keyButtons_;
  std::vector<CDeviceKeyButtonUI*> lightButtons_;
  CControlUI* keyLightPanel_ = nullptr;
  CControlUI* tile_ = nullptr;
  CControlUI* powerDisplay_ = nullptr;
  CTabLayoutUI* outerTabs_ = nullptr;
  CTabLayoutUI* innerTabs_ = nullptr;
  bool tabsLookedUp_ = false;

  int keyCount_ = 0;
  int lightCount_ = 0;

  std::vector<LedColour> ledTable_;
  LightInfo lightInfo_;
  std::array<uint32_t, 3> audioWords_{};
  std::vector<LightListEntry> customTable_;
  std::vector<LedEffectStep> effectList_;
  PreviewState preview_;
  std::array<uint8_t, kLevelBufferSize> levels_{};

  std::map<int, int> keyToPosition_;
  std::map<int, int> keyToLed_;
  std::map<int, int> thirdMap_;
  std::map<int, int> auxKeyMap_;

  std::vector<std::string> macroNames_;
  std::vector<std::string> effectNames_;
  std::vector<int> effectValues_;
  std::vector<int> effectVisible_;
  std::vector<std::string> areaEffectNames_;
  std::vector<std::string> userEffectNames_;

  std::atomic<bool> lightingControlActive_{false};
  std::atomic<bool> windowActive_{false};
  std::atomic<bool> previewShown_{false};
  bool wireless_ = false;
  std::atomic<bool> wirelessPollPaused_{false};
  bool readOnly_ = false;
  int functionPage_ = 1;
  int selectedKey_ = -1;
  int secondarySelectedKey_ = -1;

  std::mutex effectListLock_;
  std::mutex customTableLock_;

 private:
  void UpdatePreviewShown();
  // Runs the waiting paint handler once, on the UI thread.
  void RunPaintHandlerOnUi();
  bool windowShown_ = true;
  std::atomic<bool> feedsDeviceFromPaint_{false};
  std::atomic<uint64_t> lightFrames_{0};
  std::atomic<bool> paintWaiting_{false};
  std::function<void()> paintHandler_;  // UI thread only
  void ListenLoop(int side);
  std::array<EventListener, 2> listeners_;
  std::function<void()> linkLostHandler_;
  std::function<void()> noticeHandler_;
  std::atomic<int> notice_{0};
  std::atomic<int> noticeResult_{0};
  void OnCommandResult(uint8_t code, int result);
  void SetNotice(Notice notice, int result);
  bool gateOnLink_ = false;
  std::function<uint64_t()> clock_;
  UiLoop::TimerKey resyncTimer_ = 0;
  void StopSaveTimer();
  UiLoop::TimerKey saveTimer_ = 0;
  bool savePending_ = false;
};

// Creators of the page classes by factory class name ("CVarnikKeyboardDevice"),
// for RegisterSkinControls of the skin layer.
std::map<std::string, std::function<CControlUI*()>> DeviceControlCreators();
// Registers them with the control factory, under their class names and their
// skin element names ("VarnikKeyboardDevice").
void RegisterDeviceControls();

}  // namespace korvale
