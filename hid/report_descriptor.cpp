#include "hid/report_descriptor.h"

#include <algorithm>
#include <limits>
#include <map>

#include "platform/trace.h"

namespace korvale {

namespace {

// Item tags (type in bits 2-3, tag in bits 4-7 of the prefix byte).
enum ItemType : uint8_t { kMain = 0, kGlobal = 1, kLocal = 2, kReserved = 3 };
enum MainTag : uint8_t {
  kInput = 0x8, kOutput = 0x9, kCollection = 0xA, kFeature = 0xB, kEndCollection = 0xC
};
enum GlobalTag : uint8_t {
  kUsagePage = 0x0, kLogicalMin = 0x1, kLogicalMax = 0x2, kPhysicalMin = 0x3, kPhysicalMax = 0x4,
  kReportSize = 0x7, kReportId = 0x8, kReportCount = 0x9, kPush = 0xA, kPop = 0xB
};
enum LocalTag : uint8_t { kUsage = 0x0, kUsageMin = 0x1, kUsageMax = 0x2 };
constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint32_t kMaxFieldBits = 32;

struct Globals {
  uint16_t usagePage = 0;
  int64_t logicalMin = 0, logicalMax = 0;
  uint32_t logicalMaxRaw = 0;
  int logicalMaxSize = 0;
  int64_t physicalMin = 0, physicalMax = 0;
  uint32_t physicalMaxRaw = 0;
  int physicalMaxSize = 0;
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  uint8_t reportId = 0;
};

int64_t SignExtend(uint32_t v, int bytes) {
  switch (bytes) {
    case 1: return static_cast<int8_t>(v);
    case 2: return static_cast<int16_t>(v);
    case 4: return static_cast<int32_t>(v);
    default: return 0;
  }
}

// A maximum is signed only when its minimum is negative.
int64_t Maximum(int64_t min, uint32_t raw, int bytes) {
  return min < 0 ? SignExtend(raw, bytes) : static_cast<int64_t>(raw);
}

uint32_t UsageCount(const HidUsageRange& r) { return uint32_t(r.usageMax) - r.usageMin + 1; }

// The usage at a position of the field's usage list, ranges expanded; the
// last usage repeats past the end, as for variable fields.
std::optional<HidUsageRange> UsageAt(const HidField& f, uint32_t index, bool repeatLast) {
  if (f.usages.empty()) return std::nullopt;
  const auto it = std::upper_bound(f.usageEnds.begin(), f.usageEnds.end(), index);
  if (it == f.usageEnds.end()) {
    if (!repeatLast) return std::nullopt;
    const auto& r = f.usages.back();
    return HidUsageRange{r.usagePage, r.usageMax, r.usageMax};
  }
  const std::size_t k = static_cast<std::size_t>(it - f.usageEnds.begin());
  const uint32_t before = k == 0 ? 0 : f.usageEnds[k - 1];
  const auto& r = f.usages[k];
  const uint16_t u = static_cast<uint16_t>(r.usageMin + (index - before));
  return HidUsageRange{r.usagePage, u, u};
}

// Usage list length one field contributes for a page (see MaxUsageListLength).
uint32_t FieldUsageSlots(const HidField& f, uint16_t page) {
  if (f.constant || !f.IsButton()) return 0;
  if (!f.variable) {
    const bool has = std::any_of(f.usages.begin(), f.usages.end(), [&](const HidUsageRange& r) { return r.usagePage == page; });
    return has ? f.reportCount : 0;
  }
  // Variable: slot i has usage i; the last usage takes the slots left over.
  uint32_t n = 0, left = f.reportCount;
  for (const auto& r : f.usages) {
    const uint32_t take = std::min(UsageCount(r), left);
    if (r.usagePage == page) n += take;
    left -= take;
  }
  if (left > 0 && !f.usages.empty() && f.usages.back().usagePage == page) n += left;
  return n;
}

uint32_t ExtractBits(std::span<const uint8_t> report, uint32_t bitPos, uint32_t size) {
  uint32_t v = 0;
  for (uint32_t k = 0; k < size; ++k) {
    uint32_t bit = bitPos + k;
    if ((report[bit / 8] >> (bit % 8)) & 1u) v |= 1u << k;
  }
  return v;
}

// A field of `size` bits read as two's complement.
int64_t SignedField(uint32_t raw, uint32_t size) {
  if (size == 0 || size >= 32) return static_cast<int32_t>(raw);
  const uint32_t sign = 1u << (size - 1);
  return (raw & sign) ? int64_t(raw) - (int64_t(1) << size) : int64_t(raw);
}

int32_t ClampI32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

class Parser {
 public:
  explicit Parser(std::span<const uint8_t> bytes) : bytes_(bytes) {
    for (auto& t : bitOffset_) t.fill(8);  // the report id byte comes first
  }

