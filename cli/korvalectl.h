#pragma once
// korvalectl: the devices from a shell. Each command is one row of a table
// (name, synopsis, summary, function); the dispatcher parses the global
// options, picks the command and turns usage errors into exit status 2.
#include <json/value.h>

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
  // With --json a command gives its answer here; the dispatcher wraps it in
  // the envelope every command shares (see JsonEnvelope).
  Json::Value data = Json::Value(Json::nullValue);

  int Usage(std::string reason) {
    usageError = std::move(reason);
    return kExitUsage;
  }
  void Answer(Json::Value v) { data = std::move(v); }
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

// The document every --json run prints, success or not:
// {"korvalectl": 1, "command", "ok", "status", "data", "error"}; data is the
// command's answer (null when it has none), error {"status", "message"} or
// null. docs/korvalectl.schema.json describes it whole.
inline constexpr int kJsonSchemaVersion = 1;
Json::Value JsonEnvelope(const std::string& command, int status, Json::Value data, const std::string& message);

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
int CmdAudio(CliContext& ctx);

}  // namespace korvale::cli
