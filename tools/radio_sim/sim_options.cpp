#include "tools/radio_sim/sim_options.h"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <vector>

#include "tools/getopt_words.h"
#include "tools/radio_sim/line.h"
#include "tools/radio_sim/report.h"

namespace vexo::sim {

namespace {

constexpr std::string_view kUsage = R"(Usage: vexo-radio-sim [options]

Plays a radio's boot loader on a new pseudo-terminal (or a serial device) and
prints the device path the host must open as the first line of standard
output. Serves until SIGINT or SIGTERM, or with --once after one download.
The loader starts at 9600 baud and understands bytes only while the host's
rate equals its own; BPSSET moves it to the coded rate ("0" 9600, "1" 19200,
"2" 38400, "3" 57600, "4" 115200) once its answer has left. Probe frames are
understood only at the probe rate, whatever the loader's own, and return it to
9600 (a new handshake). 45 is answered only right after the closing frame.

Line:
  --device PATH          serve an existing serial device wired to a real host
                         (its rate is the loader's own; the host's is unseen)
  --once                 stop after one completed session (closing frame and
                         the final 45 answered) once the host has closed the
                         port (at most 2 s later), writing the report
  --pace                 behave like a real line: a message counts as received
                         when its last byte would have arrived (10 bits a byte
                         from its first byte), replies leave at the same speed
  --gap-ms MS            silence after which a partial message is dropped and
                         "BPSSET" without a digit counts as code-less (50)
Boot loader:
  --flash-size BYTES     flash size (65536); 0x00 before the first erase.
                         Reads past the end give 0xFF; a record that does not
                         fit is neither written nor echoed
  --identity HEX         the 8 bytes answered to 02 (5658424F4F540220)
  --erase-ms MS          time DALL takes before 44 is sent (1500); bytes that
                         arrive while erasing or writing are lost
  --write-ms MS          flash write time of each record (0)
  --run-replies          answer a read of uniform pages with a RunReply
                         (77 HH LL L V sum) instead of a PageReply
  --run-min N            fewest pages such a run must hold (2)
Faults (all combinable):
  --probe-rate RATE|none the rate at which probe frames are answered (9600)
  --downing-reply HH|none  answer DOWNING with this byte, or not at all
  --erase-reply HH|none  answer DALL with this byte, or not at all; a late
                         answer is --erase-ms beyond the host's limit
  --no-echo K[:N]        no echo for record K (0 is the first record), on its
                         first N attempts only when N is given; repeatable
  --wrong-echo K[:N]     echo record K with its sixth byte inverted; repeatable
  --extra HEX[@KINDS]    send these bytes after every reply (to KINDS only)
  --split N:MS[@KINDS]   send replies in N pieces, MS apart (KINDS only)
  --corrupt-page-data K  flip a data byte of page reply K (0 is the first)
  --corrupt-page-sum K   flip the sum of page reply K; both repeatable
  --corrupt-flash ADDR   flip a bit of the flash byte at ADDR once programmed
  --run-zero             every RunReply says L = 0
  --closing-silent       leave the closing frame (address FFFFFFFF) unanswered
  --finish-silent        leave the final 45 unanswered
  --drop-rate P          drop each byte with probability P (0..1)
  --corrupt-rate P       corrupt each byte with probability P
  --noise in|out|both    which direction drops and corruption hit (both)
  --seed N               seed of the random faults and of test-image data (1)
  --hang-up-after K      close the line at the first message after the echo
                         of record K-1, a repeat of it aside (0: at the first
                         record); the simulator then stops
  KINDS: comma-separated probe_a, probe_b, firmwar, downing, identity, bpsset,
  bpsset_plain, echo_test, erase_all, program, closing, finish, read_request
Replay (a captured session instead of the loader):
  --replay LOG           play the radio's side of a traffic log (vexo-flash
                         --log, or a saved log box): for each S: line expect
                         exactly those bytes at the rate the log implies and
                         answer with the R: line that followed, paced at that
                         rate, keeping the radio's pauses when the lines carry
                         "+MS" times. Stops once the log is played (or at the
                         first difference) and the host has closed the port.
                         Loader and fault options do not apply. The report
                         gains "replay": lines_played, ran_to_end and
                         first_difference (line, expected, got, note)
Output:
  --report FILE          JSON report on stop: every message, reply and ignored
                         byte in order with its rate, and the flash contents
  --flash-dump FILE      the raw flash contents on stop
  --verbose              every event as a line on standard error
Test images (write the file and exit):
  --make-image FILE      36-byte header, then 133-byte records at base+128*i
  --records N            number of records (1)
  --base ADDR            address of the first record (0)
  --ff-records FIRST:COUNT  records whose data is all FF; repeatable
  --trailing N           bytes after the last record (0..132)
  --help                 this text

Exit status: 0 after a stop, 1 when the line cannot be opened or fails,
2 for a bad option. With --replay: 0 when the whole log was played and
matched, 1 on a difference (or a stop before the end), 2 for a bad log file
(its first line that is not a log line is named, and is bad_line in the
report).
)";

