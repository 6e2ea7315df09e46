#include "devices/keyboard_lighting.h"

#include <algorithm>
#include <cstring>

#include "devices/preview_tables.h"
#include "devices/whole_device_effects.h"
#include "platform/thread_name.h"
#include "platform/trace.h"
#include "profiles/device_profiledata.h"
#include "profiles/json_file.h"
#include "protocol/device_comm.h"

namespace korvale {

using namespace lightfx;

namespace {

constexpr uint8_t kNoLed = 255;

using wholefx::Cycle;

int Clamp4(int v) { return std::clamp(v, 0, 4); }

// Cell of each key in the key matrix, or -1.
struct Cell {
  int8_t column = -1, row = -1;
};
constexpr std::array<Cell, kLeds> MakeCells() {
  std::array<Cell, kLeds> cells{};
  for (int c = 0; c < kColumns; ++c)
    for (int r = 0; r < kRows; ++r) {
      const int k = kKeyMatrix[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)];
      if (IsKey(k)) cells[static_cast<std::size_t>(k)] = {static_cast<int8_t>(c), static_cast<int8_t>(r)};
    }
  return cells;
}
constexpr std::array<Cell, kLeds> kCells = MakeCells();

constexpr std::array<bool, kLeds> MakeInOrder() {
  std::array<bool, kLeds> in{};
  for (uint8_t k : kKeyOrder)
    if (IsKey(k)) in[k] = true;
  return in;
}
constexpr std::array<bool, kLeds> kInOrder = MakeInOrder();

int KeyAt(int column, int row) {
  if (column < 0 || column >= kColumns || row < 0 || row >= kRows) return kNoKey;
  const int k = kKeyMatrix[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
  return IsKey(k) ? k : kNoKey;
}

// The ripple neighbourhood: offsets and the class of each (1 direct, 2 diagonal
// or two rows away, 3 two columns away).
struct Offset {
  int dc, dr, kind;
};
constexpr std::array<Offset, 12> kRipple = {{
    {0, -1, 1}, {0, 1, 1}, {-1, 0, 1}, {1, 0, 1},
    {-1, -1, 2}, {1, -1, 2}, {-1, 1, 2}, {1, 1, 2},
    {0, -2, 2}, {0, 2, 2}, {-2, 0, 3}, {2, 0, 3},
}};

bool IsStepMode(int m) {
  return (m >= 1 && m <= 21) || m == 25 || m == 26 || m == 27 || m == 29 || m == 30 ||
         (m >= 32 && m <= 34);
}

// The modes whose frames are streamed to the keyboard (music, another program's colours).
bool IsStreamMode(int m) { return m == CKeyboardLighting::kModeAudio || m == CKeyboardLighting::kModeAudioColour; }

}  // namespace

// ---------------------------------------------------------------- effect lists

void LoadEffectLists(EffectLists& lists, const std::filesystem::path& defaultData,
                     const std::filesystem::path& userData, int modelIndex,
                     const std::string& lightConfigFile) {
  lists.macroNames.clear();
  const Json::Value macros = ReadJsonFile(userData / "macro.config");
  const Json::Value& macroList = JsonMember(macros, "MacroInfo");
  for (std::size_t i = 0, n = JsonSize(macroList); i < n; ++i) {
    const Json::Value& name = JsonMember(JsonElement(macroList, i), "MacroName");
    if (name.isString()) lists.macroNames.push_back(JsonString(name));
  }
  if (modelIndex < 0) {
    Trace("effect lists: model index %d refused", modelIndex);
    return;
  }
  // The product's list of a document; nothing when it is missing or no list.
  auto element = [modelIndex](const Json::Value& doc, const char* name) -> const Json::Value* {
    const Json::Value& v = JsonElement(JsonMember(doc, name), static_cast<std::size_t>(modelIndex));
    return v.isArray() ? &v : nullptr;
  };
  // Elements that are no object are skipped; a name that is no text reads empty.
  auto names = [](const Json::Value& list, std::vector<std::string>& out, bool keepUnnamed) {
    for (std::size_t i = 0, n = JsonSize(list); i < n; ++i) {
      const Json::Value& e = JsonElement(list, i);
      if (!e.isObject()) continue;
      const Json::Value& name = JsonMember(e, "LightName");
      if (keepUnnamed || name.isString()) out.push_back(JsonString(name));
    }
  };
  const Json::Value defaults = ReadJsonFile(defaultData / "default_light.json");
  if (const Json::Value* d = element(defaults, "DefaultLightName")) {
    lists.names.clear();
    lists.visible.clear();
    lists.values.clear();
    names(*d, lists.names, true);
    for (std::size_t i = 0, n = JsonSize(*d); i < n; ++i) {
      const Json::Value& e = JsonElement(*d, i);
      if (!e.isObject()) continue;
      const Json::Value& visible = JsonMember(e, "visible");
      const Json::Value& value = JsonMember(e, "value");
      lists.visible.push_back(visible.isBool() && JsonFlag(visible));
      lists.values.push_back(value.isInt() ? JsonInt(value) : -1);
    }
  }
  if (const Json::Value* a = element(defaults, "AreaLightName")) {
    lists.areaNames.clear();
    names(*a, lists.areaNames, false);
  }
  const Json::Value user = ReadJsonFile(userData / lightConfigFile);
  if (const Json::Value* u = element(user, "LightInfo")) {
    lists.userNames.clear();
    names(*u, lists.userNames, false);
  }
}

// ---------------------------------------------------------------- set-up

CKeyboardLighting::CKeyboardLighting(std::span<LedColour> leds)
    : leds_(leds), ledCount_(static_cast<int>(std::min<std::size_t>(leds.size(), kLeds))) {
  for (int i = 0; i < kLeds; ++i) keyToLed_[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i);
}

uint64_t CKeyboardLighting::SteadyMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void CKeyboardLighting::Attach(std::span<LedColour> leds) {
  Lock lk(mutex_);
  leds_ = leds;
  ledCount_ = static_cast<int>(std::min<std::size_t>(leds.size(), kLeds));
}

void CKeyboardLighting::SetChangeNotifier(std::function<void()> notify) {
  Lock lk(mutex_);
  notify_ = std::move(notify);
}

void CKeyboardLighting::Notify() {
  std::function<void()> notify;
  {
    Lock lk(mutex_);
    notify = notify_;
  }
  if (notify) notify();
}

void CKeyboardLighting::SetKeyToLedMap(const std::array<uint8_t, kLeds>& map) {
  Lock lk(mutex_);
  keyToLed_ = map;
}
void CKeyboardLighting::SetClock(Clock clock) {
  Lock lk(mutex_);
  clock_ = std::move(clock);
}
void CKeyboardLighting::SetOutputs(bool previewSeen, bool deviceFed) {
  {
    Lock lk(mutex_);
    if (previewSeen_ == previewSeen && deviceFed_ == deviceFed) return;
    previewSeen_ = previewSeen;
    deviceFed_ = deviceFed;
  }
  Notify();
}
void CKeyboardLighting::SetSeed(uint32_t seed) {
  Lock lk(mutex_);
  rng_.seed(seed);
}
void CKeyboardLighting::SetLightInfo(const LightInfo& info) {
  {
    Lock lk(mutex_);
    info_ = info;
  }
  Notify();
}
LightInfo CKeyboardLighting::GetLightInfo() const {
  Lock lk(mutex_);
  return info_;
}
void CKeyboardLighting::SetAudioLightInfo(const AudioLightInfo& info) {
  {
    Lock lk(mutex_);
    audio_ = info;
  }
  Notify();
}
void CKeyboardLighting::SetEffectList(std::vector<LedEffectStep> steps) {
  Lock lk(mutex_);
  effects_ = std::move(steps);
  effectStep_ = 0;
  effectStart_ = Now();
  effectPasses_ = 0;
  lk.unlock();
  Notify();
}
void CKeyboardLighting::SetCustomTable(std::vector<LightListEntry> entries) {
  Lock lk(mutex_);
  if (entries.size() > static_cast<std::size_t>(kLeds)) entries.resize(kLeds);
  custom_ = std::move(entries);
  keyFx_.assign(custom_.size(), KeyFx{});
  const uint64_t now = Now();
  for (auto& k : keyFx_) k.toggle = now;
  customActive_ = std::any_of(custom_.begin(), custom_.end(), [](const LightListEntry& e) { return e.valid != 0; });
  lk.unlock();
  Notify();
}
void CKeyboardLighting::SetCustomGroup(int group) {
  if (group < 0 || group > 255) {
    Trace("custom colour group %d refused", group);
    return;
  }
  Lock lk(mutex_);
  info_.customGroup = static_cast<uint8_t>(group);
}
void CKeyboardLighting::SetCustomColours(std::span<const LedColour> colours) {
  {
    Lock lk(mutex_);
    const std::size_t n = std::min<std::size_t>(colours.size(), static_cast<std::size_t>(ledCount_));
    for (std::size_t i = 0; i < n; ++i) {
      leds_[i].red = colours[i].red;
      leds_[i].green = colours[i].green;
      leds_[i].blue = colours[i].blue;
    }
  }
  Notify();
}

int CKeyboardLighting::Apply() {
  {
    Lock lk(mutex_);
    ApplyLocked();
  }
  Notify();
  return 1;
}

void CKeyboardLighting::ApplyLocked() {
  const int mode = info_.selectItem;
  if (mode != lastMode_ || mode == kModeCustom) InitModeLocked();
  lastMode_ = mode;
  for (auto& k : keyFx_) k = KeyFx{0, 0, 0, false, Now()};
  if (mode == 19) hue_.fill(0);
  step_ = 0;
  count_ = 0;
  effectStep_ = 0;
  effectStart_ = Now();
  effectPasses_ = 0;
  effectIndex_ = effectHue_ = effectCounter_ = 0;
  effectBlinkOn_ = false;
  effectToggle_ = effectStart_;
}

void CKeyboardLighting::InitMode() {
  {
    Lock lk(mutex_);
    InitModeLocked();
    lastMode_ = info_.selectItem;
  }
  Notify();
}

void CKeyboardLighting::ResetEffectState() {
  {
    Lock lk(mutex_);
    ResetLocked();
  }
  Notify();
}

void CKeyboardLighting::ResetLocked() {
  step_ = 0;
  waveCounter_ = 0;
  colourIndex_ = 0;
  blinkOn_ = false;
  lastToggle_ = Now();
  hue_.fill(0);
  ripple_.fill(0);
  pressed_.fill(0);
  level_.fill(0);
  counter_.fill(0);
  for (auto& f : fronts_) f.fill(0);
  spectrum_.fill(0);
  audioColours_.fill(0);
  columnFlags_.fill(1);
  beatTotal_ = 0;
  audioBin_ = 0;
}

void CKeyboardLighting::InitModeLocked() {
  ResetLocked();
  const int mode = info_.selectItem;
  // LEDs no effect reaches start dark rather than keep the last mode's colour.
  if (mode != kModeCustom)
    for (int i = kKeys; i < ledCount_; ++i) leds_[static_cast<std::size_t>(i)] = LedColour{};
  switch (mode) {
    case 13:
      SetFrontBit(9, 6);
      break;
    case 15:
      for (int c = 0; c < kColumns; ++c)
        for (int r = 0; r < kRows; ++r) {
          const int k = KeyAt(c, r);
          if (k == kNoKey) continue;
          level_[static_cast<std::size_t>(k)] = kTwinkle[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)];
          hue_[static_cast<std::size_t>(k)] = static_cast<uint8_t>(6 * c);
        }
      break;
    case 16:
      SetFrontBit(1, 0);
      break;
    case kModeCustom:
      break;  // the page loads the colours (profile or keyboard)
    case 33:
      for (int c = 0; c < kColumns; ++c) {
        int v = 192 - 8 * c;
        for (int cell = 0; cell < 7; ++cell) {
          const int k = kRainbowField[static_cast<std::size_t>(c)][static_cast<std::size_t>(cell)];
          if (k != 255 && k < kLeds) {
            counter_[static_cast<std::size_t>(k)] = static_cast<uint8_t>(v);
            hue_[static_cast<std::size_t>(k)] = static_cast<uint8_t>(7 * c);
          }
          v = v >= 35 ? v - 35 : static_cast<uint8_t>(v - 98);
        }
      }
      break;
    default: {
      int s = 0;
      for (int k = 0; k < kLeds; ++k) {
        s += 33;
        if (s > kHues) s -= kHues;
        hue_[static_cast<std::size_t>(k)] = static_cast<uint8_t>(s);
      }
      break;
    }
  }
}