  std::optional<HidReportDescriptor> Run(std::string* error) {
    bool ok = Parse();
    if (ok) ok = Finish();
    if (!ok) {
      Trace("hid: report descriptor refused at byte %zu of %zu: %s", at_, bytes_.size(), error_.c_str());
      if (error) *error = error_;
      return std::nullopt;
    }
    return std::move(out_);
  }

 private:
  bool Fail(std::string why) {
    error_ = std::move(why);
    return false;
  }

  bool Parse() {
    if (bytes_.size() > kMaxDescriptorBytes) return Fail("descriptor longer than " + std::to_string(kMaxDescriptorBytes) + " bytes");
    while (at_ < bytes_.size()) {
      const uint8_t prefix = bytes_[at_];
      if (prefix == kLongItemPrefix) return Fail("long items are not supported");
      const int size = (prefix & 3) == 3 ? 4 : (prefix & 3);
      if (bytes_.size() - at_ - 1 < static_cast<std::size_t>(size)) return Fail("truncated item");
      uint32_t data = 0;
      for (int i = 0; i < size; ++i) data |= uint32_t(bytes_[at_ + 1 + i]) << (8 * i);
      const uint8_t type = (prefix >> 2) & 3, tag = prefix >> 4;
      bool ok = true;
      switch (type) {
        case kMain: ok = Main(tag, data, size); break;
        case kGlobal: ok = Global(tag, data, size); break;
        case kLocal: ok = Local(tag, data, size); break;
        default: break;  // reserved item types carry nothing we use
      }
      if (!ok) return false;
      at_ += 1 + size;
    }
    return true;
  }

  bool Global(uint8_t tag, uint32_t data, int size) {
    Globals& g = globals_;
    switch (tag) {
      case kUsagePage: g.usagePage = uint16_t(data); break;
      case kLogicalMin: g.logicalMin = SignExtend(data, size); break;
      case kLogicalMax: g.logicalMaxRaw = data; g.logicalMaxSize = size; break;
      case kPhysicalMin: g.physicalMin = SignExtend(data, size); break;
      case kPhysicalMax: g.physicalMaxRaw = data; g.physicalMaxSize = size; break;
      case kReportSize:
        if (data > kMaxFieldBits) return Fail("report size " + std::to_string(data) + " bits is too large");
        g.reportSize = data;
        break;
      case kReportCount:
        if (data > kMaxReportCount) return Fail("report count " + std::to_string(data) + " is too large");
        g.reportCount = data;
        break;
      case kReportId:
        if (data == 0 || data > 255) return Fail("invalid report id " + std::to_string(data));
        g.reportId = uint8_t(data);
        out_.usesReportIds = true;
        break;
      case kPush:
        if (stack_.size() >= kMaxPushDepth) return Fail("push stack too deep");
        stack_.push_back(g);
        break;
      case kPop:
        if (stack_.empty()) return Fail("pop without push");
        g = stack_.back();
        stack_.pop_back();
        break;
      default: break;
    }
    return true;
  }

  bool Local(uint8_t tag, uint32_t data, int size) {
    // A four-byte usage carries its own usage page in the high half.
    const uint16_t page = size == 4 ? uint16_t(data >> 16) : globals_.usagePage;
    const uint16_t usage = uint16_t(data);
    switch (tag) {
      case kUsage:
        if (usages_.size() >= kMaxLocalUsages) return Fail("too many usages");
        usages_.push_back({page, usage, usage});
        break;
      case kUsageMin:
        pendingMin_ = HidUsageRange{page, usage, usage};
        break;
      case kUsageMax:
        if (!pendingMin_) return Fail("usage maximum without minimum");
        if (usage < pendingMin_->usageMin) return Fail("usage maximum below minimum");
        if (usages_.size() >= kMaxLocalUsages) return Fail("too many usages");
        pendingMin_->usageMax = usage;
        usages_.push_back(*pendingMin_);
        pendingMin_.reset();
        break;
      default: break;
    }
    return true;
  }

  void ClearLocals() {
    usages_.clear();
    pendingMin_.reset();
  }

