// korvalectl profile: the named profiles of a device, changed with the same
// list class and files as the window's profile bar. When the selected
// profile changes and the keyboard is connected, it gets the profile the way
// the window's profile switch writes it.
#include <json/json.h>

#include <memory>
#include <ostream>

#include "cli/cmd_common.h"
#include "cli/device_session.h"
#include "cli/korvalectl.h"
#include "devices/profile_switch.h"
#include "devices/varnik_keyboard_device.h"
#include "profiles/json_file.h"
#include "profiles/profile_list.h"
#include "profiles/settings_files.h"

namespace korvale::cli {

namespace {

Json::Value EntryJson(const CProfileList& list, int i) {
  const ProfileEntry& e = list.Entries()[static_cast<std::size_t>(i)];
  Json::Value v(Json::objectValue);
  v["index"] = i;
  v["name"] = e.name;
  v["uuid"] = e.uuid;
  const auto path = list.PathAt(i);
  v["file"] = path.empty() ? Json::Value() : Json::Value(path.string());
  v["selected"] = i == list.Selected();
  return v;
}

void PrintList(CliContext& ctx, int row, const CProfileList& list) {
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["device"] = DeviceJson(row);
    root["selected"] = list.Selected();
    root["profiles"] = Json::Value(Json::arrayValue);
    for (int i = 0; i < list.Count(); ++i) root["profiles"].append(EntryJson(list, i));
    ctx.Answer(root);
    return;
  }
  for (int i = 0; i < list.Count(); ++i) {
    const ProfileEntry& e = list.Entries()[static_cast<std::size_t>(i)];
    ctx.out << (i == list.Selected() ? "* " : "  ") << i << "  " << e.name << "  " << e.uuid
            << (list.PathAt(i).empty() ? "  (unusable UUID: ignored)" : "") << "\n";
  }
}

// The connected keyboard, opened the way the window has it connected: on the
// profile selected before the command, so that the switch afterwards loads
// the new profile into a page that already holds the device's state.
struct DeviceLink {
  std::unique_ptr<KeyboardSession> session;
  int exit = kExitOk;
  std::string text;  // why nothing is written, when nothing is
};

DeviceLink OpenDevice(const std::string& productKey) {
  DeviceLink link;
  const int row = ProductRowOfKey(productKey);
  for (auto& d : FindBoundDevices()) {
    if (d.productRow != row) continue;
    if (d.kind != static_cast<uint16_t>(DeviceKind::Keyboard)) {
      link.text = "the device gets the profile from the window's profile switch";
      return link;
    }
    link.session = std::make_unique<KeyboardSession>();
    std::string reason;
    if (const int s = link.session->Open(d, reason); s != kExitOk) {
      link.session.reset();
      link.exit = s;
      link.text = "not written to the device: " + reason;
    }
    return link;
  }
  link.text = "not connected: nothing written to the device";
  return link;
}

// The switch of the window's profile bar on the connected keyboard.
void WriteSelection(DeviceLink& link, const CProfileList& list) {
  if (!link.session) return;
  const ProfileEntry& e = list.Entries()[static_cast<std::size_t>(list.Selected())];
  const auto r = SwitchPageProfile(link.session->GetPage(), e.uuid, 0, 0);
  link.exit = kExitDeviceError;
  if (!r.loaded) {
    link.exit = kExitFailure;
    link.text = "not written to the device: the profile could not be loaded";
  } else if (r.config != 1) {
    link.text = "writing the configuration failed: " + ResultName(r.config);
  } else if (r.macros > 0) {
    link.text = "the macros do not fit the device (" + std::to_string(r.macros) + "); keys not written";
  } else if (!KeysMayFollowMacros(r.macros)) {
    link.text = r.macroMessage + "; keys not written";
  } else if (r.keys != 1) {
    link.text = "writing the key tables failed: " + ResultName(r.keys);
  } else {
    link.exit = kExitOk;
    link.text = "written to the device";
  }
}

}  // namespace

