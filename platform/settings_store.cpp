#include "platform/settings_store.h"

#include <cstdio>
#include <limits>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace korvale {
namespace fs = std::filesystem;

namespace {
constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

struct Parser {
  std::string_view s;
  std::size_t i = 0;

  void Skip() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  }
  bool Eat(char c) {
    Skip();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  static void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  bool Hex4(uint32_t& v) {
    if (i + 4 > s.size()) return false;
    v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s[i++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<uint32_t>(c - 'A' + 10);
      else return false;
    }
    return true;
  }
  bool String(std::string& out) {
    if (!Eat('"')) return false;
    while (i < s.size()) {
      char c = s[i++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i >= s.size()) return false;
      char e = s[i++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t cp;
          if (!Hex4(cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            uint32_t lo;
            if (i + 2 > s.size() || s[i] != '\\' || s[i + 1] != 'u') return false;
            i += 2;
            if (!Hex4(lo) || lo < 0xDC00 || lo > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
          }
          PutUtf8(out, cp);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }
  bool Number(int64_t& v) {
    Skip();
    bool neg = false;
    if (i < s.size() && s[i] == '-') {
      neg = true;
      ++i;
    }
    std::size_t start = i;
    uint64_t x = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      x = x * 10 + static_cast<uint64_t>(s[i] - '0');
      if (x > (uint64_t{1} << 40)) return false;  // far beyond any value kept here
    }
    if (i == start) return false;
    v = neg ? -static_cast<int64_t>(x) : static_cast<int64_t>(x);
    return true;
  }
};
}  // namespace

std::optional<SettingsStore::Map> SettingsStore::Parse(std::string_view text) {
  Parser p{text};
  Map m;
  if (!p.Eat('{')) return std::nullopt;
  if (!p.Eat('}')) {
    do {
      std::string key;
      if (!p.String(key) || !p.Eat(':')) return std::nullopt;
      p.Skip();
      if (p.i < text.size() && text[p.i] == '"') {
        std::string v;
        if (!p.String(v)) return std::nullopt;
        m.insert_or_assign(std::move(key), std::move(v));
      } else {
        int64_t v;
        if (!p.Number(v)) return std::nullopt;
        m.insert_or_assign(std::move(key), v);
      }
    } while (p.Eat(','));
    if (!p.Eat('}')) return std::nullopt;
  }
  p.Skip();
  if (p.i != text.size()) return std::nullopt;
  return m;
}

std::string SettingsStore::Format(const Map& values) {
  auto quote = [](const std::string& t) {
    std::string out = "\"";
    for (char c : t) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
          } else {
            out += c;
          }
      }
    }
    return out + "\"";
  };
  std::string out = "{\n";
  bool first = true;
  for (const auto& [k, v] : values) {
    if (!first) out += ",\n";
    first = false;
    out += "   " + quote(k) + " : ";
    if (const auto* n = std::get_if<int64_t>(&v))
      out += std::to_string(*n);
    else
      out += quote(std::get<std::string>(v));
  }
  out += "\n}\n";
  return out;
}

fs::path SettingsStore::DefaultPath() { return XdgConfigHome() / "KORVALE TX730max" / "settings.json"; }

SettingsStore::SettingsStore(fs::path file) : file_(std::move(file)) {}

SettingsStore::Map SettingsStore::Load() const {
  std::optional<std::string> bytes = ReadFileBytes(file_, kMaxSettingsBytes);
  if (!bytes) return {};
  std::optional<Map> m = Parse(*bytes);
  if (!m) {
    Trace("settings: %s is not a settings file, ignored", file_.c_str());
    return {};
  }
  return *m;
}

std::optional<uint32_t> SettingsStore::ReadDword(std::string_view name) const {
  Map m = Load();
  auto it = m.find(name);
  if (it == m.end()) return std::nullopt;
  const auto* n = std::get_if<int64_t>(&it->second);
  if (!n || *n < 0 || *n > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(*n);
}

std::optional<std::string> SettingsStore::ReadString(std::string_view name) const {
  Map m = Load();
  auto it = m.find(name);
  if (it == m.end()) return std::nullopt;
  if (const auto* n = std::get_if<int64_t>(&it->second)) return std::to_string(*n);
  return std::get<std::string>(it->second);
}

bool SettingsStore::Store(std::string_view name, Value value) {
  if (!EnsureDir(file_.parent_path(), 0700)) {
    Trace("settings: cannot create %s", file_.parent_path().c_str());
    return false;
  }
  Map m = Load();
  m.insert_or_assign(std::string(name), std::move(value));
  return WriteFileAtomic(file_, Format(m));
}

bool SettingsStore::WriteDword(std::string_view name, uint32_t value) {
  return Store(name, static_cast<int64_t>(value));
}

bool SettingsStore::WriteString(std::string_view name, std::string_view value) {
  return Store(name, std::string(value));
}

}  // namespace korvale
