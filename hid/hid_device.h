#pragma once
// One HID interface: enumeration of all present interface paths, and a channel
// on one of them with capabilities and reads/writes that time out and can be
// cancelled from another thread. Backends: the kernel's hidraw nodes and the
// virtual HID bus; the path says which one serves it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event.h"

namespace korvale {

enum class HidReportType { Input = 0, Output = 1, Feature = 2 };

inline constexpr uint32_t kHidInfinite = 0xFFFFFFFFu;
inline constexpr uint32_t kHidpStatusSuccess = 0x110000;

struct HidAttributes {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
};

struct HidCaps {
  uint16_t usage = 0;
  uint16_t usagePage = 0;
  uint16_t inputReportByteLength = 0;  // report id byte included
  uint16_t outputReportByteLength = 0;
  uint16_t featureReportByteLength = 0;
  uint16_t numberInputButtonCaps = 0;
  uint16_t numberInputValueCaps = 0;
  uint16_t numberOutputButtonCaps = 0;
  uint16_t numberOutputValueCaps = 0;
  uint16_t numberFeatureButtonCaps = 0;
  uint16_t numberFeatureValueCaps = 0;
};

// One parsed field of a report type, filled by UnpackReport.
struct HidDataEntry {
  bool isButton = false;
  uint16_t usagePage = 0;
  uint32_t status = kHidpStatusSuccess;
  uint32_t reportId = 0;
  bool dataSet = false;
  // button data
  uint32_t usageMin = 0;
  uint32_t usageMax = 0;
  std::vector<uint16_t> usages;  // capacity = usage list capacity; 0-terminated when room
  // value data
  uint16_t usage = 0;
  uint32_t rawValue = 0;
  int32_t scaledValue = 0;
};

struct HidBackend;  // hidraw or virtual bus, private to hid/
struct HidCollectionCaps;  // hid/report_descriptor.h

class CHidDevice {
 public:
  CHidDevice();
  ~CHidDevice();
  CHidDevice(const CHidDevice&) = delete;
  CHidDevice& operator=(const CHidDevice&) = delete;

  // Enumeration: replaces the path list with every present interface path
  // (hidraw nodes and bus sockets) and resets the cursor.
  bool Enumerate();
  // Next path, or nullptr at the end or before any enumeration.
  const char* NextPath();
  void ClearPaths();

  bool Open(const std::string& path, bool read, bool write, bool overlapped, bool exclusiveWrite);
  void Close();  // harmless when closed; wakes a blocked Read/Write
  bool IsOpen() const;
  // errno of the node or socket that the last Open could not open (EACCES:
  // the node's permissions keep us out); 0 when it opened or failed later.
  int LastOpenError() const { return openError_; }

  // bytesRead/bytesWritten may be null; they get 0 on failure.
  bool Read(uint8_t* buffer, uint32_t length, uint32_t* bytesRead, uint32_t timeoutMs);
  bool Write(const uint8_t* buffer, uint32_t length, uint32_t* bytesWritten, uint32_t timeoutMs);
  // Feature reports, as HidD_GetFeature/HidD_SetFeature do them: buffer[0]
  // is the report id (0 when unnumbered) and must be one of this collection's
  // feature reports. GetFeature gives the report id first, as long as the
  // device made it (bytesRead), zero-filled up to the feature report length.
  bool GetFeature(uint8_t* buffer, uint32_t length, uint32_t* bytesRead, uint32_t timeoutMs);
  bool SetFeature(const uint8_t* buffer, uint32_t length, uint32_t timeoutMs);
  // Signals the stop event: a waiting Read/Write returns failure; with none
  // waiting, the next one fails once (auto-reset, as designed).
  void Stop();

  bool UnpackReport(const uint8_t* report, uint32_t length, HidReportType type);

  const HidAttributes& Attributes() const { return attributes_; }
  uint16_t VendorId() const { return attributes_.vendorId; }
  uint16_t ProductId() const { return attributes_.productId; }
  const HidCaps& Caps() const { return caps_; }
  uint32_t InterfaceNumber() const { return interfaceNumber_; }
  uint32_t CollectionNumber() const { return collectionNumber_; }
  const std::string& Path() const { return path_; }
  std::vector<uint8_t>& InputReport() { return inputReport_; }
  const std::vector<HidDataEntry>& InputData() const { return inputData_; }
  const std::vector<HidDataEntry>& OutputData() const { return outputData_; }
  const std::vector<HidDataEntry>& FeatureData() const { return featureData_; }

  // Where enumeration and Open look. Defaults: "/sys", "/dev", vhid::BusDir()
  // at the time of each call. Tests point these at fixture trees.
  static void SetSysfsRoot(const std::filesystem::path& root);
  static void SetDevRoot(const std::filesystem::path& root);
  static void SetHidrawEnabled(bool enabled);

 private:
  bool SetupCapabilities();
  friend class HidIoScope;
  bool AcceptInput(std::vector<uint8_t>& report) const;
  // Takes a pending stop signal; false at no system call when none was given.
  bool TakeStop();
  bool OwnsReportId(HidReportType type, uint8_t id) const;

  std::vector<std::string> paths_;
  uint32_t cursor_ = 0;
  bool hasPathList_ = false;
  bool read_ = false, write_ = false, overlapped_ = false, exclusiveWrite_ = false;
  std::string path_;
  HidAttributes attributes_;
  HidCaps caps_;
  std::vector<uint8_t> inputReport_, outputReport_, featureReport_;
  std::vector<HidDataEntry> inputData_, outputData_, featureData_;
  uint32_t interfaceNumber_ = 0;
  uint32_t collectionNumber_ = 0;
  int openError_ = 0;
  Event stop_{Event::Reset::Auto};
  // Raised after each Stop(), so the checks between reads and writes need
  // no system call while no stop is pending; the event itself wakes waits.
  std::atomic<bool> stopHint_{false};
  std::unique_ptr<HidBackend> backend_;
  std::unique_ptr<HidCollectionCaps> collection_;
  // Close from another thread: it raises closing_, waits until the I/O in
  // progress has left (ioActive_ == 0) and only then releases the backend,
  // so no descriptor is closed while another thread polls it.
  mutable std::mutex ioLock_;
  std::condition_variable ioIdle_;
  int ioActive_ = 0;
  Event closing_{Event::Reset::Manual};
  std::atomic<bool> closingNow_{false};  // closing_ as a flag, for the same reason
};

}  // namespace korvale
