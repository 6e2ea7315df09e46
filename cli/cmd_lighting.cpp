// korvalectl lighting: the current profile's lighting, changed the way the
// lighting editor changes it, with effects by the names of the effect table.
#include <json/json.h>

#include <optional>
#include <ostream>

#include "cli/cmd_common.h"
#include "devices/lighting_device.h"

namespace korvale::cli {

namespace {

struct LightingChange {
  std::optional<int> effect, brightness, speed, direction;
  std::optional<uint32_t> colour;
  bool multi = false;
  bool Any() const { return effect || brightness || speed || direction || colour || multi; }
};

std::vector<OptionValues> LightingOptions() {
  return {{"--brightness", Range(0, 4), "brightness"},
          {"--speed", Range(0, 4), "speed"},
          {"--direction", Directions(), "direction of moving effects"},
          {"--color", {}, "one colour (ends multicolour)", "RRGGBB"},
          {"--multicolor", {}, "several colours", "", true}};
}

// The lighting editor's steps for the named fields, on any device page.
template <class Session>
int ChangeLighting(CliContext& ctx, const BoundDevice& d, Session& s, const LightingChange& c,
                   const std::vector<EffectChoice>& effects) {
  auto& page = s.GetPage();
  if (c.Any()) {
    LightInfo info = page.GetLightInfoRecord();
    if (c.effect) info.selectItem = static_cast<uint8_t>(*c.effect);
    if (c.brightness) info.light = static_cast<uint8_t>(*c.brightness);
    if (c.speed) info.speed = static_cast<uint8_t>(*c.speed);
    if (c.direction) info.fx = static_cast<uint8_t>(*c.direction);
    if (c.colour) {
      info.red = static_cast<uint8_t>(*c.colour >> 16);
      info.green = static_cast<uint8_t>(*c.colour >> 8);
      info.blue = static_cast<uint8_t>(*c.colour);
      info.multiColor = 0;  // a chosen colour ends multicolour, as in the editor
    }
    if (c.multi) info.multiColor = 1;
    // The lighting editor's steps for a changed record.
    page.Comm().lightSync = 0;
    page.SetLightInfo(info.ToWords());
    page.SaveProfile();
    page.ApplyLighting();
    if (int r = WriteRecord(ctx, d, page); r != kExitOk) return r;
  }
  const LightInfo now = page.GetLightInfoRecord();
  if (ctx.json) {
    Json::Value root = ChangeJson(d, s, page.GetProfilePath(), c.Any());
    root["lighting"] = LightingJson(now, effects);
    ctx.Answer(root);
  } else {
    PrintLighting(ctx.out, now, effects);
  }
  return kExitOk;
}

}  // namespace

int CmdLighting(CliContext& ctx) {
  if (ctx.args.empty()) return ctx.Usage("lighting takes a DEVICE");
  int status = kExitOk;
  const int row = ProductRowOrUsage(ctx, ctx.args[0], status);
  if (row < 0) return status;
  const std::vector<EffectChoice> effects = EffectChoices(row);
  const std::string device = kDeviceNames[static_cast<std::size_t>(row)];

  LightingChange c;
  bool list = false;
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    if (a == "--multicolor") {
      c.multi = true;
      continue;
    }
    if (a == "--list") {
      list = true;
      continue;
    }
    const bool known = a == "--effect" || a == "--brightness" || a == "--speed" || a == "--direction" || a == "--color";
    if (!known) return ctx.Usage("lighting: unknown option '" + a + "'");
    if (i + 1 >= ctx.args.size()) return ctx.Usage("lighting: " + a + " needs a value");
    const std::string& v = ctx.args[++i];
    auto bad = [&](const std::string& what) { return ctx.Usage("lighting: " + a + " '" + v + "' is not " + what); };
    if (a == "--effect") {
      if (effects.empty()) return ctx.Usage("lighting: the " + device + " has no effect table (is the data folder installed?)");
      if (!(c.effect = PickEffect(effects, v)))
        return bad("an effect of the " + device + ": " + EffectNames(effects) + " (or an index 0-" +
                   std::to_string(effects.size() - 1) + ")");
    } else if (a == "--brightness") {
      if (!(c.brightness = Range(0, 4).Pick(v))) return bad("0-4");
    } else if (a == "--speed") {
      if (!(c.speed = Range(0, 4).Pick(v))) return bad("0-4");
    } else if (a == "--direction") {
      if (!(c.direction = Directions().Pick(v))) return bad(Directions().Describe());
    } else if (!(c.colour = ParseRgb(v))) {
      return bad("a colour RRGGBB");
    }
  }
  if (list) {
    if (c.Any()) return ctx.Usage("lighting: --list shows the values and changes nothing: give it alone");
    return ListValues(ctx, row, &effects, LightingOptions());
  }
  if (c.multi && c.colour) return ctx.Usage("lighting: --color sets one colour, --multicolor several: give one of them");
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;
  if (d.kind == static_cast<uint16_t>(DeviceKind::Keyboard)) {
    KeyboardSession s;
    if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
    return ChangeLighting(ctx, d, s, c, effects);
  }
  if (IsLightingOnly(d)) {
    LightingSession s;
    if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
    return ChangeLighting(ctx, d, s, c, effects);
  }
  if (d.kind == static_cast<uint16_t>(DeviceKind::Mouse)) {
    MouseSession s;
    if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
    return ChangeLighting(ctx, d, s, c, effects);
  }
  return NotYet(ctx, "lighting", d);
}

}  // namespace korvale::cli
