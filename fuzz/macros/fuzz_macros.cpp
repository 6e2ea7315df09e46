// Bytes as a macro file: the checked reader must cope, and whatever it
// accepts must encode into an image the firmware decodes back to the same
// events. The bytes as a device memory area go through the decoder too.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "devices/macro_image.h"
#include "emulator/event_image.h"
#include "profiles/json_file.h"
#include "profiles/macro_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvale;
  (void)emu::DecodeEventImage(std::span<const uint8_t>(data, size));

  const MacroEventsRead read =
      ParseMacroEvents(ParseJsonText(std::string_view(reinterpret_cast<const char*>(data), size)));
  if (!read.ok()) return 0;
  const std::vector<std::vector<MacroEvent>> entries = {read.events, {}, read.events};
  const auto image = EncodeMacroImage(entries);
  if (!image) {
    if (MacroImageSize(entries) <= kMaxMacroImage) std::abort();
    return 0;
  }
  const emu::DecodedImage d = emu::DecodeEventImage(*image);
  if (!d.valid() || d.entries.size() != entries.size() || d.size != image->size()) std::abort();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (d.entries[i].size() != entries[i].size()) std::abort();
    for (std::size_t k = 0; k < entries[i].size(); ++k) {
      const MacroEvent& e = entries[i][k];
      const emu::PlayedEvent& p = d.entries[i][k];
      if (p.delay != e.delay || p.kind != e.type || p.down != e.down || p.button != e.button) std::abort();
    }
  }
  // Written back as a macro file, the events read again unchanged.
  const MacroEventsRead again = ParseMacroEvents(MacroDocument("n", "1", read.events));
  if (!again.ok() || again.events != read.events) std::abort();
  return 0;
}
