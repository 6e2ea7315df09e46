// korvalectl audio: the headset's equaliser, microphone and monitoring through
// the same page operations as the audio panel, on the sound server. The
// headset's HID side is not needed: the sound belongs to the sound server.
#include <json/json.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <thread>

#include "cli/cmd_common.h"
#include "cli/device_session.h"
#include "cli/korvalectl.h"
#include "devices/page_setup.h"
#include "devices/varnik_hs6533_device.h"
#include "hid/device_table.h"

namespace korvale::cli {

namespace {

constexpr int kHeadsetRow = 3;
constexpr int kBandMin = -20, kBandMax = 20;
constexpr auto kConnectWait = std::chrono::milliseconds(3000);

std::optional<int> Number(const std::string& s, int lo, int hi) {
  try {
    std::size_t used = 0;
    const int v = std::stoi(s, &used);
    if (used != s.size() || v < lo || v > hi) return std::nullopt;
    return v;
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<bool> OnOff(const std::string& s) {
  if (s == "on") return true;
  if (s == "off") return false;
  return std::nullopt;
}

struct Request {
  std::optional<int> eq;
  std::vector<std::pair<int, int>> bands;  // band 0-9, dB
  std::optional<bool> mic, monitor;
  std::optional<int> micLevel, monitorLevel;
  bool Any() const { return eq || !bands.empty() || mic || monitor || micLevel || monitorLevel; }
};

std::string Parse(const std::vector<std::string>& args, Request& r) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& o = args[i];
    if (i + 1 >= args.size()) return "option '" + o + "' needs a value";
    const std::string& v = args[++i];
    if (o == "--eq") {
      if (!(r.eq = Number(v, 1, CVarnikHS6533Device::kCustomEqType))) return "--eq takes 1-13, not '" + v + "'";
    } else if (o == "--band") {
      const auto eq = v.find('=');
      const auto n = eq == std::string::npos ? std::nullopt : Number(v.substr(0, eq), 1, 10);
      const auto db = eq == std::string::npos ? std::nullopt : Number(v.substr(eq + 1), kBandMin, kBandMax);
      if (!n || !db) return "--band takes N=DB with N 1-10 and DB -20 to 20, not '" + v + "'";
      r.bands.emplace_back(*n - 1, *db);
    } else if (o == "--mic" || o == "--monitor") {
      const auto on = OnOff(v);
      if (!on) return o + " takes on or off, not '" + v + "'";
      (o == "--mic" ? r.mic : r.monitor) = on;
    } else if (o == "--mic-level" || o == "--monitor-level") {
      const auto n = Number(v, 0, 100);
      if (!n) return o + " takes 0-100, not '" + v + "'";
      (o == "--mic-level" ? r.micLevel : r.monitorLevel) = n;
    } else {
      return "unknown option '" + o + "'";
    }
  }
  if (r.eq && !r.bands.empty()) return "--eq and --band do not go together";
  return {};
}

std::string StatusWords(const std::string& id) {
  if (id == "audio_status_no_backend") return "no sound back-end";
  if (id == "audio_status_connecting" || id == "audio_status_no_server") return "no sound server is running";
  if (id == "audio_status_no_headset") return "the sound server lists no output or microphone of the headset";
  return "ready";
}

void Print(CliContext& ctx, const CVarnikHS6533Device& page) {
  const HeadsetSystemSetStages& s = page.AudioSettings();
  const std::string status = page.AudioStatusId();
  if (ctx.json) {
    Json::Value root(Json::objectValue);
    root["server"] = StatusWords(status);
    root["eqType"] = s.eqType;
    root["customEq"] = s.eqType == CVarnikHS6533Device::kCustomEqType ? s.customEqSelect : -1;
    root["bands"] = Json::Value(Json::arrayValue);
    for (int32_t b : page.EqBands()) root["bands"].append(b);
    root["mic"] = s.micInSelect != 0;
    root["micLevel"] = s.micInValue;
    root["monitor"] = s.micMonitorSelect != 0;
    root["monitorLevel"] = s.micMonitorValue;
    ctx.Answer(std::move(root));
    return;
  }
  ctx.out << "sound server: " << StatusWords(status) << "\n";
  ctx.out << "equaliser: ";
  if (s.eqType == 0)
    ctx.out << "off";
  else if (s.eqType != CVarnikHS6533Device::kCustomEqType)
    ctx.out << "preset " << s.eqType;
  else if (s.customEqSelect >= 0 && s.customEqSelect < static_cast<int>(page.CustomEqNames().size()))
    ctx.out << "own curve \"" << TerminalText(page.CustomEqNames()[static_cast<std::size_t>(s.customEqSelect)]) << "\"";
  else
    ctx.out << "own curve (not saved under a name)";
  ctx.out << "\nbands (dB, 31 Hz to 16 kHz):";
  for (int32_t b : page.EqBands()) ctx.out << " " << b;
  ctx.out << "\nmicrophone: " << (s.micInSelect != 0 ? "on" : "off") << ", level " << s.micInValue;
  ctx.out << "\nmonitoring: " << (s.micMonitorSelect != 0 ? "on" : "off") << ", level " << s.micMonitorValue << "\n";
}

}  // namespace

int CmdAudio(CliContext& ctx) {
  if (ctx.args.empty() || ctx.args[0] != "headset") return ctx.Usage("audio takes the device 'headset'");
  Request req;
  if (const std::string bad = Parse(ctx.args, req); !bad.empty()) return ctx.Usage(bad);

  CVarnikHS6533Device page;
  const auto identity = ProductIdentity(kHeadsetRow);
  if (!identity || !SetUpPage(page, kHeadsetRow, *identity)) {
    ctx.err << "korvalectl: the headset has no supported-device row\n";
    return kExitFailure;
  }
  page.ReloadProfile();
  page.InitPage();
  // The connection is made in the background; wait for its answer here.
  const auto until = std::chrono::steady_clock::now() + kConnectWait;
  while (page.AudioChip() != nullptr && page.AudioChip()->ServerState() == AudioServerState::kConnecting &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  page.AudioServerChanged();

  if (req.Any()) {
    const std::string status = page.AudioStatusId();
    if (status == "audio_status_no_headset") {
      ctx.err << "korvalectl: " << StatusWords(status) << " (USB 0C76:1630)\n";
      return kExitNoDevice;
    }
    if (!status.empty()) {
      ctx.err << "korvalectl: " << StatusWords(status) << ": nothing changed\n";
      return kExitDeviceError;
    }
    bool ok = true;
    if (req.eq) page.SetEqPreset(*req.eq);
    for (const auto& [band, db] : req.bands) ok = page.ChangeEqBand(band, db) && ok;
    if (req.mic) ok = page.ChangeMicOn(*req.mic) && ok;
    if (req.micLevel) ok = page.ChangeMicLevel(*req.micLevel) && ok;
    // Level first: monitoring starts at it.
    if (req.monitorLevel) ok = page.ChangeMonitorLevel(*req.monitorLevel) && ok;
    if (req.monitor) ok = page.ChangeMonitorOn(*req.monitor) && ok;
    if (page.AudioChip() != nullptr && !page.AudioChip()->Flush(3000)) ok = false;
    if (!ok) {
      ctx.err << "korvalectl: the sound server refused a change\n";
      Print(ctx, page);
      return kExitDeviceError;
    }
  }
  Print(ctx, page);
  return kExitOk;
}

}  // namespace korvale::cli
