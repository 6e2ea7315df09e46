#include "cli/korvalectl.h"

#include <ostream>

namespace korvale::cli {

namespace {

constexpr const char* kDeviceHelp =
    "DEVICE is a product key, in any letter case: keyboard, mouse, MousePad, HD.\n";

const CliCommand kCommands[] = {
    {"interfaces", "", "list every HID interface path (hidraw and virtual bus) and its supported-device row",
     "Every HID interface path of both backends with its identity and the row of the\n"
     "supported-device table it matches (\"-\" when none).\n",
     CmdInterfaces},
    {"list", "", "list the connected devices with their connection and interface paths",
     "Every connected device: product key, kind, connection (cable or receiver) and\n"
     "the interface paths bound to it (command and consumer collections).\n"
     "--json: {\"devices\": [{\"product\", \"kind\", \"connection\", \"primary\",\n"
     "\"interfaces\": [{\"path\", \"kind\", \"collection\"}]}]}.\n",
     CmdList},
    {"info", "DEVICE", "show the device's information block, active profile and configuration",
     "The information block (hex), the active profile byte, the configuration record\n"
     "(hex and decoded) and the current profile's name and file (none before a first\n"
     "profile exists). It only reads: no file is created or changed and nothing is\n"
     "written to the device. Other devices than the keyboard and the mouse show the\n"
     "information block only. The mouse also shows its resolution stages and report rate.\n",
     CmdInfo},
    {"lighting", "DEVICE [options]", "show or change the lighting of the current profile",
     "Changes the named fields of the current profile's lighting, saves the profile\n"
     "and writes the lighting to the device, as the lighting editor does. Without an\n"
     "option it shows the current lighting. Keyboard and mouse.\n"
     "  --effect INDEX     effect index in the device's effect list\n"
     "  --brightness 0-4   brightness\n"
     "  --speed 0-4        speed\n"
     "  --direction 0|1    direction (1 = to the left)\n"
     "  --color RRGGBB     one colour (ends multicolour)\n"
     "  --multicolor       several colours\n",
     CmdLighting},
    {"settings", "keyboard|mouse [options]", "show or change the keyboard's or the mouse's settings",
     "Changes the device's system settings in the current profile and writes them to\n"
     "the device, as the main window's settings page does. Without an option it\n"
     "shows them. The keyboard:\n"
     "  --polling 0-3      polling rate option, as numbered on the settings page\n"
     "  --winlock 0|1      Windows key lock\n"
     "  --wkey 0|1         the W-key option of the settings page\n"
     "  --sixkey 0|1       the six-key option of the settings page\n"
     "The mouse (pointer, scroll and double-click values stay in the profile; the\n"
     "desktop's own settings are not changed):\n"
     "  --report-rate HZ   125, 250, 500, 1000 or 2000 (written to the mouse)\n"
     "  --pointer-speed N  1-20\n"
     "  --pointer-precision 0|1\n"
     "  --scroll-lines N   1-100\n"
     "  --scroll-page 0|1  scroll a page at a time\n"
     "  --double-click MS  200-900\n",
     CmdSettings},
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
     "  --enable 0|1       switch it on or off (one stage always stays on)\n"
     "  --color RRGGBB     its colour\n"
     "  --select N         the active stage (0-4)\n",
     CmdDpi},
};

void PrintUsage(std::ostream& os) {
  os << "usage: korvalectl [--json] <command> [arguments]\n"
        "       korvalectl <command> --help\n"
        "       korvalectl --help\n"
        "\n"
        "options:\n"
        "  --json    print one JSON document instead of a table\n"
        "  --help    show this help\n"
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

int UsageError(std::ostream& err, const std::string& reason) {
  err << "korvalectl: " << reason << "\n";
  PrintUsage(err);
  return kExitUsage;
}

}  // namespace

std::span<const CliCommand> Commands() { return kCommands; }

int RunKorvalectl(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
  bool json = false;
  const CliCommand* command = nullptr;
  std::vector<std::string> rest;
  for (const auto& a : argv) {
    if (command) {
      if (a == "--json") {
        json = true;  // accepted after the command too
      } else if (a == "--help" || a == "-h") {
        PrintCommandHelp(out, *command);
        return kExitOk;
      } else {
        rest.push_back(a);
      }
      continue;
    }
    if (a == "--help" || a == "-h") {
      PrintUsage(out);
      return kExitOk;
    }
    if (a == "--json") {
      json = true;
      continue;
    }
    if (!a.empty() && a[0] == '-') return UsageError(err, "unknown option '" + a + "'");
    for (const auto& c : kCommands) {
      if (a == c.name) command = &c;
    }
    if (!command) return UsageError(err, "unknown command '" + a + "'");
  }
  if (!command) return UsageError(err, "missing command");
  CliContext ctx{json, std::move(rest), out, err, {}};
  const int status = command->run(ctx);
  if (status == kExitUsage) return UsageError(err, ctx.usageError.empty() ? "bad arguments" : ctx.usageError);
  return status;
}

}  // namespace korvale::cli
