#include "emulator/firmware.h"

#include <algorithm>
#include <cstring>

namespace korvale::emu {

using namespace proto;

const char* ProductName(Product p) {
  switch (p) {
    case Product::Keyboard: return "keyboard";
    case Product::Mouse: return "mouse";
    case Product::Mousepad: return "mousepad";
    case Product::Headset: return "headset";
  }
  return "?";
}

// clang-format off
const std::array<std::array<uint8_t, 3>, kLayoutKeys> kKeyboardLayout = [] {
  std::array<std::array<uint8_t, 3>, kLayoutKeys> t{};
  const std::array<std::array<uint8_t, 3>, 126> real = {{
    {0x20,0x00,0x29},{0x20,0x00,0x3A},{0x20,0x00,0x3B},{0x20,0x00,0x3C},{0x20,0x00,0x3D},
    {0x20,0x00,0x3E},{0x20,0x00,0x3F},{0x20,0x00,0x40},{0x20,0x00,0x41},{0x20,0x00,0x42},
    {0x20,0x00,0x43},{0x20,0x00,0x44},{0x20,0x00,0x45},{0x20,0x00,0x46},{0x20,0x00,0x47},
    {0x20,0x00,0x48},{0xA0,0x1B,0x00},{0x30,0x92,0x01},{0x30,0xE2,0x00},{0x30,0xEA,0x00},
    {0x30,0xE9,0x00},{0x20,0x00,0x35},{0x20,0x00,0x1E},{0x20,0x00,0x1F},{0x20,0x00,0x20},
    {0x20,0x00,0x21},{0x20,0x00,0x22},{0x20,0x00,0x23},{0x20,0x00,0x24},{0x20,0x00,0x25},
    {0x20,0x00,0x26},{0x20,0x00,0x27},{0x20,0x00,0x2D},{0x20,0x00,0x2E},{0x20,0x00,0x2A},
    {0x20,0x00,0x49},{0x20,0x00,0x4A},{0x20,0x00,0x4B},{0x20,0x00,0x53},{0x20,0x00,0x54},
    {0x20,0x00,0x55},{0x20,0x00,0x56},{0x20,0x00,0x2B},{0x20,0x00,0x14},{0x20,0x00,0x1A},
    {0x20,0x00,0x08},{0x20,0x00,0x15},{0x20,0x00,0x17},{0x20,0x00,0x1C},{0x20,0x00,0x18},
    {0x20,0x00,0x0C},{0x20,0x00,0x12},{0x20,0x00,0x13},{0x20,0x00,0x2F},{0x20,0x00,0x30},
    {0x20,0x00,0x31},{0x20,0x00,0x4C},{0x20,0x00,0x4D},{0x20,0x00,0x4E},{0x20,0x00,0x5F},
    {0x20,0x00,0x60},{0x20,0x00,0x61},{0x20,0x00,0x32},{0x20,0x00,0x39},{0x20,0x00,0x04},
    {0x20,0x00,0x16},{0x20,0x00,0x07},{0x20,0x00,0x09},{0x20,0x00,0x0A},{0x20,0x00,0x0B},
    {0x20,0x00,0x0D},{0x20,0x00,0x0E},{0x20,0x00,0x0F},{0x20,0x00,0x33},{0x20,0x00,0x34},
    {0x20,0x00,0x28},{0x20,0x00,0x5C},{0x20,0x00,0x5D},{0x20,0x00,0x5E},{0x20,0x00,0x8A},
    {0x20,0x00,0x8B},{0x20,0x00,0x90},{0x20,0x00,0x91},{0x20,0x00,0x88},{0x20,0x02,0x00},
    {0x20,0x00,0x1D},{0x20,0x00,0x1B},{0x20,0x00,0x06},{0x20,0x00,0x19},{0x20,0x00,0x05},
    {0x20,0x00,0x11},{0x20,0x00,0x10},{0x20,0x00,0x36},{0x20,0x00,0x37},{0x20,0x00,0x38},
    {0x20,0x20,0x00},{0x20,0x00,0x52},{0x20,0x00,0x59},{0x20,0x00,0x5A},{0x20,0x00,0x5B},
    {0x20,0x00,0x87},{0x20,0x00,0x89},{0x20,0x00,0x64},{0x20,0x00,0x85},{0x20,0x00,0x00},
    {0x20,0x01,0x00},{0x20,0x08,0x00},{0x20,0x04,0x00},{0x20,0x00,0x2C},{0x20,0x40,0x00},
    {0xA0,0x01,0x00},{0x20,0x00,0x65},{0x20,0x10,0x00},{0x20,0x00,0x50},{0x20,0x00,0x51},
    {0x20,0x00,0x4F},{0x20,0x00,0x62},{0x20,0x00,0x63},{0x20,0x00,0x58},{0x20,0x00,0x57},
    {0xD0,0xA2,0x01},{0xD0,0xA2,0x02},{0xD0,0xA2,0x03},{0xD0,0xA2,0x04},{0xD0,0xA2,0x05},
    {0x20,0x80,0x00},
  }};
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = i < real.size() ? real[i] : std::array<uint8_t, 3>{0x20, 0, 0};
  return t;
}();

const std::array<std::array<uint8_t, 3>, 11> kMouseButtons = {{
  {0x10,0x01,0x00},{0x10,0x02,0x00},{0x10,0x04,0x00},{0x10,0x10,0x00},{0x10,0x08,0x00},
  {0x13,0x01,0x00},{0x13,0x02,0x00},{0x13,0x03,0x00},{0xA0,0x1B,0x00},{0x16,0x90,0x01},
  {0x14,0x78,0x02},
}};
// clang-format on

namespace {

// The keyboard's matrix order: position p holds screen key (p * 37) % 170,
// so screen key j sits at (j * 23) % 170 (23 is 37's inverse modulo 170).
constexpr std::size_t kMatrixStep = 37;
constexpr std::size_t kMatrixInverse = 23;
static_assert((kMatrixStep * kMatrixInverse) % kLayoutKeys == 1);

// LED wiring: screen key j drives LED (7 j + 3) % 170 (7 is prime to 170).
constexpr std::size_t kLedStep = 7;
constexpr std::size_t kLedShift = 3;

constexpr std::size_t kMouseKeyPositions = 16;
constexpr uint8_t kKeyboardMacroUnits = 64;  // 8 KiB
constexpr uint8_t kMouseMacroUnits = 32;     // 4 KiB
constexpr uint16_t kFirmwareVersion = 0x0103;
constexpr uint16_t kMouseSensor = 0x3325;
constexpr uint8_t kMouseDpiStep = 50;
constexpr uint16_t kMouseDpiSteps = 85;
constexpr uint16_t kMouseDpiMinimum = 100;
constexpr std::size_t kKeyboardRecords = 4;
constexpr std::size_t kMouseRecords = 5;
constexpr std::size_t kMouseLeds = 15;

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr char kStateMagic[4] = {'K', 'V', 'E', 'M'};
constexpr uint8_t kStateVersion = 1;

}  // namespace

std::size_t KeyboardPositionOfKey(std::size_t uiKey) {
  return (uiKey * kMatrixInverse) % kLayoutKeys;
}

std::size_t KeyboardLedOfKey(std::size_t uiKey) { return (uiKey * kLedStep + kLedShift) % kLayoutKeys; }

DeviceModel::DeviceModel(Product product) : product_(product) { SetDefaults(); }

void DeviceModel::SetDefaults() {
  info.fill(0);
  info[0] = 0x01;
  info[1] = static_cast<uint8_t>(product_);
  PutU16(&info[2], kFirmwareVersion);
  PutU16(&info[kInfoTail], kFirmwareVersion);
  config.assign(kConfigAreaSize, 0);
  customGroups.assign(kCustomGroupCount * kCustomGroupSize, 0);
  defaultKeys.fill(0);
  ledTable.fill(0xFF);
  for (auto& t : keyTables) t.fill(0);
  status.fill(0);

  switch (product_) {
    case Product::Keyboard: {
      info[kInfoKeyCount] = static_cast<uint8_t>(kLayoutKeys);
      info[kInfoMacroUnits] = kKeyboardMacroUnits;
      for (std::size_t p = 0; p < kLayoutKeys; ++p) {
        const std::size_t key = (p * kMatrixStep) % kLayoutKeys;
        std::memcpy(&defaultKeys[p * 3], kKeyboardLayout[key].data(), 3);
        ledTable[p] = static_cast<uint8_t>(KeyboardLedOfKey(key));
      }
      for (std::size_t r = 0; r < kKeyboardRecords; ++r) {
        uint8_t* rec = &config[r * kKeyboardRecordSize];
        const uint8_t init[] = {static_cast<uint8_t>(r), 1, 4, 2, 0, 1, 0xFF, 0x00, 0x00};
        std::memcpy(rec, init, sizeof init);
      }
      status[kStatusBattery] = 85;
      break;
    }
    case Product::Mouse: {
      info[kInfoKeyCount] = kMouseKeyPositions;
      info[kInfoMacroUnits] = kMouseMacroUnits;
      PutU16(&info[kInfoSensorId], kMouseSensor);
      info[kInfoDpiStep] = kMouseDpiStep;
      PutU16(&info[kInfoDpiSteps], kMouseDpiSteps);
      PutU16(&info[kInfoDpiMinimum], kMouseDpiMinimum);
      // The mouse lists its buttons from the last to the first.
      for (std::size_t j = 0; j < kMouseButtons.size(); ++j) {
        std::memcpy(&defaultKeys[(kMouseButtons.size() - 1 - j) * 3], kMouseButtons[j].data(), 3);
      }
      for (std::size_t i = 0; i < kMouseLeds; ++i) ledTable[i] = static_cast<uint8_t>(i);
      for (std::size_t r = 0; r < kMouseRecords; ++r) {
        uint8_t* rec = &config[r * kMouseRecordStride];
        const uint8_t init[] = {static_cast<uint8_t>(r), 1, 4, 2, 0, 1, 0x00, 0xFF, 0x00};
        std::memcpy(rec, init, sizeof init);
        rec[11] = 1;  // polling rate index
        for (std::size_t s = 0; s < 5; ++s) {
          uint8_t* st = rec + kMouseRecStages + s * kMouseStageSize;
          const uint16_t v = static_cast<uint16_t>(8 * (s + 1));
          st[0] = 1;
          PutU16(st + 2, v);
          PutU16(st + 4, v);
          st[6] = static_cast<uint8_t>(s * 50);
          st[8] = 0xFF;
        }
      }
      status[kStatusBattery] = 70;
      status[kStatusCharge] = 1;
      break;
    }
    case Product::Mousepad:
    case Product::Headset: {
      // Four records 64 bytes apart, each with a look of its own, so a
      // read or a write at the wrong place shows.
      const uint8_t init[4][9] = {{0, 0, 4, 2, 0, 1, 0xFF, 0x00, 0x00},
                                  {1, 1, 3, 1, 1, 0, 0x00, 0xFF, 0x00},
                                  {2, 3, 2, 0, 0, 0, 0x00, 0x00, 0xFF},
                                  {3, 7, 1, 3, 1, 1, 0x80, 0x40, 0x20}};
      for (std::size_t r = 0; r < 4; ++r) std::memcpy(&config[r * 64], init[r], sizeof init[r]);
      config[0] = 0;  // record 0's first byte is the active record index
      status[kStatusBattery] = product_ == Product::Headset ? 60 : 100;
      status[kStatusCharge] = 2;
      if (product_ == Product::Mousepad) status[kStatusPhone] = 3;
      break;
    }
  }
  macroMemory.assign(std::size_t{info[kInfoMacroUnits]} * kMacroUnit, 0);
}

void DeviceModel::SetInfoByte(std::size_t at, uint8_t value) {
  if (at >= info.size()) return;
  info[at] = value;
  if (at == 6) macroMemory.assign(std::size_t{value} * 128, 0);
}

DeviceModel::Area DeviceModel::AreaFor(uint8_t command) {
  switch (command) {
    case kReadInfo: return {info.data(), info.size()};
    case kReadConfig:
    case kWriteConfig: return {config.data(), config.size()};
    case kReadKeyTable: return {defaultKeys.data(), defaultKeys.size()};
    case kWriteKeyTable: return {keyTables[0].data(), keyTables[0].size()};
    case kWriteFnKeyTable: return {keyTables[1].data(), keyTables[1].size()};
    case kWriteKeyTable3: return {keyTables[2].data(), keyTables[2].size()};
    case kReadCustomLight:
    case kWriteCustomLight: return {customGroups.data(), customGroups.size()};
    case kStreamLed: return {ledFrame.data(), ledFrame.size()};
    case kWriteMacro: return {macroMemory.data(), macroMemory.size()};
    case kWriteShoot: return {shootMemory.data(), shootMemory.size()};
    case kReadStatus: return {status.data(), status.size()};
    case kReadLedTable: return {ledTable.data(), ledTable.size()};
    default: return {};
  }
}

Report DeviceModel::Handle(std::span<const uint8_t> report, bool viaRadio) {
  Report in{};
  std::memcpy(in.data(), report.data(), std::min(report.size(), in.size()));
  Report out{};
  out[kOffReportId] = kCommandReportId;
  const uint8_t code = in[kOffCommand];
  const uint8_t len = in[kOffLength];
  const uint16_t offset = PacketOffset(in.data());
  out[kOffCommand] = code;
  out[kOffLength] = len;
  SetPacketOffset(out.data(), offset);

  auto finish = [&](uint8_t st) {
    out[kOffStatus] = st;
    SealPacket(out.data());
    return out;
  };
  if (in[kOffReportId] != kCommandReportId) return finish(kStatusFE);
  const uint16_t sum = static_cast<uint16_t>(in[kOffChecksum] | (in[kOffChecksum + 1] << 8));
  if (sum != PacketChecksum(in.data())) return finish(kStatusFE);
  // The radio cannot carry a longer packet: a host that kept the cable's
  // packet size fails here instead of passing unnoticed.
  if (viaRadio && len > kRadioMaxData) return finish(kStatusFF);

  switch (code) {
    case kBeginConfig:
      inConfig = true;
      if (product_ == Product::Mouse) pendingConfig = config;
      return finish(kStatusOk);
    case kEndConfig:
      if (product_ == Product::Mouse && inConfig && pendingConfig.size() == config.size()) config = pendingConfig;
      inConfig = false;
      ++endConfigCount;
      return finish(kStatusOk);
    case kLightControl: lightControl = true; return finish(kStatusOk);
    case kLinkCheck: out[kOffData] = kRadioLinkUp; return finish(kStatusOk);
    case kReadStatus:
      status[kStatusWireless] = viaRadio ? 1 : 0;
      [[fallthrough]];
    case kReadInfo:
    case kReadConfig:
    case kReadKeyTable:
    case kReadCustomLight:
    case kReadLedTable: {
      Area a = AreaFor(code);
      if (len > kMaxPacketData || std::size_t{offset} + len > a.size) return finish(kStatusFF);
      if (len) std::memcpy(&out[kOffData], a.data + offset, len);
      return finish(kStatusOk);
    }
    case kWriteConfig:
    case kWriteKeyTable:
    case kWriteFnKeyTable:
    case kWriteKeyTable3:
    case kWriteCustomLight:
    case kStreamLed:
    case kWriteMacro:
    case kWriteShoot: {
      Area a = AreaFor(code);
      if (code == kWriteConfig && product_ == Product::Mouse && inConfig && pendingConfig.size() == config.size())
        a = {pendingConfig.data(), pendingConfig.size()};
      if (len > kMaxPacketData || std::size_t{offset} + len > a.size) return finish(kStatusFF);
      if (len) std::memcpy(a.data + offset, &in[kOffData], len);
      return finish(kStatusOk);
    }
    default: return finish(kStatusFE);
  }
}

std::span<const uint8_t> DeviceModel::AreaNamed(const std::string& name) const {
  if (name == "info") return info;
  if (name == "config") return config;
  if (name == "keys") return keyTables[0];
  if (name == "fn-keys") return keyTables[1];
  if (name == "keys3") return keyTables[2];
  if (name == "default-keys") return defaultKeys;
  if (name == "led-table") return ledTable;
  if (name == "custom") return customGroups;
  if (name == "macro") return macroMemory;
  if (name == "shoot") return shootMemory;
  if (name == "status") return status;
  return {};
}

bool DeviceModel::HandleLedReport(std::span<const uint8_t> report) {
  // The firmware takes exactly 17 bytes: id 0xFF, target, channel, 0, values.
  if (product_ != Product::Headset || report.size() != 17 || report[0] != 0xFF) return false;
  const uint8_t target = report[1];
  const std::size_t slot = target == 0x22 ? 0 : target == 0x44 ? 1 : 2;
  if (slot == 2) return false;
  const uint8_t sel = report[2];
  if (sel < 0xAA || sel > 0xAF) return false;
  const bool second = sel >= 0xAD;
  const std::size_t channel = sel - (second ? 0xAD : 0xAA);
  const std::size_t first = second ? 7 : 0;
  const std::size_t count = second ? 6 : 7;
  for (std::size_t i = 0; i < count; ++i) {
    headsetLeds[first + i][channel] = report[4 + i];
  }
  ++ledReports[slot];
  std::copy(report.begin(), report.end(), lastLedReport[slot].begin());
  ledLog.push_back({target, sel});
  if (ledLog.size() > kLedLogSize) ledLog.pop_front();
  return true;
}

// Image: magic, version, product, then each persistent area as u32 LE size
// and bytes, in a fixed order.
std::vector<uint8_t> DeviceModel::Serialize() const {
  std::vector<uint8_t> v(kStateMagic, kStateMagic + 4);
  v.push_back(kStateVersion);
  v.push_back(static_cast<uint8_t>(product_));
  auto put = [&](const uint8_t* p, std::size_t n) {
    for (int s = 0; s < 32; s += 8) v.push_back(static_cast<uint8_t>(n >> s));
    if (n) v.insert(v.end(), p, p + n);
  };
  put(config.data(), config.size());
  for (const auto& t : keyTables) put(t.data(), t.size());
  put(customGroups.data(), customGroups.size());
  put(macroMemory.data(), macroMemory.size());
  put(shootMemory.data(), shootMemory.size());
  return v;
}

bool DeviceModel::Deserialize(std::span<const uint8_t> bytes) {
  if (bytes.size() < 6 || std::memcmp(bytes.data(), kStateMagic, 4) != 0 ||
      bytes[4] != kStateVersion || bytes[5] != static_cast<uint8_t>(product_)) {
    return false;
  }
  std::size_t at = 6;
  std::vector<std::span<const uint8_t>> parts;
  while (at < bytes.size()) {
    if (bytes.size() - at < 4) return false;
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n |= uint32_t{bytes[at + i]} << (8 * i);
    at += 4;
    if (bytes.size() - at < n) return false;
    parts.push_back(bytes.subspan(at, n));
    at += n;
  }
  std::vector<std::pair<uint8_t*, std::size_t>> dst = {{config.data(), config.size()}};
  for (auto& t : keyTables) dst.emplace_back(t.data(), t.size());
  dst.emplace_back(customGroups.data(), customGroups.size());
  dst.emplace_back(macroMemory.data(), macroMemory.size());
  dst.emplace_back(shootMemory.data(), shootMemory.size());
  if (parts.size() != dst.size()) return false;
  // The macro memory keeps the size it had when saved (info byte 6 may have
  // been changed); everything else has a fixed size.
  const std::size_t macroPart = dst.size() - 2;
  const std::size_t macroSize = parts[macroPart].size();
  if (macroSize % 128 != 0 || macroSize / 128 > 255) return false;
  dst[macroPart].second = macroSize;
  for (std::size_t i = 0; i < dst.size(); ++i) {
    if (parts[i].size() != dst[i].second) return false;
  }
  if (macroSize != macroMemory.size()) {
    SetInfoByte(6, static_cast<uint8_t>(macroSize / 128));
    dst[macroPart].first = macroMemory.data();
  }
  for (std::size_t i = 0; i < dst.size(); ++i) {
    if (dst[i].second) std::memcpy(dst[i].first, parts[i].data(), dst[i].second);
  }
  return true;
}

}  // namespace korvale::emu
