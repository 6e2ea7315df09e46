#include "profiles/styled_json.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvale {
namespace {

constexpr std::size_t kRightMargin = 74;
constexpr std::size_t kIndentWidth = 3;

bool HasComment(const Json::Value& v) {
  return v.hasComment(Json::commentBefore) || v.hasComment(Json::commentAfterOnSameLine) ||
         v.hasComment(Json::commentAfter);
}

void AppendEscape16(std::string& out, uint32_t unit) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const char buf[6] = {'\\', 'u', kDigits[(unit >> 12) & 0xF], kDigits[(unit >> 8) & 0xF],
                       kDigits[(unit >> 4) & 0xF], kDigits[unit & 0xF]};
  out.append(buf, sizeof buf);
}

constexpr uint32_t kReplacement = 0xFFFD;

// The code point at p, read the way the file format's writer reads it: the
// lead byte alone says the length (below 0xE0 two bytes, below 0xF0 three,
// below 0xF8 four) and the bytes after it are taken without a check. A
// sequence cut short by the end, an overlong form, a surrogate, and a lead
// byte from 0xF8 give U+FFFD; a cut or 0xF8 lead consumes one byte only.
uint32_t NextCodePoint(const unsigned char*& p, const unsigned char* end) {
  const uint32_t lead = *p;
  const auto left = static_cast<std::size_t>(end - p);
  const auto low6 = [&](std::size_t k) { return static_cast<uint32_t>(p[k]) & 0x3F; };
  uint32_t cp;
  if (lead < 0xE0) {
    if (left < 2) return ++p, kReplacement;
    cp = (lead & 0x1F) << 6 | low6(1);
    p += 2;
    return cp < 0x80 ? kReplacement : cp;
  }
  if (lead < 0xF0) {
    if (left < 3) return ++p, kReplacement;
    cp = (lead & 0x0F) << 12 | low6(1) << 6 | low6(2);
    p += 3;
    return (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) ? kReplacement : cp;
  }
  if (lead < 0xF8) {
    if (left < 4) return ++p, kReplacement;
    cp = (lead & 0x07) << 18 | low6(1) << 12 | low6(2) << 6 | low6(3);
    p += 4;
    return cp < 0x10000 ? kReplacement : cp;
  }
  ++p;
  return kReplacement;
}

// Everything but printable ASCII, the quote and the backslash is escaped;
// text outside ASCII as \u escapes (surrogate pairs past U+FFFF).
constexpr std::array<bool, 256> kNeedsEscape = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c) t[static_cast<std::size_t>(c)] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
  return t;
}();
bool NeedsEscape(unsigned char c) { return kNeedsEscape[c]; }

void AppendQuoted(std::string& out, const char* begin, const char* end) {
  out += '"';
  const auto* p = reinterpret_cast<const unsigned char*>(begin);
  const auto* e = reinterpret_cast<const unsigned char*>(end);
  while (p < e) {
    const unsigned char* run = p;
    while (p < e && !NeedsEscape(*p)) ++p;
    out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
    if (p == e) break;
    const char* named = nullptr;
    switch (*p) {
      case '"': named = "\\\""; break;
      case '\\': named = "\\\\"; break;
      case '\b': named = "\\b"; break;
      case '\f': named = "\\f"; break;
      case '\n': named = "\\n"; break;
      case '\r': named = "\\r"; break;
      case '\t': named = "\\t"; break;
      default: break;
    }
    if (named != nullptr) {
      out.append(named, 2);
      ++p;
    } else if (*p < 0x20) {
      AppendEscape16(out, *p++);
    } else {
      const uint32_t cp = NextCodePoint(p, e);
      if (cp < 0x10000) {
        AppendEscape16(out, cp);
      } else {
        // Values past U+10FFFF keep only the bits a pair can carry.
        const uint32_t v = cp - 0x10000;
        AppendEscape16(out, 0xD800 + ((v >> 10) & 0x3FF));
        AppendEscape16(out, 0xDC00 + (v & 0x3FF));
      }
    }
  }
  out += '"';
}

// Seventeen significant digits, and ".0" on a whole number so it reads back
// as a real; the non-finite values in the forms the parser takes back.
void AppendReal(std::string& out, double d) {
  if (std::isnan(d)) {
    out += "null";
    return;
  }
  if (std::isinf(d)) {
    out += d < 0 ? "-1e+9999" : "1e+9999";
    return;
  }
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 17);
  const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
  out += text;
  if (text.find_first_of(".e") == std::string_view::npos) out += ".0";
}

