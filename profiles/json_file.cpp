#include "profiles/json_file.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>

#include "platform/atomic_file.h"
#include "platform/trace.h"
#include "profiles/styled_json.h"

namespace korvale {
namespace fs = std::filesystem;

Json::Value ParseJsonText(std::string_view text) {
  Json::CharReaderBuilder builder;
  builder["allowComments"] = true;
  builder["collectComments"] = true;
  // Deep nesting is never a document of ours; keep the parser's recursion short.
  builder["stackLimit"] = 200;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  try {
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) return Json::Value();
  } catch (const std::exception&) {
    // jsoncpp throws on exceeding the stack limit.
    return Json::Value();
  }
  return root;
}

Json::Value ParseJsonFileBytes(const std::optional<std::string>& bytes, const fs::path& path) {
  if (!bytes) {
    Trace("readjsonFile: cannot read %s", path.c_str());
    return Json::Value();
  }
  // The text ends at the first zero byte, as a C string would.
  std::string_view text(*bytes);
  if (auto z = text.find('\0'); z != std::string_view::npos) text = text.substr(0, z);
  if (text.empty()) {
    Trace("readjsonFile: empty file %s", path.c_str());
    return Json::Value();
  }
  Json::Value v = ParseJsonText(text);
  if (v.isNull()) Trace("readjsonFile: not valid JSON: %s", path.c_str());
  return v;
}

Json::Value ReadJsonFile(const fs::path& path) {
  return ParseJsonFileBytes(ReadFileBytes(path, kMaxJsonFileBytes), path);
}

std::string StyledJsonText(const Json::Value& value, std::size_t sizeHint) {
  std::string text;
  text.reserve(sizeHint != 0 ? sizeHint + sizeHint / 8 + 64 : 4096);
  if (!AppendStyledJson(text, value)) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    // Comments (a hand-edited file) keep jsoncpp's own layout of them.
    Json::StyledWriter writer;
    text = writer.write(value);
#pragma GCC diagnostic pop
  }
  text += '\n';
  return text;
}

bool TryWriteJsonFile(const fs::path& path, const Json::Value& value) {
  if (path.empty()) {
    Trace("writejsonFile: empty path");
    return false;
  }
  if (!WriteFileAtomic(path, StyledJsonText(value))) {
    Trace("writejsonFile: %s not written, old file kept", path.c_str());
    return false;
  }
  return true;
}

int WriteJsonFile(const fs::path& path, const Json::Value& value) {
  TryWriteJsonFile(path, value);
  return 0;
}

namespace {
const Json::Value& NullValue() {
  static const Json::Value null;
  return null;
}
}  // namespace

const Json::Value& JsonMember(const Json::Value& v, const char* key) {
  if (!v.isObject()) return NullValue();
  const Json::Value* found = v.find(key, key + std::char_traits<char>::length(key));
  return found ? *found : NullValue();
}

const Json::Value& JsonElement(const Json::Value& v, std::size_t i) {
  if (!v.isArray() || i >= v.size()) return NullValue();
  return v[static_cast<Json::ArrayIndex>(i)];
}

int32_t JsonInt(const Json::Value& v) {
  constexpr int64_t lo = std::numeric_limits<int32_t>::min();
  constexpr int64_t hi = std::numeric_limits<int32_t>::max();
  switch (v.type()) {
    case Json::intValue: {
      int64_t x = v.asLargestInt();
      return (x >= lo && x <= hi) ? static_cast<int32_t>(x) : 0;
    }
    case Json::uintValue: {
      uint64_t x = v.asLargestUInt();
      return x <= static_cast<uint64_t>(hi) ? static_cast<int32_t>(x) : 0;
    }
    case Json::realValue: {
      double d = v.asDouble();
      if (!std::isfinite(d) || d <= static_cast<double>(lo) - 1.0 || d >= static_cast<double>(hi) + 1.0)
        return 0;
      return static_cast<int32_t>(d);
    }
    case Json::booleanValue:
      return v.asBool() ? 1 : 0;
    default:
      return 0;
  }
}

bool JsonFlag(const Json::Value& v) {
  switch (v.type()) {
    case Json::booleanValue:
      return v.asBool();
    case Json::intValue:
      return v.asLargestInt() != 0;
    case Json::uintValue:
      return v.asLargestUInt() != 0;
    case Json::realValue: {
      double d = v.asDouble();
      return d != 0.0 && !std::isnan(d);
    }
    default:
      return false;
  }
}

std::string JsonString(const Json::Value& v) { return v.isString() ? v.asString() : std::string(); }

std::size_t JsonSize(const Json::Value& v) { return v.isArray() ? v.size() : 0; }

Json::Value& JsonObjectAt(Json::Value& v, const char* key) {
  if (!v.isObject()) v = Json::Value(Json::objectValue);
  return v[key];
}

Json::Value& JsonArrayAt(Json::Value& v, std::size_t i) {
  if (!v.isArray()) v = Json::Value(Json::arrayValue);
  return v[static_cast<Json::ArrayIndex>(i)];
}

// --- strings ---

namespace {
// Length of the valid UTF-8 sequence at s[i], or 0 when invalid.
std::size_t Utf8SeqLen(std::string_view s, std::size_t i) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  if (c < 0x80) return 1;
  std::size_t n;
  uint32_t cp;
  if ((c & 0xE0) == 0xC0) { n = 2; cp = c & 0x1F; }
  else if ((c & 0xF0) == 0xE0) { n = 3; cp = c & 0x0F; }
  else if ((c & 0xF8) == 0xF0) { n = 4; cp = c & 0x07; }
  else return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are invalid.
  if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

std::string SanitizeUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = Utf8SeqLen(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  return out;
}
}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = Utf8SeqLen(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string Utf8ToWide(std::string_view utf8) { return SanitizeUtf8(utf8); }
std::string WideToUtf8(std::string_view text) { return SanitizeUtf8(text); }
std::string WideToAnsi(std::string_view text) { return SanitizeUtf8(text); }

std::string MakeTimeStampName() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[200];
  std::snprintf(buf, sizeof buf, "%d_%02d_%02d_%02d_%02d_%02d_%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return buf;
}

std::string ToHex8(uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return out;
}

IndexedName SplitIndexedName(std::string_view name) {
  IndexedName r;
  std::size_t us = name.rfind('_');
  if (us == std::string_view::npos) return r;
  r.ok = true;
  r.prefix = std::string(name.substr(0, us + 1));
  std::string_view rest = name.substr(us + 1);
  std::size_t i = 0;
  while (i < rest.size() && std::isspace(static_cast<unsigned char>(rest[i]))) ++i;
  bool neg = false;
  if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) neg = rest[i++] == '-';
  int64_t v = 0;
  for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
    v = v * 10 + (rest[i] - '0');
    if (v > (int64_t{1} << 32)) v = int64_t{1} << 32;  // saturate, like the C conversion
  }
  if (neg) v = -v;
  if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) v = std::numeric_limits<int32_t>::min();
  r.number = static_cast<int32_t>(v);
  return r;
}

bool IsBlankText(std::string_view text) {
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string FileTitleOf(const fs::path& path) { return path.stem().string(); }

std::string RemoveChar(std::string text, char ch) {
  std::erase(text, ch);
  return text;
}

}  // namespace korvale
