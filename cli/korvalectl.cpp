#include "cli/korvalectl.h"

#include <cstdint>
#include <json/json.h>

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string_view>

namespace korvale::cli {

namespace {

constexpr const char* kDeviceHelp =
    "DEVICE, in any letter case: keyboard, mouse, mousepad, headset (or the product\n"
    "keys that list shows: MousePad, HD).\n";

const CliCommand kCommands[] = {
    {"interfaces", "", "list every HID interface path (hidraw and virtual bus) and its supported-device row",
     "Every HID interface path of both backends with its identity and the row of the\n"
     "supported-device table it matches (\"-\" when none).\n",
     CmdInterfaces},
    {"list", "", "list the connected devices with their connection and interface paths",
     "Every connected device: its name, product key, kind, connection (cable or\n"
     "receiver) and the interface paths bound to it (command and consumer collections).\n",
     CmdList},
    {"info", "DEVICE [--raw]", "show what the device reports: model, firmware, battery, memory, profile",
     "What the device reports, decoded: model, firmware revision (the USB release\n"
     "number), battery and charging (devices with a battery), key or button positions,\n"
     "macro memory, the mouse's sensor and resolution range, the report rate, the\n"
     "device's active slot, the current profile with its name and its lighting.\n"
     "It only reads: no file or folder is created and nothing is written to the device.\n"
     "  --raw              also print the information block, record and status bytes\n",
     CmdInfo},
    {"lighting", "DEVICE [options]", "show or change the lighting of the current profile",
     "Changes the named fields of the current profile's lighting, saves the profile\n"
     "and writes the lighting to the device, as the lighting editor does. Without an\n"
     "option it shows the current lighting.\n"
     "  --effect NAME      an effect by name (wave, breathing, ...) or its index\n"
     "  --brightness 0-4   brightness\n"
     "  --speed 0-4        speed\n"
     "  --direction DIR    right or left (or 0, 1)\n"
     "  --color RRGGBB     one colour (ends multicolour)\n"
     "  --multicolor       several colours\n"
     "  --list             the device's effect names and every option's values\n",
     CmdLighting},
    {"settings", "keyboard|mouse [options]", "show or change the keyboard's or the mouse's settings",
     "Changes the device's system settings in the current profile and writes them to\n"
     "the device, as the main window's settings page does. Without an option it\n"
     "shows them; --list shows every option with the values it takes. The keyboard:\n"
     "  --report-rate HZ   125, 250, 500 or 1000 (or the option's index 0-3; the\n"
     "                     older name --polling is accepted)\n"
     "  --repeat-delay MS  250, 500, 750 or 1000 (or the index 0-3)\n"
     "  --repeat-rate N    0-255, the settings page's slider\n"
     "  --winlock on|off   Windows key lock\n"
     "  --wkey on|off      the W-key option of the settings page\n"
     "  --sixkey on|off    six-key roll-over\n"
     "The repeat values stay in the profile, as on the settings page. The mouse\n"
     "(pointer, scroll and double-click values stay in the profile; the desktop's\n"
     "own settings are not changed):\n"
     "  --report-rate HZ   125, 250, 500, 1000 or 2000 (written to the mouse)\n"
     "  --pointer-speed N  1-20\n"
     "  --pointer-precision on|off\n"
     "  --scroll-lines N   1-100\n"
     "  --scroll-page on|off  scroll a page at a time\n"
     "  --double-click MS  200-900\n"
     "on|off also takes 1|0, true|false and yes|no.\n",
     CmdSettings},
    {"profile", "DEVICE SUBCOMMAND", "list and manage the device's named profiles",
     "The device's named profiles, in the same files as the window's profile bar.\n"
     "N is a profile's index from 0 as `list` shows it, or its name (any letter case).\n"
     "  list               the profiles; * marks the selected one\n"
     "  add [NAME]         a new profile from the defaults (\"profileN\", at most 50),\n"
     "                     selected\n"
     "  copy N             a copy named \"<name> copy\"\n"
     "  rename N NAME      a new name (not blank, not another profile's)\n"
     "  delete N           removes it; the last profile stays\n"
     "  select N           makes it the current profile\n"
     "  reset N            the defaults again under the same name\n"
     "  export N FILE      writes the profile to FILE\n"
     "  import FILE        adds the profile in FILE, named after the file; only a\n"
     "                     profile of this device is taken\n"
     "When the selected profile changes (add, delete, select, reset of the selected\n"
     "one) a connected keyboard gets it: configuration, macros and key tables.\n",
     CmdProfile},
    {"macro", "DEVICE list|import FILE|export NAME FILE|assign KEY NAME|download",
     "list, import, export and assign macros, or send them to the device",
     "The macros of the keyboard's or the mouse's folder, as the macro editor keeps them.\n"
     "  list               number, name and event count of each macro (--json too)\n"
     "  import FILE        checks FILE (event types, buttons, delays, at most 4000\n"
     "                     events) and adds it as a new macro named after the file\n"
     "  export NAME FILE   copies the saved macro NAME to FILE\n"
     "  assign KEY NAME    the current profile's KEY plays NAME once; KEY is a key\n"
     "                     number 0-125 or a key word (A, F1, Num Enter) on the\n"
     "                     keyboard, a button number 0-10 on the mouse\n"
     "  download           sends the configuration, the macros the keys use and the\n"
     "                     key tables, as the window does on a profile switch; the\n"
     "                     key tables are not sent when the macros are not stored\n",
     CmdMacro},
    {"keys", "DEVICE [--fn] list|set KEY CODE|reset KEY", "show, change or reset what keys and buttons do",
     "What each key of the keyboard or button of the mouse does in the current profile.\n"
     "  list               key number, name, code and what it does; (changed) marks\n"
     "                     keys that differ from their factory function\n"
     "  set KEY CODE       gives KEY a new function, saves it in the profile and sends\n"
     "                     the key tables (with the macros the keys use)\n"
     "  reset KEY          KEY does its factory function again, saved and sent\n"
     "  --fn               the keyboard's Fn layer instead of the normal one\n"
     "KEY is a number (0-125 on the keyboard, 0-10 on the mouse) or a name: a key word\n"
     "(A, F1, Num Enter, LCtrl) on the keyboard, left, right, middle, forward, back,\n"
     "dpi-up, dpi-down, dpi-cycle, fire-mode, dpi-shift or fire on the mouse.\n"
     "CODE is three hexadecimal bytes, type value1 value2 (\"20 00 05\", \"20:01:06\",\n"
     "0x30CD00), a key with modifiers (B, Ctrl+C, Ctrl+Shift+F5,\n"
     "RShift), or the name of a function (media_play, media_vol_add, mouse_key_back,\n"
     "mouse_key_DPI_loop, system_sleep, custem_copy). Macros are 70 NN MM (macro NN,\n"
     "play mode MM 0-3) or 71 NN CC (CC times). The mouse's last left button cannot\n"
     "be given away.\n"
     "--json: data is {\"device\", \"profile\", \"layer\", \"keys\": [KEY]} for list and\n"
     "{\"device\", \"profile\", \"layer\", \"key\": KEY} for set and reset, KEY being\n"
     "{\"key\", \"name\", \"code\", \"does\", \"default\", \"changed\"}.\n",
     CmdKeys},
    {"shoot", "DEVICE download", "send the four shoot sequences to the device",
     "Packs the four shoot files (ShootData_0..3.Shoot) of the device's folder into the\n"
     "device's shoot memory; refused with a message when they do not fit or a file is\n"
     "broken.\n",
     CmdShoot},
    {"dpi", "mouse [options]", "show or change the mouse's resolution stages",
     "The five resolution stages of the current profile (slider step, resolution,\n"
     "on or off, colour) and the active one. Changes are saved in the profile and\n"
     "written to the mouse, as the resolution page does.\n"
     "  --stage N          the stage (0-4) --value, --enable and --color change\n"
     "  --value DPI        its resolution (the nearest step the sensor has)\n"
     "  --enable on|off    switch it on or off (one stage always stays on)\n"
     "  --color RRGGBB     its colour\n"
     "  --select N         the active stage (0-4)\n",
     CmdDpi},
    {"audio", "headset [options]", "show or change the headset's sound on the sound server",
     "The headset's equaliser, microphone and monitoring, as the audio panel has\n"
     "them: saved in the current profile and applied on the sound server to the\n"
     "headset's own output and microphone (USB 0C76:1630). The equaliser stays in\n"
     "force after the command ends. Without options the settings are shown.\n"
     "  --eq PRESET        a built-in curve 1-12, or 13 for the selected own curve\n"
     "  --band N=DB        band N (1-10: 31 Hz ... 16 kHz) to DB (-20 to 20); may be\n"
     "                     repeated; makes the curve your own (not with --eq)\n"
     "  --mic on|off       microphone on or muted\n"
     "  --mic-level N      microphone level 0-100\n"
     "  --monitor on|off   hear your own voice in the headset\n"
     "  --monitor-level N  its level 0-100\n"
     "Exit status 4 when the sound server is not running or refused a change, 3\n"
     "when it lists no output or microphone of the headset.\n",
     CmdAudio},
};

void PrintUsage(std::ostream& os) {
  os << "usage: korvalectl [--json] <command> [arguments]\n"
        "       korvalectl <command> --help\n"
        "       korvalectl help [command]\n"
        "       korvalectl --help | --version\n"
        "\n"
        "options:\n"
        "  --json     print one JSON document instead of a table, the same envelope\n"
        "             for every command, success or not: {\"korvalectl\": 1,\n"
        "             \"command\", \"ok\", \"status\", \"data\", \"error\"} (see\n"
        "             korvalectl(1) and docs/korvalectl.schema.json)\n"
        "  --help     show this help\n"
        "  --version  show the version\n"
        "\n"
        "commands:\n";
  for (const auto& c : kCommands) {
    std::string head = std::string(c.name) + (*c.synopsis ? std::string(" ") + c.synopsis : "");
    os << "  " << head << std::string(head.size() < 28 ? 28 - head.size() : 1, ' ') << c.summary << "\n";
  }
  os << "\n"
     << kDeviceHelp
     << "\n"
        "exit status: 0 done, 1 failed (e.g. not supported yet for that device),\n"
        "2 bad usage, 3 no such device connected, 4 the device answered with an error\n"
        "or not at all, or its node may not be opened (permission denied: install the\n"
        "udev rule data/udev/70-korvale.rules).\n";
}

void PrintCommandHelp(std::ostream& os, const CliCommand& c) {
  os << "usage: korvalectl [--json] " << c.name << (*c.synopsis ? std::string(" ") + c.synopsis : "") << "\n\n"
     << c.summary << ".\n\n"
     << c.details;
  if (std::string(c.synopsis).find("DEVICE") != std::string::npos) os << kDeviceHelp;
}

// One line and where to look, not the whole help.
int UsageError(std::ostream& err, const std::string& reason) {
  err << "korvalectl: " << reason << "\n"
      << "see korvalectl --help\n";
  return kExitUsage;
}

const CliCommand* FindCommand(const std::string& name) {
  for (const auto& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

// `help [command]`: the same texts as --help.
int Help(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    PrintUsage(out);
    return kExitOk;
  }
  const CliCommand* c = args.size() == 1 ? FindCommand(args[0]) : nullptr;
  if (c == nullptr)
    return UsageError(err, args.size() == 1 ? "unknown command '" + args[0] + "'" : "help takes one command");
  PrintCommandHelp(out, *c);
  return kExitOk;
}

// The reason of a failure: the last line the command wrote to standard
// error, without the program name.
std::string LastReason(const std::string& errText) {
  constexpr std::string_view kPrefix = "korvalectl: ";
  std::string message = "failed";
  std::istringstream lines(errText);
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with(kPrefix)) message = line.substr(kPrefix.size());
  return message;
}

}  // namespace

std::span<const CliCommand> Commands() { return kCommands; }

Json::Value JsonEnvelope(const std::string& command, int status, Json::Value data, const std::string& message) {
  Json::Value doc(Json::objectValue);
  doc["korvalectl"] = kJsonSchemaVersion;
  doc["command"] = command.empty() ? Json::Value() : Json::Value(command);
  doc["ok"] = status == kExitOk;
  doc["status"] = status;
  doc["data"] = std::move(data);
  if (status == kExitOk) {
    doc["error"] = Json::Value(Json::nullValue);
  } else {
    doc["error"]["status"] = status;
    doc["error"]["message"] = message;
  }
  return doc;
}

std::string TerminalText(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  auto escape = [&out](unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    // A whole UTF-8 sequence of a printable character passes; C1 controls
    // (U+0080..U+009F) would act on the terminal like escapes.
    std::size_t n = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    uint32_t cp = n == 2 ? c & 0x1Fu : n == 3 ? c & 0x0Fu : c & 0x07u;
    bool ok = n != 0 && i + n <= text.size();
    for (std::size_t k = 1; ok && k < n; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      ok = (b & 0xC0) == 0x80;
      cp = (cp << 6) | (b & 0x3Fu);
    }
    ok = ok && cp >= 0xA0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) &&
         !(n == 3 && cp < 0x800) && !(n == 4 && cp < 0x10000);
    if (ok) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      escape(c);
      ++i;
    }
  }
  return out;
}

