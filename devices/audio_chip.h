#pragma once
// The headset's audio chip as the page sees it: the six entry points of the
// chip's configuration library (endpoint list, endpoint records, properties
// by name) plus what a sound server adds: its connection state and which
// features it can offer at all. One implementation drives the Linux sound
// server (pulse_audio_chip.h); tests may give the page any other.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace korvale {

// Directions of GetDeviceCount and GetDeviceById.
inline constexpr int kAudioOutput = 0;
inline constexpr int kAudioMicrophone = 1;

// Endpoint types in a record: only the headset's own endpoints get a type
// the page chooses from.
inline constexpr uint32_t kEndpointForeign = 0;
inline constexpr uint32_t kEndpointHeadsetOutput = 1;
inline constexpr uint32_t kEndpointHeadsetMicrophone = 2;

// Results of the entry points.
inline constexpr int kAudioOk = 0;
inline constexpr int kAudioFailed = -1;       // the server refused or did not answer
inline constexpr int kAudioUnsupported = -2;  // the property has no meaning here
inline constexpr int kAudioNoServer = -3;     // not connected
inline constexpr int kAudioNotHeadset = -4;   // the record is not one of the headset's endpoints

// One endpoint: identifier, type, a word the page does not interpret (the
// card), state (1 present).
struct AudioDeviceRecord {
  uint32_t id = 0;
  uint32_t type = kEndpointForeign;
  uint32_t card = 0;
  uint32_t state = 0;
  friend bool operator==(const AudioDeviceRecord&, const AudioDeviceRecord&) = default;
};

// A property's value. A read fills text (decimal text, as the library
// answers); a write takes number (switches, selections, bands) or level
// (volumes, 0.0-1.0 for the scalar ones), by the property.
struct AudioValue {
  std::string text;
  int32_t number = 0;
  float level = 0.0f;
};

enum class AudioFeature { kEqualiser, kMicrophone, kMonitoring, kVoiceEffects, kSurround, kNoiseCancelling };

// Whether a feature can work; when not, a text id saying why.
struct FeatureSupport {
  bool supported = false;
  std::string reason;
};

enum class AudioServerState { kConnecting, kNoServer, kReady };

class IAudioChip {
 public:
  virtual ~IAudioChip() = default;

  // "ConfLibInit": starts the connection without waiting for it. 0 when it
  // could be started.
  virtual int ConfLibInit() = 0;
  // "CreateDeviceList": takes a fresh list of the server's endpoints.
  virtual void CreateDeviceList() = 0;
  // "GetDeviceCount" and "GetDeviceById" on that list.
  virtual int GetDeviceCount(int direction, uint32_t* count) = 0;
  virtual int GetDeviceById(int direction, uint32_t index, AudioDeviceRecord* record) = 0;
  // "PropertyControl": reads (write false) or writes one property of an
  // endpoint. channel is the extra argument (-1 all channels).
  virtual int PropertyControl(const AudioDeviceRecord& record, std::string_view property, AudioValue& value,
                              int channel, bool write) = 0;
  // "RegisterCallbackFunction": called on any thread whenever the connection
  // or the server's endpoints changed.
  virtual void RegisterCallbackFunction(std::function<void()> changed) = 0;

  virtual AudioServerState ServerState() const = 0;
  virtual FeatureSupport QueryFeature(AudioFeature feature) const = 0;
  // Waits (at most timeoutMs) until property writes made so far reached the
  // server; false when some did not.
  virtual bool Flush(unsigned timeoutMs) = 0;
};

// The chip on the Linux sound server (libpulse: PulseAudio or PipeWire).
std::unique_ptr<IAudioChip> CreatePulseAudioChip();

}  // namespace korvale