  bool Main(uint8_t tag, uint32_t data, int /*size*/) {
    switch (tag) {
      case kCollection:
        if (depth_ >= kMaxCollectionDepth) return Fail("collections nested too deep");
        if (depth_ == 0) {
          HidCollectionCaps c;
          if (!usages_.empty()) {
            c.usagePage = usages_.front().usagePage;
            c.usage = usages_.front().usageMin;
          }
          out_.collections.push_back(std::move(c));
        }
        ++depth_;
        break;
      case kEndCollection:
        if (depth_ == 0) return Fail("end collection without collection");
        --depth_;
        break;
      case kInput: case kOutput: case kFeature: {
        if (depth_ == 0) return Fail("report field outside any collection");
        if (!AddField(tag == kInput ? HidReportType::Input
                      : tag == kOutput ? HidReportType::Output : HidReportType::Feature, data))
          return false;
        break;
      }
      default: break;
    }
    ClearLocals();
    return true;
  }

  bool AddField(HidReportType type, uint32_t flags) {
    const Globals& g = globals_;
    if (++fieldCount_ > kMaxFields) return Fail("too many report fields");
    totalCount_ += g.reportCount;
    if (totalCount_ > kMaxTotalCount) return Fail("report counts add up to too much");
    uint32_t& offset = bitOffset_[size_t(type)][g.reportId];
    const uint32_t bits = g.reportSize * g.reportCount;
    if (offset + bits > kMaxReportBytes * 8) return Fail("report longer than " + std::to_string(kMaxReportBytes) + " bytes");
    HidField f;
    f.type = type;
    f.reportId = g.reportId;
    f.constant = flags & 1u;
    f.variable = flags & 2u;
    f.bitPos = offset;
    f.reportSize = g.reportSize;
    f.reportCount = g.reportCount;
    f.logicalMin = g.logicalMin;
    f.logicalMax = Maximum(g.logicalMin, g.logicalMaxRaw, g.logicalMaxSize);
    f.physicalMin = g.physicalMin;
    f.physicalMax = Maximum(g.physicalMin, g.physicalMaxRaw, g.physicalMaxSize);
    f.usages = usages_;
    uint32_t total = 0;
    for (const auto& r : f.usages) f.usageEnds.push_back(total += UsageCount(r));
    offset += bits;
    usedIds_[g.reportId] = true;
    if (bits == 0) return true;

    HidCollectionCaps& c = out_.collections.back();
    auto& ids = c.reportIds[size_t(type)];
    if (std::find(ids.begin(), ids.end(), f.reportId) == ids.end()) {
      ids.insert(std::upper_bound(ids.begin(), ids.end(), f.reportId), f.reportId);
    }
    if (!f.constant) AddCaps(c, f);
    c.fields.push_back(std::move(f));
    return true;
  }

  static void AddCaps(HidCollectionCaps& c, const HidField& f) {
    const size_t t = size_t(f.type);
    if (f.IsButton()) {
      for (const auto& r : f.usages) {
        HidButtonCap b;
        b.usagePage = r.usagePage;
        b.reportId = f.reportId;
        b.isRange = r.usageMin != r.usageMax;
        b.usageMin = r.usageMin;
        b.usageMax = r.usageMax;
        b.bitPos = f.bitPos;
        b.reportSize = f.reportSize;
        b.reportCount = f.reportCount;
        b.logicalMin = ClampI32(f.logicalMin);
        b.logicalMax = ClampI32(f.logicalMax);
        c.buttonCaps[t].push_back(b);
      }
      return;
    }
    // Values: each usage takes one slot; the last usage takes what is left.
    uint32_t slot = 0;
    for (size_t i = 0; i < f.usages.size() && slot < f.reportCount; ++i) {
      const auto& r = f.usages[i];
      const uint32_t left = f.reportCount - slot;
      const bool last = i + 1 == f.usages.size();
      uint32_t n = std::min(UsageCount(r), left);
      HidValueCap v;
      v.usagePage = r.usagePage;
      v.reportId = f.reportId;
      v.usageMin = r.usageMin;
      v.usageMax = uint16_t(r.usageMin + n - 1);
      v.isRange = v.usageMin != v.usageMax;
      v.bitPos = f.bitPos + slot * f.reportSize;
      v.reportSize = f.reportSize;
      v.reportCount = last ? left : n;
      v.logicalMin = ClampI32(f.logicalMin);
      v.logicalMax = ClampI32(f.logicalMax);
      v.physicalMin = ClampI32(f.physicalMin);
      v.physicalMax = ClampI32(f.physicalMax);
      c.valueCaps[t].push_back(v);
      slot += v.reportCount;
    }
  }

