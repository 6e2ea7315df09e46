#include "devices/pulse_audio_chip.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/trace.h"

namespace korvale {

namespace {

// Ten bell filters of LSP's parametric equaliser: exact gain at each band's
// centre, unity when flat. Its ports are given in full, in port order.
constexpr const char* kEqPluginPrefix = "lsp-plugins-ladspa";
constexpr const char* kEqLabel = "http://lsp-plug.in/plugins/ladspa/para_equalizer_x16_stereo";
constexpr int kEqPluginBands = 16;
constexpr double kEqBandQ = 1.41;  // one octave wide
constexpr const char* kEqRole = "korvale.role=equaliser";
constexpr const char* kMonitorRole = "korvale.role=monitor";
constexpr const char* kEqSinkPrefix = "korvale_eq_";

constexpr unsigned kOpTimeoutMs = 2000;
constexpr unsigned kRetryMs = 3000;
// The page writes a curve as a burst of band writes: one filter for them all.
constexpr auto kEqSettle = std::chrono::milliseconds(3);

std::optional<uint32_t> ParseNumber(std::string_view s, int base) {
  if (s.empty()) return std::nullopt;
  uint32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// Module arguments as key → value; values may be quoted.
std::map<std::string, std::string> ParseModuleArgs(std::string_view a) {
  std::map<std::string, std::string> out;
  std::size_t i = 0;
  while (i < a.size()) {
    while (i < a.size() && a[i] == ' ') ++i;
    const std::size_t eq = a.find('=', i);
    if (eq == std::string_view::npos) break;
    std::string key(a.substr(i, eq - i));
    i = eq + 1;
    std::string value;
    if (i < a.size() && (a[i] == '"' || a[i] == '\'')) {
      const char q = a[i++];
      const std::size_t close = a.find(q, i);
      value = std::string(a.substr(i, close == std::string_view::npos ? std::string_view::npos : close - i));
      i = close == std::string_view::npos ? a.size() : close + 1;
    } else {
      const std::size_t sp = a.find(' ', i);
      value = std::string(a.substr(i, sp == std::string_view::npos ? std::string_view::npos : sp - i));
      i = sp == std::string_view::npos ? a.size() : sp;
    }
    out[key] = value;
  }
  return out;
}

std::string Fixed(double v, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", digits, v);
  return buf;
}

// The LSP plugin's file stem in the usual LADSPA folders; empty when absent.
std::string FindEqPlugin() {
  for (const char* dir : {"/usr/lib/ladspa", "/usr/local/lib/ladspa", "/usr/lib/x86_64-linux-gnu/ladspa",
                          "/usr/lib/aarch64-linux-gnu/ladspa", "/usr/lib64/ladspa"}) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
      const std::string name = e.path().filename().string();
      if (name.rfind(kEqPluginPrefix, 0) == 0 && e.path().extension() == ".so") return e.path().stem().string();
    }
  }
  return {};
}

struct SinkInfo {
  uint32_t index = PA_INVALID_INDEX;
  std::string name;
  uint32_t card = PA_INVALID_INDEX;
  uint32_t owner = PA_INVALID_INDEX;
  bool headset = false;
  bool mute = false;
  pa_cvolume volume{};
};
struct SourceInfo : SinkInfo {
  bool monitor = false;
};
struct ModuleInfo {
  uint32_t index = PA_INVALID_INDEX;
  std::string name;
  std::map<std::string, std::string> args;
};
struct InputInfo {
  uint32_t index = PA_INVALID_INDEX;
  uint32_t sink = PA_INVALID_INDEX;
  uint32_t owner = PA_INVALID_INDEX;
  pa_cvolume volume{};
};

bool HeadsetProps(const pa_proplist* p) {
  const char* v = pa_proplist_gets(p, "device.vendor.id");
  const char* d = pa_proplist_gets(p, "device.product.id");
  return v != nullptr && d != nullptr && IsHeadsetUsbIds(v, d);
}

// Properties of the chip by name.
enum class Target { kOutput, kMicrophone, kAny };
enum class Prop {
  kSupportFeature, kMute, kVolumeScalar, kVolumeDb, kMonitorMax, kMonitorMute, kMonitorScalar, kMonitorDb,
  kEqEnable, kEqBand, kUnsupported
};
struct PropRow {
  const char* name;
  Target target;
  Prop prop;
};
constexpr PropRow kProps[] = {
    {"GetSupportFeature", Target::kAny, Prop::kSupportFeature},
    {"MuteControl", Target::kMicrophone, Prop::kMute},
    {"VolumeScalarControl", Target::kMicrophone, Prop::kVolumeScalar},
    {"VolumeControl", Target::kMicrophone, Prop::kVolumeDb},
    {"GetAAMaxVol", Target::kMicrophone, Prop::kMonitorMax},
    {"AAMuteControl", Target::kMicrophone, Prop::kMonitorMute},
    {"AAVolumeScalarControl", Target::kMicrophone, Prop::kMonitorScalar},
    {"AAVolumeControl", Target::kMicrophone, Prop::kMonitorDb},
    {"Enable_EQ_GFX", Target::kOutput, Prop::kEqEnable},
    // The chip's own effects, which the server has no counterpart for.
    {"VirtualSurroundEffectControl", Target::kOutput, Prop::kUnsupported},
    {"Enable_RFX_GFX", Target::kOutput, Prop::kUnsupported},
    {"RFX_ENVIRONMENT", Target::kOutput, Prop::kUnsupported},
    {"RFX_ROOMSIZE", Target::kOutput, Prop::kUnsupported},
    {"Enable_ENC_LFX", Target::kMicrophone, Prop::kUnsupported},
    {"Enable_MAGICVOICE", Target::kMicrophone, Prop::kUnsupported},
    {"Enable_MICECHO", Target::kMicrophone, Prop::kUnsupported},
    {"MagicVoice_Selection", Target::kMicrophone, Prop::kUnsupported},
};
constexpr std::string_view kEqBandPrefix = "EQ_Slider";

class CPulseAudioChip final : public IAudioChip {
 public:
  CPulseAudioChip() : eqPlugin_(FindEqPlugin()) {}
  ~CPulseAudioChip() override;

