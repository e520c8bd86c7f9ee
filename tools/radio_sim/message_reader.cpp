#include "tools/radio_sim/message_reader.h"

#include <algorithm>
#include <utility>

namespace vexo::sim {

namespace {

// How far `have` agrees with the fixed text `want`: true while every byte so
// far matches.
template <typename Text>
bool PrefixOf(std::span<const std::uint8_t> have, const Text& want) {
  std::size_t n = std::min(have.size(), std::size(want));
  for (std::size_t i = 0; i < n; ++i) {
    if (have[i] != static_cast<std::uint8_t>(want[i])) return false;
  }
  return true;
}

bool IsDigit(std::uint8_t b) {
  return b >= '0' && b <= '9';
}

}  // namespace

void MessageReader::Push(std::span<const std::uint8_t> bytes, SimTime now, int rate) {
  if (bytes.empty()) return;
  if (!buffer_.empty() && rate != rate_) Abandon("rate changed");
  rate_ = rate;
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  times_.insert(times_.end(), bytes.size(), now);
  Scan(false);
}

void MessageReader::Expire(SimTime now) {
  std::optional<SimTime> deadline = Deadline();
  if (!deadline || now < *deadline) return;
  Scan(true);
  if (!buffer_.empty()) Emit(std::nullopt, buffer_.size(), "incomplete");
}

void MessageReader::Abandon(std::string_view reason) {
  if (!buffer_.empty()) Emit(std::nullopt, buffer_.size(), reason);
}

std::optional<SimTime> MessageReader::Deadline() const {
  if (buffer_.empty()) return std::nullopt;
  return times_.back() + gap_;
}

std::vector<Framed> MessageReader::Take() {
  return std::exchange(out_, {});
}

MessageReader::Match MessageReader::Classify(bool silent) const {
  std::span<const std::uint8_t> have(buffer_);
  auto fixed = [&](MessageKind kind, const auto& text) {
    std::size_t length = std::size(text);
    if (!PrefixOf(have, text)) return Match{Verdict::invalid, kind, length};
    return Match{have.size() >= length ? Verdict::complete : Verdict::need_more, kind, length};
  };
  auto sized = [&](MessageKind kind, std::size_t length) {
    return Match{have.size() >= length ? Verdict::complete : Verdict::need_more, kind, length};
  };

  switch (have[0]) {
    case kProbeA[0]: {
      Match a = fixed(MessageKind::probe_a, kProbeA);
      return a.verdict != Verdict::invalid ? a : fixed(MessageKind::probe_b, kProbeB);
    }
    case 'F':
      return fixed(MessageKind::firmwar, kFirmwarText);
    case 'D': {
      Match downing = fixed(MessageKind::downing, kDowningText);
      return downing.verdict != Verdict::invalid ? downing
                                                 : fixed(MessageKind::erase_all, kEraseText);
    }
    case kIdentityLead:
      return sized(MessageKind::identity, 1);
    case kEchoLead: {
      if (have.size() < 2) return Match{Verdict::need_more};
      if (have[1] != kBpsSetText[1]) return sized(MessageKind::echo_test, kEchoBytes);
      Match plain = fixed(MessageKind::bpsset_plain, kBpsSetText);
      if (plain.verdict != Verdict::complete) return plain;
      if (have.size() > kBpsSetText.size()) {
        if (IsDigit(have[kBpsSetText.size()])) {
          return Match{Verdict::complete, MessageKind::bpsset, kBpsSetText.size() + 1};
        }
        return plain;
      }
      return silent ? plain : Match{Verdict::need_more};
    }
    case kProgramLead: {
      Match m = sized(MessageKind::program, kProgramBytes);
      if (m.verdict == Verdict::complete && std::all_of(have.begin() + 1, have.begin() + 5,
                                                        [](std::uint8_t b) { return b == 0xFF; })) {
        m.kind = MessageKind::closing;
      }
      return m;
    }
    case kFinishLead:
      return sized(MessageKind::finish, 1);
    case kReadLead: {
      Match m = sized(MessageKind::read_request, kReadRequestBytes);
      if (m.verdict == Verdict::complete && have[3] != kReadTail) m.verdict = Verdict::invalid;
      return m;
    }
    default:
      return Match{Verdict::invalid};
  }
}

void MessageReader::Scan(bool silent) {
  while (!buffer_.empty()) {
    Match m = Classify(silent);
    if (m.verdict == Verdict::need_more) return;
    if (m.verdict == Verdict::complete) {
      Emit(m.kind, m.length, {});
    } else {
      Emit(std::nullopt, 1, "no such message");
    }
  }
}

void MessageReader::Emit(std::optional<MessageKind> kind, std::size_t length,
                         std::string_view reason) {
  // Consecutive unreadable bytes go out as one run.
  if (!kind && !out_.empty() && !out_.back().kind && out_.back().drop_reason == reason &&
      out_.back().rate == rate_) {
    out_.back().bytes.insert(out_.back().bytes.end(), buffer_.begin(), buffer_.begin() + length);
    out_.back().last = times_[length - 1];
  } else {
    Framed f;
    f.kind = kind;
    f.bytes.assign(buffer_.begin(), buffer_.begin() + length);
    f.first = times_.front();
    f.last = times_[length - 1];
    f.rate = rate_;
    f.drop_reason = reason;
    out_.push_back(std::move(f));
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + length);
  times_.erase(times_.begin(), times_.begin() + length);
}

}  // namespace vexo::sim