template <typename T>
std::optional<T> Number(std::string_view text, T min, T max, int base = 10) {
  if (base == 16 && text.starts_with("0x")) text.remove_prefix(2);
  if (base == 0) {
    base = text.starts_with("0x") || text.starts_with("0X") ? 16 : 10;
    if (base == 16) text.remove_prefix(2);
  }
  T value{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < min || value > max) return std::nullopt;
  return value;
}

std::optional<double> Probability(std::string_view text) {
  std::string s(text);
  char* end = nullptr;
  double p = std::strtod(s.c_str(), &end);
  if (s.empty() || end != s.c_str() + s.size() || !(p >= 0.0 && p <= 1.0)) return std::nullopt;
  return p;
}

// "none" (out emptied) or a byte in hex.
bool ByteOrNone(std::string_view text, std::optional<std::uint8_t>& out) {
  if (text == "none") {
    out.reset();
    return true;
  }
  std::optional<unsigned> b = Number<unsigned>(text, 0, 0xFF, 16);
  if (b) out = static_cast<std::uint8_t>(*b);
  return b.has_value();
}

// "HEAD@KINDS" into HEAD and the kinds (all when no '@').
std::optional<KindSet> SplitKinds(std::string_view& text) {
  std::size_t at = text.find('@');
  if (at == std::string_view::npos) return AllKinds();
  std::string_view list = text.substr(at + 1);
  text = text.substr(0, at);
  KindSet kinds;
  while (!list.empty()) {
    std::size_t comma = list.find(',');
    std::optional<MessageKind> kind = KindFromName(list.substr(0, comma));
    if (!kind) return std::nullopt;
    kinds.set(static_cast<std::size_t>(*kind));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  return kinds.any() ? std::optional(kinds) : std::nullopt;
}

// "A:B" (B optional when optional_second) into two numbers.
bool Pair(std::string_view text, int& a, int& b, bool optional_second) {
  std::size_t colon = text.find(':');
  std::optional<int> first = Number<int>(text.substr(0, colon), 0, 1 << 24);
  if (!first) return false;
  a = *first;
  if (colon == std::string_view::npos) return optional_second;
  std::optional<int> second = Number<int>(text.substr(colon + 1), 0, 1 << 24);
  if (!second) return false;
  b = *second;
  return true;
}

std::optional<SimTime> Millis(std::string_view text) {
  std::optional<long long> ms = Number<long long>(text, 0, 24LL * 3600 * 1000);
  if (!ms) return std::nullopt;
  return std::chrono::milliseconds(*ms);
}

// Sets the target from the value; false when the value is bad.
using Handler = std::function<bool(ProgramOptions&, std::string_view)>;

struct OptionRule {
  std::string_view name;
  bool takes_value;
  Handler apply;
};

template <typename T, typename Store>
Handler Setter(std::optional<T> (*parse)(std::string_view), Store store) {
  return [parse, store](ProgramOptions& o, std::string_view v) {
    std::optional<T> value = parse(v);
    if (value) store(o, *value);
    return value.has_value();
  };
}

Handler Flag(bool ProgramOptions::*member) {
  return [member](ProgramOptions& o, std::string_view) { return (o.*member) = true; };
}

Handler ConfigFlag(bool SimConfig::*member) {
  return [member](ProgramOptions& o, std::string_view) { return (o.config.*member) = true; };
}

Handler FaultFlag(bool FaultOptions::*member) {
  return [member](ProgramOptions& o, std::string_view) { return (o.config.faults.*member) = true; };
}

Handler Text(std::string ProgramOptions::*member) {
  return [member](ProgramOptions& o, std::string_view v) {
    o.*member = std::string(v);
    return !v.empty();
  };
}

Handler Duration(SimTime SimConfig::*member) {
  return Setter<SimTime>(&Millis, [member](ProgramOptions& o, SimTime t) { o.config.*member = t; });
}

Handler RecordFaults(std::vector<RecordFault> FaultOptions::*member) {
  return [member](ProgramOptions& o, std::string_view v) {
    RecordFault f;
    if (!Pair(v, f.record, f.attempts, true)) return false;
    (o.config.faults.*member).push_back(f);
    return true;
  };
}

Handler PageFaults(std::vector<int> FaultOptions::*member) {
  return [member](ProgramOptions& o, std::string_view v) {
    std::optional<int> k = Number<int>(v, 0, 1 << 24);
    if (k) (o.config.faults.*member).push_back(*k);
    return k.has_value();
  };
}

std::optional<int> Rate(std::string_view v) {
  std::optional<int> rate = Number<int>(v, 1, 4'000'000);
  if (!rate || SpeedOfRate(*rate) == 0) return std::nullopt;
  return rate;
}

const std::vector<OptionRule>& Options() {
  static const std::vector<OptionRule> options = {
      {"--device", true, Text(&ProgramOptions::device)},
      {"--once", false, Flag(&ProgramOptions::once)},
      {"--pace", false, ConfigFlag(&SimConfig::pace)},
      {"--gap-ms", true, Duration(&SimConfig::gap)},
      {"--flash-size", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<std::size_t> size = Number<std::size_t>(v, 1, 16u << 20, 0);
         if (size) o.config.flash_size = *size;
         return size.has_value();
       }},
      {"--identity", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<std::vector<std::uint8_t>> bytes = BytesOfHex(v);
         if (!bytes || bytes->size() != o.config.identity.size()) return false;
         std::copy(bytes->begin(), bytes->end(), o.config.identity.begin());
         return true;
       }},
      {"--erase-ms", true, Duration(&SimConfig::erase_time)},
      {"--write-ms", true, Duration(&SimConfig::write_time)},
      {"--run-replies", false, ConfigFlag(&SimConfig::run_replies)},
      {"--run-min", true,
       Setter<int>([](std::string_view v) { return Number<int>(v, 1, kMaxRunPages); },
                   [](ProgramOptions& o, int n) { o.config.run_min = n; })},
      {"--probe-rate", true,
       [](ProgramOptions& o, std::string_view v) {
         if (v == "none") {
           o.config.faults.probe_rate.reset();
           return true;
         }
         std::optional<int> rate = Rate(v);
         if (rate) o.config.faults.probe_rate = rate;
         return rate.has_value();
       }},
      {"--downing-reply", true,
       [](ProgramOptions& o, std::string_view v) {
         return ByteOrNone(v, o.config.faults.downing_reply);
       }},
      {"--erase-reply", true,
       [](ProgramOptions& o, std::string_view v) {
         return ByteOrNone(v, o.config.faults.erase_reply);
       }},
      {"--no-echo", true, RecordFaults(&FaultOptions::no_echo)},
      {"--wrong-echo", true, RecordFaults(&FaultOptions::wrong_echo)},
      {"--extra", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<KindSet> kinds = SplitKinds(v);
         std::optional<std::vector<std::uint8_t>> bytes = BytesOfHex(v);
         if (!kinds || !bytes || bytes->empty()) return false;
         o.config.faults.extra = *bytes;
         o.config.faults.extra_kinds = *kinds;
         return true;
       }},
      {"--split", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<KindSet> kinds = SplitKinds(v);
         int pieces = 0;
         int pause = 0;
         if (!kinds || !Pair(v, pieces, pause, false) || pieces < 1) return false;
         o.config.faults.split_pieces = pieces;
         o.config.faults.split_pause = std::chrono::milliseconds(pause);
         o.config.faults.split_kinds = *kinds;
         return true;
       }},
      {"--corrupt-page-data", true, PageFaults(&FaultOptions::corrupt_page_data)},
      {"--corrupt-page-sum", true, PageFaults(&FaultOptions::corrupt_page_sum)},
      {"--corrupt-flash", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<std::uint32_t> a = Number<std::uint32_t>(v, 0, 0xFFFFFFFF, 0);
         if (a) o.config.faults.corrupt_flash.push_back(*a);
         return a.has_value();
       }},
      {"--run-zero", false, FaultFlag(&FaultOptions::run_zero)},
      {"--closing-silent", false, FaultFlag(&FaultOptions::closing_silent)},
      {"--finish-silent", false, FaultFlag(&FaultOptions::finish_silent)},
      {"--drop-rate", true,
       Setter<double>(&Probability,
                      [](ProgramOptions& o, double p) { o.config.faults.drop_rate = p; })},
      {"--corrupt-rate", true,
       Setter<double>(&Probability,
                      [](ProgramOptions& o, double p) { o.config.faults.corrupt_rate = p; })},
      {"--noise", true,
       [](ProgramOptions& o, std::string_view v) {
         if (v == "in")
           o.config.faults.noise = NoiseDirection::in;
         else if (v == "out")
           o.config.faults.noise = NoiseDirection::out;
         else if (v == "both")
           o.config.faults.noise = NoiseDirection::both;
         else
           return false;
         return true;
       }},
      {"--seed", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<std::uint32_t> seed = Number<std::uint32_t>(v, 0, 0xFFFFFFFF);
         if (seed) o.config.faults.seed = o.image.seed = *seed;
         return seed.has_value();
       }},
      {"--hang-up-after", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<int> k = Number<int>(v, 0, 1 << 24);
         if (k) o.config.faults.hang_up_after = k;
         return k.has_value();
       }},
      {"--report", true, Text(&ProgramOptions::report_path)},
      {"--flash-dump", true, Text(&ProgramOptions::dump_path)},
      {"--verbose", false, Flag(&ProgramOptions::verbose)},
      {"--replay", true, Text(&ProgramOptions::replay_path)},
      {"--make-image", true,
       [](ProgramOptions& o, std::string_view v) {
         o.image_path = std::string(v);
         return !v.empty();
       }},
      {"--records", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<int> n = Number<int>(v, 0, 1 << 20);
         if (n) o.image.records = *n;
         return n.has_value();
       }},
      {"--base", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<std::uint32_t> a = Number<std::uint32_t>(v, 0, 0xFFFFFFFF, 0);
         if (a) o.image.base = *a;
         return a.has_value();
       }},
      {"--ff-records", true,
       [](ProgramOptions& o, std::string_view v) {
         FfRun run;
         if (!Pair(v, run.first, run.count, false)) return false;
         o.image.ff_runs.push_back(run);
         return true;
       }},
      {"--trailing", true,
       [](ProgramOptions& o, std::string_view v) {
         std::optional<std::size_t> n = Number<std::size_t>(v, 0, kImageRecordBytes - 1);
         if (n) o.image.trailing = *n;
         return n.has_value();
       }},
      {"--help", false, Flag(&ProgramOptions::help)},
      {"-h", false, Flag(&ProgramOptions::help)},
  };
  return options;
}

}  // namespace

