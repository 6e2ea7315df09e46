// korvalectl settings: the keyboard's and the mouse's system settings, by
// their units (Hz, ms) or the window's option numbers, changed the way the
// main window's settings handlers change them.
#include <json/json.h>

#include <optional>
#include <ostream>
#include <tuple>

#include "cli/cmd_common.h"

namespace korvale::cli {

namespace {

std::vector<OptionValues> KeyboardOptions() {
  return {{"--report-rate", KeyboardReportRates(), "polling rate (written to the keyboard)"},
          {"--repeat-delay", RepeatDelays(), "key repeat delay (profile only)"},
          {"--repeat-rate", Range(0, 255), "key repeat rate, the settings page's slider (profile only)"},
          {"--winlock", OnOff(), "Windows key lock"},
          {"--wkey", OnOff(), "the W-key option of the settings page"},
          {"--sixkey", OnOff(), "six-key roll-over"}};
}

std::vector<OptionValues> MouseOptions() {
  ValueSet doubleClick = Range(200, 900);
  doubleClick.unit = "ms";
  return {{"--report-rate", MouseReportRates(), "report rate (written to the mouse)"},
          {"--pointer-speed", Range(1, 20), "pointer speed"},
          {"--pointer-precision", OnOff(), "enhanced pointer precision"},
          {"--scroll-lines", Range(1, 100), "lines a wheel step scrolls"},
          {"--scroll-page", OnOff(), "scroll a page at a time"},
          {"--double-click", doubleClick, "double-click time"}};
}

// "--name VALUE" pairs after DEVICE; values[i] for options[i]. --polling is
// the keyboard's older name of --report-rate.
int ParseOptions(CliContext& ctx, const std::string& device, const std::vector<OptionValues>& options,
                 std::vector<std::optional<int>>& values, bool& list) {
  values.assign(options.size(), std::nullopt);
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    std::string a = ctx.args[i];
    if (a == "--list") {
      list = true;
      continue;
    }
    if (a == "--polling" && device == "keyboard") a = "--report-rate";
    std::size_t o = 0;
    while (o < options.size() && options[o].option != a) ++o;
    if (o == options.size())
      return ctx.Usage("settings: unknown option '" + ctx.args[i] + "' for the " + device + " (settings " + device +
                       " --list shows them)");
    if (i + 1 >= ctx.args.size()) return ctx.Usage("settings: " + ctx.args[i] + " needs a value");
    const std::string& v = ctx.args[++i];
    if (!(values[o] = options[o].values.Pick(v)))
      return ctx.Usage("settings: " + ctx.args[i - 1] + " '" + v + "' is not " + options[o].values.Describe());
  }
  if (list) {
    for (const auto& v : values)
      if (v) return ctx.Usage("settings: --list shows the values and changes nothing: give it alone");
  }
  return kExitOk;
}

uint32_t WithLow(uint32_t word, int v) { return (word & 0xFFFF0000u) | static_cast<uint32_t>(v & 0xFFFF); }
uint32_t WithHigh(uint32_t word, int v) { return (word & 0xFFFFu) | static_cast<uint32_t>(v & 0xFFFF) << 16; }

int KeyboardSettings(CliContext& ctx, const BoundDevice& d, const std::vector<std::optional<int>>& v) {
  const auto& [rate, delay, repeat, winlock, wkey, sixkey] = std::tie(v[0], v[1], v[2], v[3], v[4], v[5]);
  KeyboardSession s;
  if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
  CVarnikKeyboardDevice& kb = s.GetPage();
  const bool change = rate || delay || repeat || winlock || wkey || sixkey;
  if (change) {
    // The main window's device-settings handlers: one half word each; the
    // repeat values stay in the profile, as on the settings page.
    std::array<uint32_t, 4> w = kb.GetSystemSettings();
    if (repeat) w[0] = WithLow(w[0], *repeat);
    if (delay) w[0] = WithHigh(w[0], *delay);
    if (sixkey) w[1] = WithLow(w[1], *sixkey);
    if (rate) w[1] = WithHigh(w[1], *rate);
    if (wkey) w[2] = WithLow(w[2], *wkey);
    if (winlock) w[2] = WithHigh(w[2], *winlock);
    kb.SetSystemSettings(w[0], w[1], w[2], static_cast<uint16_t>(w[3]));
    kb.SaveProfile();
    if (rate || winlock || wkey || sixkey)
      if (int r = WriteRecord(ctx, d, kb); r != kExitOk) return r;
  }
  KeyboardSystemStages st;
  st.words = kb.GetSystemSettings();
  if (ctx.json) {
    Json::Value root = ChangeJson(d, s, kb.GetProfilePath(), change);
    root["settings"] = KeyboardSettingsJson(st);
    ctx.Answer(root);
  } else {
    PrintKeyboardSettings(ctx.out, st);
  }
  return kExitOk;
}

int MouseSettings(CliContext& ctx, const BoundDevice& d, const std::vector<std::optional<int>>& v) {
  const auto& [rate, speed, precision, lines, page, dbl] = std::tie(v[0], v[1], v[2], v[3], v[4], v[5]);
  MouseSession s;
  if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
  CVarnikMouseDevice& m = s.GetPage();
  const bool change = rate || speed || precision || lines || page || dbl;
  if (change) {
    // The main window's rows: one half word each; only the report rate goes to the mouse.
    auto w = m.GetMouseSystemSettings();
    if (rate) w[2] = WithHigh(w[2], *rate);
    if (speed) w[0] = WithHigh(w[0], *speed);
    if (dbl) w[0] = WithLow(w[0], *dbl);
    if (precision) w[1] = WithLow(w[1], *precision);
    if (page) w[1] = WithHigh(w[1], *page);
    if (lines) w[2] = WithLow(w[2], *lines);
    m.SetMouseSystemSettings(w[0], w[1], w[2]);
    m.SaveProfile();
    if (rate)
      if (int r = WriteRecord(ctx, d, m); r != kExitOk) return r;
  }
  if (ctx.json) {
    Json::Value root = ChangeJson(d, s, m.GetProfilePath(), change);
    root["settings"] = MouseSettingsJson(m);
    ctx.Answer(root);
  } else {
    PrintMouseSettings(ctx.out, m);
  }
  return kExitOk;
}

}  // namespace

int CmdSettings(CliContext& ctx) {
  if (ctx.args.empty()) return ctx.Usage("settings takes a DEVICE");
  int status = kExitOk;
  const int row = ProductRowOrUsage(ctx, ctx.args[0], status);
  if (row < 0) return status;
  const uint16_t kind = kProducts[static_cast<std::size_t>(row)].kind;
  const bool mouse = kind == static_cast<uint16_t>(DeviceKind::Mouse);
  const bool keyboard = kind == static_cast<uint16_t>(DeviceKind::Keyboard);
  const std::string device = kDeviceNames[static_cast<std::size_t>(row)];
  if (!mouse && !keyboard) return ctx.Usage("settings: the " + device + " has no settings here (keyboard or mouse)");
  const std::vector<OptionValues> options = mouse ? MouseOptions() : KeyboardOptions();
  std::vector<std::optional<int>> values;
  bool list = false;
  if (int r = ParseOptions(ctx, device, options, values, list); r != kExitOk) return r;
  if (list) return ListValues(ctx, row, nullptr, options);
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;
  return mouse ? MouseSettings(ctx, d, values) : KeyboardSettings(ctx, d, values);
}

}  // namespace korvale::cli
