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
     "written to the device. Other devices than the keyboard show the information\n"
     "block only.\n",
     CmdInfo},
    {"lighting", "DEVICE [options]", "show or change the lighting of the current profile",
     "Changes the named fields of the current profile's lighting, saves the profile\n"
     "and writes the lighting to the device, as the lighting editor does. Without an\n"
     "option it shows the current lighting. Keyboard only for now.\n"
     "  --effect INDEX     effect index in the keyboard's effect list\n"
     "  --brightness 0-4   brightness\n"
     "  --speed 0-4        speed\n"
     "  --direction 0|1    direction (1 = to the left)\n"
     "  --color RRGGBB     one colour (ends multicolour)\n"
     "  --multicolor       several colours\n",
     CmdLighting},
    {"settings", "keyboard [options]", "show or change the keyboard's system settings",
     "Changes the keyboard's system settings in the current profile and writes them to\n"
     "the keyboard, as the main window's settings page does. Without an option it\n"
     "shows them.\n"
     "  --polling 0-3      polling rate option, as numbered on the settings page\n"
     "  --winlock 0|1      Windows key lock\n"
     "  --wkey 0|1         the W-key option of the settings page\n"
     "  --sixkey 0|1       the six-key option of the settings page\n",
     CmdSettings},
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
