// The report descriptor parser: collections, lengths, capabilities, unpacking,
// and the refusal of malformed descriptors.
#include <gtest/gtest.h>

#include "hid/report_descriptor.h"
#include "platform/trace.h"
#include "test_descriptors.h"

using namespace korvale;

namespace {

constexpr auto kIn = HidReportType::Input;
constexpr auto kOut = HidReportType::Output;

HidReportDescriptor Parse(const std::vector<uint8_t>& d) {
  std::string error;
  auto r = ParseReportDescriptor(d, &error);
  EXPECT_TRUE(r.has_value()) << error;
  return r.value_or(HidReportDescriptor{});
}

std::vector<uint16_t> Used(const HidDataEntry& e) {
  std::vector<uint16_t> out;
  for (uint16_t u : e.usages) {
    if (u == 0) break;
    out.push_back(u);
  }
  return out;
}

}  // namespace

TEST(ReportDescriptor, KeyboardInterfaceHasFourCollections) {
  const auto d = Parse(testdata::kKeyboardInterface);
  ASSERT_EQ(d.collections.size(), 4u);
  EXPECT_TRUE(d.usesReportIds);
  struct Expect {
    uint16_t page, usage, in, out, feature;
    std::size_t inButtons, inValues, outButtons, outValues;
  };
  const Expect expect[] = {
      {0x0001, 0x06, 9, 2, 0, 2, 0, 1, 0},    // modifiers + key array; LEDs
      {0x0001, 0x80, 2, 0, 0, 1, 0, 0, 0},    // three system controls
      {0x000C, 0x01, 5, 0, 0, 1, 0, 0, 0},    // two 16-bit usages
      {0xFF1C, 0x92, 64, 64, 0, 0, 1, 0, 1},  // 63 bytes after id 4, both ways
  };
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const auto& c = d.collections[i];
    const auto& e = expect[i];
    EXPECT_EQ(c.usagePage, e.page);
    EXPECT_EQ(c.usage, e.usage);
    EXPECT_EQ(c.reportByteLength[0], e.in);
    EXPECT_EQ(c.reportByteLength[1], e.out);
    EXPECT_EQ(c.reportByteLength[2], e.feature);
    EXPECT_EQ(c.buttonCaps[0].size(), e.inButtons);
    EXPECT_EQ(c.valueCaps[0].size(), e.inValues);
    EXPECT_EQ(c.buttonCaps[1].size(), e.outButtons);
    EXPECT_EQ(c.valueCaps[1].size(), e.outValues);
    EXPECT_EQ(c.reportIds[0], std::vector<uint8_t>{uint8_t(i + 1)});
  }
  const auto& keys = d.collections[0].buttonCaps[0];
  EXPECT_TRUE(keys[0].isRange);
  EXPECT_EQ(keys[0].usagePage, 0x07);
  EXPECT_EQ(keys[0].usageMin, 0xE0);
  EXPECT_EQ(keys[0].usageMax, 0xE7);
  EXPECT_EQ(keys[0].bitPos, 8u);
  EXPECT_EQ(keys[1].usageMax, 0x65);
  EXPECT_EQ(keys[1].bitPos, 24u);  // after the modifiers and the reserved byte
  EXPECT_EQ(keys[1].reportCount, 6u);

  const auto& consumer = d.collections[2].buttonCaps[0][0];
  EXPECT_EQ(consumer.reportSize, 16u);
  EXPECT_EQ(consumer.logicalMax, 0x3FF);
  EXPECT_EQ(consumer.usageMax, 0x3FF);

  const auto& vendor = d.collections[3].valueCaps[0][0];
  EXPECT_EQ(vendor.reportId, 4);
  EXPECT_EQ(vendor.usagePage, 0xFF1C);
  EXPECT_EQ(vendor.usageMin, 1);
  EXPECT_FALSE(vendor.isRange);
  EXPECT_EQ(vendor.reportSize, 8u);
  EXPECT_EQ(vendor.reportCount, 63u);
  EXPECT_EQ(vendor.logicalMax, 255);
  EXPECT_EQ(d.collections[3].valueCaps[1][0].usageMin, 2);
}