  int ConfLibInit() override;
  void CreateDeviceList() override;
  int GetDeviceCount(int direction, uint32_t* count) override;
  int GetDeviceById(int direction, uint32_t index, AudioDeviceRecord* record) override;
  int PropertyControl(const AudioDeviceRecord& record, std::string_view property, AudioValue& value, int channel,
                      bool write) override;
  void RegisterCallbackFunction(std::function<void()> changed) override;
  AudioServerState ServerState() const override { return state_.load(); }
  FeatureSupport QueryFeature(AudioFeature feature) const override;
  bool Flush(unsigned timeoutMs) override;

 private:
  struct Lock {
    explicit Lock(pa_threaded_mainloop* l) : loop(l) { pa_threaded_mainloop_lock(loop); }
    ~Lock() { pa_threaded_mainloop_unlock(loop); }
    pa_threaded_mainloop* loop;
  };
  // What one server call left behind.
  struct Op {
    CPulseAudioChip* chip = nullptr;
    bool done = false;
    bool ok = false;
    uint32_t index = PA_INVALID_INDEX;
    std::vector<SinkInfo> sinks;
    std::vector<SourceInfo> sources;
    std::vector<ModuleInfo> modules;
    std::vector<InputInfo> inputs;
    std::string defaultSink;
    // Called with each list callback's eol: at the list's end the caller
    // waiting in Wait() is woken; true then.
    bool Ended(int eol) {
      if (eol == 0) return false;
      ok = eol > 0;
      done = true;
      pa_threaded_mainloop_signal(chip->loop_, 0);
      return true;
    }
  };
  struct EqWish {
    std::string master;
    bool enabled = false;
    std::array<int, 10> bands{};
  };

  // ---- loop thread ----
  void Connect();
  void DropContext();
  void ScheduleRetry();
  static void OnState(pa_context* c, void* self);
  static void OnEvent(pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* self);
  void Notify();

  // ---- callers holding the loop lock (never the loop thread) ----
  bool Ready() const { return ctx_ != nullptr && pa_context_get_state(ctx_) == PA_CONTEXT_READY; }
  bool Wait(pa_operation* op, Op& st);
  static void Done(pa_context*, int success, void* u);
  std::vector<SinkInfo> Sinks();
  std::vector<SourceInfo> Sources();
  std::vector<ModuleInfo> Modules();
  std::vector<InputInfo> Inputs();
  std::string DefaultSink();
  uint32_t LoadModule(const char* name, const std::string& args);
  bool UnloadModule(uint32_t index);
  bool MoveInput(uint32_t input, const std::string& sink);
  bool SetDefaultSink(const std::string& sink);
  bool SetInputVolume(uint32_t input, const pa_cvolume& v);
  std::optional<SinkInfo> HeadsetSink(uint32_t index);
  std::optional<SourceInfo> HeadsetSource(uint32_t index);
  std::optional<ModuleInfo> MonitorLoopback(const std::string& source);
  std::optional<InputInfo> InputOf(uint32_t module);