// ---------------------------------------------------------------- helpers

int CKeyboardLighting::S() const { return kBrightness[static_cast<std::size_t>(Clamp4(info_.light))]; }

void CKeyboardLighting::Put(int led, Rgb c, int intensity) {
  if (led < 0 || led >= ledCount_) return;
  leds_[static_cast<std::size_t>(led)] = {c.red, c.green, c.blue, static_cast<uint8_t>(std::clamp(intensity, 0, 255))};
}

Rgb CKeyboardLighting::EffectColour(int led) const {
  if (info_.multiColor) return kWheel[hue_[static_cast<std::size_t>(led)]];
  return {info_.red, info_.green, info_.blue};
}

void CKeyboardLighting::PutEffect(int led, int intensity) { Put(led, EffectColour(led), intensity); }

template <typename Fn>
void CKeyboardLighting::PutAll(Fn&& step) {
  wholefx::State st{step_, colourIndex_, static_cast<uint8_t>(blinkOn_ ? 1 : 0), lastToggle_};
  const LedColour c = step(st);
  step_ = st.step;
  colourIndex_ = st.colourIndex;
  blinkOn_ = st.phase != 0;
  lastToggle_ = st.lastToggleMs;
  for (int i = 0; i < ledCount_; ++i) leds_[static_cast<std::size_t>(i)] = c;
}

int CKeyboardLighting::DecayLevel(int led, int mode) {
  uint8_t& level = level_[static_cast<std::size_t>(led)];
  if (level == 0) return 0;
  for (const auto& band : preview::kDecayBands) {
    if (level < band.from) continue;
    const int by = mode == 0 ? band.mode0 : mode == kModeAudio ? band.mode29 : band.other;
    level = static_cast<uint8_t>(std::max(0, level - by));
    break;
  }
  return level;
}

uint8_t CKeyboardLighting::RandomHue() { return static_cast<uint8_t>(rng_() % kHues); }

void CKeyboardLighting::SetFrontBit(int column, int row) {
  for (auto& f : fronts_) f[static_cast<std::size_t>(column)] |= static_cast<uint8_t>(1u << row);
}

uint8_t CKeyboardLighting::CombinedFront(int column) const {
  uint8_t v = 0;
  for (const auto& f : fronts_) v |= f[static_cast<std::size_t>(column)];
  return v;
}

void CKeyboardLighting::LightWaveFronts() {
  for (int c = 0; c < kColumns; ++c) {
    const uint8_t bits = CombinedFront(c);
    for (int r = 0; r < kRows; ++r) {
      if (!(bits & (1u << r))) continue;
      const int k = KeyAt(c, r);
      if (k == kNoKey) continue;
      level_[static_cast<std::size_t>(k)] = 255;
      if (info_.multiColor) hue_[static_cast<std::size_t>(k)] = RandomHue();
    }
  }
}

