// The JSON the coach's API takes and gives: objects of strings only, as its
// requests are ({"key": "R"}), read strictly; and strings written safely.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// The object's members; none when `text` is not one object whose values are
// all strings (nesting, numbers, a repeated name or anything after it).
std::optional<std::map<std::string, std::string>> ParseFlatJsonObject(std::string_view text);

// `text` as a JSON string, quotes included.
std::string JsonString(std::string_view text);
