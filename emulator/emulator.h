#pragma once
// Emulated devices on the virtual HID bus: one listening socket per HID
// interface in the bus folder, the firmware models behind them, faults on
// demand and a link timing model. One thread serves every socket with poll().
// With UseUhid the same interfaces become kernel HID devices through
// /dev/uhid instead of sockets.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "emulator/firmware.h"

namespace korvale::emu {

// One emulated HID interface.
enum class Endpoint { Keyboard, MouseCable, MouseReceiver, Mousepad, Headset };
inline constexpr Endpoint kAllEndpoints[] = {Endpoint::Keyboard, Endpoint::MouseCable,
                                             Endpoint::MouseReceiver, Endpoint::Mousepad,
                                             Endpoint::Headset};

// Socket base name ("keyboard", "mouse-cable", "mouse-receiver", "mousepad",
// "headset"); the socket is "<name>.sock".
const char* EndpointName(Endpoint e);
// Accepts the names above and "mouse" for the receiver.
std::optional<Endpoint> ParseEndpoint(const std::string& name);
Product EndpointProduct(Endpoint e);
uint16_t EndpointVendorId(Endpoint e);
uint16_t EndpointProductId(Endpoint e);
uint8_t EndpointInterface(Endpoint e);

// Report descriptors. Interface 1 of the keyboard, mouse, receiver and pad:
// four top-level collections, consumer control third, the vendor command
// collection fourth. The headset: one consumer-control collection carrying
// events, command reports and LED output reports.
std::vector<uint8_t> CommandInterfaceDescriptor();
std::vector<uint8_t> HeadsetDescriptor();

enum class FaultKind {
  None,
  NoAnswer,    // the command is executed, its answer never sent
  LateAnswer,  // the answer comes param ms late (default 1500)
  WrongCode,   // param answers (default 1) with another command code, in place of the answer
  StatusFF,    // the answer's status byte is 0xFF
  StatusFE,    // ... 0xFE
  Unplug,      // the interface is unplugged instead of answering
  Garbage,     // a garbage report precedes the answer
  WrongOffset, // the answer carries another offset (param added, default 1)
  Zeros,       // param reports (default 16) of the report id and zeros, in place of the answer
  Events,      // param resync events (default 3) on the event report id, then the answer
};
const char* FaultKindName(FaultKind k);
std::optional<FaultKind> ParseFaultKind(const std::string& name);

struct Fault {
  FaultKind kind = FaultKind::None;
  uint32_t after = 0;  // commands answered normally before the fault strikes
  uint32_t count = 0;  // commands affected; 0 = until cleared
  uint32_t param = 0;  // 0 = the kind's default
  int command = -1;    // only commands with this code count and are struck; -1 = any
};

class Emulator {
 public:
  explicit Emulator(std::filesystem::path busDir);
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Before Start: which interfaces to serve.
  void Add(Endpoint e);
  // Before Start: serve each interface as a kernel HID device created through
  // the uhid node (normally /dev/uhid) rather than as a bus socket.
  void UseUhid(std::filesystem::path uhidNode);
  bool UsesUhid() const { return !uhidNode_.empty(); }
  // Plugs every added interface and starts serving. False when a socket
  // cannot be created (a trace says why).
  bool Start();
  // Stops serving, removes the sockets, saves the state file if set.
  void Stop();

  std::filesystem::path SocketPath(Endpoint e) const;
  std::vector<Endpoint> Endpoints() const;

  bool Plug(Endpoint e, bool plugged);
  bool IsPlugged(Endpoint e) const;
  // Key press (0x500 + position) or release (0x600 + position).
  bool Key(Endpoint e, uint16_t position, bool down);
  // Any event code on the consumer-control collection.
  bool SendEvent(Endpoint e, uint16_t code);
  // Profile change: sets the active record and reports 0x10nn, or 0x11nn
  // with value in bits 4-7 when value is given.
  bool SetProfile(Endpoint e, uint8_t profile, std::optional<uint8_t> value);
  // The mouse's radio link to its receiver.
  void SetLink(bool up);
  // The link drops after `after` more commands through the receiver were
  // answered (in the middle of a sequence).
  void SetLinkDownAfter(uint32_t after);
  bool LinkUp() const;
  bool SetFault(Endpoint e, Fault f);
  // Time each report costs on the link (0 by default; 1 ms models USB full
  // speed). An exchange then takes two report times plus the host's own time
  // between an answer and its next command; the emulator's delay in sending
  // an answer is not counted against the host.
  void SetReportCost(std::chrono::microseconds cost);

  // Command reports received on an interface, oldest first, and the status
  // byte the firmware answered each with (before any fault).
  std::vector<Report> Journal(Endpoint e) const;
  std::vector<uint8_t> JournalStatus(Endpoint e) const;
  void ClearJournal(Endpoint e);
  // Runs f on a product's firmware model under the emulator's lock.
  void WithModel(Product p, const std::function<void(DeviceModel&)>& f);

  // State file: loaded now (a bad file leaves the defaults and says why),
  // saved atomically after each EndConfig and on Stop.
  bool SetStateFile(const std::filesystem::path& file);
  bool SaveState();

 private:
  struct Client;
  struct Iface;
  struct Pending;
  void Loop();
  void Wake();
  bool PlugLocked(Iface& i);
  void UnplugLocked(Iface& i);
  void OnFrame(Iface& i, Client& c, uint8_t type, const std::vector<uint8_t>& payload);
  void OnOutput(Iface& i, const std::vector<uint8_t>& report);
  // One event from the kernel on a uhid device; false when the device is lost.
  bool OnUhidEvent(Iface& i);
  std::vector<uint8_t> DescriptorOf(const Iface& i) const;
  void OnCommand(Iface& i, const std::vector<uint8_t>& report);
  void SendInputLocked(Iface& i, const std::vector<uint8_t>& report);
  void ScheduleLocked(Iface& i, std::chrono::steady_clock::time_point due,
                      std::vector<uint8_t> report);
  bool SendEventLocked(Product p, uint16_t code);
  bool SaveStateLocked();
  Iface* Find(Endpoint e) const;

  std::filesystem::path dir_;
  std::filesystem::path uhidNode_;
  mutable std::mutex mu_;
  std::vector<std::unique_ptr<Iface>> ifaces_;
  std::map<Product, std::unique_ptr<DeviceModel>> models_;
  std::vector<Pending> pending_;
  std::chrono::microseconds cost_{0};
  bool linkUp_ = true;
  std::optional<uint32_t> linkDownAfter_;
  uint64_t generation_ = 0;  // bumped whenever the socket set changes
  bool stop_ = false;
  bool running_ = false;
  std::filesystem::path stateFile_;
  uint32_t garbageSeed_ = 0x2545F491u;
  int wakeFd_ = -1;
  int timerFd_ = -1;  // fires when the earliest pending answer is due
  std::thread thread_;
};

}  // namespace korvale::emu