void CKeyboardLighting::AdvanceWaveFronts() {
  auto& a = fronts_[0];
  auto& b = fronts_[1];
  auto& c = fronts_[2];
  auto& d = fronts_[3];
  auto u8 = [](int v) { return static_cast<uint8_t>(v); };
  a[0] = u8(a[0] >> 1);
  for (int i = 1; i < kColumns; ++i) {
    a[i - 1] = u8(a[i - 1] | a[i]);
    a[i] = u8(a[i] >> 1);
  }
  for (int i = 1; i < kColumns; ++i) d[i - 1] = u8((d[i - 1] << 1) | d[i]);
  d[kColumns - 1] = u8(d[kColumns - 1] << 1);
  b[kColumns - 1] = u8(b[kColumns - 1] >> 1);
  for (int i = kColumns - 2; i >= 0; --i) {
    b[i + 1] = u8(b[i + 1] | b[i]);
    b[i] = u8(b[i] >> 1);
  }
  c[kColumns - 1] = u8(c[kColumns - 1] << 1);
  for (int i = kColumns - 2; i >= 0; --i) {
    c[i + 1] = u8(c[i + 1] | c[i]);
    c[i] = u8(c[i] << 1);
  }
}

void CKeyboardLighting::ClearWaveFronts() {
  for (auto& f : fronts_) f.fill(0);
}

void CKeyboardLighting::StartWaveFromKey(int key, int action) {
  if (action != 1 || key < 0 || key >= kLeds) return;
  const Cell cell = kCells[static_cast<std::size_t>(key)];
  if (cell.column < 0) return;
  SetFrontBit(cell.column, cell.row);
}

void CKeyboardLighting::LightKey(int key, int action) {
  if (key < 0 || key >= kLeds) return;
  const auto k = static_cast<std::size_t>(key);
  ripple_[k] = static_cast<uint8_t>(action);
  level_[k] = 255;
  hue_[k] = RandomHue();
}

bool CKeyboardLighting::HasPressedNeighbour(int column, int row, int key) const {
  // A held key keeps its own cell lit too.
  const int self = KeyAt(column, row);
  if (self != kNoKey && self != key && pressed_[static_cast<std::size_t>(self)]) return true;
  for (const auto& o : kRipple) {
    const int k = KeyAt(column + o.dc, row + o.dr);
    if (k != kNoKey && k != key && pressed_[static_cast<std::size_t>(k)]) return true;
  }
  return false;
}

void CKeyboardLighting::RippleFromKey(int key, int action) {
  if (!IsKey(key)) return;
  const Cell cell = kCells[static_cast<std::size_t>(key)];
  if (cell.column < 0) return;
  const auto k = static_cast<std::size_t>(key);
  if (action == 1) {
    ripple_[k] = 1;
    pressed_[k] = 1;
    level_[k] = 255;
    for (const auto& o : kRipple) {
      const int n = KeyAt(cell.column + o.dc, cell.row + o.dr);
      if (n == kNoKey) continue;
      const int add = o.kind == 1 ? 150 : o.kind == 2 ? 90 : 60;
      auto& lv = level_[static_cast<std::size_t>(n)];
      lv = static_cast<uint8_t>(std::min(255, lv + add));
      ripple_[static_cast<std::size_t>(n)] = 1;
    }
  } else if (action == 2) {
    for (const auto& o : kRipple) {
      const int nc = cell.column + o.dc, nr = cell.row + o.dr;
      const int n = KeyAt(nc, nr);
      if (n == kNoKey || HasPressedNeighbour(nc, nr, key)) continue;
      auto& lv = level_[static_cast<std::size_t>(n)];
      lv = static_cast<uint8_t>(std::max(0, lv - (o.kind == 1 ? 15 : 90)));
      ripple_[static_cast<std::size_t>(n)] = 2;
    }
    if (!HasPressedNeighbour(cell.column, cell.row, key)) ripple_[k] = 2;
    pressed_[k] = 0;
  }
}

void CKeyboardLighting::ReactToKey(int key, int action) {
  switch (info_.selectItem) {
    case 25: RippleFromKey(key, action); break;
    case 8:
    case 9: StartWaveFromKey(key, action); break;
    case 7: LightKey(key, action); break;
    default: break;
  }
}

void CKeyboardLighting::OnKeyEvent(int key, bool pressed) {
  if (key < 0 || key >= kLeds) {
    Trace("lighting: key %d out of range", key);
    return;
  }
  Lock lk(mutex_);
  ReactToKey(key, pressed ? 1 : 2);
}

void CKeyboardLighting::FeedAudioSpectrum(const void* data, int count) {
  if (!data || count <= 0) return;
  count = std::min(count, 500);
  Lock lk(mutex_);
  // Only what the caller handed over is read; the rest of the buffer stays.
  std::memcpy(spectrum_.data(), data, std::min<std::size_t>(static_cast<std::size_t>(count), sizeof(spectrum_)));
  if (audio_.audioMode == 2) {
    int sum = 0;
    for (int32_t v : spectrum_) sum += BarHeight(v);
    beatTotal_ += kSpectrumBins - (sum / kSpectrumBins) * 25 / 600;
    if (beatTotal_ >= 71) {
      beatTotal_ = 0;
      StartWaveFromKey(51, 1);
    }
  }
}

void CKeyboardLighting::FeedAudioColours(const int32_t* data, int count) {
  if (!data || count <= 0) return;
  Lock lk(mutex_);
  std::copy_n(data, std::min(count, 6), audioColours_.begin());
}

// ---------------------------------------------------------------- stepping

int CKeyboardLighting::ThresholdLocked() const {
  const int m = info_.selectItem;
  const auto v = static_cast<std::size_t>(Clamp4(info_.speed));
  if (!IsStepMode(m)) return 0;
  if (m == 16 || m == 18) return kThresholdSlow[v];
  if (m == 27 || m == 30 || m == 32 || m == 33 || m == 34) return kThresholdEvery[v];
  if (m == kModeAudio) return kAudioThreshold;
  return kThreshold[v];
}

int CKeyboardLighting::Threshold() const {
  Lock lk(mutex_);
  return ThresholdLocked();
}

int CKeyboardLighting::TicksUntilDue() const {
  Lock lk(mutex_);
  if (customActive_ || !IsStepMode(info_.selectItem)) return kFrameTicks;
  return std::max(kFrameTicks, ThresholdLocked() - count_);
}

bool CKeyboardLighting::Streams() const {
  Lock lk(mutex_);
  return IsStreamMode(info_.selectItem);
}

bool CKeyboardLighting::OutputWanted() const {
  Lock lk(mutex_);
  return previewSeen_ || (deviceFed_ && IsStreamMode(info_.selectItem));
}

bool CKeyboardLighting::HoldsStill() const {
  Lock lk(mutex_);
  if (customActive_) {
    for (const LightListEntry& e : custom_) {
      // Breathing, blink and colour cycle move; static and off do not.
      if (e.valid && e.mode != 1 && e.mode != 4) return false;
    }
  }
  switch (info_.selectItem) {
    case 6:   // static
    case 17:  // static cycle: one hue chosen by "Fx"
    case kModeCustom:
    case 21:  // off
      return true;
    default:
      break;
  }
  if (IsStepMode(info_.selectItem)) return false;
  // An effect list that never leaves one static (or dark) step.
  if (effects_.empty()) return true;
  if (effects_.size() > 1) return false;
  const int type = effects_.front().mode;
  return type != 0 && type != 2 && type != 4 && type != 5;
}

bool CKeyboardLighting::Step() {
  Lock lk(mutex_);
  return StepLocked();
}

ILightEngine::Stepped CKeyboardLighting::Advance(int ticks) {
  Lock lk(mutex_);
  const int full = ReplayedTicks(ticks);
  if (ticks > full) count_ = std::min(count_ + ticks - full, 1 << 20);
  Stepped r;
  for (int t = 0; t < full; ++t) r.stepped = StepLocked() || r.stepped;
  // Against the frame last reported, so writes between steps (custom
  // colours from the keyboard, a filled group) count as well.
  r.changed = !std::equal(reported_.begin(), reported_.begin() + ledCount_, leds_.begin());
  if (r.changed) std::copy_n(leds_.begin(), ledCount_, reported_.begin());
  return r;
}

void CKeyboardLighting::RunModeStep() {
  Lock lk(mutex_);
  ModeStepLocked();
}

