// The simulator's JSON, on nlohmann-json: texts quoted for the report, which
// writes its own layout (one event a line), and a strict reader of a whole
// document for tests and tools that check a report. No exceptions.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace vexo::sim {

// The text as a JSON string literal, quotes included, in ASCII: other
// characters as \u escapes, bytes that are not UTF-8 as U+FFFD.
std::string JsonQuote(std::string_view text);
// The whole text as one JSON value; nullopt on anything JSON refuses.
std::optional<nlohmann::json> ParseJson(std::string_view text);
// The member key of an object, or nullptr (also when json is no object).
const nlohmann::json* JsonMember(const nlohmann::json& json, std::string_view key);

}  // namespace vexo::sim
