#include "cli/cmd_common.h"

#include <json/json.h>

#include <cstdio>

namespace korvale::cli {

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

const char* Connection(const BoundDevice& d) { return d.viaReceiver ? "receiver" : "cable"; }

const char* DeviceName(const BoundDevice& d) {
  return d.productRow >= 0 && static_cast<std::size_t>(d.productRow) < kProductCount
             ? kDeviceNames[static_cast<std::size_t>(d.productRow)]
             : "device";
}

bool IsLightingOnly(const BoundDevice& d) {
  return d.kind == static_cast<uint16_t>(DeviceKind::MousePad) || d.kind == static_cast<uint16_t>(DeviceKind::Headset);
}

namespace {

std::string DeviceNameList() {
  std::string names;
  for (const char* n : kDeviceNames) names += std::string(names.empty() ? "" : ", ") + n;
  return names;
}

}  // namespace

int ProductRowOrUsage(CliContext& ctx, const std::string& key, int& status) {
  const int row = ProductRowOfKey(key);
  status = row < 0 ? ctx.Usage("unknown device '" + key + "' (one of " + DeviceNameList() + ")") : kExitOk;
  return row;
}

int ResolveDevice(CliContext& ctx, const std::string& key, BoundDevice& out) {
  int status = kExitOk;
  const int row = ProductRowOrUsage(ctx, key, status);
  if (row < 0) return status;
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

Json::Value DeviceJson(const BoundDevice& d) {
  Json::Value v(Json::objectValue);
  v["name"] = DeviceName(d);
  v["product"] = d.productKey;
  v["kind"] = DeviceKindName(d.kind);
  v["connection"] = Connection(d);
  return v;
}

Json::Value DeviceJson(int productRow) {
  const auto row = static_cast<std::size_t>(productRow);
  Json::Value v(Json::objectValue);
  v["name"] = kDeviceNames[row];
  v["product"] = kProducts[row].productKey;
  v["kind"] = DeviceKindName(kProducts[row].kind);
  v["connection"] = Json::Value(Json::nullValue);
  return v;
}

Json::Value ProfileJson(bool has, const ProfileSelection& p, const std::string& file) {
  if (!has) return Json::Value(Json::nullValue);
  Json::Value v(Json::objectValue);
  v["name"] = p.name;
  v["uuid"] = p.uuid;
  v["file"] = file;
  return v;
}

namespace {

const EffectChoice* EffectAt(const std::vector<EffectChoice>& effects, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < effects.size() ? &effects[static_cast<std::size_t>(index)]
                                                                         : nullptr;
}

std::string EffectText(const std::vector<EffectChoice>& effects, int index) {
  const EffectChoice* e = EffectAt(effects, index);
  return (e ? e->name : std::string("unknown")) + " (" + std::to_string(index) + ")";
}

const char* OnOffText(int v) { return v ? "on" : "off"; }

}  // namespace

Json::Value LightingJson(const LightInfo& l, const std::vector<EffectChoice>& effects) {
  const EffectChoice* e = EffectAt(effects, l.selectItem);
  Json::Value v(Json::objectValue);
  v["effect"] = e ? e->name : std::string();
  v["effectIndex"] = l.selectItem;
  v["modeValue"] = e ? e->value : -1;
  v["brightness"] = l.light;
  v["speed"] = l.speed;
  v["direction"] = DirectionName(l.fx);
  v["multicolor"] = l.multiColor != 0;
  v["color"] = Rgb(l.red, l.green, l.blue);
  v["customGroup"] = l.customGroup;
  return v;
}

void PrintLighting(std::ostream& out, const LightInfo& l, const std::vector<EffectChoice>& effects) {
  out << "effect        " << EffectText(effects, l.selectItem) << "\n"
      << "brightness    " << int{l.light} << "\n"
      << "speed         " << int{l.speed} << "\n"
      << "direction     " << DirectionName(l.fx) << "\n"
      << "multicolor    " << OnOffText(l.multiColor) << "\n"
      << "color         " << Rgb(l.red, l.green, l.blue) << "\n";
}

Json::Value KeyboardSettingsJson(const KeyboardSystemStages& s) {
  Json::Value v(Json::objectValue);
  v["reportRate"] = KeyboardReportRateHz(s.PollingRate());
  v["repeatDelay"] = RepeatDelayMs(s.RepeatDelay());
  v["repeatRate"] = s.Repeat();
  v["winlock"] = s.WinFlag() != 0;
  v["wkey"] = s.WFlag() != 0;
  v["sixkey"] = s.Key6Flag() != 0;
  return v;
}

void PrintKeyboardSettings(std::ostream& out, const KeyboardSystemStages& s) {
  out << "report rate   " << KeyboardReportRateHz(s.PollingRate()) << " Hz\n"
      << "repeat delay  " << RepeatDelayMs(s.RepeatDelay()) << " ms\n"
      << "repeat rate   " << s.Repeat() << "\n"
      << "winlock       " << OnOffText(s.WinFlag()) << "\n"
      << "wkey          " << OnOffText(s.WFlag()) << "\n"
      << "sixkey        " << OnOffText(s.Key6Flag()) << "\n";
}

namespace {

int MouseRateHz(CVarnikMouseDevice& m) {
  const int rate = static_cast<int>(m.GetMouseSystemSettings()[2] >> 16);
  return rate >= 0 && rate < static_cast<int>(proto::kMouseReportRatesHz.size())
             ? proto::kMouseReportRatesHz[static_cast<std::size_t>(rate)]
             : 0;
}

}  // namespace

Json::Value MouseSettingsJson(CVarnikMouseDevice& m) {
  const auto w = m.GetMouseSystemSettings();
  Json::Value v(Json::objectValue);
  v["reportRate"] = MouseRateHz(m);
  v["pointerSpeed"] = static_cast<int>(w[0] >> 16);
  v["pointerPrecision"] = (w[1] & 0xFFFF) != 0;
  v["scrollLines"] = static_cast<int>(w[2] & 0xFFFF);
  v["scrollPage"] = (w[1] >> 16) != 0;
  v["doubleClick"] = static_cast<int>(w[0] & 0xFFFF);
  return v;
}

void PrintMouseSettings(std::ostream& out, CVarnikMouseDevice& m) {
  const Json::Value v = MouseSettingsJson(m);
  out << "report rate   " << v["reportRate"].asInt() << " Hz\n"
      << "pointer speed " << v["pointerSpeed"].asInt() << "\n"
      << "precision     " << OnOffText(v["pointerPrecision"].asBool()) << "\n"
      << "scroll lines  " << v["scrollLines"].asInt() << (v["scrollPage"].asBool() ? " (a page at a time)" : "") << "\n"
      << "double click  " << v["doubleClick"].asInt() << " ms\n";
}

Json::Value DpiJson(CVarnikMouseDevice& m) {
  Json::Value v(Json::objectValue);
  v["activeStage"] = m.ActiveStage();
  Json::Value& stages = v["stages"] = Json::Value(Json::arrayValue);
  for (const DpiStage& st : m.GetDpiStages()) {
    Json::Value s(Json::objectValue);
    s["step"] = st.x;
    s["dpi"] = m.DpiForSlider(st.x);
    s["enabled"] = st.enabled != 0;
    s["color"] = Rgb(st.red, st.green, st.blue);
    stages.append(s);
  }
  return v;
}

void PrintDpi(std::ostream& out, CVarnikMouseDevice& m) {
  const Json::Value v = DpiJson(m);
  for (Json::ArrayIndex i = 0; i < v["stages"].size(); ++i) {
    const Json::Value& st = v["stages"][i];
    out << "stage " << i << (v["activeStage"].asInt() == static_cast<int>(i) ? " *" : "  ") << "      "
        << st["dpi"].asInt() << " dpi (step " << st["step"].asInt() << ")  " << (st["enabled"].asBool() ? "on " : "off")
        << "  " << st["color"].asString() << "\n";
  }
}

int ListValues(CliContext& ctx, int productRow, const std::vector<EffectChoice>* effects,
               const std::vector<OptionValues>& options) {
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["device"] = DeviceJson(productRow);
    Json::Value& list = root["options"] = Json::Value(Json::arrayValue);
    if (effects) {
      Json::Value o(Json::objectValue);
      o["option"] = "--effect";
      o["accepts"] = "NAME or INDEX";
      Json::Value& names = o["names"] = Json::Value(Json::arrayValue);
      for (const EffectChoice& e : *effects) {
        if (!e.visible) continue;
        Json::Value c(Json::objectValue);
        c["name"] = e.name;
        c["value"] = e.index;
        names.append(c);
      }
      list.append(o);
    }
    for (const OptionValues& opt : options) {
      Json::Value o(Json::objectValue);
      o["option"] = opt.option;
      o["accepts"] = opt.Accepts();
      Json::Value& names = o["names"] = Json::Value(Json::arrayValue);
      for (const Choice& c : opt.values.choices) {
        if (c.alias) continue;
        Json::Value n(Json::objectValue);
        n["name"] = c.word;
        n["value"] = c.value;
        names.append(n);
      }
      list.append(o);
    }
    ctx.Answer(root);
    return kExitOk;
  }
  if (effects) {
    ctx.out << "--effect              an effect by name (or its index):\n";
    for (const EffectChoice& e : *effects)
      if (e.visible) ctx.out << "  " << e.name << std::string(e.name.size() < 19 ? 19 - e.name.size() : 1, ' ') << e.index << "\n";
  }
  for (const OptionValues& opt : options) {
    const std::string& o = opt.option;
    ctx.out << o << std::string(o.size() < 21 ? 21 - o.size() : 1, ' ') << opt.help
            << (opt.flag ? "" : ": " + opt.Accepts()) << "\n";
  }
  return kExitOk;
}

}  // namespace korvale::cli
