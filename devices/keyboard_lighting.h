#pragma once
// The keyboard's lighting engine: the effect state of every built-in mode,
// the user's ".light" effect lists, the per-key custom effects of the
// profile's "LightList", the custom colour groups of mode 20, the streamed
// frames of modes 29 and 30, and the light thread that steps it all.
//
// The engine writes a LED colour table it is given (one LedColour per LED,
// 170 LEDs). All engine state is guarded by one mutex: the light thread
// steps under it and the UI thread's setters take it. A reader of the LED
// table that skips the lock (the 50 ms paint timer) may see a frame half
// old, half new; Snapshot() gives a whole frame.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "devices/light_engine.h"
#include "devices/light_tables.h"
#include "profiles/profile_records.h"

namespace korvale {

class CDeviceComm;
class CKeyboardProfiledata;

// The effect names a keyboard page offers, read from the data files.
struct EffectLists {
  std::vector<std::string> macroNames;  // "MacroName" of macro.config
  std::vector<std::string> names;       // built-in "LightName"
  std::vector<bool> visible;            // built-in "visible"
  std::vector<int> values;              // built-in "value"
  std::vector<std::string> areaNames;   // "AreaLightName"
  std::vector<std::string> userNames;   // the user's effects in the lighting list file
};

// Fills lists from defaultData/"default_light.json" and userData/
// {"macro.config", lightConfigFile}. A missing file or member leaves its
// list as it was; the macro names are rebuilt every time.
void LoadEffectLists(EffectLists& lists, const std::filesystem::path& defaultData,
                     const std::filesystem::path& userData, int modelIndex,
                     const std::string& lightConfigFile = "velmo_light.config");

class CKeyboardLighting : public ILightEngine {
 public:
  static constexpr int kLeds = lightfx::kLeds;
  static constexpr int kModeCustom = 20;
  static constexpr int kModeAudio = 29;
  static constexpr int kModeAudioColour = 30;
  using Clock = std::function<uint64_t()>;  // milliseconds

  // leds must stay valid for the engine's life; up to 170 entries are used.
  explicit CKeyboardLighting(std::span<LedColour> leds);

  // ---- set-up, UI thread ----
  // Points the engine at another table (after the page resized its own).
  void Attach(std::span<LedColour> leds);
  // Called (outside the engine's lock) after a change that can move the
  // next step closer: the light thread uses it to wake and re-plan.
  void SetChangeNotifier(std::function<void()> notify) override;
  // The keyboard's key→LED map (170 entries, 255 = the key has no LED).
  void SetKeyToLedMap(const std::array<uint8_t, kLeds>& map);
  void SetClock(Clock clock);
  // Who needs the frames: the preview is on screen, and the keyboard may be
  // fed from them (lighting control on; only modes 29 and 30 stream). With
  // neither the light thread leaves the engine alone. Both on by default.
  void SetOutputs(bool previewSeen, bool deviceFed);
  void SetSeed(uint32_t seed);

  // ---- lighting state, UI thread ----
  void SetLightInfo(const LightInfo& info);
  LightInfo GetLightInfo() const;
  void SetAudioLightInfo(const AudioLightInfo& info);
  // The frames of the selected ".light" effect; the list starts at step 0.
  void SetEffectList(std::vector<LedEffectStep> steps);
  // The profile's "LightList"; per-key breathing, blink and cycle states restart.
  void SetCustomTable(std::vector<LightListEntry> entries);
  // The custom colour group the keyboard shows (and that writes go to).
  void SetCustomGroup(int group);
  // Custom colours of mode 20 (the LED table takes them, intensities kept).
  void SetCustomColours(std::span<const LedColour> colours);

  // Takes the LightInfo now set: re-initialises the effect when the mode
  // changed (or is 20), restarts the counters. Returns 1. In mode 20 the
  // page then brings the colours in (LoadCustomColoursToDevice).
  int Apply();
  // Effect state back to zero, then the current mode's initial pattern.
  void InitMode();
  void ResetEffectState();

