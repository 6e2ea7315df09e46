#pragma once
// The page base of the lighting-only devices (the mousepad and the headset):
// a row of light buttons, the profile's lighting, the short configuration
// record, the status block for the power panel, the change events and a
// light thread of the page's own that steps the preview (and, on the
// headset, streams it to the device's LEDs).
//
// Locks: lightLock_ guards everything the light thread touches (LightInfo,
// the configuration's mode and speed, the preview state, levels and flags,
// the LED table, the effect list, the custom table). The UI thread takes it
// for every change and for the paint snapshot. LED output reports go out on
// the light thread one at a time under the command engine's channel lock,
// each after any command exchange that is pending.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "devices/keyboard_lighting.h"
#include "devices/light_engine.h"
#include "devices/varnik_usb_device.h"
#include "platform/event.h"
#include "profiles/basic_profiledata.h"
#include "protocol/commands.h"

namespace korvale {

class CVarnikLightingDevice : public CVarnikUSBDevice, public ILightEngine {
 public:
  // What tells the kinds apart.
  struct Facts {
    const char* panelName;  // the button panel of the skin
    const char* name;       // in traces
    int waveHueSpacing;     // multicolour wave: hue distance from one LED to the next
    int waveStep;           // single colour wave: curve positions per step
    int waveSpacing;        // ... curve distance from one LED to the next
    int waveStartOffset;    // ... the first LED's curve position after the step
    bool readsInfo;         // OnConnected reads the information block
    bool streamsLeds;       // the LED colours go to the device as output reports
    uint8_t eventReportId;  // input reports carrying change events
  };

  // Configuration record bytes, in page terms.
  static constexpr std::size_t kConfigSize = proto::kPadRecordWriteSize;
  static constexpr std::size_t kCfgIndex = 0;
  static constexpr std::size_t kCfgMode = 1;
  static constexpr std::size_t kCfgBrightness = 2;
  static constexpr std::size_t kCfgSpeed = 3;
  static constexpr std::size_t kCfgDirection = 4;
  static constexpr std::size_t kCfgMultiColor = 5;
  static constexpr std::size_t kCfgRed = 6;

  // Lighting modes (effect numbers).
  static constexpr uint8_t kModeWave = 0;
  static constexpr uint8_t kModeSpectrum = 1;
  static constexpr uint8_t kModeBreathing = 2;
  static constexpr uint8_t kModeStatic = 3;
  static constexpr uint8_t kModeBlink = 4;
  static constexpr uint8_t kModeUser = 5;
  static constexpr uint8_t kModeFlow = 6;
  static constexpr uint8_t kModeGroupFlow = 7;
  static constexpr uint8_t kModeOff = 8;

  // One LED output report per colour channel and half, to each target.
  static constexpr std::size_t kLedReports = 12;
  using LedReport = std::array<uint8_t, proto::kHeadsetLedReportSize>;
  static std::array<LedReport, kLedReports> BuildLedReports(std::span<const LedColour> leds);

  CVarnikLightingDevice(int kind, const Facts& facts, std::unique_ptr<CBasicProfiledata> profile);
  ~CVarnikLightingDevice() override;

  // ---- base slots ----
  void InitPage() override;
  int ApplyLighting() override;
  void PaintLights() override;
  void OnConnected() override;
  void OnResync() override;
  void PollWirelessStatus() override;
  int ReloadProfile() override;
  void RefreshPage() override;
  void RestoreDefaultProfile() override;
  int WriteDeviceConfig(int profile, int firstByte, int a = 0, int b = 0, int c = 0) override;
  void LoadEffectLists() override;
  void TriggerFlaggedLeds() override;
  void ResolveProfilePaths() override;
  std::string GetProfilePath() const override;
  void SaveProfile() override;
  void SetModelIndex(int index) override;
  void SetLightInfo(const std::array<uint32_t, 5>& words) override;
  // Another writer (synchronised lighting) puts colours in the table: the
  // still look is drawn again once the page's own thread takes over.
  void SetLedColour(int led, uint32_t packed) override;
  bool OpenEventChannel(const std::string& path, int kind) override;
  void CloseEventChannel(int kind) override;
  uint32_t ResyncDelayMs() const override { return 500; }