bool CKeyboardLighting::StepLocked() {
  ++count_;
  bool drew = customActive_;
  if (!IsStepMode(info_.selectItem)) {
    StepEffectList();
    drew = true;
  } else if (count_ >= ThresholdLocked()) {
    ModeStepLocked();
    count_ = 0;
    drew = true;
  }
  OverlayLocked();
  return drew;
}

void CKeyboardLighting::ModeStepLocked() {
  switch (info_.selectItem) {
    case 1: StepWave(); break;
    case 2: StepVerticalWave(); break;
    case 3: StepOrderWave(); break;
    case 4: StepSpectrum(); break;
    case 5: StepBreathing(); break;
    case 6: StepStatic(); break;
    case 7:
    case 25: StepKeyFade(); break;
    case 8: StepReactiveHue(); break;
    case 9: StepWaveFronts(); break;
    case 10: StepStarlight(); break;
    case 11: StepHueRotate(); break;
    case 12: StepRowRainbow(); break;
    case 13: StepCornerWave(); break;
    case 14: StepFirework(); break;
    case 15: StepTwinkle(); break;
    case 16: StepSideWave(); break;
    case 17: StepStaticCycle(); break;
    case 18: StepRing(); break;
    case 19: StepRainDrops(); break;
    case 20: StepCustomColours(); break;
    case 21: StepOff(); break;
    case 26: StepBreathingFourColours(); break;
    case 27: StepBlink(true); break;
    case 29: StepAudio(); break;
    case 30: StepAudioColour(); break;
    case 32: StepRunningLight(); break;
    case 33: StepRainbowField(); break;
    case 34: StepBlink(false); break;
    default: StepEffectList(); break;
  }
}

// ---------------------------------------------------------------- mode steps

namespace {
template <typename F>
void ForColumnKeys(int column, F&& f) {
  for (int r = 0; r < kRows; ++r) {
    const int k = KeyAt(column, r);
    if (k != kNoKey) f(k);
  }
}
template <typename F>
void ForOrderKeys(F&& f) {
  for (uint8_t k : kKeyOrder)
    if (IsKey(k)) f(static_cast<int>(k));
}
}  // namespace

void CKeyboardLighting::StepWave() {
  if (info_.multiColor) {
    step_ = Cycle(info_.fx, kHues, step_, 1);
    int h = (step_ + 1) % kHues;
    for (int c = 0; c < kColumns; ++c, h = (h + 7) % kHues)
      ForColumnKeys(c, [&](int k) { Put(k, kWheel[static_cast<std::size_t>(h)], S()); });
  } else {
    step_ = Cycle(info_.fx, 96, step_ % 96, 1);
    int w = (step_ + 1) % 96;
    const Rgb col{info_.red, info_.green, info_.blue};
    for (int c = 0; c < kColumns; ++c, w = (w + 7) % 96)
      ForColumnKeys(c, [&](int k) { Put(k, col, S() * kWave[static_cast<std::size_t>(w)] / 256); });
  }
}

void CKeyboardLighting::StepVerticalWave() {
  if (info_.multiColor) {
    step_ = Cycle(info_.fx, kHues, step_, 1);
    int h = (step_ + 1) % kHues;
    for (int c = 0; c < kColumns; ++c, h = (h + 2) % kHues)
      ForColumnKeys(c, [&](int k) { Put(k, kWheel[static_cast<std::size_t>(h)], S()); });
  } else {
    step_ = Cycle(info_.fx, 128, step_ % 128, 1);
    int w = step_;
    const Rgb col{info_.red, info_.green, info_.blue};
    for (int c = 0; c < kColumns; ++c, w = (w + 7) % 128)
      ForColumnKeys(c, [&](int k) { Put(k, col, S() * kFade[static_cast<std::size_t>(w)] / 256); });
  }
}

void CKeyboardLighting::StepOrderWave() {
  if (info_.multiColor) {
    step_ = Cycle(info_.fx, kHues, step_, 1);
    int h = (step_ + 1) % kHues;
    ForOrderKeys([&](int k) {
      Put(k, kWheel[static_cast<std::size_t>(h)], S());
      h = (h + 5) % kHues;
    });
  } else {
    step_ = Cycle(info_.fx, 96, step_ % 96, 1);
    int w = (step_ + 1) % 96;
    const Rgb col{info_.red, info_.green, info_.blue};
    ForOrderKeys([&](int k) {
      Put(k, col, S() * kWave[static_cast<std::size_t>(w)] / 256);
      w = (w + 5) % 96;
    });
  }
}

void CKeyboardLighting::StepSpectrum() {
  PutAll([&](wholefx::State& st) { return wholefx::Spectrum(info_, st); });
}

void CKeyboardLighting::StepBreathing() {
  step_ = static_cast<uint8_t>(step_ >= 127 ? 0 : step_ + 1);
  const int intensity = kBreath[step_] * S() / 256;
  for (int c = 0; c < kColumns; ++c) {
    const Rgb col = info_.multiColor ? kWheel[static_cast<std::size_t>(7 * c)] : Rgb{info_.red, info_.green, info_.blue};
    ForColumnKeys(c, [&](int k) { Put(k, col, intensity); });
  }
}

void CKeyboardLighting::StepStatic() {
  if (info_.multiColor) {
    for (std::size_t i = 0; i < kRings.size(); ++i) {
      int h = 150 - 12 * static_cast<int>(i + 1);
      if (h < 0 || h >= kHues) h = 150;
      for (uint8_t k : kRings[i])
        if (IsKey(k)) Put(k, kWheel[static_cast<std::size_t>(h)], S());
    }
  } else {
    for (int i = 0; i < ledCount_; ++i) Put(i, {info_.red, info_.green, info_.blue}, S());
  }
}

void CKeyboardLighting::StepKeyFade() {
  for (int i = 0; i < ledCount_; ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (ripple_[k] == 1) {
      level_[k] = static_cast<uint8_t>(std::min(255, level_[k] + 15));
    } else if (ripple_[k] == 2) {
      level_[k] = static_cast<uint8_t>(std::max(0, level_[k] - 5));
      if (level_[k] == 0) ripple_[k] = 0;
    }
    PutEffect(i, S() * level_[k] / 256);
  }
}

void CKeyboardLighting::StepReactiveHue() {
  LightWaveFronts();
  AdvanceWaveFronts();
  for (int i = 0; i < ledCount_; ++i) {
    const int lv = DecayLevel(i, 8);
    hue_[static_cast<std::size_t>(i)] = Cycle(1, kHues, hue_[static_cast<std::size_t>(i)], 7);
    PutEffect(i, S() * lv / 256);
  }
}

void CKeyboardLighting::StepWaveFronts() {
  LightWaveFronts();
  ClearWaveFronts();
  for (int i = 0; i < ledCount_; ++i) PutEffect(i, S() * DecayLevel(i, 9) / 256);
}

void CKeyboardLighting::StepStarlight() {
  for (int n = 0; n < 6; ++n) {
    const int key = kStarKeys[kStarStarts[rng_() % kStarStarts.size()]];
    level_[static_cast<std::size_t>(key)] = 255;
    hue_[static_cast<std::size_t>(key)] = RandomHue();
  }
  for (int i = 0; i < ledCount_; ++i) PutEffect(i, S() * DecayLevel(i, 10) / 256);
}

void CKeyboardLighting::StepHueRotate() {
  for (int i = 0; i < ledCount_; ++i) {
    auto& h = hue_[static_cast<std::size_t>(i)];
    h = static_cast<uint8_t>(h >= kHues - 1 ? 0 : h + 1);
    Put(i, kWheel[h], S());
  }
}

void CKeyboardLighting::StepRowRainbow() {
  step_ = Cycle(info_.fx, kHues, step_, 1);
  int h = (step_ + 1) % kHues;
  for (int r = 0; r < kRows; ++r, h = (h + 24) % kHues)
    for (int c = 0; c < kColumns; ++c) {
      const int k = KeyAt(c, r);
      if (k != kNoKey) Put(k, kWheel[static_cast<std::size_t>(h)], S());
    }
}

