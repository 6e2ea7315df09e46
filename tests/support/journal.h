#pragma once
// The command journal korvale-emu prints ("journal <device>"): one line per
// command packet the device received, "cmd 06 len 40 off 0 data 00ff...".
#include <cstdint>
#include <string>
#include <vector>

namespace korvale::testing {

struct Packet {
  int cmd = 0, len = 0, off = 0;
  std::vector<uint8_t> data;
};

std::vector<Packet> ParseJournal(const std::vector<std::string>& lines);
// Command codes in order, runs of one code folded into one.
std::vector<int> Codes(const std::vector<Packet>& packets);
// The bytes one command wrote, placed by packet offset.
std::vector<uint8_t> Written(const std::vector<Packet>& packets, int cmd);

}  // namespace korvale::testing
