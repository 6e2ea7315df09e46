#pragma once
// What the device commands share: the bound devices as discovery and the
// device list see them, and a keyboard page opened the way the main window
// connects it (same class, profile object and files; no skin attached).
#include <json/value.h>

#include <iosfwd>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/korvalectl.h"
#include "hid/device_table.h"
#include "profiles/profile_list.h"

namespace korvale {
class CVarnikKeyboardDevice;
class CVarnikLightingDevice;
class CVarnikMouseDevice;
}

namespace korvale::cli {

struct BoundInterface {
  std::string path;
  uint16_t kind = 0;       // the slot's kind (receiver kinds for a receiver connection)
  uint16_t auxiliary = 0;  // kAuxiliaryPrimary or kAuxiliaryConsumer
};

struct BoundDevice {
  int productRow = -1;      // kProducts / kProductPages row
  std::string productKey;   // "keyboard", "mouse", "MousePad", "HD"
  uint16_t kind = 0;        // the product's kind (Keyboard, Mouse, ...)
  bool viaReceiver = false; // connected through its receiver only
  std::string primaryPath;  // the command collection in use
  std::vector<BoundInterface> interfaces;
};

// Binds every present interface to the discovery slots (no thread, no
// window) and groups the bound slots by device as the device list does.
std::vector<BoundDevice> FindBoundDevices();

// A supported interface that is present but may not be opened: its node's
// permissions keep this user out (no udev rule, or not yet applied).
struct DeniedInterface {
  std::string node;  // "/dev/hidraw3"
  int productRow = -1;
};
// One entry per node, in listing order.
std::vector<DeniedInterface> FindDeniedInterfaces();
// What to tell the user about it, naming the node and the rule.
std::string DeniedReason(const DeniedInterface& d);

// The names people use for the products, by product row; a product's key
// from the device table ("MousePad", "HD") is accepted as well.
inline constexpr const char* kDeviceNames[] = {"mouse", "keyboard", "mousepad", "headset"};
static_assert(std::size(kDeviceNames) == kProductCount);

// The product row for a device name or product key, case-insensitive; -1
// when unknown.
int ProductRowOfKey(const std::string& key);

// The current profile of a device folder (profiles/profile_list.h).
using korvale::CurrentProfile;
using korvale::ProfileSelection;

// "no answer", "status 0xFF", ... for a command result code.
std::string ResultName(int code);

// A device page (keyboard or mouse) connected to a bound device, with its
// profile reloaded and the device's configuration read into it, as on
// connection in the window. Open fails with a reason and the exit status to give.
template <class Page>
class PageSession {
 public:
  PageSession();
  ~PageSession();
  PageSession(const PageSession&) = delete;
  PageSession& operator=(const PageSession&) = delete;

  // Returns kExitOk, kExitDeviceError or kExitFailure; reason says why.
  // A read-only session (info) creates, saves and writes back nothing: the
  // profile list is only read when it exists, and the page is read-only.
  int Open(const BoundDevice& device, std::string& reason, bool readOnly = false);
  Page& GetPage() { return *page_; }
  const ProfileSelection& Profile() const { return profile_; }
  // False for a read-only session on a device folder without a profile list.
  bool HasProfile() const { return hasProfile_; }

 private:
  std::unique_ptr<Page> page_;
  ProfileSelection profile_;
  bool hasProfile_ = false;
};

using KeyboardSession = PageSession<CVarnikKeyboardDevice>;
using MouseSession = PageSession<CVarnikMouseDevice>;

// A mousepad or headset page connected the same way: information block,
// profile, configuration record.
class LightingSession {
 public:
  LightingSession();
  ~LightingSession();
  LightingSession(const LightingSession&) = delete;
  LightingSession& operator=(const LightingSession&) = delete;

  int Open(const BoundDevice& device, std::string& reason, bool readOnly = false);
  CVarnikLightingDevice& GetPage() { return *page_; }
  const ProfileSelection& Profile() const { return profile_; }
  bool HasProfile() const { return hasProfile_; }

 private:
  std::unique_ptr<CVarnikLightingDevice> page_;
  ProfileSelection profile_;
  bool hasProfile_ = false;
};

}  // namespace korvale::cli
