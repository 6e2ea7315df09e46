#pragma once
// The headset's audio chip on the Linux sound server, through libpulse
// (PulseAudio, or PipeWire's pulse server):
// - the headset's sink and source are the endpoints whose device properties
//   carry its USB ids; every other endpoint is foreign and never touched;
// - microphone mute and level are the source's;
// - monitoring is a loopback module from the source to the sink, present
//   exactly while monitoring is on;
// - the equaliser is a LADSPA filter sink (ten bell filters) in front of the
//   headset's sink, loaded through the server so that it outlives us,
//   replaced by the next curve and unloaded when the curve is flat.
// Connecting never blocks the caller; a server that is not there is tried
// again every few seconds.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/audio_chip.h"

namespace korvale {

// The headset's USB ids as the sound server lists them.
inline constexpr uint16_t kHeadsetAudioVendor = 0x0C76;
inline constexpr uint16_t kHeadsetAudioProduct = 0x1630;

// Band centre frequencies of the equaliser, band 0 to band 9.
inline constexpr std::array<double, 10> kEqBandHz = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
// Band gains are decibels, kept to what the filter takes.
inline constexpr int kEqBandMinDb = -24;
inline constexpr int kEqBandMaxDb = 24;

// True when a "device.vendor.id"/"device.product.id" pair names the headset.
// PulseAudio gives four hex digits ("0c76"); PipeWire may give "0x0c76" or
// the decimal number.
bool IsHeadsetUsbIds(std::string_view vendor, std::string_view product);

// The module argument of the filter for a curve (plugin file stem given).
std::string EqualiserModuleArgs(std::string_view sinkName, std::string_view master, std::string_view plugin,
                                const std::array<int, 10>& bands);

}  // namespace korvale