  int MicrophoneProperty(const SourceInfo& src, Prop prop, AudioValue& value, bool write);
  int EqProperty(const SinkInfo& sink, Prop prop, int band, AudioValue& value, bool write);

  // ---- the equaliser worker ----
  void EqLoop();
  bool ApplyEq(const EqWish& wish);

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* ctx_ = nullptr;  // loop lock
  pa_time_event* retry_ = nullptr;
  bool closing_ = false;
  std::atomic<AudioServerState> state_{AudioServerState::kConnecting};
  std::mutex callbackLock_;
  std::function<void()> changed_;

  // The endpoint list of the last CreateDeviceList (caller's thread).
  std::vector<AudioDeviceRecord> outputs_, microphones_;
  std::optional<float> monitorLevel_;  // the loopback's level while there is none

  const std::string eqPlugin_;
  std::mutex eqLock_;
  std::condition_variable eqCv_;
  std::map<std::string, EqWish> eqWishes_;  // by master sink
  std::optional<EqWish> eqPending_;
  uint64_t eqAsked_ = 0, eqDone_ = 0;
  bool eqFailed_ = false;
  bool eqStop_ = false;
  std::thread eqWorker_;
};

CPulseAudioChip::~CPulseAudioChip() {
  // What the user set stays in force after we exit: the last curve first.
  Flush(kOpTimeoutMs);
  {
    std::lock_guard lk(eqLock_);
    eqStop_ = true;
  }
  eqCv_.notify_all();
  if (eqWorker_.joinable()) eqWorker_.join();
  {
    std::lock_guard lk(callbackLock_);
    changed_ = nullptr;
  }
  if (loop_ == nullptr) return;
  {
    Lock lk(loop_);
    closing_ = true;
    if (retry_ != nullptr) {
      pa_threaded_mainloop_get_api(loop_)->time_free(retry_);
      retry_ = nullptr;
    }
    DropContext();
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

int CPulseAudioChip::ConfLibInit() {
  if (loop_ != nullptr) return kAudioOk;
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr) return kAudioFailed;
  pa_threaded_mainloop_set_name(loop_, "korvale-audio-chip");
  {
    Lock lk(loop_);
    Connect();
  }
  if (pa_threaded_mainloop_start(loop_) < 0) {
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
    return kAudioFailed;
  }
  eqWorker_ = std::thread([this] { EqLoop(); });
  return kAudioOk;
}

// ---- connection (loop thread or lock held) ----

void CPulseAudioChip::Connect() {
  ctx_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "korvale");
  if (ctx_ == nullptr) {
    state_ = AudioServerState::kNoServer;
    ScheduleRetry();
    return;
  }
  pa_context_set_state_callback(ctx_, &CPulseAudioChip::OnState, this);
  if (pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    state_ = AudioServerState::kNoServer;
    ScheduleRetry();
  }
}

void CPulseAudioChip::DropContext() {
  if (ctx_ == nullptr) return;
  pa_context_set_state_callback(ctx_, nullptr, nullptr);
  pa_context_set_subscribe_callback(ctx_, nullptr, nullptr);
  pa_context_disconnect(ctx_);
  pa_context_unref(ctx_);
  ctx_ = nullptr;
}

void CPulseAudioChip::ScheduleRetry() {
  if (closing_ || retry_ != nullptr) return;
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  timeval tv{};
  pa_gettimeofday(&tv);
  pa_timeval_add(&tv, static_cast<pa_usec_t>(kRetryMs) * 1000);
  retry_ = api->time_new(
      api, &tv,
      [](pa_mainloop_api* a, pa_time_event* e, const timeval*, void* self) {
        auto* chip = static_cast<CPulseAudioChip*>(self);
        a->time_free(e);
        chip->retry_ = nullptr;
        chip->DropContext();
        chip->Connect();
      },
      this);
}

void CPulseAudioChip::OnState(pa_context* c, void* self) {
  auto* chip = static_cast<CPulseAudioChip*>(self);
  switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY:
      chip->state_ = AudioServerState::kReady;
      pa_context_set_subscribe_callback(c, &CPulseAudioChip::OnEvent, chip);
      pa_operation_unref(pa_context_subscribe(
          c, static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE), nullptr,
          nullptr));
      Trace("audio chip: connected to the sound server");
      chip->Notify();
      break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: {
      const bool wasReady = chip->state_ == AudioServerState::kReady;
      chip->state_ = AudioServerState::kNoServer;
      if (wasReady) Trace("audio chip: the sound server went away: %s", pa_strerror(pa_context_errno(c)));
      chip->ScheduleRetry();
      chip->Notify();
      break;
    }
    default:
      break;
  }
  pa_threaded_mainloop_signal(chip->loop_, 0);
}