  // A UI key went down (pressed) or up.
  void OnKeyEvent(int key, bool pressed);
  // 25 int32 levels (count limited to 500 bytes); audio mode 2 also feeds the beat detector.
  void FeedAudioSpectrum(const void* data, int count);
  // Six int32 values (count limited to 6); the first three colour mode 30.
  void FeedAudioColours(const int32_t* data, int count);

  // ---- stepping, light thread (or tests) ----
  // One tick: counts it, runs the mode's step when its threshold is reached,
  // then overlays the per-key custom effects. True when it wrote the table.
  bool Step();
  // ticks - 1 quiet ticks, then Step(): what the thread does after a longer sleep.
  Stepped Advance(int ticks) override;
  // Ticks the thread may sleep before the next Step() changes anything.
  int TicksUntilDue() const override;
  bool OutputWanted() const override;
  // Static, static cycle, custom colours, off and an effect list that shows
  // one still frame, with no animated per-key effect over them.
  bool HoldsStill() const override;
  // Modes 29 and 30: the frames go to the keyboard.
  bool Streams() const;
  // The mode's step alone, ignoring the threshold.
  void RunModeStep();
  // Ticks between steps of the current mode and speed.
  int Threshold() const;

  // ---- LED table ----
  void Snapshot(std::span<LedColour> out) const;
  LedColour Led(int index) const;

  // ---- custom colours (mode 20) and the stream (modes 29, 30) ----
  // 512 bytes: red, green, blue of each LED at 3 × its key→LED entry.
  // scaled: colours multiplied by intensity / 256.
  std::array<uint8_t, lightfx::kCustomGroupBytes> BuildCustomPayload(bool scaled = false) const;
  // Writes the payload (keyCount × 3 bytes) into the current group; only in
  // mode 20 unless force. Result of WriteCustomLight; 0 outside mode 20.
  int WriteCustomColoursToDevice(CDeviceComm& comm, int keyCount, bool force = false,
                                 bool scaled = false);
  // Reads the current group back into the LED table (intensities kept).
  int ReadCustomColoursFromDevice(CDeviceComm& comm, int keyCount);
  // Mode 20 entered from the profile: the profile's group becomes the
  // current one, its colours fill the LED table and go to the keyboard.
  // Returns the group (for the lighting editor).
  int LoadCustomColoursToDevice(CKeyboardProfiledata& profile, CDeviceComm& comm, int keyCount);
  // Mode 20 reported by the keyboard: its colours of the current group are
  // stored in the profile, reloaded from there and written back. Result of
  // the read (the write follows only after a good read).
  int SyncCustomColoursFromDevice(CKeyboardProfiledata& profile, CDeviceComm& comm, int keyCount);
  // Mode 20 only: LED := the LightInfo colour. True when it changed the table.
  bool SetKeyCustomColour(int led);
  // LEDs 0..125 := the LightInfo colour (on) or black.
  void FillCustomColours(bool on);
  // key count × 3 bytes of scaled colours at 3 × the key's LED entry.
  std::vector<uint8_t> BuildStreamFrame(int keyCount) const;
  // In modes 29 and 30: sends a frame when 50 ms have passed since the last
  // one (200 ms after a failed one). 1 sent, 0 not due or not streaming,
  // -1 the frame failed (its exchange result is traced).
  int StreamIfDue(CDeviceComm& comm, int keyCount);
  std::chrono::milliseconds StreamInterval() const { return std::chrono::milliseconds(lightfx::kStreamIntervalMs); }

  // ---- state for tests and the page ----
  uint8_t Level(int led) const;
  uint8_t Hue(int led) const;
  uint8_t RippleState(int led) const;
  uint8_t StepValue() const;
  uint8_t WaveFront(int front, int column) const;
  int CurrentEffectStep() const;

 private:
  friend class CLightThread;
  using Lock = std::unique_lock<std::mutex>;
  uint64_t Now() const { return clock_ ? clock_() : SteadyMs(); }
  static uint64_t SteadyMs();

