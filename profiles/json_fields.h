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

template <typename R>
void ReadJsonFields(const Json::Value& section, R& record, std::span<const JsonField<R>> fields) {
  for (const JsonField<R>& f : fields) {
    const Json::Value& v = JsonMember(section, f.key);
    std::visit(
        [&](auto member) {
          using T = std::remove_reference_t<decltype(record.*member)>;
          record.*member = f.flag ? static_cast<T>(JsonFlag(v) ? 1 : 0) : static_cast<T>(JsonInt(v));
        },
        f.member);
  }
}

template <typename R>
void WriteJsonFields(Json::Value& section, const R& record, std::span<const JsonField<R>> fields) {
  for (const JsonField<R>& f : fields)
    std::visit([&](auto member) { JsonObjectAt(section, f.key) = static_cast<int>(record.*member); }, f.member);
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
