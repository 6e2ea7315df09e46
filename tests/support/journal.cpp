#include "tests/support/journal.h"

#include <algorithm>
#include <sstream>

namespace korvale::testing {

std::vector<Packet> ParseJournal(const std::vector<std::string>& lines) {
  std::vector<Packet> out;
  for (const std::string& l : lines) {
    std::istringstream in(l);
    std::string w, hex;
    Packet p;
    in >> w >> std::hex >> p.cmd >> w >> std::dec >> p.len >> w >> p.off >> w >> hex;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
      p.data.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    out.push_back(p);
  }
  return out;
}

std::vector<int> Codes(const std::vector<Packet>& packets) {
  std::vector<int> codes;
  for (const Packet& p : packets)
    if (codes.empty() || codes.back() != p.cmd) codes.push_back(p.cmd);
  return codes;
}

std::vector<uint8_t> Written(const std::vector<Packet>& packets, int cmd) {
  std::vector<uint8_t> bytes;
  for (const Packet& p : packets) {
    if (p.cmd != cmd) continue;
    if (bytes.size() < static_cast<std::size_t>(p.off + p.len)) bytes.resize(static_cast<std::size_t>(p.off + p.len));
    std::copy(p.data.begin(), p.data.end(), bytes.begin() + p.off);
  }
  return bytes;
}

}  // namespace korvale::testing
