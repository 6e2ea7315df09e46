// korvalectl list, info, lighting and settings: the bound devices and the
// keyboard's configuration, changed the way the window's handlers change it.
#include <json/json.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <type_traits>
#include <ostream>

#include "cli/device_session.h"
#include "cli/korvalectl.h"
#include "devices/lighting_device.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "protocol/commands.h"

namespace korvale::cli {

namespace {

std::string HexBytes(const uint8_t* p, std::size_t n) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", p[i]);
    s += b;
  }
  return s;
}

std::string Rgb(uint8_t r, uint8_t g, uint8_t b) {
  char t[8];
  std::snprintf(t, sizeof t, "%02x%02x%02x", r, g, b);
  return t;
}

const char* Connection(const BoundDevice& d) { return d.viaReceiver ? "receiver" : "cable"; }

// A whole decimal number in [lo, hi].
std::optional<int> ParseRange(const std::string& s, int lo, int hi) {
  if (s.empty() || s.size() > 6) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

std::optional<uint32_t> ParseRgb(std::string s) {
  if (!s.empty() && s[0] == '#') s.erase(0, 1);
  if (s.size() != 6) return std::nullopt;
  uint32_t v = 0;
  for (char c : s) {
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return std::nullopt;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  return v;
}

}  // namespace

int ResolveDevice(CliContext& ctx, const std::string& key, BoundDevice& out) {
  const int row = ProductRowOfKey(key);
  if (row < 0) {
    std::string names;
    for (const char* n : kDeviceNames) names += std::string(names.empty() ? "" : ", ") + n;
    return ctx.Usage("unknown device '" + key + "' (one of " + names + ")");
  }
  for (auto& d : FindBoundDevices()) {
    if (d.productRow == row) {
      out = std::move(d);
      return kExitOk;
    }
  }
  // Present but out of reach is not "not connected": say which node and why.
  for (const auto& denied : FindDeniedInterfaces()) {
    if (denied.productRow != row) continue;
    ctx.err << "korvalectl: " << DeniedReason(denied) << "\n";
    return kExitDeviceError;
  }
  ctx.err << "korvalectl: no " << kDeviceNames[static_cast<std::size_t>(row)] << " connected\n";
  return kExitNoDevice;
}

int NotYet(CliContext& ctx, const std::string& what, const BoundDevice& d) {
  ctx.err << "korvalectl: " << what << " is not supported yet for " << d.productKey << "\n";
  return kExitFailure;
}

int DeviceFailed(CliContext& ctx, const BoundDevice& d, const std::string& reason) {
  ctx.err << "korvalectl: " << d.productKey << ": " << reason << "\n";
  return kExitDeviceError;
}

namespace {

Json::Value LightingJson(const LightInfo& l, const std::vector<int>& effects) {
  Json::Value v(Json::objectValue);
  v["effect"] = l.selectItem;
  if (l.selectItem < effects.size()) v["modeValue"] = effects[l.selectItem];
  v["brightness"] = l.light;
  v["speed"] = l.speed;
  v["direction"] = l.fx;
  v["multicolor"] = l.multiColor != 0;
  v["color"] = Rgb(l.red, l.green, l.blue);
  v["customGroup"] = l.customGroup;
  return v;
}

void PrintLighting(std::ostream& out, const LightInfo& l) {
  out << "effect      " << int{l.selectItem} << "\n"
      << "brightness  " << int{l.light} << "\n"
      << "speed       " << int{l.speed} << "\n"
      << "direction   " << int{l.fx} << "\n"
      << "multicolor  " << (l.multiColor ? "on" : "off") << "\n"
      << "color       " << Rgb(l.red, l.green, l.blue) << "\n";
}

Json::Value SettingsJson(const KeyboardSystemStages& s) {
  Json::Value v(Json::objectValue);
  v["polling"] = s.PollingRate();
  v["winlock"] = s.WinFlag();
  v["wkey"] = s.WFlag();
  v["sixkey"] = s.Key6Flag();
  v["repeatDelay"] = s.RepeatDelay();
  v["repeatRate"] = s.Repeat();
  return v;
}

void PrintSettings(std::ostream& out, const KeyboardSystemStages& s) {
  out << "polling       " << s.PollingRate() << "\n"
      << "winlock       " << s.WinFlag() << "\n"
      << "wkey          " << s.WFlag() << "\n"
      << "sixkey        " << s.Key6Flag() << "\n"
      << "repeat delay  " << s.RepeatDelay() << "\n"
      << "repeat rate   " << s.Repeat() << "\n";
}

// The current profile in info --json; null before a first profile exists.
template <class Session>
Json::Value ProfileJson(const Session& s, const std::string& file) {
  if (!s.HasProfile()) return Json::Value(Json::nullValue);
  Json::Value v(Json::objectValue);
  v["name"] = s.Profile().name;
  v["uuid"] = s.Profile().uuid;
  v["file"] = file;
  return v;
}

bool IsLightingOnly(const BoundDevice& d) {
  return d.kind == static_cast<uint16_t>(DeviceKind::MousePad) || d.kind == static_cast<uint16_t>(DeviceKind::Headset);
}

// info of the mousepad and the headset: block, active record and its look.
int InfoOfLightingDevice(CliContext& ctx, const BoundDevice& d) {
  LightingSession s;
  if (int r = OpenSession(ctx, d, s, /*readOnly=*/true); r != kExitOk) return r;
  CVarnikLightingDevice& page = s.GetPage();
  const auto& info = page.GetDeviceInfo();
  const auto rec = page.Config();
  const LightInfo look = page.GetLightInfoRecord();
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["product"] = d.productKey;
    root["connection"] = Connection(d);
    root["info"] = HexBytes(info.data(), info.size());
    root["activeProfile"] = page.ConfigRecord();
    root["record"] = HexBytes(rec.data(), rec.size());
    root["configuration"] = LightingJson(look, page.EffectValues());
    root["profile"] = ProfileJson(s, page.GetProfilePath());
    WriteJson(root, ctx.out);
    return kExitOk;
  }
  ctx.out << "product         " << d.productKey << " (" << Connection(d) << ")\n"
          << "info            " << HexBytes(info.data(), info.size()) << "\n"
          << "active profile  " << page.ConfigRecord() << "\n"
          << "record          " << HexBytes(rec.data(), rec.size()) << "\n";
  PrintLighting(ctx.out, look);
  ctx.out << "profile         " << (s.HasProfile() ? s.Profile().name : "none yet") << "\n";
  return kExitOk;
}

// The write every change ends with; 4 when the device refused it.
template <class Page>
int WriteRecord(CliContext& ctx, const BoundDevice& d, Page& kb) {
  int width = 0, height = 0;
  if constexpr (std::is_same_v<Page, CVarnikMouseDevice>) {
    // No screen here: the mouse keeps the size the window last gave it.
    const auto& rec = kb.ConfigRecord();
    width = rec[proto::kMouseRecScreenWidth] | rec[proto::kMouseRecScreenWidth + 1] << 8;
    height = rec[proto::kMouseRecScreenHeight] | rec[proto::kMouseRecScreenHeight + 1] << 8;
  }
  const int r = kb.WriteDeviceConfig(0, 0, 1, width, height);
  if (r != proto::CMD_OK) return DeviceFailed(ctx, d, "writing the configuration failed: " + ResultName(r));
  return kExitOk;
}

// The lighting editor's steps for the named fields, on any device page.
template <class Page>
int ChangeLighting(CliContext& ctx, const BoundDevice& d, Page& kb, std::optional<int> effect,
                   std::optional<int> brightness, std::optional<int> speed, std::optional<int> direction,
                   std::optional<uint32_t> colour, bool multi) {
  const bool change = effect || brightness || speed || direction || colour || multi;
  if (effect && static_cast<std::size_t>(*effect) >= kb.EffectValues().size())
    return ctx.Usage("lighting: effect " + std::to_string(*effect) + " is not one of the " + d.productKey + "'s 0-" +
                     std::to_string(static_cast<int>(kb.EffectValues().size()) - 1));
  if (change) {
    LightInfo info = kb.GetLightInfoRecord();
    if (effect) info.selectItem = static_cast<uint8_t>(*effect);
    if (brightness) info.light = static_cast<uint8_t>(*brightness);
    if (speed) info.speed = static_cast<uint8_t>(*speed);
    if (direction) info.fx = static_cast<uint8_t>(*direction);
    if (colour) {
      info.red = static_cast<uint8_t>(*colour >> 16);
      info.green = static_cast<uint8_t>(*colour >> 8);
      info.blue = static_cast<uint8_t>(*colour);
      info.multiColor = 0;  // a chosen colour ends multicolour, as in the editor
    }
    if (multi) info.multiColor = 1;
    // The lighting editor's steps for a changed record.
    kb.Comm().lightSync = 0;
    kb.SetLightInfo(info.ToWords());
    kb.SaveProfile();
    kb.ApplyLighting();
    if (int r = WriteRecord(ctx, d, kb); r != kExitOk) return r;
  }
  const LightInfo now = kb.GetLightInfoRecord();
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["product"] = d.productKey;
    root["changed"] = change;
    root["lighting"] = LightingJson(now, kb.EffectValues());
    root["profileFile"] = kb.GetProfilePath();
    WriteJson(root, ctx.out);
  } else {
    PrintLighting(ctx.out, now);
  }
  return kExitOk;
}

}  // namespace