std::string_view UsageText() {
  return kUsage;
}

namespace {

// getopt_long's code of rule i is kFirstRuleCode + i; '-h' is its own.
constexpr int kFirstRuleCode = 256;
constexpr int kPositional = 1;  // a word that is no option ("-" in front of the short options)
// "-" keeps the words in order, ":" tells a missing value from an unknown option.
constexpr char kShortOptions[] = "-:h";

const std::vector<option>& LongOptions() {
  static const std::vector<option> options = [] {
    std::vector<option> list;
    const std::vector<OptionRule>& rules = Options();
    for (std::size_t i = 0; i < rules.size(); ++i) {
      if (!rules[i].name.starts_with("--")) continue;
      // The names are literals: the text after "--" ends where the literal does.
      list.push_back({rules[i].name.data() + 2,
                      rules[i].takes_value ? required_argument : no_argument, nullptr,
                      kFirstRuleCode + static_cast<int>(i)});
    }
    list.push_back({nullptr, 0, nullptr, 0});
    return list;
  }();
  return options;
}

const OptionRule* RuleOf(int code) {
  const std::vector<OptionRule>& rules = Options();
  if (code == 'h') {
    return &*std::find_if(rules.begin(), rules.end(),
                          [](const OptionRule& r) { return r.name == "-h"; });
  }
  const int index = code - kFirstRuleCode;
  return index >= 0 && index < static_cast<int>(rules.size()) ? &rules[index] : nullptr;
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string> args) {
  ProgramOptions o;
  o.image.records = 1;
  GetoptWords words("vexo-radio-sim", args);
  const int argc = words.argc();
  char** const argv = words.argv();
  for (;;) {
    const int at = optind == 0 ? 1 : optind;
    const int code = getopt_long(argc, argv, kShortOptions, LongOptions().data(), nullptr);
    // Every word is an option here: "--" ends none.
    if (code == -1 && at < argc) return {std::nullopt, "unknown option " + std::string(argv[at])};
    if (code == -1) break;
    const std::string_view given = at < argc ? std::string_view(argv[at]) : std::string_view();
    const std::string arg(given.substr(0, given.starts_with("--") ? given.find('=') : given.npos));
    const OptionRule* rule = RuleOf(code);
    // Only whole names count: getopt_long would take "--ver" for "--verbose".
    if (code == kPositional || (code == '?' && optopt == 0) || (rule && arg != rule->name)) {
      return {std::nullopt, "unknown option " + arg};
    }
    if (code == ':') return {std::nullopt, std::string(RuleOf(optopt)->name) + " needs a value"};
    if (code == '?') {
      if (optopt >= kFirstRuleCode) {
        return {std::nullopt, std::string(RuleOf(optopt)->name) + " takes no value"};
      }
      return {std::nullopt, "unknown option " + arg};
    }
    const std::string_view value = optarg ? std::string_view(optarg) : std::string_view();
    if (!rule->apply(o, value)) {
      return {std::nullopt, "bad value for " + arg + ": " + std::string(value)};
    }
  }
  return {std::move(o), {}};
}

}  // namespace vexo::sim