template <class Int>
void AppendInt(std::string& out, Int v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

class StyledText {
 public:
  explicit StyledText(std::string& out) : out_(out) {}

  bool Value(const Json::Value& v, std::size_t depth) {
    if (HasComment(v)) return false;
    const Json::ValueType type = v.type();
    if (type == Json::arrayValue && v.size() != 0) return Array(v, depth);
    if (type == Json::objectValue && v.size() != 0) return Object(v, depth);
    Inline(v, type);
    return true;
  }

 private:
  // Scalars and empty containers.
  void Inline(const Json::Value& v, Json::ValueType type) {
    switch (type) {
      case Json::nullValue: out_ += "null"; break;
      case Json::intValue: AppendInt(out_, v.asLargestInt()); break;
      case Json::uintValue: AppendInt(out_, v.asLargestUInt()); break;
      case Json::realValue: AppendReal(out_, v.asDouble()); break;
      case Json::booleanValue: out_ += v.asBool() ? "true" : "false"; break;
      case Json::stringValue: {
        const char* b = nullptr;
        const char* e = nullptr;
        if (v.getString(&b, &e)) AppendQuoted(out_, b, e);
        break;
      }
      case Json::arrayValue: out_ += "[]"; break;
      case Json::objectValue: out_ += "{}"; break;
    }
  }

  void NewLine(std::size_t depth) {
    out_ += '\n';
    out_.append(depth * kIndentWidth, ' ');
  }

  // Calls f(element) for indexes 0..size-1 in order; an array set by index
  // may lack elements below its last one, and those are null. Stops at the
  // first false.
  template <class F>
  static bool EachElement(const Json::Value& v, F&& f) {
    const Json::ArrayIndex n = v.size();
    auto it = v.begin();
    const auto end = v.end();
    for (Json::ArrayIndex i = 0; i < n; ++i) {
      if (it != end && it.index() == i) {
        if (!f(*it)) return false;
        ++it;
      } else if (!f(Json::Value::nullSingleton())) {
        return false;
      }
    }
    return true;
  }

  bool Array(const Json::Value& v, std::size_t depth) {
    const Json::ArrayIndex n = v.size();
    if (std::size_t{n} * 3 < kRightMargin) {
      // One line, "[ a, b ]", when no element is a non-empty container and
      // the line stays short of the margin.
      const std::size_t start = out_.size();
      out_ += "[ ";
      bool first = true;
      bool comment = false;
      const bool oneLine = EachElement(v, [&](const Json::Value& e) {
        if (HasComment(e)) {
          comment = true;
          return false;
        }
        const Json::ValueType type = e.type();
        if ((type == Json::arrayValue || type == Json::objectValue) && e.size() != 0) return false;
        if (!first) out_ += ", ";
        first = false;
        Inline(e, type);
        return out_.size() - start + 2 < kRightMargin;
      });
      if (comment) return false;
      if (oneLine) {
        out_ += " ]";
        return true;
      }
      out_.resize(start);
    }
    out_ += '[';
    bool first = true;
    if (!EachElement(v, [&](const Json::Value& e) {
          if (!first) out_ += ',';
          first = false;
          NewLine(depth + 1);
          return Value(e, depth + 1);
        }))
      return false;
    NewLine(depth);
    out_ += ']';
    return true;
  }

  bool Object(const Json::Value& v, std::size_t depth) {
    out_ += '{';
    bool first = true;
    for (auto it = v.begin(), end = v.end(); it != end; ++it) {
      if (!first) out_ += ',';
      first = false;
      NewLine(depth + 1);
      const char* nameEnd = nullptr;
      const char* name = it.memberName(&nameEnd);
      if (name == nullptr) name = nameEnd = "";
      // The name ends at its first zero byte, as the format's writer takes it.
      const void* nul = std::memchr(name, '\0', static_cast<std::size_t>(nameEnd - name));
      AppendQuoted(out_, name, nul != nullptr ? static_cast<const char*>(nul) : nameEnd);
      out_ += " : ";
      if (!Value(*it, depth + 1)) return false;
    }
    NewLine(depth);
    out_ += '}';
    return true;
  }

  std::string& out_;
};

}  // namespace

bool AppendStyledJson(std::string& out, const Json::Value& value) {
  const std::size_t start = out.size();
  if (!StyledText(out).Value(value, 0)) {
    out.resize(start);
    return false;
  }
  out += '\n';
  return true;
}

}  // namespace korvale
