#pragma once
// Whole-file JSON reading and writing, the typed accessors every reader goes
// through, and the small string helpers shared across the program.
//
// The accessors never throw: a value of the wrong JSON type, or a number that
// does not fit 32 bits, reads as 0 (false, empty). jsoncpp's own asInt() and
// operator[] throw on such input, so nothing outside this file calls them on
// data that came from a file.
#include <json/value.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace korvale {

// Files larger than this are not JSON documents of ours; they read as null.
inline constexpr std::size_t kMaxJsonFileBytes = 8u << 20;

// The parsed document; null when the file is missing, unreadable, empty, too
// large or not valid JSON (a trace says which).
Json::Value ReadJsonFile(const std::filesystem::path& path);

// The same for bytes already read (nullopt: the file could not be read);
// `path` only names the file in traces.
Json::Value ParseJsonFileBytes(const std::optional<std::string>& bytes, const std::filesystem::path& path);

// Writes the value in styled form followed by a line end, atomically. Always
// returns 0; a failed write leaves the old file untouched and leaves a trace.
int WriteJsonFile(const std::filesystem::path& path, const Json::Value& value);
// The same, for callers that want to know whether the file was written.
bool TryWriteJsonFile(const std::filesystem::path& path, const Json::Value& value);
// The exact bytes WriteJsonFile puts on disk: the styled layout and one more
// line end. sizeHint (the text's expected length, 0 when unknown) sizes the
// string once.
std::string StyledJsonText(const Json::Value& value, std::size_t sizeHint = 0);
// Parses text (comments allowed); null on failure.
Json::Value ParseJsonText(std::string_view text);

// --- typed reads: absent, null and wrong-typed values all read as zero ---

// Member of an object; a null value when v is no object or lacks the key.
const Json::Value& JsonMember(const Json::Value& v, const char* key);
// Element of an array; a null value when v is no array or i is past its end.
const Json::Value& JsonElement(const Json::Value& v, std::size_t i);
// Integer in the 32-bit signed range (booleans read 0/1, reals truncate);
// anything else reads 0.
int32_t JsonInt(const Json::Value& v);
// Booleans as they are; numbers are true when non-zero; anything else false.
bool JsonFlag(const Json::Value& v);
// Strings as they are; anything else empty.
std::string JsonString(const Json::Value& v);
// Element count of an array; 0 for anything else.
std::size_t JsonSize(const Json::Value& v);

// Calls f(i, element) for i from 0 to n - 1 in order; an element that is
// missing (past the end, a hole in an array set by index, or arr no array)
// is null. One walk instead of a lookup per index.
template <class F>
void ForEachJsonElement(const Json::Value& arr, std::size_t n, F&& f) {
  if (!arr.isArray()) {
    for (std::size_t i = 0; i < n; ++i) f(i, Json::Value::nullSingleton());
    return;
  }
  auto it = arr.begin();
  const auto end = arr.end();
  for (std::size_t i = 0; i < n; ++i) {
    if (it != end && it.index() == i) {
      f(i, *it);
      ++it;
    } else {
      f(i, Json::Value::nullSingleton());
    }
  }
}

// --- writes that repair the shape they need instead of throwing ---

// v[key], turning v into an object first when it is not one.
Json::Value& JsonObjectAt(Json::Value& v, const char* key);
// v[i], turning v into an array first when it is not one. Indexes at or past
// kMaxJsonIndex are refused by the callers before they get here.
Json::Value& JsonArrayAt(Json::Value& v, std::size_t i);
inline constexpr std::size_t kMaxJsonIndex = 4096;

// Calls f(i, JsonArrayAt(arr, i)) for i from 0 to n - 1, walking the array
// once instead of looking each index up.
template <class F>
void ForEachJsonElementToWrite(Json::Value& arr, std::size_t n, F&& f) {
  if (n == 0) return;
  if (!arr.isArray()) arr = Json::Value(Json::arrayValue);
  // Adding a missing element leaves the walk's place valid.
  auto it = arr.begin();
  for (std::size_t i = 0; i < n; ++i) {
    if (it != arr.end() && it.index() == i) {
      f(i, *it);
      ++it;
    } else {
      f(i, arr[static_cast<Json::ArrayIndex>(i)]);
    }
  }
}

// --- string helpers ---

// Text is UTF-8 throughout; these keep the names of the wide-string design.
// Invalid UTF-8 sequences become U+FFFD so every string stored is valid.
std::string Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);
std::string WideToAnsi(std::string_view text);

// Local time as "YYYY_MM_DD_hh_mm_ss_mmm".
std::string MakeTimeStampName();
// Eight upper-case hexadecimal digits, most significant first.
std::string ToHex8(uint32_t value);

struct IndexedName {
  bool ok = false;
  std::string prefix;  // up to and including the last '_'
  int32_t number = 0;
};
// Splits "light_07" into "light_" and 7; a name without '_' gives ok=false.
// The number is read like wcstol: optional sign and leading digits, 0 when none.
IndexedName SplitIndexedName(std::string_view name);

bool IsBlankText(std::string_view text);
// File name without folder and extension.
std::string FileTitleOf(const std::filesystem::path& path);
std::string RemoveChar(std::string text, char ch);

}  // namespace korvale
