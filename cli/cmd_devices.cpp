// korvalectl list, info, lighting and settings: the bound devices and the
// keyboard's configuration, changed the way the window's handlers change it.
#include <json/json.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/device_session.h"
#include "cli/korvalectl.h"
#include "devices/varnik_keyboard_device.h"
#include "protocol/commands.h"

namespace korvale::cli {

namespace {

void WriteJson(const Json::Value& root, std::ostream& out) {
  Json::StreamWriterBuilder b;
  b["indentation"] = "  ";
  std::unique_ptr<Json::StreamWriter> w(b.newStreamWriter());
  w->write(root, &out);
  out << "\n";
}

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

// Resolves DEVICE to a bound device: 2 for an unknown key, 3 when not connected.
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

// Opens the keyboard session; reports a failure itself.
int OpenKeyboard(CliContext& ctx, const BoundDevice& d, KeyboardSession& s, bool readOnly = false) {
  std::string reason;
  const int r = s.Open(d, reason, readOnly);
  if (r != kExitOk) ctx.err << "korvalectl: " << d.productKey << ": " << reason << "\n";
  return r;
}

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

// The write every change ends with; 4 when the device refused it.
int WriteRecord(CliContext& ctx, const BoundDevice& d, CVarnikKeyboardDevice& kb) {
  const int r = kb.WriteDeviceConfig(0, 0, 1, 0, 0);
  if (r != proto::CMD_OK) return DeviceFailed(ctx, d, "writing the configuration failed: " + ResultName(r));
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
      ctx.out << "  " << (i.auxiliary == kAuxiliaryConsumer ? "consumer " : "command  ") << i.path << "\n";
  }
  return reportDenied();
}

int CmdInfo(CliContext& ctx) {
  if (ctx.args.size() != 1) return ctx.Usage("info takes one DEVICE");
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;

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
  if (int r = OpenKeyboard(ctx, d, s, /*readOnly=*/true); r != kExitOk) return r;
  CVarnikKeyboardDevice& kb = s.Page();
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
    if (s.HasProfile()) {
      root["profile"]["name"] = s.Profile().name;
      root["profile"]["uuid"] = s.Profile().uuid;
      root["profile"]["file"] = kb.GetProfilePath();
    } else {
      root["profile"] = Json::Value(Json::nullValue);
    }
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
  if (d.kind != static_cast<uint16_t>(DeviceKind::Keyboard)) return NotYet(ctx, "lighting", d);

  KeyboardSession s;
  if (int r = OpenKeyboard(ctx, d, s); r != kExitOk) return r;
  CVarnikKeyboardDevice& kb = s.Page();
  const bool change = effect || brightness || speed || direction || colour || multi;
  if (effect && static_cast<std::size_t>(*effect) >= kb.EffectValues().size())
    return ctx.Usage("lighting: effect " + std::to_string(*effect) + " is not one of the keyboard's 0-" +
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

int CmdSettings(CliContext& ctx) {
  if (ctx.args.empty()) return ctx.Usage("settings takes a DEVICE");
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
  if (int r = OpenKeyboard(ctx, d, s); r != kExitOk) return r;
  CVarnikKeyboardDevice& kb = s.Page();
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
