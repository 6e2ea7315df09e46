// Report descriptor parser and report unpacking on hostile input. The first
// two bytes (little-endian) give the descriptor length; the rest after the
// descriptor is one report, unpacked for every collection and report type.
#include <cstddef>
#include <cstdint>
#include <span>

#include "hid/report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::size_t want = data[0] | (std::size_t(data[1]) << 8);
  std::span<const uint8_t> rest(data + 2, size - 2);
  const std::size_t d = want < rest.size() ? want : rest.size();
  auto parsed = korvale::ParseReportDescriptor(rest.first(d));
  if (!parsed) return 0;
  const auto report = rest.subspan(d);
  for (const auto& c : parsed->collections) {
    for (auto type : {korvale::HidReportType::Input, korvale::HidReportType::Output, korvale::HidReportType::Feature}) {
      auto entries = korvale::BuildDataEntries(c, type);
      korvale::UnpackReport(c, type, report, entries);
    }
  }
  return 0;
}