void CKeyboardLighting::StepCornerWave() {
  const uint8_t bits = CombinedFront(9);
  if (bits == 0x01) SetFrontBit(9, 0);
  if (bits == 0x40) SetFrontBit(9, 6);
  waveCounter_ ^= 1;
  if (waveCounter_) {
    LightWaveFronts();
    AdvanceWaveFronts();
  }
  for (int i = 0; i < ledCount_; ++i) PutEffect(i, S() * DecayLevel(i, 13) / 256);
}

void CKeyboardLighting::StepFirework() {
  auto light = [this](int key) {
    if (!IsKey(key)) return;
    level_[static_cast<std::size_t>(key)] = 255;
    if (info_.multiColor) hue_[static_cast<std::size_t>(key)] = RandomHue();
  };
  switch (waveCounter_) {
    case 0:
      for (uint8_t k : kLaunch[std::min<std::size_t>(step_, kLaunch.size() - 1)]) light(k);
      if (++step_ >= kLaunch.size()) {
        waveCounter_ = 1;
        step_ = 0;
      }
      break;
    case 1:
      if (step_ <= 30) {
        for (uint8_t k : kBurst[step_ % kBurst.size()]) light(k);
        ++step_;
      } else if (level_[72] == 0) {
        waveCounter_ = 2;
        step_ = 0;
      }
      break;
    case 2:
      StartWaveFromKey(52, 1);
      waveCounter_ = 3;
      break;
    case 3: {
      LightWaveFronts();
      AdvanceWaveFronts();
      bool any = false;
      for (int c = 0; c < kColumns; ++c) any |= (CombinedFront(c) & 0x3F) != 0;
      // A wave that died out before reaching key 125 must not stop the show.
      if (level_[125] != 0 || !any) waveCounter_ = 4;
      break;
    }
    default:
      if (level_[125] == 0) {
        ClearWaveFronts();
        waveCounter_ = 0;
        step_ = 0;
      }
      break;
  }
  for (int i = 0; i < ledCount_; ++i) PutEffect(i, S() * DecayLevel(i, 14) / 256);
}

void CKeyboardLighting::StepTwinkle() {
  ForOrderKeys([&](int k) {
    auto& lv = level_[static_cast<std::size_t>(k)];
    lv = static_cast<uint8_t>(std::min(255, lv + 2));
    if (lv >= kHues) {
      lv = 0;
      hue_[static_cast<std::size_t>(k)] = RandomHue();
    }
    PutEffect(k, S() * kFade[lv] / 256);
  });
  for (int k = 0; k < kKeys; ++k)
    if (!kInOrder[static_cast<std::size_t>(k)]) Put(k, {0, 0, 0}, 0);
}

void CKeyboardLighting::StepSideWave() {
  if (CombinedFront(1) == 0x01) SetFrontBit(1, 0);
  if (CombinedFront(22) == 0x40) SetFrontBit(22, 6);
  LightWaveFronts();
  AdvanceWaveFronts();
  ForOrderKeys([&](int k) { PutEffect(k, S() * DecayLevel(k, 16) / 256); });
  // Keys outside the order list take no part (they would never fade).
  for (int k = 0; k < kKeys; ++k)
    if (!kInOrder[static_cast<std::size_t>(k)]) {
      level_[static_cast<std::size_t>(k)] = 0;
      Put(k, {0, 0, 0}, 0);
    }
}

void CKeyboardLighting::StepStaticCycle() {
  const int h = info_.fx == 1 ? 25 : info_.fx == 2 ? 70 : info_.fx == 3 ? 95 : 174;
  for (int i = 0; i < ledCount_; ++i) Put(i, kWheel[static_cast<std::size_t>(h)], S());
}

void CKeyboardLighting::StepRing() {
  step_ = Cycle(info_.fx, kHues, step_, 1);
  for (std::size_t i = 0; i < kRings.size(); ++i) {
    const auto h = static_cast<std::size_t>((step_ + 7 * static_cast<int>(i + 1)) % kHues);
    for (uint8_t k : kRings[i])
      if (IsKey(k) && kInOrder[k]) Put(k, kWheel[h], S());
  }
}

void CKeyboardLighting::StepRainDrops() {
  step_ = Cycle(info_.fx, 52, step_ % 52, 1);
  for (uint8_t k : kRain[step_])
    if (IsKey(k)) {
      level_[k] = 255;
      hue_[k] = 0;
    }
  for (int i = 0; i < ledCount_; ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (level_[k]) level_[k] = static_cast<uint8_t>(std::max(0, level_[k] - 5));
    if (hue_[k] != 255) hue_[k] = static_cast<uint8_t>(std::min(255, hue_[k] + 3));
    if (info_.multiColor)
      Put(i, kWheel[hue_[k]], S());
    else
      Put(i, {info_.red, info_.green, info_.blue}, S() * level_[k] / 256);
  }
}

void CKeyboardLighting::StepCustomColours() {
  const auto s = static_cast<uint8_t>(S());
  for (int i = 0; i < ledCount_; ++i) leds_[static_cast<std::size_t>(i)].alpha = s;
}

void CKeyboardLighting::StepOff() {
  for (int i = 0; i < ledCount_; ++i) leds_[static_cast<std::size_t>(i)] = LedColour{};
}

void CKeyboardLighting::StepBreathingFourColours() {
  PutAll([&](wholefx::State& st) { return wholefx::BreathingFourColours(info_, st); });
}

void CKeyboardLighting::StepBlink(bool fourColours) {
  const uint64_t now = Now();
  PutAll([&](wholefx::State& st) {
    return fourColours ? wholefx::BlinkFourColours(info_, st, now)
                       : wholefx::Blink(info_, st, now, preview::kWheelJump);
  });
}

void CKeyboardLighting::StepAudioColour() {
  const Rgb c{static_cast<uint8_t>(audioColours_[0]), static_cast<uint8_t>(audioColours_[1]),
              static_cast<uint8_t>(audioColours_[2])};
  for (int i = 0; i < ledCount_; ++i) Put(i, c, S());
}

void CKeyboardLighting::StepRunningLight() {
  if (info_.fx) {
    const uint8_t k = kRunOrder[step_ % kLeds];
    if (IsKey(k)) level_[k] = 254;
    step_ = static_cast<uint8_t>(step_ >= kLeds - 1 ? 0 : step_ + 1);
  } else {
    step_ = static_cast<uint8_t>(step_ == 0 || step_ > kLeds - 1 ? kLeds - 1 : step_ - 1);
    const uint8_t k = kRunOrder[step_];
    if (IsKey(k)) level_[k] = 254;
  }
  ForOrderKeys([&](int k) { PutEffect(k, S() * DecayLevel(k, 32) / 256); });
  for (int k = 0; k < kKeys; ++k)
    if (!kInOrder[static_cast<std::size_t>(k)]) {
      level_[static_cast<std::size_t>(k)] = 0;
      Put(k, {0, 0, 0}, 0);
    }
}

void CKeyboardLighting::StepRainbowField() {
  ForOrderKeys([&](int k) {
    auto& n = counter_[static_cast<std::size_t>(k)];
    n = static_cast<uint8_t>(n + 1 >= kHues ? 0 : n + 1);
    if (n == 0) hue_[static_cast<std::size_t>(k)] = RandomHue();
    PutEffect(k, S() * kFade[n] / 256);
  });
  for (int k = 0; k < kKeys; ++k)
    if (!kInOrder[static_cast<std::size_t>(k)]) Put(k, {0, 0, 0}, 0);
}

// ---------------------------------------------------------------- audio

int CKeyboardLighting::BarHeight(int32_t level) const {
  // 600 for silence down to 0 for a full bar; louder than full stays full.
  const int64_t t = int64_t{level} * 600 / 2000;
  return static_cast<int>(std::clamp<int64_t>(600 - t, 0, 600));
}

Rgb CKeyboardLighting::AudioBarColour(int hue) const {
  if (audio_.sevenColor) return kWheel[static_cast<std::size_t>(((hue % kHues) + kHues) % kHues)];
  return {audio_.fgRed, audio_.fgGreen, audio_.fgBlue};
}

