// The little JSON the simulator's report needs: quoting on the way out and a
// strict reader of objects, arrays, strings, numbers, true/false/null on the
// way back (for tests and tools that check a report). No exceptions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexo::sim {

struct JsonValue {
  enum class Type { null, boolean, number, string, array, object };
  Type type = Type::null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;                            // array
  std::vector<std::pair<std::string, JsonValue>> members;  // object, in order

  // The member named key of an object, or nullptr.
  const JsonValue* Find(std::string_view key) const;
};

// The text as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view text);
// The whole text as one JSON value; nullopt on any syntax error.
std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace vexo::sim
