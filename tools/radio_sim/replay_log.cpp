#include "tools/radio_sim/replay_log.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>

#include "link/line_rates.h"

namespace vexo::sim {

namespace {

// The host's probing: three attempts at each rate of kProbeRates, in order;
// once a probe is answered (or none was) it goes on at the start rate.
constexpr std::size_t kProbeAttemptsPerRate = 3;
constexpr std::size_t kBpsSetReplyBytes = 4;  // "BPS" and the rate code

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct LogLine {
  char direction = 0;  // 'S' or 'R'
  std::vector<std::uint8_t> bytes;
  std::optional<std::chrono::milliseconds> at;
};

// "[+MS ]S:HH HH ...", bytes each followed by a blank (the last one's may be
// missing); nullopt for anything else.
std::optional<LogLine> ReadLogLine(std::string_view text) {
  LogLine line;
  if (text.starts_with('+')) {
    std::size_t blank = text.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    long long ms = 0;
    auto [end, ec] = std::from_chars(text.data() + 1, text.data() + blank, ms);
    if (blank == 1 || ec != std::errc() || end != text.data() + blank) return std::nullopt;
    line.at = std::chrono::milliseconds(ms);
    text.remove_prefix(blank + 1);
  }
  if (text.size() < 2 || (text[0] != 'S' && text[0] != 'R') || text[1] != ':') return std::nullopt;
  line.direction = text[0];
  text.remove_prefix(2);
  while (!text.empty()) {
    if (text.size() < 2) return std::nullopt;
    int high = DigitValue(text[0]);
    int low = DigitValue(text[1]);
    if (high < 0 || low < 0) return std::nullopt;
    line.bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    text.remove_prefix(2);
    if (text.empty()) break;
    if (text[0] != ' ') return std::nullopt;
    text.remove_prefix(1);
  }
  return line;
}

bool IsBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

template <std::size_t N>
bool Equals(const std::vector<std::uint8_t>& bytes, const std::array<std::uint8_t, N>& frame) {
  return std::equal(bytes.begin(), bytes.end(), frame.begin(), frame.end());
}

// The rate each exchange travelled at, following the host through its
// probes and its BPSSET.
void FollowRates(std::vector<LoggedExchange>& exchanges) {
  int rate = kStartRate;
  int probe_rate = kStartRate;
  std::size_t probes = 0;  // probe A attempts in the current run of probes
  bool probing = false;
  for (LoggedExchange& e : exchanges) {
    if (Equals(e.sent, kProbeA)) {
      if (!probing) probes = 0;
      probing = true;
      probe_rate = kProbeRates[(probes / kProbeAttemptsPerRate) % std::size(kProbeRates)];
      ++probes;
      e.rate = probe_rate;
      continue;
    }
    if (Equals(e.sent, kProbeB)) {
      e.rate = probe_rate;
      continue;
    }
    if (probing) rate = kStartRate;
    probing = false;
    e.rate = rate;
    // BPSSET with its code: the host moves to the coded rate once the echo
    // of the command's head and code came back.
    const std::size_t head = kBpsSetText.size();
    if (e.sent.size() == head + 1 &&
        std::equal(kBpsSetText.begin(), kBpsSetText.end(), e.sent.begin(), e.sent.begin() + head)) {
      std::optional<int> coded = RateOfCode(e.sent.back());
      bool acknowledged = e.reply.size() == kBpsSetReplyBytes &&
                          std::equal(e.reply.begin(), e.reply.end() - 1, e.sent.begin()) &&
                          e.reply.back() == e.sent.back();
      if (coded && acknowledged) rate = *coded;
    }
  }
}

// The radio's pause before each reply, from the times of its S: and R:
// lines less the time the bytes took on the line. An attempt that the host
// repeated, or after which it gave up, ended at its time limit: its reply
// (if any came) goes out at once, or it would race that limit.
void FollowPauses(std::vector<LoggedExchange>& exchanges) {
  for (std::size_t i = 0; i < exchanges.size(); ++i) {
    LoggedExchange& e = exchanges[i];
    if (!e.sent_at || !e.reply_at || e.reply.empty()) continue;
    if (i + 1 == exchanges.size()) continue;
    const LoggedExchange& next = exchanges[i + 1];
    bool repeated = next.sent == e.sent;
    bool restarted = Equals(next.sent, kProbeA) && !Equals(e.sent, kProbeA);
    if (repeated || restarted) continue;
    SimTime wire = ByteTime(e.rate) * static_cast<int>(e.sent.size() + e.reply.size());
    SimTime pause = std::chrono::duration_cast<SimTime>(*e.reply_at - *e.sent_at) - wire;
    e.reply_delay = std::max(pause, SimTime(0));
  }
}

// "# ...", also with a time in front ("+120 # ..."): notes, not traffic.
bool IsComment(std::string_view line) {
  if (line.starts_with('+')) {
    const std::size_t digits = line.find_first_not_of("0123456789", 1);
    if (digits != 1 && digits != std::string_view::npos && line[digits] == ' ') {
      line.remove_prefix(digits + 1);
    }
  }
  return line.starts_with('#');
}

}  // namespace

ParsedLog ParseReplayLog(std::string_view text) {
  ParsedLog parsed;
  ReplayLog log;
  bool awaiting_reply = false;
  int number = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (IsBlank(line) || IsComment(line)) continue;
    std::optional<LogLine> read = ReadLogLine(line);
    if (read && read->direction == 'S' && !awaiting_reply) {
      LoggedExchange e;
      e.sent_line = number;
      e.sent = std::move(read->bytes);
      e.sent_at = read->at;
      log.exchanges.push_back(std::move(e));
      awaiting_reply = true;
    } else if (read && read->direction == 'R' && awaiting_reply) {
      LoggedExchange& e = log.exchanges.back();
      e.reply_line = number;
      e.reply = std::move(read->bytes);
      e.reply_at = read->at;
      awaiting_reply = false;
    } else {
      parsed.bad_line = number;
      parsed.error = !read                    ? "not a log line"
                     : read->direction == 'S' ? "S: line where an R: line was due"
                                              : "R: line without an S: line before it";
      return parsed;
    }
  }
  if (log.exchanges.empty()) {
    parsed.error = "no S: line in the log";
    return parsed;
  }
  log.line_count = number;
  FollowRates(log.exchanges);
  FollowPauses(log.exchanges);
  parsed.log = std::move(log);
  return parsed;
}

}  // namespace vexo::sim
