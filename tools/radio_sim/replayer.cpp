#include "tools/radio_sim/replayer.h"

#include <algorithm>
#include <utility>

#include "tools/radio_sim/json.h"

namespace vexo::sim {

namespace {

// After a difference, the host's bytes that follow within this silence still
// belong to what it sent instead, up to kMostBytesKept of them.
constexpr SimTime kCollectGap = std::chrono::milliseconds(50);
constexpr std::size_t kMostBytesKept = 1024;
// A host that closed the port with lines left has this long to open it again
// (beyond the pause the log shows before its next line).
constexpr SimTime kReopenGrace = std::chrono::seconds(5);

std::string LineNote(int line) {
  return "line " + std::to_string(line);
}

std::vector<std::uint8_t> Joined(std::span<const std::uint8_t> head,
                                 std::span<const std::uint8_t> tail) {
  std::vector<std::uint8_t> out(head.begin(), head.end());
  out.insert(out.end(), tail.begin(), tail.end());
  if (out.size() > kMostBytesKept) out.resize(kMostBytesKept);
  return out;
}

}  // namespace

Replayer::Replayer(ReplayLog log) : log_(std::move(log)) {
  if (!log_.exchanges.empty() && log_.exchanges.front().rate != rate_) {
    Schedule(SimTime(0), LineAction{LineAction::Type::set_rate, {}, log_.exchanges.front().rate});
  }
  Advance(SimTime(0));
}

void Replayer::Receive(std::span<const std::uint8_t> bytes, int host_rate, SimTime now) {
  if (bytes.empty()) return;
  if (difference_) {
    std::vector<std::uint8_t>& got = difference_->got;
    if (now <= collect_until_ && got.size() < kMostBytesKept) {
      got = Joined(got, bytes);
      collect_until_ = now + kCollectGap;
    } else {
      report_.Add({now,
                   std::string(kEventIgnored),
                   {},
                   host_rate,
                   {bytes.begin(), bytes.end()},
                   "after a difference"});
    }
    return;
  }
  const std::vector<LoggedExchange>& exchanges = log_.exchanges;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (next_ == exchanges.size()) {
      Differ(now, log_.line_count + 1, {}, Joined({}, bytes.subspan(i)),
             "bytes after the end of the log");
      return;
    }
    const LoggedExchange& e = exchanges[next_];
    std::span<const std::uint8_t> sent(e.sent);
    if (host_rate != 0 && host_rate != e.rate) {
      Differ(now, e.sent_line, e.sent, Joined(sent.first(matched_), bytes.subspan(i)),
             "sent at " + std::to_string(host_rate) + " baud where the log implies " +
                 std::to_string(e.rate));
      return;
    }
    if (bytes[i] != e.sent[matched_]) {
      Differ(now, e.sent_line, e.sent, Joined(sent.first(matched_), bytes.subspan(i)),
             "other bytes from byte " + std::to_string(matched_ + 1) + " on");
      return;
    }
    if (matched_ == 0) first_byte_ = now;
    if (++matched_ == e.sent.size()) {
      report_.Add({now, std::string(kEventMessage), {}, e.rate, e.sent, LineNote(e.sent_line)});
      ++lines_played_;
      SimTime received = std::max(now, first_byte_ + ByteTime(e.rate) * static_cast<int>(matched_));
      Reply(e, received + e.reply_delay);
      ++next_;
      matched_ = 0;
      Advance(now);
    }
  }
}

// Plays the exchanges from next_ on that wait for nothing from the host (an
// S: line without bytes), and ends the session once the log is through.
void Replayer::Advance(SimTime now) {
  const std::vector<LoggedExchange>& exchanges = log_.exchanges;
  for (; next_ < exchanges.size() && exchanges[next_].sent.empty(); ++next_) {
    ++lines_played_;
    Reply(exchanges[next_], now);
  }
  if (next_ == exchanges.size() && !ended_) {
    ended_ = true;
    Schedule(line_free_, LineAction{LineAction::Type::session_end, {}, 0});
  }
}

void Replayer::Reply(const LoggedExchange& e, SimTime start) {
  SimTime t = std::max(start, line_free_);
  if (e.reply_line != 0 && e.reply.empty()) ++lines_played_;
  std::optional<ReportEvent> event =
      ReportEvent{t, std::string(kEventReply), {}, e.rate, e.reply, LineNote(e.reply_line)};
  for (std::size_t i = 0; i < e.reply.size(); ++i) {
    t += ByteTime(e.rate);
    Schedule(t, LineAction{LineAction::Type::write, {e.reply[i]}, 0},
             std::exchange(event, std::nullopt), i + 1 == e.reply.size() ? e.reply_line : 0);
  }
  line_free_ = t;
  std::size_t index = static_cast<std::size_t>(&e - log_.exchanges.data());
  if (index + 1 < log_.exchanges.size() && log_.exchanges[index + 1].rate != e.rate) {
    Schedule(t, LineAction{LineAction::Type::set_rate, {}, log_.exchanges[index + 1].rate});
  }
}