namespace {

// What a --json run puts in its envelope.
struct JsonRun {
  std::string command;
  Json::Value data = Json::Value(Json::nullValue);
  bool printed = false;  // help or version: text, no envelope
};

int Dispatch(const std::vector<std::string>& argv, bool& json, std::ostream& out, std::ostream& err, JsonRun& run) {
  const CliCommand* command = nullptr;
  std::vector<std::string> rest;
  for (const auto& a : argv) {
    if (command) {
      if (a == "--json") {
        json = true;  // accepted after the command too
      } else if (a == "--help" || a == "-h") {
        PrintCommandHelp(out, *command);
        run.printed = true;
        return kExitOk;
      } else {
        rest.push_back(a);
      }
      continue;
    }
    if (a == "--help" || a == "-h") {
      PrintUsage(out);
      run.printed = true;
      return kExitOk;
    }
    if (a == "--version") {
      out << "korvalectl " << KORVALE_VERSION << "\n";
      run.printed = true;
      return kExitOk;
    }
    if (a == "--json") {
      json = true;
      continue;
    }
    if (!a.empty() && a[0] == '-') return UsageError(err, "unknown option '" + a + "'");
    if (a == "help") {
      const auto at = std::find(argv.begin(), argv.end(), a);
      run.printed = true;
      return Help({at + 1, argv.end()}, out, err);
    }
    command = FindCommand(a);
    if (!command) return UsageError(err, "unknown command '" + a + "'");
    run.command = command->name;
  }
  if (!command) return UsageError(err, "missing command");
  CliContext ctx{json, std::move(rest), out, err, {}};
  const int status = command->run(ctx);
  run.data = std::move(ctx.data);
  if (status == kExitUsage) return UsageError(err, ctx.usageError.empty() ? "bad arguments" : ctx.usageError);
  return status;
}

}  // namespace

int RunKorvalectl(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
  // The error object needs the message, so with --json standard error is
  // held until the status is known.
  const bool json = std::find(argv.begin(), argv.end(), "--json") != argv.end();
  JsonRun run;
  if (!json) {
    bool unused = false;
    return Dispatch(argv, unused, out, err, run);
  }
  std::ostringstream held, errText;
  bool parsedJson = true;
  const int status = Dispatch(argv, parsedJson, held, errText, run);
  err << errText.str();
  if (run.printed) {
    out << held.str();
    return status;
  }
  // Commands answer through the context, never on the stream itself.
  Json::StreamWriterBuilder w;
  w["indentation"] = "  ";
  out << Json::writeString(w, JsonEnvelope(run.command, status, std::move(run.data), LastReason(errText.str()))) << "\n";
  return status;
}

}  // namespace korvale::cli