  bool Finish() {
    if (depth_ != 0) return Fail("collection not ended");
    if (out_.collections.empty()) return Fail("no top-level collection");
    if (out_.usesReportIds && usedIds_[0]) return Fail("report fields both with and without report id");
    for (auto& c : out_.collections) {
      c.usesReportIds = out_.usesReportIds;
      for (size_t t = 0; t < 3; ++t) {
        uint32_t longest = 0;
        c.idByteLength[t].clear();
        for (uint8_t id : c.reportIds[t]) {
          const uint32_t bytes = (bitOffset_[t][id] + 7) / 8;
          c.idByteLength[t].push_back(uint16_t(bytes));
          longest = std::max(longest, bytes);
        }
        c.reportByteLength[t] = uint16_t(longest);
        // Each button entry gets a usage list as long as its page allows.
        uint64_t slots = 0;
        std::map<uint16_t, uint32_t> perPage;
        for (const auto& b : c.buttonCaps[t]) {
          auto [it, added] = perPage.try_emplace(b.usagePage, 0);
          if (added) it->second = MaxUsageListLength(c, HidReportType(t), b.usagePage);
          slots += it->second;
        }
        if (slots > kMaxUsageListTotal) return Fail("usage lists of a collection add up to too much");
      }
    }
    return true;
  }

