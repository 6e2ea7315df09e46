#pragma once
// One kernel HID device created from user space through /dev/uhid: the
// kernel's hid-generic driver binds it and a hidraw node appears, exactly as
// for a USB interface. Closing the descriptor destroys the device.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvale::emu {

struct UhidIdentity {
  std::string name;  // HID_NAME
  std::string phys;  // HID_PHYS; "/inputN" at its end gives the interface number, as usbhid's does
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t version = 0;
  std::vector<uint8_t> descriptor;
};

// What the kernel asked of the device.
struct UhidRequest {
  enum class Kind { Output, GetReport, SetReport, Other };
  Kind kind = Kind::Other;
  uint32_t id = 0;       // request id to answer GetReport/SetReport with
  uint8_t reportNumber = 0;
  uint8_t reportType = 0;  // UHID_FEATURE_REPORT, UHID_OUTPUT_REPORT, UHID_INPUT_REPORT
  std::vector<uint8_t> data;  // output or set report, report id first
};

// Opens node and creates the device; -1 with a trace on failure.
int UhidCreate(const std::filesystem::path& node, const UhidIdentity& id);
// Destroys the device and closes fd.
void UhidDestroy(int fd);
// One input report, report id first when the device numbers its reports.
bool UhidInput(int fd, std::span<const uint8_t> report);
// Next event from the kernel; nullopt when none is waiting or fd failed
// (failed is set then).
std::optional<UhidRequest> UhidReadRequest(int fd, bool& failed);
bool UhidReplyGetReport(int fd, uint32_t id, uint16_t err, std::span<const uint8_t> report);
bool UhidReplySetReport(int fd, uint32_t id, uint16_t err);

}  // namespace korvale::emu