  void InitModeLocked();
  void ApplyLocked();
  void ResetLocked();
  bool StepLocked();
  void ModeStepLocked();
  void OverlayLocked();
  int ThresholdLocked() const;

  // helpers
  void Put(int led, lightfx::Rgb c, int intensity);
  void PutEffect(int led, int intensity);  // W[hue] or LightInfo colour
  lightfx::Rgb EffectColour(int led) const;
  int S() const;
  int DecayLevel(int led, int mode);
  uint8_t RandomHue();
  void LightWaveFronts();
  void AdvanceWaveFronts();
  void ClearWaveFronts();
  void SetFrontBit(int column, int row);
  uint8_t CombinedFront(int column) const;
  void StartWaveFromKey(int key, int action);
  void LightKey(int key, int action);
  void RippleFromKey(int key, int action);
  bool HasPressedNeighbour(int column, int row, int key) const;
  void ReactToKey(int key, int action);

  // mode steps
  void StepWave();
  void StepVerticalWave();
  void StepOrderWave();
  void StepSpectrum();
  void StepBreathing();
  void StepStatic();
  void StepKeyFade();
  void StepReactiveHue();
  void StepWaveFronts();
  void StepStarlight();
  void StepHueRotate();
  void StepRowRainbow();
  void StepCornerWave();
  void StepFirework();
  void StepTwinkle();
  void StepSideWave();
  void StepStaticCycle();
  void StepRing();
  void StepRainDrops();
  void StepCustomColours();
  void StepOff();
  void StepBreathingFourColours();
  void StepBlink(bool fourColours);
  // Runs one of the whole-device effects on this engine's state and gives
  // every LED its colour.
  template <typename Fn>
  void PutAll(Fn&& step);
  void StepAudio();
  void StepAudioColour();
  void StepRunningLight();
  void StepRainbowField();
  void StepEffectList();
  // audio
  void AudioBars(bool vertical, int line, int length, bool fromEnd, lightfx::Rgb bar);
  void AudioColumns(bool latched);
  void AudioSplitColumns();
  void AudioBeatWaves();
  void AudioRings();
  void AudioBands(bool alternating);
  lightfx::Rgb AudioBarColour(int hue) const;
  int BarHeight(int32_t level) const;

  void Notify();

  mutable std::mutex mutex_;
  std::function<void()> notify_;
  std::span<LedColour> leds_;
  int ledCount_ = 0;
  Clock clock_;
  std::minstd_rand rng_{0x4b52u};
  std::array<uint8_t, kLeds> keyToLed_{};

  LightInfo info_;
  AudioLightInfo audio_;
  int lastMode_ = -1;
  bool previewSeen_ = true;
  bool deviceFed_ = true;
  std::array<LedColour, kLeds> reported_{};  // the table as the last changed Advance left it
  // The bytes last read from a custom colour group: a write to that group
  // starts from them, so LEDs no screen key maps keep their colours.
  std::array<uint8_t, lightfx::kCustomGroupBytes> groupBytes_{};
  int groupBytesOf_ = -1;
  int count_ = 0;

  // effect state
  uint8_t step_ = 0;
  uint8_t waveCounter_ = 0;
  uint8_t colourIndex_ = 0;
  bool blinkOn_ = false;
  uint64_t lastToggle_ = 0;
  std::array<uint8_t, kLeds> hue_{};
  std::array<uint8_t, kLeds> level_{};
  std::array<uint8_t, kLeds> ripple_{};
  std::array<uint8_t, kLeds> pressed_{};
  std::array<uint8_t, kLeds> counter_{};
  std::array<std::array<uint8_t, lightfx::kColumns>, 4> fronts_{};
  std::array<int32_t, lightfx::kSpectrumBins> spectrum_{};
  std::array<int32_t, 6> audioColours_{};
  std::array<int32_t, lightfx::kColumns> columnFlags_{};
  int beatTotal_ = 0;
  int audioBin_ = 0;

