// The macro image encoder against images built by hand from the layout, and
// the firmware's decoder (korvale-emu's own reading) on good and broken images.
#include <gtest/gtest.h>

#include "devices/macro_download.h"
#include "devices/macro_image.h"
#include "emulator/event_image.h"

namespace korvale {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(MacroImage, TwoMacrosOfThreeAndFiveEventsMatchTheHandBuiltImage) {
  std::vector<std::vector<MacroEvent>> entries(2);
  for (int i = 0; i < 3; ++i) entries[0].push_back({static_cast<uint16_t>(300 + i), 1, i == 0, 4});
  for (int i = 0; i < 5; ++i) entries[1].push_back({static_cast<uint16_t>(i), 10, true, 0x2C});
  const auto image = EncodeMacroImage(entries);
  ASSERT_TRUE(image);
  Bytes want = {0xAA, 0x55, 60, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
                20, 0, 36, 0,                                           // offsets
                3, 0, 0, 0,                                             // block 1 at 20
                0x2C, 0x01, 0x81, 0x04, 0x2D, 0x01, 0x01, 0x04, 0x2E, 0x01, 0x01, 0x04,
                5, 0, 0, 0};                                            // block 2 at 36
  for (uint8_t i = 0; i < 5; ++i) want.insert(want.end(), {i, 0, 0x8A, 0x2C});
  EXPECT_EQ(*image, want);
  EXPECT_EQ(MacroImageSize(entries), 60u);
}

TEST(MacroImage, EdgesOfTheLayout) {
  // No entries: a bare header.
  const auto empty = EncodeMacroImage({});
  ASSERT_TRUE(empty);
  EXPECT_EQ(*empty, (Bytes{0xAA, 0x55, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // An entry without events still has its block.
  std::vector<std::vector<MacroEvent>> one(1);
  EXPECT_EQ(*EncodeMacroImage(one), (Bytes{0xAA, 0x55, 22, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 18, 0, 0, 0, 0, 0}));
  // The largest delay and a type that already has bit 7 clear stays one byte.
  uint8_t ev[4];
  EncodeMacroEvent({65535, 9, false, 0x80}, ev);
  EXPECT_EQ(Bytes(ev, ev + 4), (Bytes{0xFF, 0xFF, 0x09, 0x80}));
  // 16-bit sizes: one byte over 65535 is refused instead of wrapping.
  std::vector<std::vector<MacroEvent>> big(1, std::vector<MacroEvent>((65535 - 22) / 4 + 1));
  EXPECT_EQ(MacroImageSize(big), 16u + 6 + 4 * big[0].size());
  EXPECT_GT(MacroImageSize(big), 65535u);
  EXPECT_FALSE(EncodeMacroImage(big));
  big[0].pop_back();
  EXPECT_TRUE(EncodeMacroImage(big));
}

TEST(MacroImage, TheFirmwareDecodesWhatTheEncoderWrites) {
  std::vector<std::vector<MacroEvent>> entries = {{{300, 1, true, 4}, {0, 1, false, 4}}, {}, {{7, 5, true, 44}}};
  const auto image = EncodeMacroImage(entries);
  ASSERT_TRUE(image);
  Bytes area(1024, 0);
  std::copy(image->begin(), image->end(), area.begin());
  const emu::DecodedImage d = emu::DecodeEventImage(area);
  ASSERT_TRUE(d.valid()) << d.fault;
  ASSERT_EQ(d.entries.size(), 3u);
  EXPECT_EQ(d.entries[0].size(), 2u);
  EXPECT_EQ(d.entries[0][0].delay, 300);
  EXPECT_TRUE(d.entries[0][0].down);
  EXPECT_EQ(d.entries[2][0].button, 44);
  EXPECT_EQ(d.entries[2][0].kind, 5);
}

TEST(MacroImage, TheFirmwareRefusesBrokenImages) {
  const Bytes good = *EncodeMacroImage(std::vector<std::vector<MacroEvent>>{{{1, 1, true, 1}}, {{2, 10, false, 4}}});
  struct Case {
    const char* what;
    std::size_t at;
    uint8_t value;
    const char* fault;
  };
  const Case cases[] = {
      {"cleared signature", 0, 0x00, "no signature"},
      {"size past the area", 3, 0x10, "does not fit"},
      {"size short of the blocks", 2, 30, "entry 1 passes the size"},
      {"offset out of order", 18, 30, "entry 1 starts at 30"},
      {"event count past the size", 20, 9, "entry 0's events"},
      {"unknown event type", 26, 0x86, "unknown type 6"},
      {"entry count past the size", 4, 200, "offset table"},
  };
  for (const Case& c : cases) {
    Bytes area(256, 0);
    std::copy(good.begin(), good.end(), area.begin());
    area[c.at] = c.value;
    const emu::DecodedImage d = emu::DecodeEventImage(area);
    EXPECT_NE(d.fault.find(c.fault), std::string::npos) << c.what << ": " << d.fault;
    EXPECT_TRUE(d.entries.empty()) << c.what;
  }
  EXPECT_EQ(emu::DescribeEventImage(emu::DecodeEventImage(Bytes(64, 0)))[0],
            "malformed: no signature (empty or unfinished image)");
}

TEST(MacroImage, UsedMacrosAreCollectedInKeyOrderOnceEach) {
  std::vector<KeyRecord> keys(6);
  keys[0].normal.code = {0x70, 4, 0};
  keys[0].fn.code = {0x71, 1, 0};   // the Fn layer right after the normal one
  keys[1].normal.code = {0x70, 4, 0};  // used again: once
  keys[2].normal.code = {0x70, 9, 0};  // past the index: not downloaded
  keys[3].normal.code = {0x70, 2, 0};  // a key the device does not have
  keys[4].normal.code = {0x30, 3, 0};  // not a macro
  keys[5].fn.code = {0x70, 0, 0};
  auto positioned = [](int key) { return key != 3; };
  EXPECT_EQ(CollectMacroNumbers(keys, 6, positioned, 5, true), (std::vector<int>{4, 1, 0}));
  EXPECT_EQ(CollectMacroNumbers(keys, 6, positioned, 5, false), (std::vector<int>{4}));  // the mouse: normal only
  EXPECT_EQ(CollectMacroNumbers(keys, 1, positioned, 5, true), (std::vector<int>{4, 1}));
}

}  // namespace
}  // namespace korvale