int CmdList(CliContext& ctx) {
  if (!ctx.args.empty()) return ctx.Usage("list takes no arguments (got '" + ctx.args.front() + "')");
  const auto devices = FindBoundDevices();
  const auto denied = FindDeniedInterfaces();
  // The devices that can be reached are listed; each one that cannot is an error.
  const auto reportDenied = [&] {
    for (const auto& d : denied) ctx.err << "korvalectl: " << DeniedReason(d) << "\n";
    return denied.empty() ? kExitOk : kExitDeviceError;
  };
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    Json::Value& items = root["devices"] = Json::Value(Json::arrayValue);
    for (const auto& d : devices) {
      Json::Value v(Json::objectValue);
      v["product"] = d.productKey;
      v["kind"] = DeviceKindName(d.kind);
      v["connection"] = Connection(d);
      v["primary"] = d.primaryPath;
      Json::Value& paths = v["interfaces"] = Json::Value(Json::arrayValue);
      for (const auto& i : d.interfaces) {
        Json::Value p(Json::objectValue);
        p["path"] = i.path;
        p["kind"] = DeviceKindName(i.kind);
        p["collection"] = i.auxiliary == kAuxiliaryConsumer ? "consumer" : "command";
        paths.append(p);
      }
      items.append(v);
    }
    WriteJson(root, ctx.out);
    return reportDenied();
  }
  if (devices.empty() && denied.empty()) {
    ctx.out << "no devices connected\n";
    return kExitOk;
  }
  for (const auto& d : devices) {
    ctx.out << d.productKey << "  " << DeviceKindName(d.kind) << "  " << Connection(d) << "\n";
    for (const auto& i : d.interfaces)
      ctx.out << "  " << (i.auxiliary == kAuxiliaryConsumer ? "consumer " : "command  ") << TerminalText(i.path) << "\n";
  }
  return reportDenied();
}