  // ---- slots of the lighting pages ----
  virtual void BindPageControls();
  virtual std::array<uint32_t, 5> GetLightInfo() const;
  virtual void StepPadWave();
  virtual void StepPadGroupFlow();
  virtual void StepPadFlow();

  // ---- operations of the page, discovery and korvalectl ----
  // BeginConfig, ReadInfo, EndConfig. The first failing result, else 1; 0 while closed.
  int ReadDeviceTables();
  // The active record r (byte 0 of the configuration memory), then the
  // record at r × 64; the page's configuration, LightInfo and profile take
  // it. Returns r, or -1 (nothing changed) when a read fails or the record
  // lies outside the configuration area. Writes go back to that record.
  int ReadDeviceConfig();
  void StartLightThread();
  void StopLightThread();
  bool IsLightThreadRunning() const { return lightThread_.Running(); }
  CLightThread& LightThread() { return lightThread_; }
  bool IsListening() const { return listener_.running.load(); }

  // ---- ILightEngine (the light thread; tests call it directly) ----
  void SetChangeNotifier(std::function<void()> notify) override;
  int TicksUntilDue() const override;
  Stepped Advance(int ticks) override;
  // The preview is seen, or (headset) the LEDs are fed from the frames.
  bool OutputWanted() const override;
  // Static, off and a one-step effect list, unless frames go to the device.
  bool HoldsStill() const override;

  // ---- state ----
  std::array<uint8_t, kConfigSize> Config() const;
  // The record index the configuration was read from; -1 before any read.
  int ConfigRecord() const { return ActiveRecordIndex(); }
  CBasicProfiledata& Profile() { return *profile_; }
  const std::vector<int>& EffectValues() const { return effectValues_; }
  const std::vector<std::string>& EffectNames() const { return effectNames_; }
  // A whole frame of the LED table.
  std::vector<LedColour> Frame() const;
  uint8_t FlowCounter() const { return flowCounter_; }
  // LED frames sent to the device (headset), and frames whose reports failed.
  uint64_t FramesStreamed() const { return framesStreamed_.load(); }
  uint64_t FramesFailed() const { return framesFailed_.load(); }
  const Facts& GetFacts() const { return facts_; }

 protected:
  void LightTableChanging() override;
  void LightDemandChanged() override;
  // Runs on the event thread.
  virtual void HandleEventCode(uint16_t code);
  // Takes the configuration's look into LightInfo and the preview (lock held).
  void TakeModeLocked(uint8_t mode);

 private:
  bool StepLocked();
  // Static, off, or an effect list that never leaves its one step.
  bool StillLocked() const;
  void ModeStepLocked();
  void StepEffectListLocked();
  void FlowLocked(bool grouped);
  int ThresholdLocked() const;
  bool StreamDueLocked() const { return tickMs_ >= streamDueMs_; }
  bool StreamsLeds() const { return facts_.streamsLeds && lightingControlActive_.load(); }
  void StreamFrame(std::span<const LedColour> frame);
  void StartListener();
  void StopListener();
  void ListenLoop();

  const Facts facts_;
  std::unique_ptr<CBasicProfiledata> profile_;
  std::array<uint8_t, kConfigSize> config_{};
  uint8_t flowCounter_ = 0;

  mutable std::mutex lightLock_;
  std::function<void()> notify_;
  int count_ = 0;             // ticks since the last mode step
  uint64_t tickMs_ = 0;       // tick time the thread has advanced
  uint64_t streamDueMs_ = 0;  // tick time of the next LED frame
  bool stillDrawn_ = false;   // the still look is in the table since the last change
  std::vector<LedColour> reportedFrame_;  // the table as the last changed Advance left it
  std::size_t effectStep_ = 0;
  uint64_t effectStepStartMs_ = 0;
  CLightThread lightThread_;
  std::atomic<uint64_t> framesStreamed_{0};
  std::atomic<uint64_t> framesFailed_{0};

  struct Listener {
    std::thread thread;
    Event stop{Event::Reset::Manual};
    std::atomic<bool> running{false};
  } listener_;
};

}  // namespace korvale
