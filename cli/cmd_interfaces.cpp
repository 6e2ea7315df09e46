// korvalectl interfaces: every HID interface path with its identity and the
// supported-device row it would bind to.
#include <json/json.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>

#include "cli/korvalectl.h"
#include "hid/device_table.h"
#include "hid/hid_interfaces.h"

namespace korvale::cli {

namespace {

std::string Hex(unsigned v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*x", width, v);
  return buf;
}

int RowOf(const HidInterfaceInfo& i) { return SupportedRowOf(i); }

Json::Value InterfacesJson(const std::vector<HidInterfaceInfo>& list) {
  Json::Value root(Json::objectValue);
  Json::Value& items = root["interfaces"] = Json::Value(Json::arrayValue);
  for (const auto& i : list) {
    Json::Value v(Json::objectValue);
    v["path"] = i.path;
    v["backend"] = i.backend;
    v["productName"] = i.productName;
    v["vendorId"] = i.vendorId;
    v["productId"] = i.productId;
    v["release"] = i.release;
    v["interfaceNumber"] = i.interfaceNumber;
    v["collectionNumber"] = i.collectionNumber;
    v["usagePage"] = i.usagePage;
    v["usage"] = i.usage;
    const int row = RowOf(i);
    if (row >= 0) {
      const auto& r = kSupportedDevices[static_cast<std::size_t>(row)];
      v["row"] = row;
      v["kind"] = DeviceKindName(r.kind);
      v["auxiliary"] = r.auxiliary;
    } else {
      v["row"] = v["kind"] = v["auxiliary"] = Json::Value(Json::nullValue);
    }
    items.append(v);
  }
  return root;
}

void PrintTable(const std::vector<HidInterfaceInfo>& list, std::ostream& out) {
  if (list.empty()) {
    out << "no HID interfaces found\n";
    return;
  }
  std::size_t width = 4;
  for (const auto& i : list) width = std::max(width, TerminalText(i.path).size());
  auto pad = [](std::string s, std::size_t w) { return s.size() < w ? s + std::string(w - s.size(), ' ') : s; };
  out << pad("PATH", width) << "  VID   PID   MI  COL  PAGE  USAGE  ROW\n";
  for (const auto& i : list) {
    const int row = RowOf(i);
    std::string rowText = "-";
    if (row >= 0) {
      const auto& r = kSupportedDevices[static_cast<std::size_t>(row)];
      rowText = std::to_string(row) + " " + DeviceKindName(r.kind) +
                (r.auxiliary == kAuxiliaryConsumer ? " (consumer)" : "");
    }
    out << pad(TerminalText(i.path), width) << "  " << Hex(i.vendorId, 4) << "  " << Hex(i.productId, 4) << "  "
        << Hex(i.interfaceNumber, 2) << "  " << Hex(i.collectionNumber, 2) << "   " << Hex(i.usagePage, 4) << "  "
        << Hex(i.usage, 4) << "   " << rowText << "\n";
  }
}

}  // namespace

int CmdInterfaces(CliContext& ctx) {
  if (!ctx.args.empty()) return ctx.Usage("interfaces takes no arguments (got '" + ctx.args.front() + "')");
  const auto list = ListHidInterfaces();
  if (ctx.json) {
    ctx.Answer(InterfacesJson(list));
  } else {
    PrintTable(list, ctx.out);
  }
  return kExitOk;
}

}  // namespace korvale::cli
