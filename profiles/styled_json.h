#pragma once
// The styled JSON layout of our files (three-space indent, arrays on one line
// while they fit a right margin of 74), written in one pass into one string.
// Its bytes are those of jsoncpp's Json::StyledWriter, which users' files and
// other tools were made with; that writer builds a string per array element
// and is several times slower.
#include <json/value.h>

#include <string>

namespace korvale {

// Appends the styled text of value and its line end. False, with out as it
// was, when a value carries a comment: comments are no part of our files, and
// jsoncpp's writer lays them out in its own way.
bool AppendStyledJson(std::string& out, const Json::Value& value);

}  // namespace korvale