void CPulseAudioChip::OnEvent(pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
  // Endpoints coming and going matter; level changes do not.
  const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  if (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE)
    static_cast<CPulseAudioChip*>(self)->Notify();
}

void CPulseAudioChip::Notify() {
  std::function<void()> cb;
  {
    std::lock_guard lk(callbackLock_);
    cb = changed_;
  }
  if (cb) cb();
}

void CPulseAudioChip::RegisterCallbackFunction(std::function<void()> changed) {
  std::lock_guard lk(callbackLock_);
  changed_ = std::move(changed);
}

// ---- server calls (lock held, not on the loop thread) ----

bool CPulseAudioChip::Wait(pa_operation* op, Op& st) {
  if (op == nullptr) return false;
  st.chip = this;
  bool expired = false;
  struct Alarm {
    bool* expired;
    pa_threaded_mainloop* loop;
  } alarm{&expired, loop_};
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  timeval tv{};
  pa_gettimeofday(&tv);
  pa_timeval_add(&tv, static_cast<pa_usec_t>(kOpTimeoutMs) * 1000);
  pa_time_event* te = api->time_new(
      api, &tv,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* u) {
        auto* a = static_cast<Alarm*>(u);
        *a->expired = true;
        pa_threaded_mainloop_signal(a->loop, 0);
      },
      &alarm);
  while (!st.done && !expired && pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
  api->time_free(te);
  if (!st.done) {
    pa_operation_cancel(op);
    Trace("audio chip: the sound server did not answer in time");
  }
  pa_operation_unref(op);
  return st.done && st.ok;
}

void CPulseAudioChip::Done(pa_context*, int success, void* u) {
  auto* st = static_cast<Op*>(u);
  st->ok = success != 0;
  st->done = true;
  pa_threaded_mainloop_signal(st->chip->loop_, 0);
}

std::vector<SinkInfo> CPulseAudioChip::Sinks() {
  Op st;
  st.chip = this;
  Wait(pa_context_get_sink_info_list(
           ctx_,
           [](pa_context*, const pa_sink_info* i, int eol, void* u) {
             auto* s = static_cast<Op*>(u);
             if (s->Ended(eol)) return;
             SinkInfo info;
             info.index = i->index;
             info.name = i->name != nullptr ? i->name : "";
             info.card = i->card;
             info.owner = i->owner_module;
             info.headset = HeadsetProps(i->proplist);
             info.mute = i->mute != 0;
             info.volume = i->volume;
             s->sinks.push_back(std::move(info));
           },
           &st),
       st);
  return st.sinks;
}

std::vector<SourceInfo> CPulseAudioChip::Sources() {
  Op st;
  st.chip = this;
  Wait(pa_context_get_source_info_list(
           ctx_,
           [](pa_context*, const pa_source_info* i, int eol, void* u) {
             auto* s = static_cast<Op*>(u);
             if (s->Ended(eol)) return;
             SourceInfo info;
             info.index = i->index;
             info.name = i->name != nullptr ? i->name : "";
             info.card = i->card;
             info.owner = i->owner_module;
             info.monitor = i->monitor_of_sink != PA_INVALID_INDEX;
             // A sink's monitor carries the sink's ids but is no microphone.
             info.headset = !info.monitor && HeadsetProps(i->proplist);
             info.mute = i->mute != 0;
             info.volume = i->volume;
             s->sources.push_back(std::move(info));
           },
           &st),
       st);
  return st.sources;
}

std::vector<ModuleInfo> CPulseAudioChip::Modules() {
  Op st;
  st.chip = this;
  Wait(pa_context_get_module_info_list(
           ctx_,
           [](pa_context*, const pa_module_info* i, int eol, void* u) {
             auto* s = static_cast<Op*>(u);
             if (s->Ended(eol)) return;
             ModuleInfo m;
             m.index = i->index;
             m.name = i->name != nullptr ? i->name : "";
             m.args = ParseModuleArgs(i->argument != nullptr ? i->argument : "");
             s->modules.push_back(std::move(m));
           },
           &st),
       st);
  return st.modules;
}

std::vector<InputInfo> CPulseAudioChip::Inputs() {
  Op st;
  st.chip = this;
  Wait(pa_context_get_sink_input_info_list(
           ctx_,
           [](pa_context*, const pa_sink_input_info* i, int eol, void* u) {
             auto* s = static_cast<Op*>(u);
             if (s->Ended(eol)) return;
             s->inputs.push_back({i->index, i->sink, i->owner_module, i->volume});
           },
           &st),
       st);
  return st.inputs;
}