int CmdInfo(CliContext& ctx) {
  if (ctx.args.size() != 1) return ctx.Usage("info takes one DEVICE");
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;

  if (IsLightingOnly(d)) return InfoOfLightingDevice(ctx, d);
  if (d.kind == static_cast<uint16_t>(DeviceKind::Mouse)) return CmdMouseInfo(ctx, d);
  if (d.kind != static_cast<uint16_t>(DeviceKind::Keyboard)) {
    // The base page reads the information block of any kind.
    if (d.primaryPath.empty()) return DeviceFailed(ctx, d, "its command interface is not bound");
    CVarnikUSBDevice page;
    const int mode = d.kind == static_cast<uint16_t>(DeviceKind::Mouse)
                         ? (d.viaReceiver ? proto::kModeReceiver : proto::kModeCable)
                         : 0;
    if (!page.AttachPrimary(d.primaryPath, d.viaReceiver, mode)) return DeviceFailed(ctx, d, "cannot open " + d.primaryPath);
    std::array<uint8_t, proto::kInfoSize> info{};
    const int r = page.Comm().ReadInfo(info.data());
    page.DetachPrimary();
    if (r != proto::CMD_OK) return DeviceFailed(ctx, d, "reading the information block failed: " + ResultName(r));
    if (ctx.json) {
      Json::Value root(Json::objectValue);
      root["product"] = d.productKey;
      root["connection"] = Connection(d);
      root["info"] = HexBytes(info.data(), info.size());
      root["configuration"] = Json::Value(Json::nullValue);
      WriteJson(root, ctx.out);
    } else {
      ctx.out << "product        " << d.productKey << " (" << Connection(d) << ")\n"
              << "info           " << HexBytes(info.data(), info.size()) << "\n"
              << "configuration  not supported yet for " << d.productKey << "\n";
    }
    return kExitOk;
  }

  KeyboardSession s;
  // Showing changes nothing: no file is created or saved, nothing written back.
  if (int r = OpenSession(ctx, d, s, /*readOnly=*/true); r != kExitOk) return r;
  CVarnikKeyboardDevice& kb = s.GetPage();
  const auto& info = kb.GetDeviceInfo();
  const auto& rec = kb.ConfigRecord();
  const auto& c = kb.GetCurrentConfig();
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["product"] = d.productKey;
    root["connection"] = Connection(d);
    root["info"] = HexBytes(info.data(), info.size());
    root["activeProfile"] = kb.ActiveProfile();
    root["record"] = HexBytes(rec.data(), rec.size());
    Json::Value cfg(Json::objectValue);
    cfg["effect"] = c.modeIndex;
    cfg["brightness"] = c.brightness;
    cfg["speed"] = c.speed;
    cfg["direction"] = c.direction;
    cfg["multicolor"] = c.multiColor != 0;
    cfg["color"] = Rgb(c.red, c.green, c.blue);
    cfg["ledMode"] = c.zzccLedMode;
    cfg["customGroup"] = c.customGroup;
    root["configuration"] = cfg;
    root["profile"] = ProfileJson(s, kb.GetProfilePath());
    WriteJson(root, ctx.out);
    return kExitOk;
  }
  ctx.out << "product         " << d.productKey << " (" << Connection(d) << ")\n"
          << "info            " << HexBytes(info.data(), info.size()) << "\n"
          << "active profile  " << int{kb.ActiveProfile()} << "\n"
          << "record          " << HexBytes(rec.data(), rec.size()) << "\n"
          << "effect          " << int{c.modeIndex} << "\n"
          << "brightness      " << int{c.brightness} << "\n"
          << "speed           " << int{c.speed} << "\n"
          << "direction       " << int{c.direction} << "\n"
          << "multicolor      " << (c.multiColor ? "on" : "off") << "\n"
          << "color           " << Rgb(c.red, c.green, c.blue) << "\n"
          << "profile         " << (s.HasProfile() ? s.Profile().name : "none yet") << "\n"
          << "profile file    " << (s.HasProfile() ? kb.GetProfilePath() : "-") << "\n";
  return kExitOk;
}