// One bar along a line of keys listed from its base outward: the first
// `length` keys are lit, the rest fade from the far end back.
void CKeyboardLighting::AudioBars(bool vertical, int line, int length, bool fromEnd, Rgb bar) {
  std::array<int, kColumns> keys{};
  int n = 0;
  if (vertical) {
    for (int r = kRows - 1; r >= 0; --r) keys[static_cast<std::size_t>(n++)] = KeyAt(line, r);
  } else {
    for (int i = 0; i < kColumns; ++i) keys[static_cast<std::size_t>(n++)] = KeyAt(fromEnd ? kColumns - 1 - i : i, line);
  }
  const Rgb bk{audio_.bkRed, audio_.bkGreen, audio_.bkBlue};
  for (int i = n - 1; i >= 0; --i) {
    const int k = keys[static_cast<std::size_t>(i)];
    if (k == kNoKey) continue;
    auto& lv = level_[static_cast<std::size_t>(k)];
    if (i < length) {
      lv = 255;
    } else {
      const int outer = i + 1 < n ? keys[static_cast<std::size_t>(i + 1)] : kNoKey;
      if (outer == kNoKey || level_[static_cast<std::size_t>(outer)] < 10) DecayLevel(k, kModeAudio);
    }
    if (lv > 9)
      Put(k, bar, S() * lv / 256);
    else
      Put(k, bk, S());
  }
}

void CKeyboardLighting::AudioColumns(bool latched) {
  if (++waveCounter_ >= 31) {
    waveCounter_ = 0;
    audioBin_ = (audioBin_ + 1) % kSpectrumBins;
  }
  for (int c = 0; c < kColumns; ++c) {
    const int h = BarHeight(spectrum_[static_cast<std::size_t>((audioBin_ + c) % kSpectrumBins)]);
    int length = kRows - std::min(kRows, (h + 100) * 6 / 600);
    auto& flag = columnFlags_[static_cast<std::size_t>(c)];
    if (latched) {
      // flag > 0: key flag - 1 tops the last bar; the column waits for it to fade.
      if (flag > 1 && level_[static_cast<std::size_t>(flag - 2)] < 10) flag = 1;
      if (flag > 1) length = 0;
      else if (length > 0) {
        const int top = KeyAt(c, kRows - length);
        if (top != kNoKey) flag = top + 2;
      }
    }
    AudioBars(true, c, length, false, AudioBarColour(step_ + 10 * c));
  }
  step_ = static_cast<uint8_t>((step_ + 1) % kHues);
}

void CKeyboardLighting::AudioSplitColumns() {
  if (++waveCounter_ >= 31) {
    waveCounter_ = 0;
    audioBin_ = (audioBin_ + 1) % kSpectrumBins;
  }
  for (int c = 0; c < kColumns; ++c) {
    const int bin = c < 9 ? (audioBin_ + c) % kSpectrumBins : (audioBin_ + 12 + c - 9) % kSpectrumBins;
    const int h = BarHeight(spectrum_[static_cast<std::size_t>(bin)]);
    const int length = kRows - std::min(kRows, (h + 100) * 6 / 600);
    AudioBars(true, c, length, false, AudioBarColour(step_ + 7 * c));
  }
  step_ = static_cast<uint8_t>((step_ + 1) % kHues);
}

void CKeyboardLighting::AudioBeatWaves() {
  LightWaveFronts();
  AdvanceWaveFronts();
  const Rgb bk{audio_.bkRed, audio_.bkGreen, audio_.bkBlue};
  for (int i = 0; i < kKeys; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const int lv = DecayLevel(i, kModeAudio);
    hue_[k] = static_cast<uint8_t>((hue_[k] + 9) % kHues);
    if (lv > 9)
      Put(i, AudioBarColour(hue_[k]), S() * lv / 256);
    else
      Put(i, bk, S());
  }
}

void CKeyboardLighting::AudioRings() {
  int sum = 0;
  for (int32_t v : spectrum_) sum += BarHeight(v);
  const int average = sum / kSpectrumBins;
  const int lit = 20 - average * 20 / 600;
  step_ = static_cast<uint8_t>((step_ + average) % kHues);
  const Rgb bk{audio_.bkRed, audio_.bkGreen, audio_.bkBlue};
  for (int i = 0; i < static_cast<int>(kRings.size()); ++i) {
    const auto h = static_cast<std::size_t>((step_ + 9 * i) % kHues);
    for (uint8_t k : kRings[static_cast<std::size_t>(i)]) {
      if (!IsKey(k)) continue;
      if (i < lit) {
        level_[k] = 255;
        Put(k, kWheel[h], S());
      } else {
        const int lv = DecayLevel(k, 0);
        if (lv > 9)
          Put(k, kWheel[h], S() * lv / 256);
        else
          Put(k, bk, S());
      }
    }
  }
}

void CKeyboardLighting::AudioBands(bool alternating) {
  static constexpr std::array<int, 6> kBandsA = {2, 3, 3, 4, 5, 7};
  static constexpr std::array<int, 6> kBandsB = {2, 2, 3, 4, 5, 5};
  const auto& sizes = alternating ? kBandsB : kBandsA;
  std::array<int, 6> heights{};
  int bin = 0;
  for (std::size_t b = 0; b < 6; ++b) {
    int64_t sum = 0;
    for (int i = 0; i < sizes[b]; ++i) sum += spectrum_[static_cast<std::size_t>(bin++)];
    heights[b] = BarHeight(static_cast<int32_t>(std::clamp<int64_t>(sum / 3, INT32_MIN, INT32_MAX)));
  }
  for (int r = 0; r < kRows; ++r) {
    int length;
    bool fromRight = false;
    if (alternating) {
      length = (600 - heights[static_cast<std::size_t>(r)]) * kColumns / 600;
      fromRight = r % 2 == 0;
    } else {
      length = std::max(0, kColumns - (heights[static_cast<std::size_t>(5 - r)] * kColumns + 2300) / 600);
    }
    AudioBars(false, r, length, fromRight, AudioBarColour(step_ + 24 * r));
  }
  step_ = static_cast<uint8_t>((step_ + 1) % kHues);
}

void CKeyboardLighting::StepAudio() {
  switch (audio_.audioMode) {
    case 0: AudioColumns(false); break;
    case 1: AudioSplitColumns(); break;
    case 2: AudioBeatWaves(); break;
    case 3: AudioRings(); break;
    case 4: AudioColumns(true); break;
    case 5: AudioBands(false); break;
    case 6: AudioBands(true); break;
    default: AudioColumns(false); break;
  }
  spectrum_.fill(0);
}

// ---------------------------------------------------------------- effect list

