#include "history/chain_head.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "history/sha256.h"

namespace vexo {

std::string ChainHead::Text() const {
  return std::to_string(rows) + ":" + digest;
}

std::optional<ChainHead> ChainHead::Parse(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  ChainHead head;
  const char* first = text.data();
  const char* last = text.data() + colon;
  const auto [end, error] = std::from_chars(first, last, head.rows);
  if (error != std::errc() || end != last || head.rows < 0) return std::nullopt;
  std::string digest(text.substr(colon + 1));
  // A head copied by hand may come back in capitals.
  std::transform(digest.begin(), digest.end(), digest.begin(), [](char c) {
    return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  const bool hex = std::all_of(digest.begin(), digest.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
  });
  // An empty chain has no digest; any other has exactly one.
  if (!hex || digest.size() != (head.rows == 0 ? 0 : kSha256HexChars)) return std::nullopt;
  head.digest = std::move(digest);
  return head;
}

}  // namespace vexo
