// korvale-emu: serves emulated KORVALE devices on the virtual HID bus and
// takes plug, key, link and fault commands on stdin.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "emulator/event_image.h"
#include "hid/vhid_frame.h"
#include "platform/trace.h"

using namespace korvale::emu;

namespace {

constexpr const char* kUhidNode = "/dev/uhid";

const char kUsage[] =
    "usage: korvale-emu [--dir DIR | --uhid] [--state FILE] [--report-cost MICROSECONDS] [DEVICE...]\n"
    "\n"
    "Serves emulated devices on the virtual HID bus, one socket per HID interface\n"
    "(DIR, default $KORVALE_VHID_DIR, $XDG_RUNTIME_DIR/korvale-vhid or /tmp/korvale-vhid-UID).\n"
    "DEVICE: keyboard, mouse (through its receiver), mouse-receiver, mouse-cable,\n"
    "        mousepad, headset. Default: keyboard mouse mousepad headset.\n"
    "--uhid         serves each interface as a kernel HID device through /dev/uhid\n"
    "               (hidraw nodes and udev events as for USB devices; needs root or\n"
    "               access to /dev/uhid) instead of on the bus.\n"
    "--state FILE   keeps device memory in FILE across restarts.\n"
    "--report-cost  time each report takes on the link (default 0; 1000 = USB full speed).\n"
    "\n"
    "Commands on stdin, one per line (each answers \"ok ...\" or \"error: ...\"):\n"
    "  list                          served devices, plugged or not\n"
    "  unplug DEVICE | plug DEVICE   remove or restore a device\n"
    "  press DEVICE POS              key press event (0x500 + POS)\n"
    "  release DEVICE POS            key release event (0x600 + POS)\n"
    "  event DEVICE CODE             any event code (e.g. 0x401)\n"
    "  profile DEVICE N [VALUE]      switch the active profile (event 0x10N or 0x11VN; the\n"
    "                                mouse's record N also takes VALUE as its stage)\n"
    "  link up | link down           the mouse's radio link to its receiver\n"
    "  link-down after=N             the link drops after N more commands through the receiver\n"
    "  fault DEVICE KIND [after=N] [count=N] [param=N]\n"
    "        KIND: none, no-answer, late (param ms, default 1500), wrong-code (param\n"
    "        foreign answers in place of the answer, default 1), status-ff, status-fe,\n"
    "        unplug, garbage (a junk report before the answer), wrong-offset (param\n"
    "        added to the answer's offset, default 1), zeros (param reports of zeros\n"
    "        in place of the answer, default 16), events (param resync events before\n"
    "        the answer, default 3). The fault strikes\n"
    "        after N normal answers and affects count commands (0 = until cleared);\n"
    "        with cmd=CODE (e.g. 0x09) only commands of that code count and are struck.\n"
    "  cost MICROSECONDS             time per report on the link\n"
    "  journal DEVICE                command reports so far: \"cmd CC len N off N data HEX\",\n"
    "                                with \" status SS\" when the firmware refused one\n"
    "  journal-clear DEVICE          forget them\n"
    "  info DEVICE BYTE VALUE        set one byte of the device information block\n"
    "                                (byte 6 re-sizes the macro memory to VALUE x 128)\n"
    "  macros DEVICE                 the macro area decoded: entries and events, or\n"
    "                                \"malformed: ...\" saying what is wrong\n"
    "  shoot DEVICE                  the shoot-sequence area, decoded the same way\n"
    "  leds headset                  LED reports taken per target: \"target 22 count N last HEX\"\n"
    "  led-log headset               target and channel of the latest 4096 LED reports,\n"
    "                                oldest first: \"log 22aa 22ad ...\"\n"
    "  status DEVICE BYTE VALUE      set one byte of the power status block (battery at 0)\n"
    "  dump DEVICE AREA OFFSET LENGTH  bytes of a memory area as \"data HEX\"; AREA: info,\n"
    "        config, keys, fn-keys, keys3, default-keys, led-table, custom, macro, shoot, status\n"
    "  save                          write the state file now\n"
    "  help                          this text\n"
    "  quit                          stop (so does end of input or SIGTERM)\n";

bool ParseNumber(const std::string& s, unsigned long max, unsigned long& out) {
  if (s.empty() || s[0] == '-' || s[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long v = std::strtoul(s.c_str(), &end, 0);
  if (errno || *end || v > max) return false;
  out = v;
  return true;
}

void Say(const std::string& line) {
  std::cout << line << std::endl;
}

// One stdin command. Returns false when the program should end.
bool RunCommand(Emulator& emu, const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string t; in >> t;) w.push_back(t);
  if (w.empty()) return true;
  const std::string& cmd = w[0];
  auto device = [&](std::size_t at) -> std::optional<Endpoint> {
    if (w.size() <= at) {
      Say("error: " + cmd + ": device missing (see help)");
      return std::nullopt;
    }
    auto e = ParseEndpoint(w[at]);
    const auto served = emu.Endpoints();
    if (!e || std::find(served.begin(), served.end(), *e) == served.end()) {
      Say("error: " + cmd + ": no served device \"" + w[at] + "\"");
      return std::nullopt;
    }
    return e;
  };

  if (cmd == "quit" || cmd == "exit") return false;
  if (cmd == "help") {
    std::cout << kUsage << std::flush;
  } else if (cmd == "list") {
    for (Endpoint e : emu.Endpoints()) {
      Say(std::string(EndpointName(e)) + (emu.IsPlugged(e) ? " plugged" : " unplugged"));
    }
    Say(std::string("ok list link ") + (emu.LinkUp() ? "up" : "down"));
  } else if (cmd == "plug" || cmd == "unplug") {
    auto e = device(1);
    if (!e) return true;
    if (w.size() > 2) {
      Say("error: " + cmd + ": too many arguments");
    } else if (emu.Plug(*e, cmd == "plug")) {
      Say("ok " + cmd + " " + EndpointName(*e));
    } else {
      Say("error: " + cmd + ": " + EndpointName(*e) + " could not be plugged");
    }
  } else if (cmd == "press" || cmd == "release") {
    auto e = device(1);
    if (!e) return true;
    unsigned long pos;
    if (w.size() != 3 || !ParseNumber(w[2], 0xFF, pos)) {
      Say("error: " + cmd + ": key position 0..255 expected");
      return true;
    }
    emu.Key(*e, static_cast<uint16_t>(pos), cmd == "press");
    Say("ok " + cmd + " " + EndpointName(*e) + " " + std::to_string(pos));
  } else if (cmd == "event") {
    auto e = device(1);
    if (!e) return true;
    unsigned long code;
    if (w.size() != 3 || !ParseNumber(w[2], 0x1FFF, code)) {
      Say("error: event: code 0..0x1fff expected");
      return true;
    }
    emu.SendEvent(*e, static_cast<uint16_t>(code));
    Say("ok event " + std::string(EndpointName(*e)) + " " + w[2]);
  } else if (cmd == "profile") {
    auto e = device(1);
    if (!e) return true;
    unsigned long n, v = 0;
    if (w.size() < 3 || w.size() > 4 || !ParseNumber(w[2], 15, n) ||
        (w.size() == 4 && !ParseNumber(w[3], 15, v))) {
      Say("error: profile: profile 0..15 and optional value 0..15 expected");
      return true;
    }
    std::optional<uint8_t> value;
    if (w.size() == 4) value = static_cast<uint8_t>(v);
    emu.SetProfile(*e, static_cast<uint8_t>(n), value);
    Say("ok profile " + std::string(EndpointName(*e)) + " " + w[2]);
  } else if (cmd == "link") {
    if (w.size() != 2 || (w[1] != "up" && w[1] != "down")) {
      Say("error: link: \"link up\" or \"link down\" expected");
      return true;
    }
    emu.SetLink(w[1] == "up");
    Say("ok link " + w[1]);
  } else if (cmd == "link-down") {
    unsigned long after;
    if (w.size() != 2 || w[1].rfind("after=", 0) != 0 || !ParseNumber(w[1].substr(6), 1000000, after)) {
      Say("error: link-down: \"link-down after=N\" expected");
      return true;
    }
    emu.SetLinkDownAfter(static_cast<uint32_t>(after));
    Say("ok link-down after=" + std::to_string(after));
  } else if (cmd == "fault") {
    auto e = device(1);
    if (!e) return true;
    std::optional<FaultKind> kind;
    if (w.size() >= 3) kind = ParseFaultKind(w[2]);
    if (!kind) {
      Say("error: fault: KIND expected (see help)");
      return true;
    }
    Fault f{*kind, 0, 0, 0, -1};
    for (std::size_t k = 3; k < w.size(); ++k) {
      const auto eq = w[k].find('=');
      const std::string key = w[k].substr(0, eq == std::string::npos ? w[k].size() : eq);
      unsigned long v;
      uint32_t command = 0;
      uint32_t* field = key == "after" ? &f.after : key == "count" ? &f.count
                      : key == "param" ? &f.param : key == "cmd" ? &command : nullptr;
      const unsigned long max = key == "cmd" ? 0xFF : 1000000;
      if (!field || eq == std::string::npos || !ParseNumber(w[k].substr(eq + 1), max, v)) {
        Say("error: fault: \"" + w[k] + "\" is not after=N, count=N, param=N or cmd=CODE");
        return true;
      }
      *field = static_cast<uint32_t>(v);
      if (key == "cmd") f.command = static_cast<int>(v);
    }
    emu.SetFault(*e, f);
    Say("ok fault " + std::string(EndpointName(*e)) + " " + FaultKindName(*kind));
  } else if (cmd == "cost") {
    unsigned long us;
    if (w.size() != 2 || !ParseNumber(w[1], 1000000, us)) {
      Say("error: cost: microseconds 0..1000000 expected");
      return true;
    }
    emu.SetReportCost(std::chrono::microseconds(us));
    Say("ok cost " + w[1]);
  } else if (cmd == "journal" || cmd == "journal-clear") {
    auto e = device(1);
    if (!e) return true;
    if (cmd == "journal-clear") {
      emu.ClearJournal(*e);
      Say("ok journal-clear " + std::string(EndpointName(*e)));
      return true;
    }
    const auto journal = emu.Journal(*e);
    const auto statuses = emu.JournalStatus(*e);
    for (std::size_t n = 0; n < journal.size(); ++n) {
      const Report& r = journal[n];
      char text[64];
      const unsigned len = r[korvale::proto::kOffLength];
      std::snprintf(text, sizeof text, "cmd %02x len %u off %u data ", r[korvale::proto::kOffCommand],
                    len, r[korvale::proto::kOffOffset] | r[korvale::proto::kOffOffset + 1] << 8);
      std::string out = text;
      for (unsigned k = 0; k < len && k < korvale::proto::kMaxPacketData; ++k) {
        std::snprintf(text, sizeof text, "%02x", r[korvale::proto::kOffData + k]);
        out += text;
      }
      if (n < statuses.size() && statuses[n] != 0) {
        if (len == 0) out += "-";  // keeps "data" followed by one word
        std::snprintf(text, sizeof text, " status %02x", statuses[n]);
        out += text;
      }
      Say(out);
    }
    Say("ok journal " + std::to_string(journal.size()));
  } else if (cmd == "info") {
    auto e = device(1);
    if (!e) return true;
    unsigned long at, v;
    if (w.size() != 4 || !ParseNumber(w[2], korvale::proto::kInfoSize - 1, at) || !ParseNumber(w[3], 0xFF, v)) {
      Say("error: info: byte 0..33 and value 0..255 expected");
      return true;
    }
    emu.WithModel(EndpointProduct(*e), [&](DeviceModel& m) { m.SetInfoByte(at, static_cast<uint8_t>(v)); });
    Say("ok info " + std::string(EndpointName(*e)) + " " + w[2]);
  } else if (cmd == "macros" || cmd == "shoot") {
    auto e = device(1);
    if (!e) return true;
    DecodedImage image;
    emu.WithModel(EndpointProduct(*e), [&](DeviceModel& m) {
      image = cmd == "macros" ? DecodeEventImage(m.macroMemory) : DecodeEventImage(m.shootMemory);
    });
    for (const std::string& l : DescribeEventImage(image)) Say(l);
    if (image.valid())
      Say("ok " + cmd + " " + std::to_string(image.entries.size()) + " entries " + std::to_string(image.size) +
          " bytes");
    else
      Say("ok " + cmd + " malformed");
  } else if (cmd == "status") {
    auto e = device(1);
    if (!e) return true;
    unsigned long at, v;
    if (w.size() != 4 || !ParseNumber(w[2], 5, at) || !ParseNumber(w[3], 0xFF, v)) {
      Say("error: status: byte 0..5 and value 0..255 expected");
      return true;
    }
    emu.WithModel(EndpointProduct(*e), [&](DeviceModel& m) { m.status[at] = static_cast<uint8_t>(v); });
    Say("ok status " + std::string(EndpointName(*e)) + " " + w[2]);
  } else if (cmd == "dump") {
    auto e = device(1);
    if (!e) return true;
    unsigned long off, len;
    if (w.size() != 5 || !ParseNumber(w[3], 1000000, off) || !ParseNumber(w[4], 4096, len)) {
      Say("error: dump: AREA OFFSET LENGTH expected (see help)");
      return true;
    }
    std::string hex;
    bool known = false, inside = false;
    emu.WithModel(EndpointProduct(*e), [&](DeviceModel& m) {
      const auto area = m.AreaNamed(w[2]);
      known = !area.empty();
      inside = known && off <= area.size() && len <= area.size() - off;
      for (std::size_t k = 0; inside && k < len; ++k) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", area[off + k]);
        hex += two;
      }
    });
    if (!known) {
      Say("error: dump: no area \"" + w[2] + "\" (see help)");
    } else if (!inside) {
      Say("error: dump: " + w[3] + "+" + w[4] + " lies outside " + w[2]);
    } else {
      Say("data " + hex);
      Say("ok dump " + std::string(EndpointName(*e)) + " " + w[2]);
    }
  } else if (cmd == "leds") {
    auto e = device(1);
    if (!e) return true;
    if (EndpointProduct(*e) != Product::Headset) {
      Say("error: leds: only the headset takes LED reports");
      return true;
    }
    emu.WithModel(Product::Headset, [&](DeviceModel& m) {
      const char* targets[] = {"22", "44"};
      for (std::size_t t = 0; t < 2; ++t) {
        std::string out = std::string("target ") + targets[t] + " count " + std::to_string(m.ledReports[t]) + " last ";
        char text[4];
        for (uint8_t b : m.lastLedReport[t]) {
          std::snprintf(text, sizeof text, "%02x", b);
          out += text;
        }
        Say(out);
      }
    });
    emu.WithModel(Product::Headset, [&](DeviceModel& m) { Say("refused " + std::to_string(m.ledRefused)); });
    Say("ok leds");
  } else if (cmd == "led-log") {
    auto e = device(1);
    if (!e) return true;
    if (EndpointProduct(*e) != Product::Headset) {
      Say("error: led-log: only the headset takes LED reports");
      return true;
    }
    std::string out = "log";
    emu.WithModel(Product::Headset, [&](DeviceModel& m) {
      char text[6];
      for (const auto& r : m.ledLog) {
        std::snprintf(text, sizeof text, " %02x%02x", r[0], r[1]);
        out += text;
      }
    });
    Say(out);
    Say("ok led-log");
  } else if (cmd == "save") {
    Say(emu.SaveState() ? "ok save" : "error: save: no state file, or it cannot be written");
  } else {
    Say("error: unknown command \"" + cmd + "\" (see help)");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Nobody reads the kept traces in a program: only KORVALE_TRACE's echo costs anything.
  korvale::TraceSink::Instance().SetKeep(false);
  std::string dir, state;
  unsigned long cost = 0;
  bool uhid = false;
  std::vector<Endpoint> chosen;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (a == "--uhid") {
      uhid = true;
      continue;
    }
    if (a == "--dir" || a == "--state" || a == "--report-cost") {
      if (k + 1 >= argc) {
        std::cerr << "korvale-emu: " << a << " needs a value\n";
        return 2;
      }
      const std::string v = argv[++k];
      if (a == "--dir") {
        dir = v;
      } else if (a == "--state") {
        state = v;
      } else if (!ParseNumber(v, 1000000, cost)) {
        std::cerr << "korvale-emu: --report-cost: microseconds 0..1000000 expected\n";
        return 2;
      }
      continue;
    }
    auto e = ParseEndpoint(a);
    if (!e) {
      std::cerr << "korvale-emu: unknown device or option \"" << a << "\" (try --help)\n";
      return 2;
    }
    chosen.push_back(*e);
  }
  if (uhid && !dir.empty()) {
    std::cerr << "korvale-emu: --uhid and --dir exclude each other\n";
    return 2;
  }
  if (uhid && ::access(kUhidNode, F_OK) != 0) {
    std::cerr << "korvale-emu: " << kUhidNode << " is missing: this kernel has no uhid (try \"modprobe uhid\")\n";
    return 2;
  }
  if (chosen.empty()) {
    chosen = {Endpoint::Keyboard, Endpoint::MouseReceiver, Endpoint::Mousepad, Endpoint::Headset};
  }

  // SIGTERM and SIGINT arrive on a descriptor beside stdin; every thread
  // started below inherits the blocked mask.
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &mask, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int sfd = signalfd(-1, &mask, SFD_CLOEXEC);

  const std::filesystem::path busDir = dir.empty() ? korvale::vhid::BusDir() : std::filesystem::path(dir);
  if (busDir.empty() && !uhid) return 1;  // the refused folder was named on stderr
  Emulator emu(busDir);
  if (uhid) emu.UseUhid(kUhidNode);
  for (Endpoint e : chosen) emu.Add(e);
  emu.SetReportCost(std::chrono::microseconds(cost));
  if (!state.empty() && !emu.SetStateFile(state)) {
    std::cerr << "korvale-emu: state file " << state << " is not valid; starting from defaults\n";
  }
  if (!emu.Start()) {
    if (uhid) {
      std::cerr << "korvale-emu: cannot create the devices through " << kUhidNode << ": "
                << (::access(kUhidNode, R_OK | W_OK) != 0 ? std::strerror(errno) : "the kernel refused them") << "\n";
    } else {
      std::cerr << "korvale-emu: cannot serve the devices in "
                << busDir.string() << "\n";
    }
    return 1;
  }
  for (Endpoint e : emu.Endpoints()) {
    char line[64];
    std::snprintf(line, sizeof line, "%04x:%04x interface %u", EndpointVendorId(e),
                  EndpointProductId(e), EndpointInterface(e));
    Say(std::string(EndpointName(e)) + " " + line + " " + (uhid ? std::string("uhid") : emu.SocketPath(e).string()));
  }

  std::string pending;
  bool run = true;
  while (run) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {sfd, POLLIN, 0}};
    const int n = ::poll(fds, sfd >= 0 ? 2 : 1, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (sfd >= 0 && (fds[1].revents & POLLIN)) break;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buf[4096];
      const ssize_t got = ::read(STDIN_FILENO, buf, sizeof buf);
      if (got <= 0) {
        if (got < 0 && errno == EINTR) continue;
        if (!pending.empty()) RunCommand(emu, pending);
        break;  // end of input
      }
      pending.append(buf, static_cast<std::size_t>(got));
      std::size_t nl;
      while (run && (nl = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        run = RunCommand(emu, line);
      }
      if (pending.size() > 65536) {
        Say("error: command line too long; dropped");
        pending.clear();
      }
    }
  }
  emu.Stop();
  if (sfd >= 0) ::close(sfd);
  return 0;
}