void CKeyboardLighting::StepEffectList() {
  if (effects_.empty()) return StepOff();
  if (effectStep_ >= static_cast<int>(effects_.size())) effectStep_ = 0;
  const LedEffectStep& e = effects_[static_cast<std::size_t>(effectStep_)];
  ++effectPasses_;
  const int rate = kPassRate[static_cast<std::size_t>(Clamp4(e.speed))];
  const int s = kBrightness[static_cast<std::size_t>(Clamp4(e.brightness))];
  const Rgb colour{e.red, e.green, e.blue};
  const bool due = effectPasses_ % rate == 0;
  switch (e.mode) {
    case 0:
      if (due) effectIndex_ = static_cast<uint8_t>(effectIndex_ >= 127 ? 0 : effectIndex_ + 1);
      for (int i = 0; i < ledCount_; ++i)
        Put(i, e.multiColor ? kWheel[effectHue_] : colour, kBreath[effectIndex_ % 128] * s / 256);
      break;
    case 1:
      for (int i = 0; i < ledCount_; ++i) Put(i, colour, s);
      break;
    case 2: {
      effectCounter_ = static_cast<uint8_t>(effectCounter_ >= 127 ? 0 : effectCounter_ + 1);
      const uint64_t now = Now();
      const uint64_t period =
          uint64_t{preview::kPassRate[static_cast<std::size_t>(Clamp4(info_.speed))]} * preview::kBlinkUnitMs;
      if (now - effectToggle_ >= period) {
        effectToggle_ = now;
        effectBlinkOn_ = !effectBlinkOn_;
        effectHue_ = static_cast<uint8_t>(effectCounter_ + 14);
      }
      for (int i = 0; i < ledCount_; ++i)
        if (effectBlinkOn_)
          Put(i, e.multiColor ? kWheel[effectHue_] : colour, s);
        else
          leds_[static_cast<std::size_t>(i)] = LedColour{};
      break;
    }
    case 4:
      if (due) effectIndex_ = static_cast<uint8_t>((effectIndex_ + 1) % kHues);
      for (int i = 0; i < ledCount_; ++i) {
        if (e.multiColor)
          Put(i, kWheel[static_cast<std::size_t>((effectIndex_ + 12 * i) % kHues)], s);
        else
          Put(i, colour, s * kWave[static_cast<std::size_t>((effectIndex_ + 12 * i) % 96)] / 256);
      }
      break;
    case 5:
      if (effectPasses_ % std::max(1, static_cast<int>(kThreshold[static_cast<std::size_t>(Clamp4(e.speed))])) == 0)
        effectIndex_ = static_cast<uint8_t>((effectIndex_ + 1) % kHues);
      for (int i = 0; i < ledCount_; ++i) Put(i, kWheel[effectIndex_], s);
      break;
    default:
      StepOff();
      break;
  }
  const uint64_t now = Now();
  if (now - effectStart_ >= static_cast<uint64_t>(std::max(0, e.time))) {
    effectStep_ = (effectStep_ + 1) % static_cast<int>(effects_.size());
    effectStart_ = now;
  }
}

// ---------------------------------------------------------------- per-key effects

void CKeyboardLighting::OverlayLocked() {
  if (!customActive_) return;
  const uint64_t now = Now();
  const std::size_t n = std::min(custom_.size(), static_cast<std::size_t>(ledCount_));
  for (std::size_t i = 0; i < n; ++i) {
    const LightListEntry& e = custom_[i];
    if (!e.valid) continue;
    KeyFx& fx = keyFx_[i];
    const auto speed = static_cast<std::size_t>(Clamp4(e.speed));
    const int s = kBrightness[static_cast<std::size_t>(Clamp4(e.brightness))];
    const Rgb own{e.red, e.green, e.blue};
    const int led = static_cast<int>(i);
    switch (e.mode) {
      case 0: {
        const int next = fx.index + static_cast<int>(speed) + 4;
        if (next > 127) {
          fx.index = 0;
          fx.hue = static_cast<uint8_t>(fx.hue + 1 >= kHues ? 0 : fx.hue + 1);
        } else {
          fx.index = static_cast<uint8_t>(next);
        }
        Put(led, e.multiColor ? kWheel[fx.hue] : own, kBreath[fx.index] * s / 256);
        break;
      }
      case 1:
        Put(led, own, s);
        break;
      case 2:
        if (now - fx.toggle >= uint64_t{preview::kPassRate[speed]} * preview::kBlinkUnitMs) {
          fx.toggle = now;
          fx.on = !fx.on;
          fx.hue = static_cast<uint8_t>(fx.hue + 14 >= kHues ? 0 : fx.hue + 14);
        }
        if (fx.on)
          Put(led, e.multiColor ? kWheel[fx.hue] : own, s);
        else
          leds_[i] = LedColour{};
        break;
      case 3:
        if (++fx.counter >= kPassRate[speed]) {
          fx.counter = 0;
          fx.hue = static_cast<uint8_t>(fx.hue >= kHues - 1 ? 0 : fx.hue + 1);
        }
        Put(led, kWheel[fx.hue], s);
        break;
      case 4:
        leds_[i] = LedColour{};
        break;
      default:
        break;
    }
  }
}

// ---------------------------------------------------------------- table access

void CKeyboardLighting::Snapshot(std::span<LedColour> out) const {
  Lock lk(mutex_);
  const std::size_t n = std::min(out.size(), static_cast<std::size_t>(ledCount_));
  std::copy_n(leds_.begin(), n, out.begin());
}
LedColour CKeyboardLighting::Led(int index) const {
  Lock lk(mutex_);
  return index >= 0 && index < ledCount_ ? leds_[static_cast<std::size_t>(index)] : LedColour{};
}
uint8_t CKeyboardLighting::Level(int led) const {
  Lock lk(mutex_);
  return led >= 0 && led < kLeds ? level_[static_cast<std::size_t>(led)] : 0;
}
uint8_t CKeyboardLighting::Hue(int led) const {
  Lock lk(mutex_);
  return led >= 0 && led < kLeds ? hue_[static_cast<std::size_t>(led)] : 0;
}
uint8_t CKeyboardLighting::RippleState(int led) const {
  Lock lk(mutex_);
  return led >= 0 && led < kLeds ? ripple_[static_cast<std::size_t>(led)] : 0;
}
uint8_t CKeyboardLighting::StepValue() const {
  Lock lk(mutex_);
  return step_;
}
uint8_t CKeyboardLighting::WaveFront(int front, int column) const {
  Lock lk(mutex_);
  if (front < 0 || front >= 4 || column < 0 || column >= kColumns) return 0;
  return fronts_[static_cast<std::size_t>(front)][static_cast<std::size_t>(column)];
}
int CKeyboardLighting::CurrentEffectStep() const {
  Lock lk(mutex_);
  return effectStep_;
}

// ---------------------------------------------------------------- custom colours, stream

std::array<uint8_t, kCustomGroupBytes> CKeyboardLighting::BuildCustomPayload(bool scaled) const {
  Lock lk(mutex_);
  std::array<uint8_t, kCustomGroupBytes> out{};
  if (groupBytesOf_ == info_.customGroup) out = groupBytes_;
  for (int i = 0; i < ledCount_; ++i) {
    const std::size_t d = keyToLed_[static_cast<std::size_t>(i)];
    // The group holds 512 bytes: an entry whose three bytes do not fit is skipped.
    if (d == kNoLed || 3 * d + 2 >= out.size()) continue;
    const LedColour& c = leds_[static_cast<std::size_t>(i)];
    const int a = scaled ? c.alpha : 256;
    out[3 * d] = static_cast<uint8_t>(c.red * a / 256);
    out[3 * d + 1] = static_cast<uint8_t>(c.green * a / 256);
    out[3 * d + 2] = static_cast<uint8_t>(c.blue * a / 256);
  }
  return out;
}

int CKeyboardLighting::WriteCustomColoursToDevice(CDeviceComm& comm, int keyCount, bool force, bool scaled) {
  int group = 0;
  {
    Lock lk(mutex_);
    if (!force && info_.selectItem != kModeCustom) return 0;
    group = info_.customGroup;
  }
  if (!comm.opened.load()) return 0;
  const auto payload = BuildCustomPayload(scaled);
  const auto length = static_cast<uint32_t>(std::clamp(keyCount * 3, 0, static_cast<int>(payload.size())));
  const int r = comm.WriteCustomLight(payload.data(), length, static_cast<uint32_t>(group));
  if (r != CMD_OK) {
    Trace("custom colours of group %d not written (%d)", group, r);
    std::this_thread::sleep_for(std::chrono::milliseconds(kStreamFailPauseMs));
  }
  return r;
}

int CKeyboardLighting::ReadCustomColoursFromDevice(CDeviceComm& comm, int keyCount) {
  if (!comm.opened.load()) return 0;
  int group = 0;
  {
    Lock lk(mutex_);
    group = info_.customGroup;
  }
  std::array<uint8_t, kCustomGroupBytes> buffer{};
  const auto length = static_cast<uint32_t>(std::clamp(keyCount * 3, 0, static_cast<int>(buffer.size())));
  const int r = comm.ReadCustomLight(buffer.data(), length, static_cast<uint32_t>(group));
  if (r != CMD_OK) {
    Trace("custom colours of group %d not read (%d)", group, r);
    return r;
  }
  Lock lk(mutex_);
  groupBytes_ = buffer;
  groupBytesOf_ = group;
  for (int i = 0; i < ledCount_; ++i) {
    const std::size_t d = keyToLed_[static_cast<std::size_t>(i)];
    if (d == kNoLed || 3 * d + 2 >= length) continue;
    LedColour& c = leds_[static_cast<std::size_t>(i)];
    c.red = buffer[3 * d];
    c.green = buffer[3 * d + 1];
    c.blue = buffer[3 * d + 2];
  }
  return r;
}

