#pragma once
// Private to hid/: what CHidDevice needs from a backend, and the backends'
// enumeration and open functions.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "hid/hid_device.h"
#include "hid/hid_interfaces.h"

namespace korvale {

enum class HidIo { Done, WouldBlock, Failed };

struct HidBackend {
  virtual ~HidBackend() = default;
  // Pollable descriptor of the channel.
  virtual int Fd() const = 0;
  // One input report as the device sent it (report id first when numbered);
  // WouldBlock when none is waiting, Failed on hang-up or error.
  virtual HidIo TryRead(std::vector<uint8_t>& report) = 0;
  // Starts or continues sending one output report (report id first, 0 when
  // unnumbered). WouldBlock: call again when Fd() is writable.
  virtual HidIo TryWrite(std::span<const uint8_t> report) = 0;
  // A write gave up half-way: the channel can no longer be trusted.
  virtual void AbortWrite() {}
  // Whether the interface's reports carry a report id.
  virtual void SetNumbered(bool) {}
  // Feature report exchanges, answered by the device itself (a control
  // transfer on USB). GetFeature: report[0] is the report id and the size the
  // room; on Done the report as the device gave it, id first. Both wait at
  // most timeoutMs.
  virtual HidIo GetFeature(std::vector<uint8_t>& report, int timeoutMs) = 0;
  virtual HidIo SetFeature(std::span<const uint8_t> report, int timeoutMs) = 0;
};

// What an opened interface says about itself.
struct HidOpenInfo {
  HidAttributes attributes;
  std::vector<uint8_t> descriptor;
  int openErrno = 0;  // why the node or socket would not open (EACCES: its permissions)
};

// Where enumeration and Open look (tests point these at fixtures).
struct HidRoots {
  std::filesystem::path sysfs;
  std::filesystem::path dev;
  bool hidrawEnabled = true;
};
HidRoots CurrentHidRoots();


inline constexpr const char* kVhidPrefix = "vhid:";

void EnumerateVhid(std::vector<HidInterfaceInfo>& out);
std::unique_ptr<HidBackend> OpenVhid(const std::filesystem::path& socket, HidOpenInfo& info);

void EnumerateHidraw(const HidRoots& roots, std::vector<HidInterfaceInfo>& out);
std::unique_ptr<HidBackend> OpenHidraw(const HidRoots& roots, const std::filesystem::path& node,
                                       bool read, bool write, HidOpenInfo& info);

// Appends one entry per top-level collection of a parsed interface.
void AppendCollections(const std::string& location, const std::string& backend,
                       const HidAttributes& attributes, uint32_t interfaceNumber,
                       std::span<const uint8_t> descriptor, const std::string& productName,
                       std::vector<HidInterfaceInfo>& out);

}  // namespace korvale