TEST(ReportDescriptor, UnpacksPressedUsagesAndValues) {
  const auto d = Parse(testdata::kKeyboardInterface);

  // Keyboard: left shift (bit 1 of the modifiers), keys 0x04 and 0x05.
  auto kb = BuildDataEntries(d.collections[0], kIn);
  ASSERT_EQ(kb.size(), 2u);
  EXPECT_EQ(kb[0].usages.size(), 14u);  // 8 modifiers + 6 array slots on page 7
  const std::vector<uint8_t> keys = {1, 0x02, 0, 0x04, 0x05, 0, 0, 0, 0};
  ASSERT_TRUE(UnpackReport(d.collections[0], kIn, keys, kb));
  EXPECT_EQ(Used(kb[0]), std::vector<uint16_t>{0xE1});
  EXPECT_EQ(Used(kb[1]), (std::vector<uint16_t>{0x04, 0x05}));
  EXPECT_TRUE(kb[0].dataSet);
  EXPECT_EQ(kb[0].status, kHidpStatusSuccess);

  // Consumer: a 16-bit array; an index beyond the logical maximum is an empty slot.
  auto cc = BuildDataEntries(d.collections[2], kIn);
  ASSERT_EQ(cc.size(), 1u);
  ASSERT_TRUE(UnpackReport(d.collections[2], kIn, std::vector<uint8_t>{3, 0xE2, 0x00, 0xCD, 0x00}, cc));
  EXPECT_EQ(Used(cc[0]), (std::vector<uint16_t>{0xE2, 0xCD}));
  ASSERT_TRUE(UnpackReport(d.collections[2], kIn, std::vector<uint8_t>{3, 0x00, 0x04, 0xE9, 0x00}, cc));
  EXPECT_EQ(Used(cc[0]), std::vector<uint16_t>{0xE9});

  // A report of another id leaves the entries alone.
  auto fresh = BuildDataEntries(d.collections[2], kIn);
  ASSERT_TRUE(UnpackReport(d.collections[2], kIn, std::vector<uint8_t>{4, 0xE2, 0x00, 0, 0}, fresh));
  EXPECT_FALSE(fresh[0].dataSet);

  // Vendor: the first byte of the value array.
  auto vendor = BuildDataEntries(d.collections[3], kIn);
  ASSERT_EQ(vendor.size(), 1u);
  std::vector<uint8_t> report(64, 0);
  report[0] = 4, report[1] = 0x80;
  ASSERT_TRUE(UnpackReport(d.collections[3], kIn, report, vendor));
  EXPECT_EQ(vendor[0].rawValue, 0x80u);
  EXPECT_EQ(vendor[0].scaledValue, 0x80);

  // Truncated: the value cannot be read and says why.
  EXPECT_FALSE(UnpackReport(d.collections[3], kIn, std::vector<uint8_t>{4}, vendor));
  EXPECT_EQ(vendor[0].status, kHidpStatusInvalidReportLength);
  ASSERT_TRUE(UnpackReport(d.collections[0], kIn, std::vector<uint8_t>{1, 0x02}, kb));
  EXPECT_EQ(kb[0].status, kHidpStatusInvalidReportLength);
}

TEST(ReportDescriptor, SingleUnnumberedConsumerCollection) {
  const auto d = Parse(testdata::kConsumerInterface);
  ASSERT_EQ(d.collections.size(), 1u);
  EXPECT_FALSE(d.usesReportIds);
  const auto& c = d.collections[0];
  EXPECT_EQ(c.usagePage, 0x0C);
  EXPECT_EQ(c.usage, 0x01);
  EXPECT_EQ(c.reportByteLength[0], 2);  // the zero id byte counts
  EXPECT_EQ(c.reportByteLength[1], 2);
  EXPECT_EQ(c.buttonCaps[0].size(), 4u);
  auto entries = BuildDataEntries(c, kIn);
  ASSERT_TRUE(UnpackReport(c, kIn, std::vector<uint8_t>{0, 0x05}, entries));
  EXPECT_EQ(Used(entries[0]), std::vector<uint16_t>{0xE9});
  EXPECT_EQ(Used(entries[1]), std::vector<uint16_t>{});
  EXPECT_EQ(Used(entries[2]), std::vector<uint16_t>{0xE2});
  auto out = BuildDataEntries(c, kOut);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_FALSE(out[0].isButton);
  EXPECT_EQ(out[0].usage, 0x03);
}

