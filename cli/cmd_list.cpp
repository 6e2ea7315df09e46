// korvalectl list: the bound devices as the device list groups them.
#include <json/json.h>

#include <ostream>

#include "cli/cmd_common.h"
#include "ui/ui_types.h"

namespace korvale::cli {

int CmdList(CliContext& ctx) {
  if (!ctx.args.empty()) return ctx.Usage("list takes no arguments (got '" + ctx.args.front() + "')");
  const auto devices = FindBoundDevices();
  const auto denied = FindDeniedInterfaces();
  // The devices that can be reached are listed; each one that cannot is an error.
  const auto reportDenied = [&] {
    for (const auto& d : denied) ctx.err << "korvalectl: " << DeniedReason(d) << "\n";
    return denied.empty() ? kExitOk : kExitDeviceError;
  };
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    Json::Value& items = root["devices"] = Json::Value(Json::arrayValue);
    for (const auto& d : devices) {
      Json::Value v(Json::objectValue);
      v["device"] = DeviceJson(d);
      v["primary"] = d.primaryPath;
      Json::Value& paths = v["interfaces"] = Json::Value(Json::arrayValue);
      for (const auto& i : d.interfaces) {
        Json::Value p(Json::objectValue);
        p["path"] = i.path;
        p["kind"] = DeviceKindName(i.kind);
        p["collection"] = i.auxiliary == kAuxiliaryConsumer ? "consumer" : "command";
        paths.append(p);
      }
      items.append(v);
    }
    ctx.Answer(root);
    return reportDenied();
  }
  if (devices.empty() && denied.empty()) {
    ctx.out << "no devices connected\n";
    return kExitOk;
  }
  for (const auto& d : devices) {
    const std::string name = DeviceName(d);
    ctx.out << name << (EqualsNoCase(name, d.productKey) ? "" : " (" + d.productKey + ")") << "  "
            << DeviceKindName(d.kind) << "  " << Connection(d) << "\n";
    for (const auto& i : d.interfaces)
      ctx.out << "  " << (i.auxiliary == kAuxiliaryConsumer ? "consumer " : "command  ") << TerminalText(i.path) << "\n";
  }
  return reportDenied();
}

}  // namespace korvale::cli