std::string CPulseAudioChip::DefaultSink() {
  Op st;
  st.chip = this;
  Wait(pa_context_get_server_info(
           ctx_,
           [](pa_context*, const pa_server_info* i, void* u) {
             auto* s = static_cast<Op*>(u);
             if (i != nullptr && i->default_sink_name != nullptr) s->defaultSink = i->default_sink_name;
             s->ok = i != nullptr;
             s->done = true;
             pa_threaded_mainloop_signal(s->chip->loop_, 0);
           },
           &st),
       st);
  return st.defaultSink;
}

uint32_t CPulseAudioChip::LoadModule(const char* name, const std::string& args) {
  Op st;
  st.chip = this;
  Wait(pa_context_load_module(
           ctx_, name, args.c_str(),
           [](pa_context*, uint32_t idx, void* u) {
             auto* s = static_cast<Op*>(u);
             s->index = idx;
             s->ok = idx != PA_INVALID_INDEX;
             s->done = true;
             pa_threaded_mainloop_signal(s->chip->loop_, 0);
           },
           &st),
       st);
  if (st.index == PA_INVALID_INDEX) Trace("audio chip: the server refused %s %s", name, args.c_str());
  return st.index;
}

bool CPulseAudioChip::UnloadModule(uint32_t index) {
  Op st;
  return Wait(pa_context_unload_module(ctx_, index, &Done, &st), st);
}

bool CPulseAudioChip::MoveInput(uint32_t input, const std::string& sink) {
  Op st;
  return Wait(pa_context_move_sink_input_by_name(ctx_, input, sink.c_str(), &Done, &st), st);
}

bool CPulseAudioChip::SetDefaultSink(const std::string& sink) {
  Op st;
  return Wait(pa_context_set_default_sink(ctx_, sink.c_str(), &Done, &st), st);
}

bool CPulseAudioChip::SetInputVolume(uint32_t input, const pa_cvolume& v) {
  Op st;
  return Wait(pa_context_set_sink_input_volume(ctx_, input, &v, &Done, &st), st);
}

std::optional<SinkInfo> CPulseAudioChip::HeadsetSink(uint32_t index) {
  for (SinkInfo& s : Sinks())
    if (s.headset && (index == PA_INVALID_INDEX || s.index == index)) return std::move(s);
  return std::nullopt;
}

std::optional<SourceInfo> CPulseAudioChip::HeadsetSource(uint32_t index) {
  for (SourceInfo& s : Sources())
    if (s.headset && s.index == index) return std::move(s);
  return std::nullopt;
}

std::optional<ModuleInfo> CPulseAudioChip::MonitorLoopback(const std::string& source) {
  for (ModuleInfo& m : Modules()) {
    if (m.name != "module-loopback") continue;
    const auto role = m.args.find("sink_input_properties");
    const auto src = m.args.find("source");
    if (role != m.args.end() && role->second == kMonitorRole && src != m.args.end() && src->second == source)
      return std::move(m);
  }
  return std::nullopt;
}

std::optional<InputInfo> CPulseAudioChip::InputOf(uint32_t module) {
  for (const InputInfo& i : Inputs())
    if (i.owner == module) return i;
  return std::nullopt;
}

// ---- the entry points ----

void CPulseAudioChip::CreateDeviceList() {
  outputs_.clear();
  microphones_.clear();
  if (loop_ == nullptr) return;
  Lock lk(loop_);
  if (!Ready()) return;
  for (const SinkInfo& s : Sinks())
    outputs_.push_back({s.index, s.headset ? kEndpointHeadsetOutput : kEndpointForeign, s.card, 1});
  for (const SourceInfo& s : Sources())
    microphones_.push_back({s.index, s.headset ? kEndpointHeadsetMicrophone : kEndpointForeign, s.card, 1});
}

int CPulseAudioChip::GetDeviceCount(int direction, uint32_t* count) {
  if (count == nullptr || (direction != kAudioOutput && direction != kAudioMicrophone)) return kAudioFailed;
  *count = static_cast<uint32_t>((direction == kAudioOutput ? outputs_ : microphones_).size());
  return kAudioOk;
}

int CPulseAudioChip::GetDeviceById(int direction, uint32_t index, AudioDeviceRecord* record) {
  if (record == nullptr || (direction != kAudioOutput && direction != kAudioMicrophone)) return kAudioFailed;
  const auto& list = direction == kAudioOutput ? outputs_ : microphones_;
  if (index >= list.size()) return kAudioFailed;
  *record = list[index];
  return kAudioOk;
}

