#include "tools/radio_sim/json.h"

namespace vexo::sim {

std::string JsonQuote(std::string_view text) {
  return nlohmann::json(std::string(text))
      .dump(-1, ' ', /*ensure_ascii=*/true, nlohmann::json::error_handler_t::replace);
}

std::optional<nlohmann::json> ParseJson(std::string_view text) {
  nlohmann::json json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return std::nullopt;
  return json;
}

const nlohmann::json* JsonMember(const nlohmann::json& json, std::string_view key) {
  if (!json.is_object()) return nullptr;
  const auto found = json.find(key);
  return found == json.end() ? nullptr : &*found;
}

}  // namespace vexo::sim