int CmdProfile(CliContext& ctx) {
  const auto& a = ctx.args;
  if (a.size() < 2) return ctx.Usage("profile needs DEVICE and a subcommand");
  int bad = kExitOk;
  const int row = ProductRowOrUsage(ctx, a[0], bad);
  if (row < 0) return bad;
  const std::string productKey = kProducts[static_cast<std::size_t>(row)].productKey;
  const std::string& sub = a[1];
  const auto need = [&](std::size_t n, const char* synopsis) {
    if (a.size() == n + 2) return true;
    ctx.usageError = std::string("usage: profile DEVICE ") + synopsis;
    return false;
  };

  CProfileList list;
  list.SetDeviceKind(DeviceKindOfFolder(productKey));
  list.SetFolders(UserDataFolder(productKey), DefaultProfilePath(productKey));
  if (list.Folder().empty() || list.Initialise() != ProfileStatus::kDone) {
    ctx.err << "korvalectl: the profile list of " << productKey << " cannot be read or created\n";
    return kExitFailure;
  }
  // N: an index from 0 as `list` shows it, or a name.
  int index = -1;
  const auto profileArg = [&](const std::string& s) {
    index = list.Find(s);
    if (index < 0) ctx.err << "korvalectl: no profile '" << s << "' (see: korvalectl profile " << productKey << " list)\n";
    return index >= 0;
  };

  DeviceLink device;
  if (sub == "add" || sub == "delete" || sub == "select" || sub == "reset") device = OpenDevice(productKey);

  ProfileStatus status = ProfileStatus::kDone;
  int shown = -1;               // the profile to report
  bool selectionChanged = false;
  if (sub == "list") {
    if (!need(0, "list")) return kExitUsage;
    PrintList(ctx, row, list);
    return kExitOk;
  } else if (sub == "add") {
    if (a.size() > 3) return ctx.Usage("usage: profile DEVICE add [NAME]");
    if (a.size() == 3) {
      // The name is checked before anything is added.
      if (IsBlankText(a[2])) status = ProfileStatus::kBlankName;
      else if (list.NameTaken(a[2])) status = ProfileStatus::kDuplicateName;
    }
    if (status == ProfileStatus::kDone) status = list.Add(&shown);
    if (status == ProfileStatus::kDone && a.size() == 3) status = list.Rename(shown, a[2]);
    selectionChanged = status == ProfileStatus::kDone;
  } else if (sub == "copy") {
    if (!need(1, "copy N")) return kExitUsage;
    if (!profileArg(a[2])) return kExitFailure;
    status = list.Copy(index, &shown);
  } else if (sub == "rename") {
    if (!need(2, "rename N NAME")) return kExitUsage;
    if (!profileArg(a[2])) return kExitFailure;
    status = list.Rename(index, a[3]);
    shown = index;
  } else if (sub == "delete") {
    if (!need(1, "delete N")) return kExitUsage;
    if (!profileArg(a[2])) return kExitFailure;
    const bool wasSelected = index == list.Selected();
    status = list.Delete(index);
    shown = list.Selected();
    selectionChanged = status == ProfileStatus::kDone && wasSelected;
  } else if (sub == "select") {
    if (!need(1, "select N")) return kExitUsage;
    if (!profileArg(a[2])) return kExitFailure;
    status = list.Select(index);
    shown = index;
    selectionChanged = status == ProfileStatus::kDone;
  } else if (sub == "reset") {
    if (!need(1, "reset N")) return kExitUsage;
    if (!profileArg(a[2])) return kExitFailure;
    status = list.Reset(index);
    shown = index;
    selectionChanged = status == ProfileStatus::kDone && index == list.Selected();
  } else if (sub == "export") {
    if (!need(2, "export N FILE")) return kExitUsage;
    if (!profileArg(a[2])) return kExitFailure;
    status = list.Export(index, a[3]);
    shown = index;
  } else if (sub == "import") {
    if (!need(1, "import FILE")) return kExitUsage;
    status = list.Import(a[2], &shown);
  } else {
    return ctx.Usage("unknown profile subcommand '" + sub + "'");
  }

  if (status != ProfileStatus::kDone) {
    ctx.err << "korvalectl: profile " << sub << ": " << ProfileStatusText(status) << "\n";
    return kExitFailure;
  }
  if (selectionChanged) WriteSelection(device, list);
  else device = DeviceLink{};
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["device"] = DeviceJson(row);
    root["done"] = sub;
    root["profile"] = shown >= 0 && shown < list.Count() ? EntryJson(list, shown) : Json::Value();
    root["selected"] = list.Selected();
    // What became of writing the new selection to the keyboard; null when nothing was to be written.
    root["deviceWrite"] = device.text.empty() ? Json::Value() : Json::Value(device.text);
    ctx.Answer(root);
  } else {
    if (shown >= 0 && shown < list.Count())
      ctx.out << sub << ": " << shown << "  " << list.Entries()[static_cast<std::size_t>(shown)].name << "\n";
    if (!device.text.empty()) (device.exit == kExitOk ? ctx.out : ctx.err) << device.text << "\n";
  }
  return device.exit;
}

}  // namespace korvale::cli
