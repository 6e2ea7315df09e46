// korvalectl macro and shoot: the device folder's macro files (list, checked
// import, export, assigning a macro to a key) and the downloads to the
// device, run the way the window runs them.
#include <json/json.h>

#include <cctype>
#include <optional>
#include <ostream>

#include "cli/cmd_common.h"
#include "cli/device_session.h"
#include "cli/korvalectl.h"
#include "devices/profile_switch.h"
#include "devices/macro_download.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "profiles/device_profiledata.h"
#include "profiles/key_tables.h"
#include "profiles/keyboard_layout.h"
#include "profiles/macro_files.h"
#include "profiles/macro_refs.h"
#include "profiles/settings_files.h"
#include "protocol/commands.h"

namespace korvale::cli {
namespace {

constexpr int kMouseButtons = 11;

// Keyboard and mouse keep macros; the product row, or a usage error.
int MacroDevice(CliContext& ctx, const std::string& key, int& row) {
  row = ProductRowOfKey(key);
  const auto kind = row < 0 ? 0 : kProducts[static_cast<std::size_t>(row)].kind;
  if (kind != static_cast<uint16_t>(DeviceKind::Keyboard) && kind != static_cast<uint16_t>(DeviceKind::Mouse))
    return ctx.Usage("'" + key + "' keeps no macros (keyboard or mouse)");
  return kExitOk;
}

std::filesystem::path FolderOf(int row) { return UserDataFolder(kProducts[static_cast<std::size_t>(row)].productKey); }

bool IsKeyboardRow(int row) {
  return kProducts[static_cast<std::size_t>(row)].kind == static_cast<uint16_t>(DeviceKind::Keyboard);
}

std::optional<int> Number(const std::string& s, int hi) {
  if (s.empty() || s.size() > 4) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v <= hi ? std::optional<int>(v) : std::nullopt;
}

int List(CliContext& ctx, int row) {
  const auto folder = FolderOf(row);
  const auto index = ReadMacroIndex(folder);
  Json::Value items(Json::arrayValue);
  for (std::size_t i = 0; i < index.size(); ++i) {
    const auto file = MacroFilePath(folder, index[i].guid);
    std::string state;
    int events = 0;
    if (!file) {
      state = "unusable Guid";
    } else if (!std::filesystem::exists(*file)) {
      state = "never saved";
    } else if (const MacroEventsRead r = ReadMacroEvents(*file); r.ok()) {
      events = static_cast<int>(r.events.size());
    } else {
      state = "broken: " + r.error;
    }
    if (ctx.json) {
      Json::Value v(Json::objectValue);
      v["number"] = static_cast<int>(i);
      v["name"] = index[i].name;
      v["guid"] = index[i].guid;
      v["events"] = events;
      if (!state.empty()) v["problem"] = state;
      items.append(v);
    } else {
      ctx.out << i << "  " << index[i].name << "  " << (state.empty() ? std::to_string(events) + " events" : state)
              << "\n";
    }
  }
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["macros"] = items;
    ctx.Answer(root);
  } else if (index.empty()) {
    ctx.out << "no macros\n";
  }
  return kExitOk;
}

int Import(CliContext& ctx, int row) {
  if (ctx.args.size() != 3) return ctx.Usage("macro DEVICE import takes one FILE");
  std::filesystem::create_directories(FolderOf(row));
  const MacroImport r = ImportMacroFile(FolderOf(row), ctx.args[2]);
  if (r.name.empty()) {
    ctx.err << "korvalectl: import refused: " << r.error << "\n";
    return kExitFailure;
  }
  ctx.out << "imported as \"" << r.name << "\"\n";
  return kExitOk;
}

int Export(CliContext& ctx, int row) {
  if (ctx.args.size() != 4) return ctx.Usage("macro DEVICE export takes NAME and FILE");
  const auto folder = FolderOf(row);
  const auto index = ReadMacroIndex(folder);
  const int k = FindMacroName(index, ctx.args[2]);
  if (k < 0) {
    ctx.err << "korvalectl: no macro named \"" << ctx.args[2] << "\"\n";
    return kExitFailure;
  }
  const auto file = MacroFilePath(folder, index[static_cast<std::size_t>(k)].guid);
  std::string error;
  if (!file || !std::filesystem::exists(*file)) {
    ctx.err << "korvalectl: macro \"" << ctx.args[2] << "\" has never been saved; nothing to export\n";
    return kExitFailure;
  }
  if (!CopyFileChecked(*file, ctx.args[3], error)) {
    ctx.err << "korvalectl: export failed: " << error << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

// KEY: a screen key number 0-125 or a key word ("A", "F1", "Num Enter") on
// the keyboard; a button number 0-10 on the mouse.
std::optional<int> KeyOf(int row, const std::string& key) {
  if (!IsKeyboardRow(row)) return Number(key, kMouseButtons - 1);
  if (auto n = Number(key, kKeyboardRealKeys - 1)) return n;
  const int w = FindKeyboardWord(key);
  if (w < 0) return std::nullopt;
  const auto& r = kKeyboardKeyTable[static_cast<std::size_t>(w)];
  const int ui = FindKeyboardKey({r.category, r.modifier, r.usage});
  return ui >= 0 && ui < kKeyboardRealKeys ? std::optional<int>(ui) : std::nullopt;
}

int Assign(CliContext& ctx, int row) {
  if (ctx.args.size() != 4) return ctx.Usage("macro DEVICE assign takes KEY and NAME");
  const auto key = KeyOf(row, ctx.args[2]);
  if (!key) return ctx.Usage("'" + ctx.args[2] + "' is no key of the " + kProducts[static_cast<std::size_t>(row)].productKey);
  const auto folder = FolderOf(row);
  const int k = FindMacroName(ReadMacroIndex(folder), ctx.args[3]);
  if (k < 0) {
    ctx.err << "korvalectl: no macro named \"" << ctx.args[3] << "\"\n";
    return kExitFailure;
  }
  const std::string productKey = kProducts[static_cast<std::size_t>(row)].productKey;
  const auto selection = CurrentProfile(productKey);
  if (!selection) {
    ctx.err << "korvalectl: the profile list of " << productKey << " cannot be read or created\n";
    return kExitFailure;
  }
  std::unique_ptr<CBasicProfiledata> profile;
  if (IsKeyboardRow(row))
    profile = std::make_unique<CKeyboardProfiledata>();
  else
    profile = std::make_unique<CMouseProfiledata>();
  profile->SetDefaultPath(DefaultProfilePath(productKey));
  profile->SetFilePath(ProfileFilePath(folder, selection->uuid));
  profile->Load(profile->GetFilePath());
  std::vector<KeyRecord> keys = profile->ReadKeyList();
  if (static_cast<std::size_t>(*key) >= keys.size()) {
    ctx.err << "korvalectl: the profile has no key " << *key << "\n";
    return kExitFailure;
  }
  keys[static_cast<std::size_t>(*key)].normal.code = {kAssignMacro, static_cast<uint8_t>(k), 0};
  profile->WriteKeyList(keys);
  if (!profile->Save()) {
    ctx.err << "korvalectl: " << profile->GetFilePath().string() << " could not be written\n";
    return kExitFailure;
  }
  ctx.out << "key " << *key << " plays \"" << ctx.args[3] << "\" (macro " << k << ") in profile "
          << selection->name << "; run 'korvalectl macro " << ctx.args[0] << " download' to send it\n";
  return kExitOk;
}

// The window's profile switch: configuration, the macros the keys use, then
// the key tables, which go only when those macros are stored.
template <class Session>
int DownloadWith(CliContext& ctx, const BoundDevice& d, const char* what) {
  Session s;
  if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
  const ProfileSwitchResult o = ApplyPageProfile(s.GetPage(), 0, 0);
  if (!o.loaded) {
    ctx.err << "korvalectl: " << d.productKey << ": the profile could not be loaded; nothing sent\n";
    return kExitFailure;
  }
  if (o.config != proto::CMD_OK)
    return DeviceFailed(ctx, d, "writing the configuration failed: " + ResultName(o.config));
  if (o.macros == kMacroWriteFailed) return DeviceFailed(ctx, d, o.macroMessage + "; the key tables were not sent");
  if (!KeysMayFollowMacros(o.macros)) {
    ctx.err << "korvalectl: " << d.productKey << ": " << o.macroMessage
            << (o.macros > 0 ? " (" + std::to_string(o.macros) + " events too many)" : "")
            << "; the key tables were not sent\n";
    return kExitFailure;
  }
  if (o.keys != proto::CMD_OK) return DeviceFailed(ctx, d, "writing the key tables failed: " + ResultName(o.keys));
  const auto used = s.GetPage().CollectUsedMacros();
  if (o.macros == kMacroNoMemory)
    ctx.out << "the " << what << " has no macro memory; configuration and key tables sent\n";
  else
    ctx.out << "configuration, " << used.size() << " macro(s) (" << s.GetPage().LastMacroDownload().bytes
            << " bytes) and key tables sent\n";
  return kExitOk;
}

int Download(CliContext& ctx, int row) {
  if (ctx.args.size() != 2) return ctx.Usage("macro DEVICE download takes no further arguments");
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;
  if (IsKeyboardRow(row)) return DownloadWith<KeyboardSession>(ctx, d, "keyboard");
  return DownloadWith<MouseSession>(ctx, d, "mouse");
}

}  // namespace

int CmdMacro(CliContext& ctx) {
  if (ctx.args.size() < 2) return ctx.Usage("macro takes DEVICE and list, import, export, assign or download");
  int row = -1;
  if (int r = MacroDevice(ctx, ctx.args[0], row); r != kExitOk) return r;
  const std::string& what = ctx.args[1];
  if (what == "list") return ctx.args.size() == 2 ? List(ctx, row) : ctx.Usage("macro DEVICE list takes nothing more");
  if (what == "import") return Import(ctx, row);
  if (what == "export") return Export(ctx, row);
  if (what == "assign") return Assign(ctx, row);
  if (what == "download") return Download(ctx, row);
  return ctx.Usage("macro: unknown action '" + what + "' (list, import, export, assign, download)");
}

int CmdShoot(CliContext& ctx) {
  if (ctx.args.size() != 2 || ctx.args[1] != "download") return ctx.Usage("shoot takes DEVICE and download");
  int row = -1;
  if (int r = MacroDevice(ctx, ctx.args[0], row); r != kExitOk) return r;
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;
  if (d.primaryPath.empty()) return DeviceFailed(ctx, d, "its command interface is not bound");
  CVarnikUSBDevice page;
  const int mode = d.viaReceiver ? proto::kModeReceiver : proto::kModeCable;
  if (!page.AttachPrimary(d.primaryPath, d.viaReceiver, mode)) return DeviceFailed(ctx, d, "cannot open " + d.primaryPath);
  std::array<uint8_t, 34> info{};
  const DownloadReport r = DownloadShootImage(page.Comm(), info, FolderOf(row));
  page.DetachPrimary();
  if (r.result == kMacroWriteFailed) return DeviceFailed(ctx, d, r.message);
  if (r.result != 0) {
    ctx.err << "korvalectl: " << d.productKey << ": " << r.message << "\n";
    return kExitFailure;
  }
  ctx.out << "four shoot sequences sent (" << r.bytes << " bytes)\n";
  return kExitOk;
}

}  // namespace korvale::cli