// ---- the mouse ----

namespace {

std::string StageColour(const DpiStage& st) { return Rgb(st.red, st.green, st.blue); }

// Stages, active stage and report rate as the resolution and settings pages show them.
Json::Value MouseJson(CVarnikMouseDevice& m) {
  Json::Value v(Json::objectValue);
  Json::Value& stages = v["stages"] = Json::Value(Json::arrayValue);
  const auto list = m.GetDpiStages();
  for (std::size_t i = 0; i < list.size(); ++i) {
    Json::Value st(Json::objectValue);
    st["step"] = list[i].x;
    st["dpi"] = m.DpiForSlider(list[i].x);
    st["enabled"] = list[i].enabled != 0;
    st["color"] = StageColour(list[i]);
    stages.append(st);
  }
  v["activeStage"] = m.ActiveStage();
  const auto w = m.GetMouseSystemSettings();
  const int rate = static_cast<int>(w[2] >> 16);
  v["reportRate"] = rate >= 0 && rate < static_cast<int>(proto::kMouseReportRatesHz.size())
                        ? proto::kMouseReportRatesHz[static_cast<std::size_t>(rate)]
                        : 0;
  v["pointerSpeed"] = static_cast<int>(w[0] >> 16);
  v["pointerPrecision"] = static_cast<int>(w[1] & 0xFFFF);
  v["scrollLines"] = static_cast<int>(w[2] & 0xFFFF);
  v["scrollPage"] = static_cast<int>(w[1] >> 16);
  v["doubleClick"] = static_cast<int>(w[0] & 0xFFFF);
  return v;
}

void PrintMouse(std::ostream& out, CVarnikMouseDevice& m) {
  const Json::Value v = MouseJson(m);
  for (Json::ArrayIndex i = 0; i < v["stages"].size(); ++i) {
    const Json::Value& st = v["stages"][i];
    out << "stage " << i << (v["activeStage"].asInt() == static_cast<int>(i) ? " *" : "  ") << "    "
        << st["dpi"].asInt() << " dpi (step " << st["step"].asInt() << ")  " << (st["enabled"].asBool() ? "on " : "off")
        << "  " << st["color"].asString() << "\n";
  }
  out << "report rate    " << v["reportRate"].asInt() << " Hz\n"
      << "pointer speed  " << v["pointerSpeed"].asInt() << "\n"
      << "precision      " << v["pointerPrecision"].asInt() << "\n"
      << "scroll lines   " << v["scrollLines"].asInt() << (v["scrollPage"].asInt() ? " (a page at a time)" : "") << "\n"
      << "double click   " << v["doubleClick"].asInt() << "\n";
}

// What dpi and settings print after their changes.
int ShowMouse(CliContext& ctx, const BoundDevice& d, CVarnikMouseDevice& m, bool changed) {
  if (ctx.json) {
    Json::Value root = MouseJson(m);
    root["product"] = d.productKey;
    root["changed"] = changed;
    root["profileFile"] = m.GetProfilePath();
    WriteJson(root, ctx.out);
  } else {
    PrintMouse(ctx.out, m);
  }
  return kExitOk;
}

int OpenMouse(CliContext& ctx, const std::string& key, BoundDevice& d, MouseSession& s) {
  if (int r = ResolveDevice(ctx, key, d); r != kExitOk) return r;
  if (d.kind != static_cast<uint16_t>(DeviceKind::Mouse)) return ctx.Usage("'" + key + "' is not the mouse");
  return OpenSession(ctx, d, s);
}

}  // namespace

