// Any parsed input through our styled writer and jsoncpp's StyledWriter: the
// bytes must be the same, or ours must have declined a value with comments.
#include <json/reader.h>
#include <json/writer.h>
#include <stdlib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "profiles/json_file.h"
#include "profiles/styled_json.h"

namespace {

std::string Reference(const Json::Value& v) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  Json::StyledWriter writer;
  return writer.write(v);
#pragma GCC diagnostic pop
}

void Compare(const Json::Value& v) {
  std::string ours;
  const std::string want = Reference(v);
  if (korvale::AppendStyledJson(ours, v) ? ours != want : korvale::StyledJsonText(v) != want + "\n") ::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // As the program reads files (comments kept).
  Compare(korvale::ParseJsonText(text));
  // A looser reader reaches NaN, the infinities and any root value.
  static const std::unique_ptr<Json::CharReader> loose = [] {
    Json::CharReaderBuilder b;
    b["allowSpecialFloats"] = true;
    b["allowSingleQuotes"] = true;
    b["collectComments"] = false;
    b["stackLimit"] = 200;
    return std::unique_ptr<Json::CharReader>(b.newCharReader());
  }();
  Json::Value v;
  std::string errors;
  try {
    if (loose->parse(text.data(), text.data() + text.size(), &v, &errors)) Compare(v);
  } catch (const std::exception&) {
    // Past the nesting limit.
  }
  return 0;
}