  std::span<const uint8_t> bytes_;
  std::size_t at_ = 0;
  std::string error_;
  HidReportDescriptor out_;
  Globals globals_;
  std::vector<Globals> stack_;
  std::vector<HidUsageRange> usages_;
  std::optional<HidUsageRange> pendingMin_;
  int depth_ = 0;
  std::size_t fieldCount_ = 0;
  uint32_t totalCount_ = 0;
  std::array<std::array<uint32_t, 256>, 3> bitOffset_{};
  std::array<bool, 256> usedIds_{};
};

bool FieldFits(const HidField& f, std::span<const uint8_t> report) {
  return (f.bitPos + f.reportSize * f.reportCount + 7) / 8 <= report.size();
}

// HidP_GetUsages: the pressed usages of one page in a report.
uint32_t GetUsages(const HidCollectionCaps& caps, HidReportType type, uint16_t page,
                   std::span<const uint8_t> report, std::vector<uint16_t>& out, size_t capacity) {
  out.clear();
  const uint8_t id = report[0];
  if (!caps.HasReportId(type, id)) return kHidpStatusIncompatibleReportId;
  uint32_t status = kHidpStatusSuccess;
  bool pageSeen = false;
  auto add = [&](const HidUsageRange& u) {
    if (u.usagePage != page || u.usageMin == 0) return;
    if (out.size() >= capacity) {
      status = kHidpStatusBufferTooSmall;
      return;
    }
    out.push_back(u.usageMin);
  };
  for (const auto& f : caps.fields) {
    if (f.type != type || f.reportId != id || f.constant || !f.IsButton()) continue;
    if (std::none_of(f.usages.begin(), f.usages.end(), [&](const HidUsageRange& r) { return r.usagePage == page; }))
      continue;
    pageSeen = true;
    if (!FieldFits(f, report)) return kHidpStatusInvalidReportLength;
    for (uint32_t i = 0; i < f.reportCount; ++i) {
      uint32_t raw = ExtractBits(report, f.bitPos + i * f.reportSize, f.reportSize);
      if (f.variable) {
        if (raw != 0) {
          if (auto u = UsageAt(f, i, true)) add(*u);
        }
        continue;
      }
      const int64_t v = f.logicalMin < 0 ? SignedField(raw, f.reportSize) : int64_t(raw);
      if (v < f.logicalMin || v > f.logicalMax) continue;  // empty array slot
      if (auto u = UsageAt(f, uint32_t(v - f.logicalMin), false)) add(*u);
    }
  }
  if (!pageSeen) return kHidpStatusUsageNotFound;
  return status;
}

const HidValueCap* FindValueCap(const HidCollectionCaps& caps, HidReportType type, uint8_t id,
                                uint16_t page, uint16_t usage) {
  for (const auto& v : caps.valueCaps[size_t(type)]) {
    if (v.reportId == id && v.usagePage == page && usage >= v.usageMin && usage <= v.usageMax) return &v;
  }
  return nullptr;
}

}  // namespace

bool HidCollectionCaps::HasReportId(HidReportType type, uint8_t id) const {
  const auto& ids = reportIds[size_t(type)];
  return std::binary_search(ids.begin(), ids.end(), id);
}

uint16_t HidCollectionCaps::ReportByteLength(HidReportType type, uint8_t id) const {
  const auto& ids = reportIds[size_t(type)];
  const auto it = std::lower_bound(ids.begin(), ids.end(), id);
  if (it == ids.end() || *it != id) return 0;
  const auto at = size_t(it - ids.begin());
  return at < idByteLength[size_t(type)].size() ? idByteLength[size_t(type)][at] : 0;
}

std::optional<HidReportDescriptor> ParseReportDescriptor(std::span<const uint8_t> bytes, std::string* error) {
  return Parser(bytes).Run(error);
}

uint32_t MaxUsageListLength(const HidCollectionCaps& caps, HidReportType type, uint16_t usagePage) {
  uint32_t n = 0;
  for (const auto& f : caps.fields) {
    if (f.type == type) n += FieldUsageSlots(f, usagePage);
  }
  return n;
}

std::vector<HidDataEntry> BuildDataEntries(const HidCollectionCaps& caps, HidReportType type) {
  std::vector<HidDataEntry> entries;
  for (const auto& b : caps.buttonCaps[size_t(type)]) {
    HidDataEntry e;
    e.isButton = true;
    e.usagePage = b.usagePage;
    e.reportId = b.reportId;
    e.usageMin = b.usageMin;
    e.usageMax = b.usageMax;
    e.usages.assign(MaxUsageListLength(caps, type, b.usagePage), 0);
    entries.push_back(std::move(e));
  }
  for (const auto& v : caps.valueCaps[size_t(type)]) {
    for (uint32_t u = v.usageMin; u <= v.usageMax; ++u) {
      HidDataEntry e;
      e.usagePage = v.usagePage;
      e.reportId = v.reportId;
      e.usage = uint16_t(u);
      entries.push_back(std::move(e));
    }
  }
  return entries;
}

bool UnpackReport(const HidCollectionCaps& caps, HidReportType type, std::span<const uint8_t> report,
                  std::vector<HidDataEntry>& entries) {
  if (report.empty()) return true;
  const uint8_t id = report[0];
  std::vector<uint16_t> pressed;
  for (auto& e : entries) {
    if (e.reportId != id) continue;
    if (e.isButton) {
      const size_t capacity = e.usages.size();
      e.status = GetUsages(caps, type, e.usagePage, report, pressed, capacity);
      std::fill(e.usages.begin(), e.usages.end(), 0);
      size_t n = 0;
      for (uint16_t u : pressed) {
        if (u >= e.usageMin && u <= e.usageMax && n < capacity) e.usages[n++] = u;
      }
      e.dataSet = true;
      continue;
    }
    const HidValueCap* v = FindValueCap(caps, type, id, e.usagePage, e.usage);
    if (!v) {
      e.status = kHidpStatusUsageNotFound;
      return false;
    }
    const uint32_t bitPos = v->bitPos + uint32_t(e.usage - v->usageMin) * v->reportSize;
    if ((bitPos + v->reportSize + 7) / 8 > report.size()) {
      e.status = kHidpStatusInvalidReportLength;
      return false;
    }
    e.rawValue = ExtractBits(report, bitPos, v->reportSize);
    e.status = kHidpStatusSuccess;
    // Scaled value: logical range mapped onto the physical range.
    const int64_t value = v->logicalMin < 0 ? SignedField(e.rawValue, v->reportSize) : int64_t(e.rawValue);
    int64_t pMin = v->physicalMin, pMax = v->physicalMax;
    if (pMin == 0 && pMax == 0) {
      pMin = v->logicalMin;
      pMax = v->logicalMax;
    }
    if (v->logicalMax <= v->logicalMin || pMax < pMin) {
      e.status = kHidpStatusBadLogPhyValues;
    } else if (value < v->logicalMin || value > v->logicalMax) {
      e.status = kHidpStatusValueOutOfRange;
    } else {
      e.scaledValue = ClampI32((value - v->logicalMin) * (pMax - pMin) / (int64_t(v->logicalMax) - v->logicalMin) + pMin);
    }
    e.dataSet = true;
  }
  return true;
}

}  // namespace korvale
