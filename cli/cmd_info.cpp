// korvalectl info: what the device reports, decoded: model, firmware,
// battery, memory, sensor, the active profile and its lighting. It only
// reads: no file or folder is created and nothing is written to the device.
#include <json/json.h>

#include <cstdio>
#include <ostream>

#include "cli/cmd_common.h"
#include "devices/lighting_device.h"
#include "hid/hid_interfaces.h"
#include "ui/ui_types.h"

namespace korvale::cli {

namespace {

int U16(const std::array<uint8_t, proto::kInfoSize>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }

// The interface's release number, which USB devices carry as their firmware
// revision in binary-coded decimal: 0x0103 is "1.03".
std::string FirmwareOf(const std::string& path) {
  for (const auto& i : ListHidInterfaces()) {
    if (i.path != path) continue;
    char t[16];
    std::snprintf(t, sizeof t, "%x.%02x", i.release >> 8, i.release & 0xFF);
    return t;
  }
  return "";
}

struct Status {
  bool read = false;
  std::array<uint8_t, proto::kStatusSize> bytes{};
};

// The battery of a product whose tile shows one (the wireless flag of its
// page row); the others report no battery.
int ReadBattery(CliContext& ctx, const BoundDevice& d, CDeviceComm& comm, Status& s) {
  if (kProductPages[static_cast<std::size_t>(d.productRow)].wireless == 0) return kExitOk;
  const int r = comm.ReadStatus(s.bytes.data(), static_cast<uint32_t>(s.bytes.size()), 0);
  if (r != proto::CMD_OK) return DeviceFailed(ctx, d, "reading the power status failed: " + ResultName(r));
  s.read = true;
  return kExitOk;
}

// The record a page read, the active record's index and the device's report rate.
struct RecordView {
  std::vector<uint8_t> bytes;
  int active = 0;
  int reportRateHz = -1;  // -1: the device has none in its record
};

RecordView RecordOf(CVarnikKeyboardDevice& kb) {
  const auto& rec = kb.ConfigRecord();
  return {{rec.begin(), rec.end()}, kb.ActiveProfile(), KeyboardReportRateHz(rec[proto::kKbRecPollingRate])};
}
RecordView RecordOf(CVarnikMouseDevice& m) {
  const auto& rec = m.ConfigRecord();
  const int rate = rec[proto::kMouseRecPollingRate];
  return {{rec.begin(), rec.end()},
          m.ActiveProfile(),
          rate < static_cast<int>(proto::kMouseReportRatesHz.size()) ? proto::kMouseReportRatesHz[static_cast<std::size_t>(rate)] : 0};
}
RecordView RecordOf(CVarnikLightingDevice& p) {
  const auto rec = p.Config();
  return {{rec.begin(), rec.end()}, p.ConfigRecord(), -1};
}

template <class Session>
int ShowInfo(CliContext& ctx, const BoundDevice& d, bool raw) {
  Session s;
  if (int r = OpenSession(ctx, d, s, /*readOnly=*/true); r != kExitOk) return r;
  auto& page = s.GetPage();
  Status status;
  if (int r = ReadBattery(ctx, d, page.Comm(), status); r != kExitOk) return r;
  const auto& info = page.GetDeviceInfo();
  const RecordView rec = RecordOf(page);
  const FirmwareEntry& fw = kFirmware[static_cast<std::size_t>(d.productRow)];
  const std::vector<EffectChoice> effects = EffectChoices(d.productRow);
  const bool isMouse = d.kind == static_cast<uint16_t>(DeviceKind::Mouse);
  const int macroBytes = info[proto::kInfoMacroUnits] * static_cast<int>(proto::kMacroUnit);

  Json::Value v(Json::objectValue);
  v["device"] = DeviceJson(d);
  v["model"] = fw.modelName;
  v["modelCode"] = fw.modelCode;
  v["firmware"] = FirmwareOf(d.primaryPath);
  if (status.read) {
    v["battery"]["percent"] = status.bytes[proto::kStatusBattery];
    v["battery"]["charging"] = status.bytes[proto::kStatusCharge] == 1;
  } else {
    v["battery"] = Json::Value(Json::nullValue);
  }
  v["memory"]["keyPositions"] = info[proto::kInfoKeyCount];
  v["memory"]["macroBytes"] = macroBytes;
  v["sensor"] = Json::Value(Json::nullValue);
  if constexpr (std::is_same_v<Session, MouseSession>) {
    Json::Value& sensor = v["sensor"];
    char id[8];
    std::snprintf(id, sizeof id, "%04x", U16(info, proto::kInfoSensorId));
    sensor["id"] = id;
    sensor["dpiStep"] = info[proto::kInfoDpiStep];
    sensor["dpiSteps"] = U16(info, proto::kInfoDpiSteps);
    sensor["dpiMinimum"] = U16(info, proto::kInfoDpiMinimum);
    sensor["dpiMaximum"] = page.DpiForSlider(U16(info, proto::kInfoDpiSteps));
  }
  v["reportRate"] = rec.reportRateHz >= 0 ? Json::Value(rec.reportRateHz) : Json::Value(Json::nullValue);
  v["activeSlot"] = rec.active;
  v["profile"] = ProfileJson(s.HasProfile(), s.Profile(), page.GetProfilePath());
  v["lighting"] = LightingJson(page.GetLightInfoRecord(), effects);
  v["dpi"] = Json::Value(Json::nullValue);
  if constexpr (std::is_same_v<Session, MouseSession>) {
    if (s.HasProfile()) v["dpi"] = DpiJson(page);
  }
  v["raw"]["info"] = HexBytes(info.data(), info.size());
  v["raw"]["record"] = HexBytes(rec.bytes.data(), rec.bytes.size());
  v["raw"]["status"] = status.read ? Json::Value(HexBytes(status.bytes.data(), status.bytes.size())) : Json::Value();
  if (ctx.json) {
    ctx.Answer(v);
    return kExitOk;
  }

  std::ostream& out = ctx.out;
  const std::string name = DeviceName(d);
  out << "device        " << name << (EqualsNoCase(name, d.productKey) ? "" : " (" + d.productKey + ")") << ", "
      << Connection(d) << "\n"
      << "model         " << fw.modelName << " (" << fw.modelCode << ")\n"
      << "firmware      " << (v["firmware"].asString().empty() ? "unknown" : v["firmware"].asString()) << "\n";
  if (status.read)
    out << "battery       " << int{status.bytes[proto::kStatusBattery]} << " %"
        << (v["battery"]["charging"].asBool() ? " (charging)" : "") << "\n";
  out << (isMouse ? "buttons       " : "keys          ") << int{info[proto::kInfoKeyCount]} << "\n"
      << "macro memory  " << macroBytes << " bytes\n";
  if (isMouse) {
    const Json::Value& sensor = v["sensor"];
    out << "sensor        " << sensor["id"].asString() << ", " << sensor["dpiMinimum"].asInt() << "-"
        << sensor["dpiMaximum"].asInt()
        << " dpi in " << sensor["dpiSteps"].asInt() << " steps of " << sensor["dpiStep"].asInt() << "\n";
  }
  if (rec.reportRateHz >= 0) out << "report rate   " << rec.reportRateHz << " Hz\n";
  out << "active slot   " << rec.active << "\n"
      << "profile       " << (s.HasProfile() ? s.Profile().name + " (" + page.GetProfilePath() + ")" : "none yet") << "\n";
  PrintLighting(out, page.GetLightInfoRecord(), effects);
  if constexpr (std::is_same_v<Session, MouseSession>) {
    if (s.HasProfile()) PrintDpi(out, page);
  }
  if (raw) {
    out << "info bytes    " << v["raw"]["info"].asString() << "\n"
        << "record bytes  " << v["raw"]["record"].asString() << "\n";
    if (status.read) out << "status bytes  " << v["raw"]["status"].asString() << "\n";
  }
  return kExitOk;
}

}  // namespace

int CmdInfo(CliContext& ctx) {
  bool raw = false;
  std::vector<std::string> names;
  for (const auto& a : ctx.args) {
    if (a == "--raw") raw = true;
    else if (!a.empty() && a[0] == '-') return ctx.Usage("info: unknown option '" + a + "'");
    else names.push_back(a);
  }
  if (names.size() != 1) return ctx.Usage("info takes one DEVICE");
  BoundDevice d;
  if (int r = ResolveDevice(ctx, names[0], d); r != kExitOk) return r;
  if (IsLightingOnly(d)) return ShowInfo<LightingSession>(ctx, d, raw);
  if (d.kind == static_cast<uint16_t>(DeviceKind::Mouse)) return ShowInfo<MouseSession>(ctx, d, raw);
  return ShowInfo<KeyboardSession>(ctx, d, raw);
}

}  // namespace korvale::cli