  // ".light" effect list
  std::vector<LedEffectStep> effects_;
  int effectStep_ = 0;
  uint64_t effectStart_ = 0;
  int effectPasses_ = 0;
  uint8_t effectIndex_ = 0;
  uint8_t effectHue_ = 0;
  uint8_t effectCounter_ = 0;
  bool effectBlinkOn_ = false;
  uint64_t effectToggle_ = 0;

  // per-key custom effects
  std::vector<LightListEntry> custom_;
  struct KeyFx {
    uint8_t index = 0;
    uint8_t hue = 0;
    uint8_t counter = 0;
    bool on = false;
    uint64_t toggle = 0;
  };
  std::vector<KeyFx> keyFx_;
  bool customActive_ = false;

  // stream pacing
  uint64_t nextStream_ = 0;
};

// The thread that steps a light engine. It sleeps until the next step is
// due and wakes at once for Stop(). While the device is closed, while nobody
// needs the frames, and once a still look has been drawn, it sleeps without
// a deadline until a Nudge() (every change of the engine, of who needs its
// frames and of the device's open state nudges it). The engine must outlive
// the running thread: stop it before the engine goes.
class CLightThread {
 public:
  CLightThread() = default;
  ~CLightThread() { Stop(); }
  CLightThread(const CLightThread&) = delete;
  CLightThread& operator=(const CLightThread&) = delete;

  // comm (may be null): while it is closed the thread sleeps until nudged;
  // while its lightSync flag is set it leaves the table alone.
  // A running thread is stopped first.
  void Start(ILightEngine& engine, CDeviceComm* comm = nullptr);
  // Signals and joins; returns once the thread has ended.
  void Stop();
  bool Running() const { return thread_.joinable(); }
  // Number of passes that stepped (or would have stepped) the engine.
  uint64_t Wakes() const { return wakes_.load(); }
  // Wakes the thread now (the mode or the custom table changed).
  void Nudge();

  // Milliseconds; the steady clock by default. With a clock of its own the
  // thread never sleeps on real time: it waits for Nudge() (whoever moves the
  // clock nudges) or Stop(). Set it before Start.
  void SetClock(CKeyboardLighting::Clock clock) { clock_ = std::move(clock); }
  // The trace the thread leaves when it ends (one per device kind).
  void SetEndTrace(const char* trace) { endTrace_ = trace; }
  // The thread's name in the system's lists (at most 15 characters). Before Start.
  void SetName(const char* name) { name_ = name; }
  // Called on the thread after each step that changed the LED table. Before Start.
  void SetFrameHook(std::function<void()> hook) { frameHook_ = std::move(hook); }

  // Where the thread last went to sleep: waiting for the device to open
  // (closed), for the step due dueTicks ticks after its last step, or for a
  // change with no deadline at all (untilChanged). count rises with every
  // sleep, so it also counts the wake-ups.
  struct IdlePoint {
    uint64_t count = 0;
    bool closed = false;
    int dueTicks = 0;
    bool untilChanged = false;
  };
  // Waits until the thread has gone to sleep more than `after` times, or
  // timeoutMs pass; the latest idle point either way.
  IdlePoint WaitIdle(uint64_t after, int timeoutMs);

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  void Run(ILightEngine& engine, CDeviceComm* comm);
  TimePoint Now() const;
  // Marks the idle point, then sleeps until `until`, a nudge or a stop.
  void Sleep(std::unique_lock<std::mutex>& lk, TimePoint until, bool closed, int dueTicks);
  // Marks the idle point, then sleeps until a nudge or a stop.
  void SleepUntilChanged(std::unique_lock<std::mutex>& lk, bool closed);

  std::thread thread_;
  ILightEngine* engine_ = nullptr;
  const char* endTrace_ = "KB灯光线程设定退出";
  const char* name_ = "kv-light";
  std::function<void()> frameHook_;
  CKeyboardLighting::Clock clock_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::condition_variable idleCv_;
  bool stop_ = false;
  bool nudged_ = false;
  IdlePoint idle_;
  std::atomic<uint64_t> wakes_{0};
};

}  // namespace korvale