int CmdMouseInfo(CliContext& ctx, const BoundDevice& d) {
  MouseSession s;
  // Showing changes nothing: no file is created or saved, nothing written back.
  if (int r = OpenSession(ctx, d, s, /*readOnly=*/true); r != kExitOk) return r;
  CVarnikMouseDevice& m = s.GetPage();
  const auto& info = m.GetDeviceInfo();
  const auto& rec = m.ConfigRecord();
  if (ctx.json) {
    Json::Value root = MouseJson(m);
    root["product"] = d.productKey;
    root["connection"] = Connection(d);
    root["info"] = HexBytes(info.data(), info.size());
    root["activeProfile"] = m.ActiveProfile();
    root["record"] = HexBytes(rec.data(), rec.size());
    root["lighting"] = LightingJson(m.GetLightInfoRecord(), m.EffectValues());
    if (s.HasProfile()) {
      root["profile"]["name"] = s.Profile().name;
      root["profile"]["uuid"] = s.Profile().uuid;
      root["profile"]["file"] = m.GetProfilePath();
    } else {
      root["profile"] = Json::Value(Json::nullValue);
    }
    WriteJson(root, ctx.out);
    return kExitOk;
  }
  ctx.out << "product         " << d.productKey << " (" << Connection(d) << ")\n"
          << "info            " << HexBytes(info.data(), info.size()) << "\n"
          << "active profile  " << int{m.ActiveProfile()} << "\n"
          << "record          " << HexBytes(rec.data(), rec.size()) << "\n";
  PrintLighting(ctx.out, m.GetLightInfoRecord());
  PrintMouse(ctx.out, m);
  if (s.HasProfile())
    ctx.out << "profile         " << s.Profile().name << "\n"
            << "profile file    " << m.GetProfilePath() << "\n";
  return kExitOk;
}

