#pragma once
// A profile section as a table: one row per JSON key says where its value
// lives in the record and how it is read, so reading and writing a section
// cannot name different keys. Reads never throw (the typed readers of
// json_file.h); writes store every value as a JSON integer.
#include <json/value.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <variant>

#include "profiles/json_file.h"

namespace korvale {

template <typename R>
struct JsonField {
  const char* key;
  std::variant<uint8_t R::*, uint16_t R::*, int32_t R::*> member;
  bool flag = false;  // any non-zero value (or true) reads as 1
};

// One 16-bit half of a packed word: words[word] >> shift.
struct JsonHalfField {
  const char* key;
  std::size_t word;
  unsigned shift;  // 0 or 16
};

namespace json_fields_detail {
// Calls f(index of the row) for every row whose key is name. A section is
// walked member by member rather than looked up key by key: a whole
// profile has thousands of fields, and each lookup costs several string
// comparisons through the library.
template <typename Row, typename F>
void ForRowsNamed(std::span<const Row> rows, const char* name, const char* nameEnd, F&& f) {
  const auto len = static_cast<std::size_t>(nameEnd - name);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const char* key = rows[i].key;
    if (std::char_traits<char>::length(key) == len && std::char_traits<char>::compare(key, name, len) == 0) f(i);
  }
}
}  // namespace json_fields_detail

template <typename R>
void ReadJsonFields(const Json::Value& section, R& record, std::span<const JsonField<R>> fields) {
  const auto read = [&](const JsonField<R>& f, const Json::Value& v) {
    std::visit(
        [&](auto member) {
          using T = std::remove_reference_t<decltype(record.*member)>;
          record.*member = f.flag ? static_cast<T>(JsonFlag(v) ? 1 : 0) : static_cast<T>(JsonInt(v));
        },
        f.member);
  };
  // Rows without a member read as null (zero). Tables have a few dozen rows at most.
  std::array<bool, 64> seen{};
  if (section.isObject() && fields.size() <= seen.size()) {
    for (auto it = section.begin(), end = section.end(); it != end; ++it) {
      const char* nameEnd = nullptr;
      const char* name = it.memberName(&nameEnd);
      if (name == nullptr) continue;
      json_fields_detail::ForRowsNamed(fields, name, nameEnd, [&](std::size_t i) {
        read(fields[i], *it);
        seen[i] = true;
      });
    }
  } else if (section.isObject()) {
    for (const JsonField<R>& f : fields) read(f, JsonMember(section, f.key));
    return;
  }
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (!seen[i]) read(fields[i], Json::Value::nullSingleton());
}

template <typename R>
void WriteJsonFields(Json::Value& section, const R& record, std::span<const JsonField<R>> fields) {
  const auto value = [&](const JsonField<R>& f) {
    return std::visit([&](auto member) { return static_cast<int>(record.*member); }, f.member);
  };
  // Members present are overwritten where they stand; missing ones are added.
  std::array<bool, 64> seen{};
  if (section.isObject() && fields.size() <= seen.size()) {
    for (auto it = section.begin(), end = section.end(); it != end; ++it) {
      const char* nameEnd = nullptr;
      const char* name = it.memberName(&nameEnd);
      if (name == nullptr) continue;
      json_fields_detail::ForRowsNamed(fields, name, nameEnd, [&](std::size_t i) {
        *it = value(fields[i]);
        seen[i] = true;
      });
    }
  }
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (!seen[i]) JsonObjectAt(section, fields[i].key) = value(fields[i]);
}

template <std::size_t N>
void ReadJsonHalves(const Json::Value& section, std::array<uint32_t, N>& words,
                    std::span<const JsonHalfField> fields) {
  for (const JsonHalfField& f : fields)
    words[f.word] |= (static_cast<uint32_t>(JsonInt(JsonMember(section, f.key))) & 0xFFFFu) << f.shift;
}

template <std::size_t N>
void WriteJsonHalves(Json::Value& section, const std::array<uint32_t, N>& words,
                     std::span<const JsonHalfField> fields) {
  for (const JsonHalfField& f : fields)
    JsonObjectAt(section, f.key) = static_cast<int>((words[f.word] >> f.shift) & 0xFFFFu);
}

}  // namespace korvale
