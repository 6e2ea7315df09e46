#pragma once
// What the device commands share: finding and opening the device, the JSON
// objects that name the same things the same way in every command (device,
// profile, lighting), and the lighting and settings rows of the text output.
#include <json/value.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/device_session.h"
#include "cli/korvalectl.h"
#include "cli/named_values.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "profiles/profile_records.h"
#include "protocol/commands.h"

namespace korvale::cli {

std::string HexBytes(const uint8_t* p, std::size_t n);
std::string Rgb(uint8_t r, uint8_t g, uint8_t b);
std::optional<uint32_t> ParseRgb(std::string s);
const char* Connection(const BoundDevice& d);
// The name people use for the device ("headset" for the product key "HD").
const char* DeviceName(const BoundDevice& d);
bool IsLightingOnly(const BoundDevice& d);

// Resolves DEVICE to a bound device: 2 for an unknown name, 3 when not
// connected, 4 when present but its node may not be opened.
int ResolveDevice(CliContext& ctx, const std::string& key, BoundDevice& out);
// The product row of DEVICE, or a usage error (returned through status).
int ProductRowOrUsage(CliContext& ctx, const std::string& key, int& status);
int NotYet(CliContext& ctx, const std::string& what, const BoundDevice& d);
int DeviceFailed(CliContext& ctx, const BoundDevice& d, const std::string& reason);

// Opens a device session; reports a failure itself.
template <class Session>
int OpenSession(CliContext& ctx, const BoundDevice& d, Session& s, bool readOnly = false) {
  std::string reason;
  const int r = s.Open(d, reason, readOnly);
  if (r != kExitOk) ctx.err << "korvalectl: " << d.productKey << ": " << reason << "\n";
  return r;
}

// ---- the shared JSON objects ----

// {"name", "product", "kind", "connection"}; connection is null for a
// product named without being connected.
Json::Value DeviceJson(const BoundDevice& d);
Json::Value DeviceJson(int productRow);
// {"name", "uuid", "file"}, or null before a first profile exists.
Json::Value ProfileJson(bool has, const ProfileSelection& p, const std::string& file);
// {"effect", "effectIndex", "modeValue", "brightness", "speed", "direction",
//  "multicolor", "color", "customGroup"}
Json::Value LightingJson(const LightInfo& l, const std::vector<EffectChoice>& effects);
void PrintLighting(std::ostream& out, const LightInfo& l, const std::vector<EffectChoice>& effects);

// The keyboard's and the mouse's settings as `settings` shows them.
Json::Value KeyboardSettingsJson(const KeyboardSystemStages& s);
void PrintKeyboardSettings(std::ostream& out, const KeyboardSystemStages& s);
Json::Value MouseSettingsJson(CVarnikMouseDevice& m);
void PrintMouseSettings(std::ostream& out, CVarnikMouseDevice& m);
// The resolution stages and the active one as `dpi` shows them.
Json::Value DpiJson(CVarnikMouseDevice& m);
void PrintDpi(std::ostream& out, CVarnikMouseDevice& m);

// The answer of a command that may change things: device, whether it
// changed, the profile it works on and the named part.
template <class Session>
Json::Value ChangeJson(const BoundDevice& d, const Session& s, const std::string& file, bool changed) {
  Json::Value v(Json::objectValue);
  v["device"] = DeviceJson(d);
  v["changed"] = changed;
  v["profile"] = ProfileJson(s.HasProfile(), s.Profile(), file);
  return v;
}

// The write every change ends with; 4 when the device refused it.
template <class Page>
int WriteRecord(CliContext& ctx, const BoundDevice& d, Page& page) {
  int width = 0, height = 0;
  if constexpr (std::is_same_v<Page, CVarnikMouseDevice>) {
    // No screen here: the mouse keeps the size the window last gave it.
    const auto& rec = page.ConfigRecord();
    width = rec[proto::kMouseRecScreenWidth] | rec[proto::kMouseRecScreenWidth + 1] << 8;
    height = rec[proto::kMouseRecScreenHeight] | rec[proto::kMouseRecScreenHeight + 1] << 8;
  }
  const int r = page.WriteDeviceConfig(0, 0, 1, width, height);
  if (r != proto::CMD_OK) return DeviceFailed(ctx, d, "writing the configuration failed: " + ResultName(r));
  return kExitOk;
}

// ---- --list: the values an option takes ----

struct OptionValues {
  OptionValues(std::string o, ValueSet v, std::string h, std::string a = {}, bool f = false)
      : option(std::move(o)), values(std::move(v)), help(std::move(h)), accepts(std::move(a)), flag(f) {}
  std::string option;  // "--brightness"
  ValueSet values;
  std::string help;     // what it sets
  std::string accepts;  // in place of the values' description ("RRGGBB"; "" for a flag)
  bool flag = false;    // takes no value
  std::string Accepts() const { return flag || !accepts.empty() ? accepts : values.Describe(); }
};
// Prints (or answers with) the options and their values; effects first when given.
int ListValues(CliContext& ctx, int productRow, const std::vector<EffectChoice>* effects,
               const std::vector<OptionValues>& options);

}  // namespace korvale::cli