TEST(ReportDescriptor, LengthIsTheLongestReportAndValuesScale) {
  const std::vector<uint8_t> d = {
      0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
      // id 5: one signed byte, logical -127..127, no physical range
      0x85, 0x05, 0x09, 0x10, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02,
      // id 6: nine bytes, logical 0..255 scaled to physical 0..1000
      0x85, 0x06, 0x19, 0x20, 0x29, 0x28, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x35, 0x00, 0x46, 0xE8, 0x03,
      0x95, 0x09, 0x81, 0x02,
      0xC0};
  const auto p = Parse(d);
  ASSERT_EQ(p.collections.size(), 1u);
  const auto& c = p.collections[0];
  EXPECT_EQ(c.reportByteLength[0], 10);  // id + nine bytes of report 6
  EXPECT_EQ(c.reportIds[0], (std::vector<uint8_t>{5, 6}));
  auto e = BuildDataEntries(c, kIn);
  ASSERT_EQ(e.size(), 1u + 9u);

  ASSERT_TRUE(UnpackReport(c, kIn, std::vector<uint8_t>{5, 0xFF}, e));
  EXPECT_EQ(e[0].rawValue, 0xFFu);
  EXPECT_EQ(e[0].scaledValue, -1);
  EXPECT_FALSE(e[1].dataSet);

  std::vector<uint8_t> r6 = {6, 255, 51, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(UnpackReport(c, kIn, r6, e));
  EXPECT_EQ(e[1].usage, 0x20);
  EXPECT_EQ(e[1].scaledValue, 1000);
  EXPECT_EQ(e[2].usage, 0x21);
  EXPECT_EQ(e[2].scaledValue, 200);
  EXPECT_EQ(e[9].usage, 0x28);
  EXPECT_EQ(e[9].status, kHidpStatusSuccess);
}

TEST(ReportDescriptor, RefusesMalformedDescriptors) {
  auto repeat = [](std::vector<uint8_t> unit, int n) {
    std::vector<uint8_t> out;
    for (int i = 0; i < n; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
  };
  auto wrap = [](std::vector<uint8_t> body) {
    std::vector<uint8_t> d = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01};
    d.insert(d.end(), body.begin(), body.end());
    d.push_back(0xC0);
    return d;
  };
  std::vector<uint8_t> deep = repeat({0xA1, 0x00}, 17);
  auto closes = repeat({0xC0}, 17);
  deep.insert(deep.end(), closes.begin(), closes.end());
  std::vector<uint8_t> huge(kMaxDescriptorBytes + 1, 0x00);

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* why;
  };
  const Case cases[] = {
      {"empty", {}, "no top-level collection"},
      {"truncated item", {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x26, 0xFF}, "truncated item"},
      {"truncated four-byte item", {0x05, 0x01, 0x27, 0x01, 0x02}, "truncated item"},
      {"long item", wrap({0xFE, 0x02, 0x10, 0x00, 0x00}), "long items"},
      {"nested too deep", deep, "nested too deep"},
      {"end without collection", {0xC0}, "end collection without collection"},
      {"collection never ended", {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01}, "collection not ended"},
      {"field outside a collection", {0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, "outside any collection"},
      {"absurd report count", wrap({0x75, 0x08, 0x96, 0x00, 0x80, 0x81, 0x02}), "report count"},
      {"absurd report size", wrap({0x75, 0x40, 0x95, 0x01, 0x81, 0x02}), "report size"},
      {"report longer than allowed", wrap(repeat({0x75, 0x20, 0x96, 0x00, 0x02, 0x81, 0x02}, 3)), "report longer"},
      {"counts add up to too much", wrap(repeat({0x85, 0x01, 0x75, 0x01, 0x96, 0x00, 0x10, 0x81, 0x02,
                                                 0x85, 0x02, 0x81, 0x02, 0x85, 0x03, 0x81, 0x02}, 3)),
       "add up"},
      {"report id zero", wrap({0x85, 0x00}), "invalid report id"},
      {"report id above 255", wrap({0x86, 0x00, 0x01}), "invalid report id"},
      {"pop without push", wrap({0xB4}), "pop without push"},
      {"push stack overflow", wrap(repeat({0xA4}, 17)), "push stack"},
      {"usage maximum alone", wrap({0x29, 0x05}), "without minimum"},
      {"usage maximum below minimum", wrap({0x19, 0x05, 0x29, 0x01}), "below minimum"},
      {"numbered and unnumbered fields", wrap({0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x85, 0x01, 0x81, 0x02}),
       "with and without report id"},
      {"descriptor too long", huge, "descriptor longer"},
      {"usage lists too large", wrap([&] {
         auto body = repeat({0x09, 0x01}, 17);  // 17 button caps, each listing 4096 slots
         body.insert(body.end(), {0x75, 0x01, 0x96, 0x00, 0x10, 0x81, 0x00});
         return body;
       }()),
       "usage lists"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TraceSink::Instance().Clear();
    std::string error;
    EXPECT_FALSE(ParseReportDescriptor(c.bytes, &error).has_value());
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    EXPECT_TRUE(TraceSink::Instance().Contains("report descriptor refused at byte")) << error;
  }
}
