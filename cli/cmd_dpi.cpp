// korvalectl dpi: the mouse's resolution stages, changed the way the
// resolution page changes them.
#include <json/json.h>

#include <algorithm>
#include <optional>
#include <ostream>

#include "cli/cmd_common.h"

namespace korvale::cli {

int CmdDpi(CliContext& ctx) {
  if (ctx.args.empty()) return ctx.Usage("dpi takes the DEVICE mouse");
  std::optional<int> stage, value, enable, select;
  std::optional<uint32_t> colour;
  const ValueSet stages = Range(0, CVarnikMouseDevice::kStages - 1);
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    const bool known = a == "--stage" || a == "--value" || a == "--enable" || a == "--color" || a == "--select";
    if (!known) return ctx.Usage("dpi: unknown option '" + a + "'");
    if (i + 1 >= ctx.args.size()) return ctx.Usage("dpi: " + a + " needs a value");
    const std::string& v = ctx.args[++i];
    auto bad = [&](const std::string& range) { return ctx.Usage("dpi: " + a + " '" + v + "' is not " + range); };
    if (a == "--stage") {
      if (!(stage = stages.Pick(v))) return bad("a stage " + stages.Describe());
    } else if (a == "--select") {
      if (!(select = stages.Pick(v))) return bad("a stage " + stages.Describe());
    } else if (a == "--value") {
      ValueSet dpi = Range(1, 65535);
      dpi.unit = "dpi";
      if (!(value = dpi.Pick(v))) return bad("a resolution");
    } else if (a == "--enable") {
      if (!(enable = OnOff().Pick(v))) return bad(OnOff().Describe());
    } else if (!(colour = ParseRgb(v))) {
      return bad("a colour RRGGBB");
    }
  }
  if ((value || enable || colour) && !stage) return ctx.Usage("dpi: --value, --enable and --color need --stage N");
  BoundDevice d;
  if (int r = ResolveDevice(ctx, ctx.args[0], d); r != kExitOk) return r;
  if (d.kind != static_cast<uint16_t>(DeviceKind::Mouse)) return ctx.Usage("'" + ctx.args[0] + "' is not the mouse");
  MouseSession s;
  if (int r = OpenSession(ctx, d, s); r != kExitOk) return r;
  CVarnikMouseDevice& m = s.GetPage();
  const bool change = value || enable || colour || select;
  if (change) {
    auto list = m.GetDpiStages();
    if (stage && static_cast<int>(list.size()) <= *stage) list.resize(static_cast<std::size_t>(*stage) + 1);
    if (stage) {
      DpiStage& st = list[static_cast<std::size_t>(*stage)];
      if (value) {
        const int step = m.SliderForDpi(*value);
        const int steps = m.GetDeviceInfo()[proto::kInfoDpiSteps] | m.GetDeviceInfo()[proto::kInfoDpiSteps + 1] << 8;
        st.x = st.y = static_cast<uint16_t>(std::clamp(step, 0, steps));
      }
      if (colour) {
        st.red = static_cast<uint8_t>(*colour >> 16);
        st.green = static_cast<uint8_t>(*colour >> 8);
        st.blue = static_cast<uint8_t>(*colour);
      }
      if (enable) {
        int others = 0;
        for (std::size_t i = 0; i < list.size(); ++i) others += i != static_cast<std::size_t>(*stage) && list[i].enabled;
        if (!*enable && others == 0) return ctx.Usage("dpi: stage " + std::to_string(*stage) + " is the only one on");
        st.enabled = static_cast<uint8_t>(*enable);
      }
    }
    m.SetDpiStages(list);
    if (select) m.SelectDpiStage(*select);
    m.SaveProfile();
    if (int r = WriteRecord(ctx, d, m); r != kExitOk) return r;
  }
  if (ctx.json) {
    Json::Value root = ChangeJson(d, s, m.GetProfilePath(), change);
    root["dpi"] = DpiJson(m);
    ctx.Answer(root);
  } else {
    PrintDpi(ctx.out, m);
  }
  return kExitOk;
}

}  // namespace korvale::cli