void Replayer::Differ(SimTime now, int line, std::vector<std::uint8_t> expected,
                      std::vector<std::uint8_t> got, std::string note) {
  report_.Add({now,
               std::string(kEventDifference),
               {},
               0,
               got,
               LineNote(line) + ": expected " + HexOf(expected) + "; " + note});
  difference_ = ReplayDifference{line, std::move(expected), std::move(got), std::move(note)};
  collect_until_ = now + kCollectGap;
  if (!ended_) {
    ended_ = true;
    Schedule(std::max(collect_until_, line_free_),
             LineAction{LineAction::Type::session_end, {}, 0});
  }
}

void Replayer::Schedule(SimTime due, LineAction action, std::optional<ReportEvent> event,
                        int completes_line) {
  auto at = std::upper_bound(scheduled_.begin(), scheduled_.end(), due,
                             [](SimTime t, const Scheduled& s) { return t < s.due; });
  scheduled_.insert(at, Scheduled{due, std::move(action), std::move(event), completes_line});
}

std::vector<LineAction> Replayer::Run(SimTime now) {
  if (gone_at_ && !difference_ && !ended_) {
    const LoggedExchange& e = log_.exchanges[next_];
    if (now >= *gone_at_) {
      Differ(now, e.sent_line, e.sent, {e.sent.begin(), e.sent.begin() + matched_},
             "the host closed the port");
    }
  }
  std::vector<LineAction> due;
  while (!scheduled_.empty() && scheduled_.front().due <= now) {
    Scheduled s = std::move(scheduled_.front());
    scheduled_.pop_front();
    if (s.event) report_.Add(std::move(*s.event));
    if (s.completes_line != 0) ++lines_played_;
    const LineAction::Type type = s.action.type;
    if (type == LineAction::Type::set_rate) {
      if (s.action.rate == rate_) continue;
      rate_ = s.action.rate;
      report_.Add({s.due, std::string(kEventRate), {}, rate_, {}, {}});
    } else if (type == LineAction::Type::session_end) {
      std::string note = ran_to_end() ? "complete" : "stopped";
      report_.Add({s.due, std::string(kEventSession), {}, rate_, {}, note});
    }
    AppendAction(due, std::move(s.action));
  }
  return due;
}

std::optional<SimTime> Replayer::NextWake() const {
  std::optional<SimTime> wake;
  if (!scheduled_.empty()) wake = scheduled_.front().due;
  if (gone_at_ && !difference_ && !ended_ && (!wake || *gone_at_ < *wake)) wake = gone_at_;
  return wake;
}

void Replayer::NotePort(SimTime now, std::string note) {
  if (note == "opened") {
    gone_at_.reset();
  } else if (note == "closed" && !ended_) {
    const LoggedExchange& e = log_.exchanges[next_];
    SimTime pause{0};
    if (next_ > 0 && e.sent_at && log_.exchanges[next_ - 1].reply_at) {
      pause = std::max(SimTime(0), std::chrono::duration_cast<SimTime>(
                                       *e.sent_at - *log_.exchanges[next_ - 1].reply_at));
    }
    gone_at_ = now + kReopenGrace + pause;
  }
  report_.Add({now, std::string(kEventPort), {}, 0, {}, std::move(note)});
}

bool Replayer::ran_to_end() const {
  if (difference_ || next_ < log_.exchanges.size()) return false;
  int lines = 0;
  for (const LoggedExchange& e : log_.exchanges) lines += e.reply_line != 0 ? 2 : 1;
  return lines_played_ == lines;
}

std::string Replayer::ReportJson() const {
  std::string replay = "\"replay\": {\"lines_played\": " + std::to_string(lines_played_) +
                       ", \"ran_to_end\": " + (ran_to_end() ? "true" : "false") +
                       ", \"first_difference\": ";
  if (difference_) {
    replay += "{\"line\": " + std::to_string(difference_->line) + ", \"expected\": \"" +
              HexOf(difference_->expected) + "\", \"got\": \"" + HexOf(difference_->got) +
              "\", \"note\": " + JsonQuote(difference_->note) + "}";
  } else {
    replay += "null";
  }
  replay += "}";
  return report_.ToJson({}, rate_, ran_to_end() ? 1 : 0, replay);
}

std::string BadLogReportJson(const ParsedLog& parsed) {
  std::string replay =
      "\"replay\": {\"lines_played\": 0, \"ran_to_end\": false, "
      "\"first_difference\": null, \"bad_line\": " +
      std::to_string(parsed.bad_line) + ", \"error\": " + JsonQuote(parsed.error) + "}";
  return Report().ToJson({}, kStartRate, 0, replay);
}

}  // namespace vexo::sim
