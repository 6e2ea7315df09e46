#pragma once
// A private sound server dressed as a machine with the headset plugged in:
// a sink and a microphone that carry the headset's USB ids, and a second
// pair without them that nothing may touch. The microphone is the monitor of
// a "feed" sink remapped into a real source, so a test can speak into it.
// The server's state is read back with pactl, as a user would see it.
#include <json/json.h>

#include <array>
#include <cmath>
#include <complex>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <kissfft/kiss_fftr.h>
#include <pulse/simple.h>

#include "tests/support/audio_support.h"

namespace korvale::testing {

inline constexpr const char* kHsSink = "headset_out";
inline constexpr const char* kHsSource = "headset_mic";
inline constexpr const char* kHsFeed = "headset_feed";
inline constexpr const char* kOtherSink = "other_out";
inline constexpr const char* kOtherSource = "other_mic";
inline constexpr const char* kOtherFeed = "other_feed";

// pactl's standard output, or nullopt when it failed.
inline std::optional<std::string> Pactl(const std::filesystem::path& dir, std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/bin/pactl");
  ChildProcess p;
  if (!p.Start(args, dir / "pactl.out", dir / "pactl.err")) return std::nullopt;
  if (p.Wait(10000) != 0) return std::nullopt;
  return ReadAll(dir / "pactl.out");
}

inline Json::Value PactlJson(const std::filesystem::path& dir, const std::string& what) {
  Json::Value root;
  const auto text = Pactl(dir, {"-f", "json", "list", what});
  if (!text) return root;
  Json::CharReaderBuilder b;
  std::string errors;
  std::istringstream in(*text);
  Json::parseFromStream(b, in, &root, &errors);
  return root;
}

// One entry of a pactl list by its "name", or null.
inline Json::Value Named(const Json::Value& list, const std::string& name) {
  for (const Json::Value& e : list)
    if (e["name"].asString() == name) return e;
  return {};
}

// Average volume of an entry as a fraction of 100 %.
inline double VolumeOf(const Json::Value& entry) {
  double sum = 0;
  int n = 0;
  for (const std::string& ch : entry["volume"].getMemberNames()) {
    sum += entry["volume"][ch]["value"].asDouble() / 65536.0;
    ++n;
  }
  return n != 0 ? sum / n : -1;
}

// A loaded module as `pactl list modules short` gives it.
struct ModuleRow {
  std::string index;
  std::string name;
  std::string argument;
};

// Modules of a name whose argument contains `needle`.
inline std::vector<ModuleRow> ModulesWith(const std::filesystem::path& dir, const std::string& name,
                                          const std::string& needle) {
  std::vector<ModuleRow> out;
  std::istringstream lines(Pactl(dir, {"list", "modules", "short"}).value_or(""));
  for (std::string line; std::getline(lines, line);) {
    ModuleRow m;
    std::istringstream fields(line);
    std::getline(fields, m.index, '\t');
    std::getline(fields, m.name, '\t');
    std::getline(fields, m.argument);
    if (m.name == name && m.argument.find(needle) != std::string::npos) out.push_back(m);
  }
  return out;
}

class HeadsetSoundServer {
 public:
  explicit HeadsetSoundServer(const std::filesystem::path& dir) : dir_(dir), server_(dir) {
    if (!server_.Available()) return;
    const std::string ids = "sink_properties=\"device.vendor.id=0c76 device.product.id=1630 device.bus=usb\"";
    const std::string micIds = "source_properties=\"device.vendor.id=0c76 device.product.id=1630 device.bus=usb\"";
    ok_ = Load({"module-null-sink", "sink_name=" + std::string(kHsSink), "rate=48000", ids}) &&
          Load({"module-null-sink", "sink_name=" + std::string(kHsFeed)}) &&
          Load({"module-remap-source", "source_name=" + std::string(kHsSource),
                "master=" + std::string(kHsFeed) + ".monitor", micIds}) &&
          // The other pair: a USB device of another maker.
          Load({"module-null-sink", "sink_name=" + std::string(kOtherSink),
                "sink_properties=\"device.vendor.id=046d device.product.id=0a44\""}) &&
          Load({"module-null-sink", "sink_name=" + std::string(kOtherFeed)}) &&
          Load({"module-remap-source", "source_name=" + std::string(kOtherSource),
                "master=" + std::string(kOtherFeed) + ".monitor"}) &&
          Pactl(dir_, {"set-default-sink", kHsSink}).has_value();
  }
  bool Ok() const { return ok_; }
  pid_t ServerPid() const { return server_.Pid(); }
  std::string Log() const { return server_.Log(); }
  const std::filesystem::path& Dir() const { return dir_; }

