// korvalectl keys: what each key of the keyboard or button of the mouse does
// in the current profile, and changing or resetting one; the change is saved
// in the profile and sent as the window's "send to device" sends it (the
// macros the keys use, then the key tables).
#include <json/json.h>

#include <cctype>
#include <optional>
#include <type_traits>
#include <ostream>
#include <strings.h>

#include "cli/cmd_common.h"
#include "cli/device_session.h"
#include "cli/korvalectl.h"
#include "devices/profile_switch.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "profiles/assignment_codes.h"
#include "profiles/key_tables.h"
#include "profiles/keyboard_layout.h"
#include "profiles/macro_files.h"
#include "profiles/macro_refs.h"
#include "protocol/commands.h"

namespace korvale::cli {
namespace {

constexpr AssignmentCode kLeftButton{0x10, 0x01, 0x00};
constexpr const char* kMouseButtonWords[kMouseKeyCount] = {"left", "right", "middle", "forward", "back",
                                                           "dpi-up", "dpi-down", "dpi-cycle", "fire-mode",
                                                           "dpi-shift", "fire"};

std::optional<int> Number(const std::string& s, int hi) {
  if (s.empty() || s.size() > 4) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v <= hi ? std::optional<int>(v) : std::nullopt;
}

// A key's own name: its factory key's word on the keyboard, its button word on the mouse.
std::string KeyName(bool keyboard, int key) {
  if (!keyboard) return key < kMouseKeyCount ? kMouseButtonWords[key] : std::to_string(key);
  const AssignmentCode c = kKeyboardDefaultCodes[static_cast<std::size_t>(key)];
  if (c.type == 0x20)
    for (const auto& r : kKeyboardKeyTable)
      if (r.modifier == c.value1 && r.usage == c.value2) return r.word;
  const std::string id = NameOfCode(c);
  return id.empty() ? std::to_string(key) : id;
}

// KEY: a number, or a key word / button word.
std::optional<int> KeyOf(bool keyboard, const std::string& text) {
  const int count = keyboard ? kKeyboardRealKeys : kMouseKeyCount;
  if (auto n = Number(text, count - 1)) return n;
  for (int i = 0; i < count; ++i)
    if (::strcasecmp(KeyName(keyboard, i).c_str(), text.c_str()) == 0) return i;
  return std::nullopt;
}

// CODE: the code notation, a key chord, a text ID of the code tables, or "default".
std::optional<AssignmentCode> CodeOf(const std::string& text) {
  if (auto c = ParseCodeNotation(text)) return c;
  if (auto c = ParseKeyChord(text)) return c;
  return CodeOfName(text);
}

// What a code does, in words a shell user can type back.
std::string Describe(const AssignmentCode& c, const std::vector<MacroInfoEntry>& macros) {
  if (IsMacroCode(c)) {
    const std::string name = c.value1 < macros.size() ? "\"" + macros[c.value1].name + "\"" : "(missing)";
    return "macro " + std::to_string(c.value1) + " " + name +
           (c.type == 0x71 ? " x" + std::to_string(c.value2) : "");
  }
  if (c.type == 0x20 && (c.value2 != 0 || c.value1 != 0)) {
    std::string chord;
    static constexpr const char* kBits[8] = {"Ctrl", "Shift", "Alt", "Win", "RCtrl", "RShift", "RAlt", "RWin"};
    if (c.value2 == 0) return NameOfCode(c).substr(13);  // a modifier key alone
    for (int b = 0; b < 8; ++b)
      if (c.value1 & (1 << b)) chord += std::string(kBits[b]) + "+";
    const std::string id = NameOfCode({0x20, 0, c.value2});
    return id.empty() ? chord + "usage " + std::to_string(c.value2) : chord + id.substr(13);
  }
  return NameOfCode(c);
}

struct KeysTarget {
  bool keyboard = false;
  bool fn = false;
};

template <class Session>
int RunOn(CliContext& ctx, const BoundDevice& d, const KeysTarget& t) {
  Session s;
  if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
  auto& page = s.GetPage();
  std::vector<KeyRecord> keys = page.GetKeyList();
  const std::string& action = ctx.args[1];
  const auto macros = ReadMacroIndex(page.UserDataFolder());
  const int count = std::min<int>(static_cast<int>(keys.size()), t.keyboard ? kKeyboardRealKeys : kMouseKeyCount);
  auto codeOf = [&](const KeyRecord& k) { return t.fn ? k.fn.code : k.normal.code; };

  auto entry = [&](int i) {
    const KeyRecord& k = keys[static_cast<std::size_t>(i)];
    const AssignmentCode c = codeOf(k);
    Json::Value v(Json::objectValue);
    v["key"] = i;
    v["name"] = KeyName(t.keyboard, i);
    v["code"] = FormatCode(c);
    v["does"] = Describe(c, macros);
    v["default"] = FormatCode(k.defaultKey.code);
    v["changed"] = !(c == k.defaultKey.code || (t.fn && c == AssignmentCode{}));
    return v;
  };
  auto answer = [&](const char* what, Json::Value value) {
    Json::Value root(Json::objectValue);
    root["device"] = DeviceJson(d);
    root["profile"] = ProfileJson(s.HasProfile(), s.Profile(), page.GetProfilePath());
    root["layer"] = t.fn ? "fn" : "normal";
    root[what] = std::move(value);
    return root;
  };

  if (action == "list") {
    Json::Value items(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
      if constexpr (std::is_same_v<Session, KeyboardSession>)
        if (page.KeyToPosition(i) == CVarnikKeyboardDevice::kNone) continue;
      const Json::Value v = entry(i);
      if (ctx.json)
        items.append(v);
      else
        ctx.out << i << "  " << v["name"].asString() << "  " << v["code"].asString() << "  " << v["does"].asString()
                << (v["changed"].asBool() ? "  (changed)" : "") << "\n";
    }
    if (ctx.json) ctx.Answer(answer("keys", items));
    return kExitOk;
  }

  const std::size_t want = action == "set" ? 4 : 3;
  if (ctx.args.size() != want)
    return ctx.Usage(action == "set" ? "keys DEVICE set takes KEY and CODE" : "keys DEVICE reset takes KEY");
  const auto key = KeyOf(t.keyboard, ctx.args[2]);
  if (!key || *key >= count) return ctx.Usage("'" + ctx.args[2] + "' is no key of the " + d.productKey);
  KeyRecord& k = keys[static_cast<std::size_t>(*key)];
  AssignmentCode code = k.defaultKey.code;
  if (action == "set") {
    const auto parsed = CodeOf(ctx.args[3]);
    if (!parsed)
      return ctx.Usage("'" + ctx.args[3] + "' is no code: three hex bytes (\"20 00 05\"), a key (\"Ctrl+C\") or a name (\"media_play\")");
    code = *parsed;
    if (IsMacroCode(code) && code.value1 >= macros.size()) {
      ctx.err << "korvalectl: there is no macro " << int{code.value1} << " (" << macros.size() << " macro(s))\n";
      return kExitFailure;
    }
  }
  if (!t.keyboard && !(code == kLeftButton) && k.normal.code == kLeftButton) {
    int lefts = 0;
    for (const KeyRecord& other : keys) lefts += other.normal.code == kLeftButton;
    if (lefts <= 1) {
      ctx.err << "korvalectl: button " << *key << " is the mouse's only left button; give another button the left "
                 "button first\n";
      return kExitFailure;
    }
  }
  (t.fn ? k.fn.code : k.normal.code) = code;
  page.SetKeyList(keys);
  page.SaveProfile();
  const int macroResult = page.DownloadMacros(page.CollectUsedMacros());
  if (!KeysMayFollowMacros(macroResult)) {
    ctx.err << "korvalectl: " << d.productKey << ": saved in the profile, but " << page.LastMacroDownload().message
            << "; the key tables were not sent\n";
    return kExitFailure;
  }
  const int r = page.ApplyKeyAssignments(0);
  if (r != proto::CMD_OK) return DeviceFailed(ctx, d, "writing the key tables failed: " + ResultName(r));
  if (ctx.json) {
    ctx.Answer(answer("key", entry(*key)));
  } else {
    ctx.out << KeyName(t.keyboard, *key) << " (" << *key << "): " << FormatCode(code) << " " << Describe(code, macros)
            << "; saved and sent\n";
  }
  return kExitOk;
}

}  // namespace

int CmdKeys(CliContext& ctx) {
  KeysTarget t;
  std::erase_if(ctx.args, [&](const std::string& a) { return a == "--fn" ? (t.fn = true) : false; });
  if (ctx.args.size() < 2) return ctx.Usage("keys takes DEVICE and list, set or reset");
  const int row = ProductRowOfKey(ctx.args[0]);
  const auto kind = row < 0 ? 0 : kProducts[static_cast<std::size_t>(row)].kind;
  t.keyboard = kind == static_cast<uint16_t>(DeviceKind::Keyboard);
  if (!t.keyboard && kind != static_cast<uint16_t>(DeviceKind::Mouse))
    return ctx.Usage("'" + ctx.args[0] + "' has no keys to assign (keyboard or mouse)");
  if (t.fn && !t.keyboard) return ctx.Usage("--fn: only the keyboard has an Fn layer");
  const std::string& action = ctx.args[1];
  if (action != "list" && action != "set" && action != "reset")
    return ctx.Usage("keys: unknown action '" + action + "' (list, set, reset)");
  if (action == "list" && ctx.args.size() != 2) return ctx.Usage("keys DEVICE list takes nothing more");
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;
  if (t.keyboard) return RunOn<KeyboardSession>(ctx, d, t);
  return RunOn<MouseSession>(ctx, d, t);
}

}  // namespace korvale::cli