int CmdMouseSettings(CliContext& ctx) {
  std::optional<int> rate, speed, precision, lines, page, dbl;
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    struct Opt {
      const char* name;
      std::optional<int>* slot;
      int lo, hi;
    } const opts[] = {{"--report-rate", &rate, 125, 2000},   {"--pointer-speed", &speed, 1, 20},
                      {"--pointer-precision", &precision, 0, 1}, {"--scroll-lines", &lines, 1, 100},
                      {"--scroll-page", &page, 0, 1},         {"--double-click", &dbl, 200, 900}};
    const Opt* o = nullptr;
    for (const Opt& c : opts)
      if (a == c.name) o = &c;
    if (o == nullptr) return ctx.Usage("settings: unknown option '" + a + "' for the mouse");
    if (i + 1 >= ctx.args.size()) return ctx.Usage("settings: " + a + " needs a value");
    const std::string& v = ctx.args[++i];
    if (!(*o->slot = ParseRange(v, o->lo, o->hi)))
      return ctx.Usage("settings: " + a + " '" + v + "' is not " + std::to_string(o->lo) + "-" + std::to_string(o->hi));
  }
  int rateIndex = -1;
  if (rate) {
    const auto& hz = proto::kMouseReportRatesHz;
    const auto it = std::find(hz.begin(), hz.end(), *rate);
    if (it == hz.end()) return ctx.Usage("settings: --report-rate " + std::to_string(*rate) + " is not 125, 250, 500, 1000 or 2000");
    rateIndex = static_cast<int>(it - hz.begin());
  }
  BoundDevice d;
  MouseSession s;
  if (int r = OpenMouse(ctx, ctx.args[0], d, s); r != kExitOk) return r;
  CVarnikMouseDevice& m = s.GetPage();
  const bool change = rate || speed || precision || lines || page || dbl;
  if (change) {
    // The main window's rows: one half word each; only the report rate goes to the mouse.
    auto w = m.GetMouseSystemSettings();
    auto low = [](uint32_t word, int v) { return (word & 0xFFFF0000u) | static_cast<uint32_t>(v); };
    auto high = [](uint32_t word, int v) { return (word & 0xFFFFu) | static_cast<uint32_t>(v) << 16; };
    if (rate) w[2] = high(w[2], rateIndex);
    if (speed) w[0] = high(w[0], *speed);
    if (dbl) w[0] = low(w[0], *dbl);
    if (precision) w[1] = low(w[1], *precision);
    if (page) w[1] = high(w[1], *page);
    if (lines) w[2] = low(w[2], *lines);
    m.SetMouseSystemSettings(w[0], w[1], w[2]);
    m.SaveProfile();
    if (rate)
      if (int r = WriteRecord(ctx, d, m); r != kExitOk) return r;
  }
  return ShowMouse(ctx, d, m, change);
}

