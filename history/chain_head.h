// The head of the history's chain: how many finished rows it holds and the
// digest of the newest. A file cannot prove that nothing was cut from its own
// end, so a copy of the head kept elsewhere (the job's end event, its log, a
// note) is what --history-check --expect-head compares against. A plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexo {

struct ChainHead {
  std::int64_t rows = 0;
  std::string digest;  // lower-case hex SHA-256; empty when no row is chained

  // "<rows>:<digest>", the one form it is shown and given back in.
  std::string Text() const;
  // The inverse of Text(); nullopt for anything else.
  static std::optional<ChainHead> Parse(std::string_view text);

  bool operator==(const ChainHead&) const = default;
};

}  // namespace vexo
