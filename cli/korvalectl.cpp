#include "cli/korvalectl.h"

#include <ostream>

namespace korvale::cli {

namespace {

const CliCommand kCommands[] = {
    {"interfaces", "", "list every HID interface path (hidraw and virtual bus) and its supported-device row",
     CmdInterfaces},
};

void PrintUsage(std::ostream& os) {
  os << "usage: korvalectl [--json] <command> [arguments]\n"
        "       korvalectl --help\n"
        "\n"
        "options:\n"
        "  --json    print one JSON document instead of a table\n"
        "  --help    show this help\n"
        "\n"
        "commands:\n";
  for (const auto& c : kCommands) {
    std::string head = std::string(c.name) + (*c.synopsis ? std::string(" ") + c.synopsis : "");
    os << "  " << head << std::string(head.size() < 12 ? 12 - head.size() : 1, ' ') << c.summary << "\n";
  }
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