int CPulseAudioChip::PropertyControl(const AudioDeviceRecord& record, std::string_view property, AudioValue& value,
                                     int /*channel*/, bool write) {
  const PropRow* row = nullptr;
  int band = -1;
  for (const PropRow& r : kProps)
    if (property == r.name) row = &r;
  static constexpr PropRow kBandRow{"EQ_Slider", Target::kOutput, Prop::kEqBand};
  if (row == nullptr && property.substr(0, kEqBandPrefix.size()) == kEqBandPrefix) {
    const auto n = ParseNumber(property.substr(kEqBandPrefix.size()), 10);
    if (n && *n >= 1 && *n <= 10) {
      row = &kBandRow;
      band = static_cast<int>(*n) - 1;
    }
  }
  if (row == nullptr || row->prop == Prop::kUnsupported) return kAudioUnsupported;
  if (row->prop == Prop::kSupportFeature) {
    if (write) return kAudioUnsupported;
    // No field carries the voice-effect bit: the server has no voice effects.
    value.text = "0,0,0,0,0,0,0";
    return kAudioOk;
  }
  if (loop_ == nullptr) return kAudioNoServer;
  Lock lk(loop_);
  if (!Ready()) return kAudioNoServer;
  // Only the headset's own endpoints, checked against the server now: a
  // record may be stale, or name another device.
  if (row->target == Target::kMicrophone) {
    const auto src = HeadsetSource(record.id);
    if (!src) return kAudioNotHeadset;
    return MicrophoneProperty(*src, row->prop, value, write);
  }
  const auto sink = HeadsetSink(record.id);
  if (!sink || record.id == PA_INVALID_INDEX) return kAudioNotHeadset;
  return EqProperty(*sink, row->prop, band, value, write);
}

int CPulseAudioChip::MicrophoneProperty(const SourceInfo& src, Prop prop, AudioValue& value, bool write) {
  const auto scalar = [](const pa_cvolume& v) { return static_cast<double>(pa_cvolume_avg(&v)) / PA_VOLUME_NORM; };
  const auto fromScalar = [](double level) {
    return static_cast<pa_volume_t>(std::lround(std::clamp(level, 0.0, 1.0) * PA_VOLUME_NORM));
  };
  switch (prop) {
    case Prop::kMute: {
      if (!write) {
        value.text = src.mute ? "1" : "0";
        return kAudioOk;
      }
      Op st;
      return Wait(pa_context_set_source_mute_by_index(ctx_, src.index, value.number != 0, &Done, &st), st)
                 ? kAudioOk
                 : kAudioFailed;
    }
    case Prop::kVolumeScalar:
    case Prop::kVolumeDb: {
      if (!write) {
        value.text = prop == Prop::kVolumeScalar ? Fixed(scalar(src.volume), 4)
                                                 : Fixed(pa_sw_volume_to_dB(pa_cvolume_avg(&src.volume)), 2);
        return kAudioOk;
      }
      pa_cvolume v = src.volume;
      const pa_volume_t to = prop == Prop::kVolumeScalar ? fromScalar(value.level) : pa_sw_volume_from_dB(value.level);
      pa_cvolume_set(&v, src.volume.channels, to);
      Op st;
      return Wait(pa_context_set_source_volume_by_index(ctx_, src.index, &v, &Done, &st), st) ? kAudioOk
                                                                                              : kAudioFailed;
    }
    case Prop::kMonitorMax:
      if (write) return kAudioUnsupported;
      if (!HeadsetSink(PA_INVALID_INDEX)) return kAudioFailed;
      value.text = "1.0";
      return kAudioOk;
    case Prop::kMonitorMute: {
      const auto loop = MonitorLoopback(src.name);
      if (!write) {
        value.text = loop ? "0" : "1";
        return kAudioOk;
      }
      if (value.number != 0) return !loop || UnloadModule(loop->index) ? kAudioOk : kAudioFailed;
      if (loop) return kAudioOk;
      const auto sink = HeadsetSink(PA_INVALID_INDEX);
      if (!sink) return kAudioFailed;
      // Gone with either end: the module unloads itself when one disappears.
      const uint32_t m = LoadModule("module-loopback", "source=" + src.name + " sink=" + sink->name +
                                                           " latency_msec=20 source_dont_move=true"
                                                           " sink_dont_move=true sink_input_properties=" +
                                                           kMonitorRole);
      if (m == PA_INVALID_INDEX) return kAudioFailed;
      if (monitorLevel_) {
        if (auto input = InputOf(m)) {
          pa_cvolume v = input->volume;
          pa_cvolume_set(&v, v.channels, fromScalar(*monitorLevel_));
          SetInputVolume(input->index, v);
        }
      }
      return kAudioOk;
    }
    case Prop::kMonitorScalar:
    case Prop::kMonitorDb: {
      const auto loop = MonitorLoopback(src.name);
      const auto input = loop ? InputOf(loop->index) : std::nullopt;
      if (!write) {
        double level = 0;
        if (input)
          level = scalar(input->volume);
        else if (monitorLevel_)
          level = *monitorLevel_;
        else
          return kAudioFailed;
        value.text = prop == Prop::kMonitorScalar ? Fixed(level, 4) : Fixed(pa_sw_volume_to_dB(fromScalar(level)), 2);
        return kAudioOk;
      }
      const double level = prop == Prop::kMonitorScalar
                               ? std::clamp(static_cast<double>(value.level), 0.0, 1.0)
                               : static_cast<double>(pa_sw_volume_from_dB(value.level)) / PA_VOLUME_NORM;
      if (input) {
        pa_cvolume v = input->volume;
        pa_cvolume_set(&v, v.channels, fromScalar(level));
        if (!SetInputVolume(input->index, v)) return kAudioFailed;
      }
      monitorLevel_ = static_cast<float>(level);
      return kAudioOk;
    }
    default:
      return kAudioUnsupported;
  }
}

