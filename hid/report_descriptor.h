#pragma once
// HID report descriptor parser: the top-level collections of an interface,
// their report lengths and capabilities, and the unpacking of one report into
// usages and values, with the results the Windows HID parser would give.
// Hostile descriptors are refused with a trace; nothing reads out of bounds.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hid/hid_device.h"

namespace korvale {

// Status codes of the parser calls, as the Windows HID parser reports them.
inline constexpr uint32_t kHidpStatusNull = 0x80110001;
inline constexpr uint32_t kHidpStatusInvalidReportLength = 0xC0110003;
inline constexpr uint32_t kHidpStatusUsageNotFound = 0xC0110004;
inline constexpr uint32_t kHidpStatusValueOutOfRange = 0xC0110005;
inline constexpr uint32_t kHidpStatusBadLogPhyValues = 0xC0110006;
inline constexpr uint32_t kHidpStatusBufferTooSmall = 0xC0110007;
inline constexpr uint32_t kHidpStatusIncompatibleReportId = 0xC011000A;

// Limits beyond which a descriptor is refused as hostile.
inline constexpr std::size_t kMaxDescriptorBytes = 4096;
inline constexpr uint32_t kMaxReportBytes = 4096;  // one report, id byte included
inline constexpr uint32_t kMaxReportCount = 4096;  // one main item
inline constexpr uint32_t kMaxTotalCount = 32768;  // all main items together
inline constexpr int kMaxCollectionDepth = 16;
inline constexpr int kMaxPushDepth = 16;
inline constexpr std::size_t kMaxLocalUsages = 1024;
inline constexpr std::size_t kMaxFields = 1024;
// Usage list slots of all button entries of one collection and report type.
inline constexpr uint32_t kMaxUsageListTotal = 65536;

struct HidUsageRange {
  uint16_t usagePage = 0;
  uint16_t usageMin = 0;
  uint16_t usageMax = 0;
};

// One main item (Input, Output or Feature) with its global and local state.
struct HidField {
  HidReportType type = HidReportType::Input;
  uint8_t reportId = 0;
  bool constant = false;
  bool variable = false;  // else array
  uint32_t bitPos = 0;    // from the start of the report, id byte included
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  int64_t logicalMin = 0, logicalMax = 0;
  int64_t physicalMin = 0, physicalMax = 0;
  std::vector<HidUsageRange> usages;  // in declaration order
  std::vector<uint32_t> usageEnds;    // running count of usages after each range

  // A field of one bit per usage, or a list of usage indices.
  bool IsButton() const { return !variable || reportSize == 1; }
};

struct HidButtonCap {
  uint16_t usagePage = 0;
  uint8_t reportId = 0;
  bool isRange = false;
  uint16_t usageMin = 0, usageMax = 0;
  uint32_t bitPos = 0;
  uint32_t reportSize = 0, reportCount = 0;
  int32_t logicalMin = 0, logicalMax = 0;
};

struct HidValueCap {
  uint16_t usagePage = 0;
  uint8_t reportId = 0;
  bool isRange = false;
  uint16_t usageMin = 0, usageMax = 0;
  uint32_t bitPos = 0;  // of the first usage
  uint32_t reportSize = 0, reportCount = 0;
  int32_t logicalMin = 0, logicalMax = 0;
  int32_t physicalMin = 0, physicalMax = 0;
};

struct HidCollectionCaps {
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  std::array<uint16_t, 3> reportByteLength{};  // by HidReportType
  std::array<std::vector<HidButtonCap>, 3> buttonCaps;
  std::array<std::vector<HidValueCap>, 3> valueCaps;
  std::array<std::vector<uint8_t>, 3> reportIds;  // ids with fields here, ascending
  std::vector<HidField> fields;
  bool usesReportIds = false;

  bool HasReportId(HidReportType type, uint8_t id) const;
  // The length of one report id's reports (its id byte included); 0 for an
  // id without fields here.
  uint16_t ReportByteLength(HidReportType type, uint8_t id) const;
  std::array<std::vector<uint16_t>, 3> idByteLength;  // by type, in reportIds order
};

struct HidReportDescriptor {
  bool usesReportIds = false;
  std::vector<HidCollectionCaps> collections;  // top-level, in descriptor order
};

// Nothing when the descriptor is malformed or hostile; *error (when given)
// then says why, and a trace names the byte offset.
std::optional<HidReportDescriptor> ParseReportDescriptor(std::span<const uint8_t> bytes,
                                                         std::string* error = nullptr);

// The most usages HidP_GetUsages can return for this page and report type.
uint32_t MaxUsageListLength(const HidCollectionCaps& caps, HidReportType type, uint16_t usagePage);

// One button entry per button capability, then one value entry per usage of
// each value capability; usage lists sized by MaxUsageListLength.
std::vector<HidDataEntry> BuildDataEntries(const HidCollectionCaps& caps, HidReportType type);

// Fills every entry whose report id equals report[0] from the report.
// False when a value cannot be read (its status says why).
bool UnpackReport(const HidCollectionCaps& caps, HidReportType type,
                  std::span<const uint8_t> report, std::vector<HidDataEntry>& entries);

}  // namespace korvale