int CmdDpi(CliContext& ctx) {
  if (ctx.args.empty()) return ctx.Usage("dpi takes the DEVICE mouse");
  std::optional<int> stage, value, enable, select;
  std::optional<uint32_t> colour;
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    const bool known = a == "--stage" || a == "--value" || a == "--enable" || a == "--color" || a == "--select";
    if (!known) return ctx.Usage("dpi: unknown option '" + a + "'");
    if (i + 1 >= ctx.args.size()) return ctx.Usage("dpi: " + a + " needs a value");
    const std::string& v = ctx.args[++i];
    auto bad = [&](const char* range) { return ctx.Usage("dpi: " + a + " '" + v + "' is not " + range); };
    if (a == "--stage") {
      if (!(stage = ParseRange(v, 0, CVarnikMouseDevice::kStages - 1))) return bad("a stage 0-4");
    } else if (a == "--select") {
      if (!(select = ParseRange(v, 0, CVarnikMouseDevice::kStages - 1))) return bad("a stage 0-4");
    } else if (a == "--value") {
      if (!(value = ParseRange(v, 1, 65535))) return bad("a resolution");
    } else if (a == "--enable") {
      if (!(enable = ParseRange(v, 0, 1))) return bad("0 or 1");
    } else if (!(colour = ParseRgb(v))) {
      return bad("a colour RRGGBB");
    }
  }
  if ((value || enable || colour) && !stage) return ctx.Usage("dpi: --value, --enable and --color need --stage N");
  BoundDevice d;
  MouseSession s;
  if (int r = OpenMouse(ctx, ctx.args[0], d, s); r != kExitOk) return r;
  CVarnikMouseDevice& m = s.GetPage();
  const bool change = value || enable || colour || select;
  if (change) {
    auto stages = m.GetDpiStages();
    if (stage && static_cast<int>(stages.size()) <= *stage) stages.resize(static_cast<std::size_t>(*stage) + 1);
    if (stage) {
      DpiStage& st = stages[static_cast<std::size_t>(*stage)];
      if (value) {
        const int step = m.SliderForDpi(*value);
        const int steps = m.GetDeviceInfo()[proto::kInfoDpiSteps] | m.GetDeviceInfo()[proto::kInfoDpiSteps + 1] << 8;
        st.x = st.y = static_cast<uint16_t>(std::clamp(step, 0, steps));
      }
      if (colour) {
        st.red = static_cast<uint8_t>(*colour >> 16);
        st.green = static_cast<uint8_t>(*colour >> 8);
        st.blue = static_cast<uint8_t>(*colour);
      }
      if (enable) {
        int others = 0;
        for (std::size_t i = 0; i < stages.size(); ++i) others += i != static_cast<std::size_t>(*stage) && stages[i].enabled;
        if (!*enable && others == 0) return ctx.Usage("dpi: stage " + std::to_string(*stage) + " is the only one on");
        st.enabled = static_cast<uint8_t>(*enable);
      }
    }
    m.SetDpiStages(stages);
    if (select) m.SelectDpiStage(*select);
    m.SaveProfile();
    if (int r = WriteRecord(ctx, d, m); r != kExitOk) return r;
  }
  return ShowMouse(ctx, d, m, change);
}

