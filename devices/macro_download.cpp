#include "devices/macro_download.h"

#include <algorithm>

#include "devices/macro_image.h"
#include "platform/trace.h"
#include "profiles/macro_files.h"
#include "protocol/device_comm.h"

namespace korvale {
namespace {

constexpr uint8_t kTypeMacro = 0x70;
constexpr uint8_t kTypeMacroRepeat = 0x71;

std::string CommandFailure(const char* what, int code) {
  return std::string(what) + " failed (result " + std::to_string(code) + ")";
}

// ReadInfo and the receiver's link, before anything is written.
bool PrepareEngine(CDeviceComm& comm, std::array<uint8_t, 34>& info, DownloadReport& report) {
  if (comm.opened.load() == 0) {
    report = {kMacroWriteFailed, "the device is not connected", 0};
    return false;
  }
  if (comm.viaReceiver.load() != 0 && !comm.LinkCheck()) {
    report = {kMacroWriteFailed, "the receiver has no link to the device", 0};
    return false;
  }
  const int r = comm.ReadInfo(info.data());
  if (r != CMD_OK) {
    report = {kMacroWriteFailed, CommandFailure("reading the device information", r), 0};
    return false;
  }
  return true;
}

DownloadReport SendImage(CDeviceComm& comm, bool shoot, const std::vector<uint8_t>& image) {
  const int r = WriteImageHeaderLast(comm, shoot, image);
  if (r != CMD_OK)
    return {kMacroWriteFailed,
            CommandFailure(shoot ? "writing the shoot sequences" : "writing the macros", r), 0};
  return {0, {}, image.size()};
}

}  // namespace

std::vector<int> CollectMacroNumbers(const std::vector<KeyRecord>& keys, int keyLimit,
                                     const std::function<bool(int key)>& hasPosition,
                                     int macroCount, bool withFn) {
  std::vector<int> out;
  auto take = [&](const AssignmentCode& c) {
    if ((c.type == kTypeMacro || c.type == kTypeMacroRepeat) && c.value1 < macroCount &&
        std::find(out.begin(), out.end(), c.value1) == out.end())
      out.push_back(c.value1);
  };
  const int last = std::min<int>(keyLimit, static_cast<int>(keys.size()));
  for (int i = 0; i < last; ++i) {
    if (!hasPosition(i)) continue;
    take(keys[static_cast<std::size_t>(i)].normal.code);
    if (withFn) take(keys[static_cast<std::size_t>(i)].fn.code);
  }
  return out;
}

int WriteImageHeaderLast(CDeviceComm& comm, bool shoot, const std::vector<uint8_t>& image) {
  if (image.size() < kMacroImageHeader) return CMD_BAD_ARGUMENT;
  auto write = [&](const uint8_t* p, std::size_t n, std::size_t at) {
    const auto len = static_cast<uint32_t>(n);
    const auto off = static_cast<uint32_t>(at);
    return shoot ? comm.WriteShoot(p, len, off) : comm.WriteMacro(p, len, off);
  };
  int r = comm.BeginConfig();
  if (r != CMD_OK) return r;
  const std::array<uint8_t, kMacroImageHeader> cleared{};
  r = write(cleared.data(), cleared.size(), 0);
  if (r == CMD_OK)
    r = write(image.data() + kMacroImageHeader, image.size() - kMacroImageHeader, kMacroImageHeader);
  if (r == CMD_OK) r = write(image.data(), kMacroImageHeader, 0);
  const int end = comm.EndConfig(1);
  return r == CMD_OK ? end : r;
}

DownloadReport DownloadMacroImage(CDeviceComm& comm, std::array<uint8_t, 34>& info,
                                  const std::filesystem::path& folder, const std::vector<int>& macros) {
  DownloadReport report;
  if (macros.empty()) return report;
  const std::vector<MacroInfoEntry> index = ReadMacroIndex(folder);
  if (index.empty()) return report;
  if (!PrepareEngine(comm, info, report)) return report;

  std::vector<std::vector<MacroEvent>> entries;
  for (int k : macros) {
    if (k < 0 || static_cast<std::size_t>(k) >= index.size()) {
      entries.emplace_back();  // a number the index no longer has: an empty entry keeps the order
      continue;
    }
    const MacroInfoEntry& m = index[static_cast<std::size_t>(k)];
    const auto file = MacroFilePath(folder, m.guid);
    if (!file) return {kMacroFileBroken, "macro \"" + m.name + "\" has an unusable Guid", 0};
    std::error_code ec;
    if (!std::filesystem::exists(*file, ec)) {
      entries.emplace_back();  // never saved: no events
      continue;
    }
    MacroEventsRead read = ReadMacroEvents(*file);
    if (!read.ok()) return {kMacroFileBroken, "macro \"" + m.name + "\": " + read.error, 0};
    entries.push_back(std::move(read.events));
  }
  const std::size_t size = MacroImageSize(entries);
  const std::size_t capacity = std::size_t{info[6]} * 128;
  if (size > capacity) {
    report.bytes = size;
    if (capacity == 0) {
      report.result = kMacroNoMemory;
      report.message = "the device has no memory for macros";
    } else {
      report.result = static_cast<int>((size - capacity) / 4 + 1);
      report.message = "the macros take " + std::to_string(size) + " bytes, the device holds " +
                       std::to_string(capacity);
    }
    return report;
  }
  const auto image = EncodeMacroImage(entries);
  if (!image) return {static_cast<int>((size - capacity) / 4 + 1), "the macro image is too large", size};
  return SendImage(comm, false, *image);
}

DownloadReport DownloadShootImage(CDeviceComm& comm, std::array<uint8_t, 34>& info,
                                  const std::filesystem::path& folder) {
  DownloadReport report;
  std::vector<std::vector<MacroEvent>> guns;
  for (int g = 0; g < kShootGuns; ++g) {
    const auto file = ShootFilePath(folder, g);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
      guns.emplace_back();
      continue;
    }
    MacroEventsRead read = ReadMacroEvents(file);
    if (!read.ok())
      return {kMacroFileBroken, "shoot file " + file.filename().string() + ": " + read.error, 0};
    guns.push_back(std::move(read.events));
  }
  const std::size_t size = MacroImageSize(guns);
  if (size > proto::kShootAreaSize) {
    return {static_cast<int>((size - proto::kShootAreaSize) / 4 + 1),
            "the shoot sequences take " + std::to_string(size) + " bytes, the device holds " +
                std::to_string(proto::kShootAreaSize),
            size};
  }
  if (!PrepareEngine(comm, info, report)) return report;
  return SendImage(comm, true, *EncodeMacroImage(guns));
}

}  // namespace korvale