int CPulseAudioChip::EqProperty(const SinkInfo& sink, Prop prop, int band, AudioValue& value, bool write) {
  if (eqPlugin_.empty()) return kAudioUnsupported;
  std::lock_guard lk(eqLock_);
  EqWish& wish = eqWishes_[sink.name];
  wish.master = sink.name;
  if (!write) {
    value.text = std::to_string(prop == Prop::kEqEnable ? (wish.enabled ? 1 : 0)
                                                         : wish.bands[static_cast<std::size_t>(band)]);
    return kAudioOk;
  }
  if (prop == Prop::kEqEnable)
    wish.enabled = value.number != 0;
  else
    wish.bands[static_cast<std::size_t>(band)] = std::clamp(value.number, kEqBandMinDb, kEqBandMaxDb);
  eqPending_ = wish;
  ++eqAsked_;
  eqCv_.notify_all();
  return kAudioOk;
}

// ---- the equaliser ----

void CPulseAudioChip::EqLoop() {
  std::unique_lock lk(eqLock_);
  for (;;) {
    eqCv_.wait(lk, [this] { return eqStop_ || eqPending_.has_value(); });
    if (!eqPending_) return;
    // Let the rest of a burst of band writes arrive.
    uint64_t seen = eqAsked_;
    while (!eqStop_ && eqCv_.wait_for(lk, kEqSettle, [&] { return eqAsked_ != seen; })) seen = eqAsked_;
    const EqWish wish = *eqPending_;
    eqPending_.reset();
    lk.unlock();
    const bool ok = ApplyEq(wish);
    lk.lock();
    eqFailed_ = !ok;
    eqDone_ = seen;
    eqCv_.notify_all();
    if (eqStop_ && !eqPending_) return;
  }
}

bool CPulseAudioChip::Flush(unsigned timeoutMs) {
  std::unique_lock lk(eqLock_);
  const uint64_t target = eqAsked_;
  if (!eqWorker_.joinable()) return eqDone_ >= target;
  const bool reached =
      eqCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return eqDone_ >= target; });
  return reached && !eqFailed_;
}