int CKeyboardLighting::LoadCustomColoursToDevice(CKeyboardProfiledata& profile, CDeviceComm& comm, int keyCount) {
  const int32_t group = std::clamp(profile.ReadCustomGroupIndex(), 0, 255);
  const std::vector<LedColour> colours = profile.ReadCustomColours(group, ledCount_);
  {
    Lock lk(mutex_);
    info_.customGroup = static_cast<uint8_t>(group);
  }
  SetCustomColours(colours);
  WriteCustomColoursToDevice(comm, keyCount);
  return group;
}

int CKeyboardLighting::SyncCustomColoursFromDevice(CKeyboardProfiledata& profile, CDeviceComm& comm, int keyCount) {
  const int r = ReadCustomColoursFromDevice(comm, keyCount);
  if (r != CMD_OK) return r;
  std::vector<LedColour> table(static_cast<std::size_t>(ledCount_));
  Snapshot(table);
  int group = 0;
  {
    Lock lk(mutex_);
    group = info_.customGroup;
  }
  profile.WriteCustomColours(table, group);
  SetCustomColours(profile.ReadCustomColours(group, ledCount_));
  WriteCustomColoursToDevice(comm, keyCount);
  return r;
}

bool CKeyboardLighting::SetKeyCustomColour(int led) {
  {
    Lock lk(mutex_);
    if (info_.selectItem != kModeCustom || led < 0 || led >= ledCount_) return false;
    LedColour& c = leds_[static_cast<std::size_t>(led)];
    c.red = info_.red;
    c.green = info_.green;
    c.blue = info_.blue;
  }
  Notify();
  return true;
}

void CKeyboardLighting::FillCustomColours(bool on) {
  {
    Lock lk(mutex_);
    for (int i = 0; i < std::min(kKeys, ledCount_); ++i) {
      LedColour& c = leds_[static_cast<std::size_t>(i)];
      c.red = on ? info_.red : 0;
      c.green = on ? info_.green : 0;
      c.blue = on ? info_.blue : 0;
    }
  }
  Notify();
}

std::vector<uint8_t> CKeyboardLighting::BuildStreamFrame(int keyCount) const {
  Lock lk(mutex_);
  std::vector<uint8_t> out(static_cast<std::size_t>(std::clamp(keyCount, 0, kLeds)) * 3, 0);
  for (int i = 0; i < ledCount_; ++i) {
    const std::size_t d = keyToLed_[static_cast<std::size_t>(i)];
    if (d == kNoLed || 3 * d + 2 >= out.size()) continue;
    const LedColour& c = leds_[static_cast<std::size_t>(i)];
    out[3 * d] = static_cast<uint8_t>(c.red * c.alpha / 256);
    out[3 * d + 1] = static_cast<uint8_t>(c.green * c.alpha / 256);
    out[3 * d + 2] = static_cast<uint8_t>(c.blue * c.alpha / 256);
  }
  return out;
}

int CKeyboardLighting::StreamIfDue(CDeviceComm& comm, int keyCount) {
  {
    Lock lk(mutex_);
    const int m = info_.selectItem;
    if (m != kModeAudio && m != kModeAudioColour) return 0;
    const uint64_t now = Now();
    if (now < nextStream_) return 0;
    // Claim the slot before sending so a second caller cannot slip in.
    nextStream_ = now + kStreamIntervalMs;
  }
  if (!comm.opened.load()) return 0;
  const auto frame = BuildStreamFrame(keyCount);
  const int r = comm.StreamLed(frame.data(), static_cast<uint32_t>(frame.size()));
  if (r == CMD_OK) return 1;
  Trace("LED frame not sent (%d)", r);
  Lock lk(mutex_);
  nextStream_ = Now() + kStreamFailPauseMs;
  return -1;
}

// ---------------------------------------------------------------- thread

void CLightThread::Start(ILightEngine& engine, CDeviceComm* comm) {
  Stop();
  {
    std::lock_guard<std::mutex> lk(mutex_);
    stop_ = false;
    nudged_ = false;
  }
  engine_ = &engine;
  engine.SetChangeNotifier([this] { Nudge(); });
  thread_ = std::thread([this, &engine, comm] {
    NameThisThread(name_);
    Run(engine, comm);
  });
}

void CLightThread::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lk(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  // The loop ends within one wake-up: the join never needs a time-out.
  thread_.join();
  Trace("线程退出：：对象处于激发状态\n");
  if (engine_) engine_->SetChangeNotifier(nullptr);
  engine_ = nullptr;
}

void CLightThread::Nudge() {
  {
    std::lock_guard<std::mutex> lk(mutex_);
    nudged_ = true;
  }
  cv_.notify_all();
}

CLightThread::IdlePoint CLightThread::WaitIdle(uint64_t after, int timeoutMs) {
  std::unique_lock<std::mutex> lk(mutex_);
  idleCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return idle_.count > after; });
  return idle_;
}

CLightThread::TimePoint CLightThread::Now() const {
  return clock_ ? TimePoint(std::chrono::milliseconds(clock_())) : std::chrono::steady_clock::now();
}

void CLightThread::Sleep(std::unique_lock<std::mutex>& lk, TimePoint until, bool closed, int dueTicks) {
  idle_ = {idle_.count + 1, closed, dueTicks, false};
  idleCv_.notify_all();
  auto woken = [this] { return stop_ || nudged_; };
  if (clock_) {
    cv_.wait(lk, woken);
  } else {
    cv_.wait_until(lk, until, woken);
  }
}

void CLightThread::SleepUntilChanged(std::unique_lock<std::mutex>& lk, bool closed) {
  idle_ = {idle_.count + 1, closed, 0, true};
  idleCv_.notify_all();
  // Whatever can end this wait (a change, a show, an open device, Stop) nudges.
  cv_.wait(lk, [this] { return stop_ || nudged_; });
}

void CLightThread::Run(ILightEngine& engine, CDeviceComm* comm) {
  const auto tick = std::chrono::milliseconds(kTickMs);
  std::unique_lock<std::mutex> lk(mutex_);
  auto last = Now();
  // A still look has been drawn since the last change: nothing to step.
  bool stillDrawn = false;
  while (!stop_) {
    const bool closed = comm && !comm->opened.load();
    if (closed || stillDrawn || !engine.OutputWanted()) {
      SleepUntilChanged(lk, closed);
      nudged_ = false;
      stillDrawn = false;
      last = Now();  // the time asleep is not replayed
      continue;
    }
    const int due = engine.TicksUntilDue();
    Sleep(lk, last + due * tick, false, due);
    if (stop_) break;
    if (nudged_) {
      nudged_ = false;
      stillDrawn = false;
    }
    const auto now = Now();
    auto ticks = (now - last) / tick;
    if (ticks <= 0) continue;  // woken early: wait again with the new deadline
    if (ticks > 1000) {
      last = now;  // the clock jumped or we were stalled: do not replay it all
      ticks = 1;
    } else {
      last += ticks * tick;
    }
    wakes_.fetch_add(1, std::memory_order_relaxed);
    if (comm && comm->lightSync.load()) continue;
    const bool still = engine.HoldsStill();
    lk.unlock();
    const ILightEngine::Stepped r = engine.Advance(static_cast<int>(ticks));
    if (r.changed && frameHook_) frameHook_();
    lk.lock();
    // A change while it stepped (a nudge) means the drawn frame may be stale.
    if (r.stepped && still && !nudged_) stillDrawn = true;
  }
  lk.unlock();
  Trace("%s", endTrace_);
}

}  // namespace korvale
