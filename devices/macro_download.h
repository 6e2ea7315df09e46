#pragma once
// Storing macros and shoot sequences in a device's memory. Shared by the
// keyboard page and the mouse: each collects the macro numbers its keys use,
// then these functions read the files, settle the size against the device's
// capacity and write the image so that a broken transfer never leaves a
// valid header over incomplete blocks.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "profiles/profile_records.h"

namespace korvale {

class CDeviceComm;

// DownloadMacros results besides 0 (done or nothing to do) and a positive
// overflow m = (size − capacity) / 4 + 1.
inline constexpr int kMacroNoMemory = -1;    // the device has no macro memory
inline constexpr int kMacroFileBroken = -2;  // a used macro's file failed its check
inline constexpr int kMacroWriteFailed = -3; // the device did not take the image

struct DownloadReport {
  int result = 0;
  std::string message;  // what went wrong, in a sentence, when result != 0
  std::size_t bytes = 0;  // image size settled (sent when result is 0)
};

// Macro numbers in download order: for each key in order with a position on
// the device, its normal assignment then (withFn) its Fn assignment; a macro
// code (0x70, 0x71) below macroCount adds its number once.
std::vector<int> CollectMacroNumbers(const std::vector<KeyRecord>& keys, int keyLimit,
                                     const std::function<bool(int key)>& hasPosition,
                                     int macroCount, bool withFn);

// The whole macro download against an open engine: ReadInfo (info34 is
// refreshed), link check through a receiver, the files of `folder` read and
// checked, capacity from info byte 6, then BeginConfig, the image, EndConfig.
DownloadReport DownloadMacroImage(CDeviceComm& comm, std::array<uint8_t, 34>& info,
                                  const std::filesystem::path& folder, const std::vector<int>& macros);

// The four shoot files of `folder` as one image in the shoot area.
DownloadReport DownloadShootImage(CDeviceComm& comm, std::array<uint8_t, 34>& info,
                                  const std::filesystem::path& folder);

// Writes image to the macro (shoot = false) or shoot area inside
// Begin/EndConfig: the signature is cleared first, the blocks follow and the
// header goes last, so an interrupted write leaves no valid image. Returns the
// first failed command's result, or CMD_OK.
int WriteImageHeaderLast(CDeviceComm& comm, bool shoot, const std::vector<uint8_t>& image);

}  // namespace korvale
