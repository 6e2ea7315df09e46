#include "ui/ui_types.h"

#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace korvale {

namespace {
std::string VFormat(const char* fmt, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::vector<char> buf(static_cast<std::size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), fmt, ap);
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}
}  // namespace

int CDuiString::CompareNoCase(std::string_view other) const {
  std::size_t n = std::min(size(), other.size());
  for (std::size_t i = 0; i < n; ++i) {
    int a = std::tolower(static_cast<unsigned char>((*this)[i]));
    int b = std::tolower(static_cast<unsigned char>(other[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  if (size() == other.size()) return 0;
  return size() < other.size() ? -1 : 1;
}

CDuiString& CDuiString::MakeLower() {
  for (char& c : *this) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return *this;
}

CDuiString& CDuiString::MakeUpper() {
  for (char& c : *this) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return *this;
}

int CDuiString::Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  assign(VFormat(fmt, ap));
  va_end(ap);
  return GetLength();
}

CDuiString CDuiString::Printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  CDuiString s(VFormat(fmt, ap));
  va_end(ap);
  return s;
}

std::optional<int> IndexAfterPrefix(std::string_view name, std::string_view prefix, bool exact) {
  if (name.size() <= prefix.size()) return std::nullopt;
  const std::string_view head = name.substr(0, prefix.size());
  if (exact ? head != prefix : !EqualsNoCase(head, prefix)) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size());
  int n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc() || end != digits.data() + digits.size() || n < 0) return std::nullopt;
  return n;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string ToLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

UiRect UiRect::Spanning(UiPoint a, UiPoint b) {
  return UiRect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

bool ParseColor(std::string_view text, DWORD* out) {
  std::string_view s = Trim(text);
  if (!s.empty() && s.front() == '#') s.remove_prefix(1);
  else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
  if (s.size() != 8 && s.size() != 6) return false;
  DWORD v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc() || p != s.data() + s.size()) return false;
  if (s.size() == 6) v |= 0xFF000000u;
  *out = v;
  return true;
}

bool ParseInt(std::string_view text, int* out) {
  std::string_view s = Trim(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  int v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size()) return false;
  *out = v;
  return true;
}

namespace {
bool ParseInts(std::string_view text, int* values, int count) {
  int got = 0;
  std::string_view s = text;
  while (got < count) {
    std::size_t comma = s.find(',');
    std::string_view part = s.substr(0, comma);
    if (!ParseInt(part, &values[got])) return false;
    ++got;
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  for (int i = got; i < count; ++i) values[i] = 0;
  return got > 0;
}
}  // namespace

bool ParseRect(std::string_view text, UiRect* out) {
  int v[4];
  if (!ParseInts(text, v, 4)) return false;
  *out = UiRect{v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseSize(std::string_view text, UiSize* out) {
  int v[2];
  if (!ParseInts(text, v, 2)) return false;
  *out = UiSize{v[0], v[1]};
  return true;
}

bool ParseBool(std::string_view text) {
  std::string_view s = Trim(text);
  return EqualsNoCase(s, "true") || s == "1" || EqualsNoCase(s, "yes");
}

}  // namespace korvale