bool CPulseAudioChip::ApplyEq(const EqWish& wish) {
  Lock lk(loop_);
  if (!Ready()) return false;
  std::vector<ModuleInfo> ours;
  std::set<uint32_t> ownModules;
  for (ModuleInfo& m : Modules()) {
    const auto role = m.args.find("sink_input_properties");
    if (m.name == "module-loopback" && role != m.args.end() && role->second == kMonitorRole) ownModules.insert(m.index);
    const auto props = m.args.find("sink_properties");
    const auto master = m.args.find("sink_master");
    if (m.name == "module-ladspa-sink" && props != m.args.end() && props->second == kEqRole &&
        master != m.args.end() && master->second == wish.master) {
      ownModules.insert(m.index);
      ours.push_back(std::move(m));
    }
  }
  const bool flat = !wish.enabled || std::all_of(wish.bands.begin(), wish.bands.end(), [](int b) { return b == 0; });
  const std::string control =
      flat ? std::string() : ParseModuleArgs(EqualiserModuleArgs("x", wish.master, eqPlugin_, wish.bands))["control"];
  if (flat && ours.empty()) return true;
  if (!flat && ours.size() == 1 && ours[0].args["control"] == control) return true;  // already in force

  std::vector<SinkInfo> sinks = Sinks();
  const auto sinkOf = [&](uint32_t module) -> const SinkInfo* {
    for (const SinkInfo& s : sinks)
      if (s.owner == module) return &s;
    return nullptr;
  };
  const auto masterSink = std::find_if(sinks.begin(), sinks.end(), [&](const SinkInfo& s) { return s.name == wish.master; });
  if (masterSink == sinks.end()) return false;
  std::set<uint32_t> oldSinks;
  std::set<std::string> oldNames;
  for (const ModuleInfo& m : ours)
    if (const SinkInfo* s = sinkOf(m.index)) {
      oldSinks.insert(s->index);
      oldNames.insert(s->name);
    }

  // The route: where the headset's streams and the default output go now.
  std::string route = wish.master;
  uint32_t routeIndex = masterSink->index;
  if (!flat) {
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08x", static_cast<unsigned>(std::hash<std::string>{}(wish.master)));
    std::string name = std::string(kEqSinkPrefix) + hash + "_a";
    if (oldNames.count(name) != 0) name.back() = 'b';
    const uint32_t m = LoadModule("module-ladspa-sink", EqualiserModuleArgs(name, wish.master, eqPlugin_, wish.bands));
    if (m == PA_INVALID_INDEX) return false;
    ownModules.insert(m);
    sinks = Sinks();
    const SinkInfo* made = sinkOf(m);
    if (made == nullptr) return false;
    route = made->name;
    routeIndex = made->index;
  }
  const std::string def = DefaultSink();
  for (const InputInfo& in : Inputs()) {
    if (ownModules.count(in.owner) != 0 || in.sink == routeIndex) continue;
    if (in.sink == masterSink->index || oldSinks.count(in.sink) != 0) MoveInput(in.index, route);
  }
  if (def == wish.master || oldNames.count(def) != 0) SetDefaultSink(route);
  bool ok = true;
  for (const ModuleInfo& m : ours) ok = UnloadModule(m.index) && ok;
  return ok;
}

FeatureSupport CPulseAudioChip::QueryFeature(AudioFeature feature) const {
  switch (feature) {
    case AudioFeature::kEqualiser:
      if (eqPlugin_.empty()) return {false, "audio_reason_no_eq_plugin"};
      return {true, {}};
    case AudioFeature::kMicrophone:
    case AudioFeature::kMonitoring:
      return {true, {}};
    case AudioFeature::kVoiceEffects:
      return {false, "audio_reason_no_voice_effects"};
    case AudioFeature::kSurround:
    case AudioFeature::kNoiseCancelling:
      return {false, "audio_reason_not_on_server"};
  }
  return {false, "audio_reason_not_on_server"};
}

}  // namespace

bool IsHeadsetUsbIds(std::string_view vendor, std::string_view product) {
  const auto hexPrefixed = [](std::string_view s) { return s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'); };
  if (hexPrefixed(vendor) && hexPrefixed(product))
    return ParseNumber(vendor.substr(2), 16) == kHeadsetAudioVendor &&
           ParseNumber(product.substr(2), 16) == kHeadsetAudioProduct;
  if (ParseNumber(vendor, 16) == kHeadsetAudioVendor && ParseNumber(product, 16) == kHeadsetAudioProduct) return true;
  return ParseNumber(vendor, 10) == kHeadsetAudioVendor && ParseNumber(product, 10) == kHeadsetAudioProduct;
}

std::string EqualiserModuleArgs(std::string_view sinkName, std::string_view master, std::string_view plugin,
                                const std::array<int, 10>& bands) {
  // Bypass, input and output gain, IIR mode, no analysis, reactivity, shift
  // gain, zoom, filter select, balance, frequency shift, both FFT views.
  std::string c = "0,1,1,0,0,0.2,1,1,0,0,0,1,1";
  for (int b = 0; b < kEqPluginBands; ++b) {
    if (b < static_cast<int>(bands.size())) {
      const int db = std::clamp(bands[static_cast<std::size_t>(b)], kEqBandMinDb, kEqBandMaxDb);
      // type bell, mode, slope, solo, mute, frequency, gain (factor), Q, hue
      c += ",1,0,0,0,0," + Fixed(kEqBandHz[static_cast<std::size_t>(b)], 1) + "," + Fixed(std::pow(10.0, db / 20.0), 6) +
           "," + Fixed(kEqBandQ, 2) + ",0";
    } else {
      c += ",0,0,0,0,0,1000.0,1,0,0";  // off
    }
  }
  return "sink_name=" + std::string(sinkName) + " sink_master=" + std::string(master) + " plugin=" + std::string(plugin) +
         " label=" + kEqLabel + " control=" + c + " sink_properties=" + kEqRole;
}

std::unique_ptr<IAudioChip> CreatePulseAudioChip() { return std::make_unique<CPulseAudioChip>(); }

}  // namespace korvale