int CmdLighting(CliContext& ctx) {
  if (ctx.args.empty()) return ctx.Usage("lighting takes a DEVICE");
  std::optional<int> effect, brightness, speed, direction;
  std::optional<uint32_t> colour;
  bool multi = false;
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    if (a == "--multicolor") {
      multi = true;
      continue;
    }
    const bool known = a == "--effect" || a == "--brightness" || a == "--speed" || a == "--direction" || a == "--color";
    if (!known) return ctx.Usage("lighting: unknown option '" + a + "'");
    if (i + 1 >= ctx.args.size()) return ctx.Usage("lighting: " + a + " needs a value");
    const std::string& v = ctx.args[++i];
    auto bad = [&](const char* range) { return ctx.Usage("lighting: " + a + " '" + v + "' is not " + range); };
    if (a == "--effect") {
      if (!(effect = ParseRange(v, 0, 255))) return bad("an effect index");
    } else if (a == "--brightness") {
      if (!(brightness = ParseRange(v, 0, 4))) return bad("0-4");
    } else if (a == "--speed") {
      if (!(speed = ParseRange(v, 0, 4))) return bad("0-4");
    } else if (a == "--direction") {
      if (!(direction = ParseRange(v, 0, 1))) return bad("0 or 1");
    } else if (!(colour = ParseRgb(v))) {
      return bad("a colour RRGGBB");
    }
  }
  if (multi && colour) return ctx.Usage("lighting: --color sets one colour, --multicolor several: give one of them");
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;
  if (d.kind == static_cast<uint16_t>(DeviceKind::Keyboard)) {
    KeyboardSession s;
    if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
    return ChangeLighting(ctx, d, s.GetPage(), effect, brightness, speed, direction, colour, multi);
  }
  if (IsLightingOnly(d)) {
    LightingSession s;
    if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
    return ChangeLighting(ctx, d, s.GetPage(), effect, brightness, speed, direction, colour, multi);
  }
  if (d.kind == static_cast<uint16_t>(DeviceKind::Mouse)) {
    MouseSession s;
    if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
    return ChangeLighting(ctx, d, s.GetPage(), effect, brightness, speed, direction, colour, multi);
  }
  return NotYet(ctx, "lighting", d);
}

int CmdSettings(CliContext& ctx) {
  if (ctx.args.empty()) return ctx.Usage("settings takes a DEVICE");
  if (ProductRowOfKey(ctx.args[0]) >= 0 &&
      kProducts[static_cast<std::size_t>(ProductRowOfKey(ctx.args[0]))].kind == static_cast<uint16_t>(DeviceKind::Mouse))
    return CmdMouseSettings(ctx);
  std::optional<int> polling, winlock, wkey, sixkey;
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    std::optional<int>* slot = a == "--polling" ? &polling : a == "--winlock" ? &winlock : a == "--wkey" ? &wkey
                             : a == "--sixkey" ? &sixkey : nullptr;
    if (slot == nullptr) return ctx.Usage("settings: unknown option '" + a + "'");
    if (i + 1 >= ctx.args.size()) return ctx.Usage("settings: " + a + " needs a value");
    const std::string& v = ctx.args[++i];
    const int hi = slot == &polling ? 3 : 1;
    if (!(*slot = ParseRange(v, 0, hi))) return ctx.Usage("settings: " + a + " '" + v + "' is not " + (hi == 3 ? "0-3" : "0 or 1"));
  }
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;
  if (d.kind != static_cast<uint16_t>(DeviceKind::Keyboard)) return NotYet(ctx, "settings", d);

  KeyboardSession s;
  if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
  CVarnikKeyboardDevice& kb = s.GetPage();
  const bool change = polling || winlock || wkey || sixkey;
  if (change) {
    // The main window's device-settings handlers: one half word each.
    std::array<uint32_t, 4> w = kb.GetSystemSettings();
    auto low = [](uint32_t word, int v) { return (word & 0xFFFF0000u) | static_cast<uint32_t>(v); };
    auto high = [](uint32_t word, int v) { return (word & 0xFFFFu) | static_cast<uint32_t>(v) << 16; };
    if (polling) w[1] = high(w[1], *polling);
    if (sixkey) w[1] = low(w[1], *sixkey);
    if (winlock) w[2] = high(w[2], *winlock);
    if (wkey) w[2] = low(w[2], *wkey);
    kb.SetSystemSettings(w[0], w[1], w[2], static_cast<uint16_t>(w[3]));
    kb.SaveProfile();
    if (int r = WriteRecord(ctx, d, kb); r != kExitOk) return r;
  }
  KeyboardSystemStages st;
  st.words = kb.GetSystemSettings();
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["product"] = d.productKey;
    root["changed"] = change;
    root["settings"] = SettingsJson(st);
    root["profileFile"] = kb.GetProfilePath();
    WriteJson(root, ctx.out);
  } else {
    PrintSettings(ctx.out, st);
  }
  return kExitOk;
}

}  // namespace korvale::cli
