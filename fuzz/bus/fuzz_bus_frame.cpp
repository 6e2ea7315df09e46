// Bus frames from a hostile peer: decoding never reads outside the bytes, and
// whatever decodes encodes back to exactly the same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/message_bus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korvale::bus;
  auto frame = DecodeFrame(data, size);
  if (!frame) return 0;
  auto again = EncodeFrame(frame->kind, frame->name, frame->number, frame->wParam, frame->lParam, frame->data);
  if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
  return 0;
}