 private:
  bool Load(std::vector<std::string> args) {
    args.insert(args.begin(), "load-module");
    return Pactl(dir_, args).has_value();
  }
  std::filesystem::path dir_;
  PulseServer server_;
  bool ok_ = false;
};

// Level in dB of `hz` in what `sink`'s monitor records while a tone of that
// frequency plays to `playTo` (nullptr: the default output).
inline std::optional<double> ToneLevelDb(const char* playTo, const std::string& sink, double hz) {
  constexpr int kRate = 48000;
  constexpr int kFft = 8192;
  const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
  int err = 0;
  const std::string monitor = sink + ".monitor";
  // Small fragments: the read returns as soon as its second is there.
  pa_buffer_attr recAttr{};
  recAttr.maxlength = recAttr.tlength = recAttr.prebuf = recAttr.minreq = static_cast<uint32_t>(-1);
  recAttr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(20000, &spec));
  pa_simple* rec = pa_simple_new(nullptr, "korvale-test", PA_STREAM_RECORD, monitor.c_str(), "measure", &spec, nullptr,
                                 &recAttr, &err);
  if (rec == nullptr) return std::nullopt;
  std::vector<int16_t> recorded(static_cast<std::size_t>(kRate) * 2);  // 1 s stereo
  std::thread recorder([&] { pa_simple_read(rec, recorded.data(), recorded.size() * 2, &err); });
  // A short buffer: draining waits for no more than the tone.
  pa_buffer_attr attr{};
  attr.maxlength = attr.prebuf = attr.minreq = attr.fragsize = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(50000, &spec));
  pa_simple* play =
      pa_simple_new(nullptr, "korvale-test", PA_STREAM_PLAYBACK, playTo, "tone", &spec, nullptr, &attr, &err);
  bool played = false;
  if (play != nullptr) {
    const std::vector<int16_t> tone = Tone(hz, 0.25, 1.5, kRate);
    played = pa_simple_write(play, tone.data(), tone.size() * 2, &err) == 0 && pa_simple_drain(play, &err) == 0;
    pa_simple_free(play);
  }
  recorder.join();
  pa_simple_free(rec);
  if (!played) return std::nullopt;
  // The loudest window of the recording: the tone, whatever the latency.
  kiss_fftr_cfg cfg = kiss_fftr_alloc(kFft, 0, nullptr, nullptr);
  std::vector<float> in(kFft);
  std::vector<kiss_fft_cpx> out(kFft / 2 + 1);
  double best = 0;
  const std::size_t frames = recorded.size() / 2;
  for (std::size_t start = 0; start + kFft <= frames; start += kFft / 2) {
    for (int i = 0; i < kFft; ++i) {
      const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (kFft - 1));  // Hann
      in[static_cast<std::size_t>(i)] = static_cast<float>(w * recorded[2 * (start + static_cast<std::size_t>(i))] / 32768.0);
    }
    kiss_fftr(cfg, in.data(), out.data());
    const auto bin = static_cast<std::size_t>(std::lround(hz * kFft / kRate));
    double energy = 0;
    for (std::size_t b = bin - 3; b <= bin + 3; ++b) energy += out[b].r * out[b].r + out[b].i * out[b].i;
    best = std::max(best, energy);
  }
  kiss_fftr_free(cfg);
  if (best <= 0) return std::nullopt;
  return 10 * std::log10(best);
}

}  // namespace korvale::testing
