#pragma once
// korvalectl: the devices from a shell. Each command is one row of a table
// (name, synopsis, summary, function); the dispatcher parses the global
// options, picks the command and turns usage errors into exit status 2.
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvale::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoDevice = 3;     // no such device connected
inline constexpr int kExitDeviceError = 4;  // the device answered with an error or not at all, or may not be opened

struct CliContext {
  bool json = false;
  std::vector<std::string> args;  // after the command name
  std::ostream& out;
  std::ostream& err;
  std::string usageError;  // set by a command that was called wrongly

  int Usage(std::string reason) {
    usageError = std::move(reason);
    return kExitUsage;
  }
};

struct CliCommand {
  const char* name;
  const char* synopsis;  // arguments after the name
  const char* summary;
  const char* details;  // the rest of `korvalectl <name> --help`
  int (*run)(CliContext&);
};

std::span<const CliCommand> Commands();

// Text from outside (socket and device names) made safe for a terminal:
// control bytes, backslashes and invalid UTF-8 become \xHH escapes.
std::string TerminalText(std::string_view text);

// The whole program: argv without the program name.
int RunKorvalectl(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

// Commands, one file each.
int CmdInterfaces(CliContext& ctx);
int CmdList(CliContext& ctx);
int CmdInfo(CliContext& ctx);
int CmdLighting(CliContext& ctx);
int CmdSettings(CliContext& ctx);
int CmdProfile(CliContext& ctx);
int CmdMacro(CliContext& ctx);
int CmdShoot(CliContext& ctx);
int CmdKeys(CliContext& ctx);
int CmdDpi(CliContext& ctx);
struct BoundDevice;
// The mouse's rows of info and settings (cmd_mouse.cpp).
int CmdMouseInfo(CliContext& ctx, const BoundDevice& d);
int CmdMouseSettings(CliContext& ctx);

}  // namespace korvale::cli
