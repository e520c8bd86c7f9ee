#include "tools/flash/flash_options.h"

#include <getopt.h>

#include <cctype>

#include "link/line_rates.h"
#include "link/port_map.h"
#include "tools/getopt_words.h"

namespace vexo {
namespace {

bool AllDigits(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string PortNameAdvice() {
  return " (use COM1..COM" + std::to_string(kCommPortCount) + " or a device path)";
}

}  // namespace

bool IsTargetBaud(int baud) {
  for (const LoaderRate& rate : kLoaderRates) {
    if (rate.baud == baud) return true;
  }
  return false;
}

bool IsPortName(const std::string& name) {
  if (name.find('/') != std::string::npos) return true;
  if (name.size() < 4) return false;
  std::string prefix = name.substr(0, 3);
  for (char& c : prefix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  // Too many digits for AllDigits is too large a number as well.
  if (prefix != "COM" || !AllDigits(name.substr(3))) return false;
  const int number = std::stoi(name.substr(3));
  return number >= 1 && number <= kCommPortCount;
}

FlashTarget ResolveFlashTarget(const FlashOptions& options, const std::string& saved_firmware,
                               const std::string& saved_port) {
  FlashTarget target;
  target.firmware = options.firmware.value_or(saved_firmware);
  // The set-up check works with whatever is there, a firmware file or none.
  if (options.check) return target;
  if (target.firmware.empty()) {
    target.error = "no firmware file given and none saved";
    return target;
  }
  // --list sends nothing, and several ports each name their own.
  if (options.list || options.ports.size() > 1) return target;
  target.port = options.ports.empty() ? saved_port : options.ports.front();
  if (target.port.empty()) {
    target.error = "no port given and none saved";
  } else if (!IsPortName(target.port)) {
    target.error = "the saved port is not a port name: " + target.port + PortNameAdvice();
  }
  return target;
}

namespace {

// getopt_long's codes for the long options; '-h' is its own.
enum OptionCode : int {
  kHelp = 'h',
  kPositional = 1,  // a word that is no option, in order ("-" in front of the short options)
  kVerify = 256,
  kList,
  kLogTimes,
  kHistory,
  kHistoryCheck,
  kExpectHead,
  kHistoryFile,
  kHistoryExport,
  kJson,
  kCheck,
  kProbe,
  kSystemRoot,
  kPort,
  kBaud,
  kLog,
};

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelp},
    {"verify", no_argument, nullptr, kVerify},
    {"list", no_argument, nullptr, kList},
    {"log-times", no_argument, nullptr, kLogTimes},
    {"history", optional_argument, nullptr, kHistory},
    {"history-check", no_argument, nullptr, kHistoryCheck},
    {"expect-head", required_argument, nullptr, kExpectHead},
    {"history-file", required_argument, nullptr, kHistoryFile},
    {"history-export", required_argument, nullptr, kHistoryExport},
    {"json", no_argument, nullptr, kJson},
    {"check", no_argument, nullptr, kCheck},
    {"probe", no_argument, nullptr, kProbe},
    {"system-root", required_argument, nullptr, kSystemRoot},
    {"port", required_argument, nullptr, kPort},
    {"baud", required_argument, nullptr, kBaud},
    {"log", required_argument, nullptr, kLog},
    {nullptr, 0, nullptr, 0},
};

// "-" keeps the words in their order (the firmware file may come first),
// ":" tells a missing value from an unknown option.
constexpr char kShortOptions[] = "-:h";

std::string OptionName(int code) {
  if (code == kHelp) return "--help";
  for (const option& o : kLongOptions) {
    if (o.name && o.val == code) return std::string("--") + o.name;
  }
  return {};
}

// What a required value is, for the line that says it is missing.
std::string MissingValue(int code) {
  switch (code) {
    case kExpectHead:
      return "--expect-head needs a chain head (ROWS:DIGEST)";
    case kHistoryFile:
      return "--history-file needs a file name";
    case kHistoryExport:
      return "--history-export needs csv or json, then a file (- for standard output)";
    case kSystemRoot:
      return "--system-root needs a folder";
    case kPort:
      return "--port needs a port name";
    case kBaud:
      return "--baud needs a rate";
    case kLog:
      return "--log needs a file name";
  }
  return OptionName(code) + " needs a value";
}

// The word as given, without its "=value".
std::string OptionWord(const char* word) {
  const std::string text = word;
  return text.substr(0, text.find('='));
}

}  // namespace

ParsedOptions ParseFlashOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  FlashOptions& options = parsed.options;
  auto fail = [&](std::string reason) {
    parsed.error = std::move(reason);
    return parsed;
  };
  GetoptWords words("vexo-flash", args);
  const int argc = words.argc();
  char** const argv = words.argv();
  for (;;) {
    const int at = optind == 0 ? 1 : optind;
    int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (code == -1) break;
    // Only whole option names count: getopt_long would take "--ver" for "--verify".
    const std::string word = at < argc ? OptionWord(argv[at]) : std::string();
    const bool long_form = code >= kVerify || (code == kHelp && word.rfind("--", 0) == 0);
    if (long_form && word != OptionName(code)) code = '?', optopt = 0;
    switch (code) {
      case kHelp:
        options.help = true;
        break;
      case kVerify:
        options.verify = true;
        break;
      case kList:
        options.list = true;
        break;
      case kLogTimes:
        options.log_times = true;
        break;
      case kHistory:
        // An optional count: the next word when it is all digits.
        if (optarg && !AllDigits(optarg)) return fail("--history takes a count");
        options.history_list = kDefaultHistoryRows;
        if (optarg) {
          options.history_list = std::stoi(optarg);
        } else if (optind < argc && AllDigits(argv[optind])) {
          options.history_list = std::stoi(argv[optind++]);
        }
        break;
      case kHistoryCheck:
        options.history_check = true;
        break;
      case kExpectHead:
        options.history_expect_head = ChainHead::Parse(optarg);
        if (!options.history_expect_head) {
          return fail(
              "--expect-head takes a chain head as --history-check prints it (ROWS:DIGEST)");
        }
        break;
      case kHistoryFile:
        if (*optarg == '\0') return fail(MissingValue(code));
        options.history_file = optarg;
        break;
      case kHistoryExport: {
        const std::string format = optarg;
        if (format != "csv" && format != "json") return fail(MissingValue(code));
        if (optind >= argc) return fail("--history-export " + format + " needs a file");
        options.history_export_format = format;
        options.history_export_file = argv[optind++];
        break;
      }
      case kJson:
        options.json = true;
        break;
      case kCheck:
        options.check = true;
        break;
      case kProbe:
        options.probe = true;
        break;
      case kSystemRoot:
        options.system_root = optarg;
        break;
      case kPort:
        if (!IsPortName(optarg)) {
          return fail("not a port name: " + std::string(optarg) + PortNameAdvice());
        }
        options.ports.push_back(optarg);
        break;
      case kBaud:
        if (!AllDigits(optarg) || !IsTargetBaud(std::stoi(optarg))) {
          return fail("unsupported rate: " + std::string(optarg) +
                      " (9600, 19200, 38400, 57600 or 115200)");
        }
        options.baud = std::stoi(optarg);
        break;
      case kLog:
        if (*optarg == '\0') return fail(MissingValue(code));
        options.log_path = optarg;
        break;
      case kPositional:
        if (options.firmware) return fail("more than one firmware file given");
        options.firmware = optarg;
        break;
      case ':':
        return fail(MissingValue(optopt));
      default:
        // A known option given a value it does not take, or no option at all.
        if (optopt >= kVerify || (optopt == kHelp && word.rfind("--", 0) == 0)) {
          return fail(OptionName(optopt) + " takes no value");
        }
        return fail("unknown option: " + (optopt > 0 && optopt != kHelp
                                              ? std::string("-") + static_cast<char>(optopt)
                                              : word));
    }
  }
  // After "--" every word is a file name.
  for (; optind < argc; ++optind) {
    if (options.firmware) return fail("more than one firmware file given");
    options.firmware = argv[optind];
  }
  if (options.probe && !options.check) return fail("--probe goes with --check");
  if (options.history_expect_head && !options.history_check) {
    return fail("--expect-head goes with --history-check");
  }
  return parsed;
}

const char* FlashUsage() {
  return "usage: vexo-flash [--port NAME] [--baud N] [--verify] [--log FILE [--log-times]] "
         "[--json] "
         "[--list]\n"
         "                  [FIRMWARE]\n"
         "       vexo-flash --check [--probe] [--port NAME] [FIRMWARE]\n"
         "       vexo-flash --history [N] | --history-check [--expect-head HEAD] |\n"
         "                  --history-export csv|json FILE\n"
         "\n"
         "Writes FIRMWARE (a .BIN file) into the radio on the serial port NAME:\n"
         "erase and program, and with --verify read the flash back and compare.\n"
         "\n"
         "  --port NAME  COM1..COM16 (mapped as the window maps them; section [ports]\n"
         "               of system.ini first) or a device path such as /dev/ttyUSB0.\n"
         "               Given more than once, every listed radio is flashed at once,\n"
         "               one progress line per port, a summary at the end; the log\n"
         "               of each goes to FILE.<port>.\n"
         "               Default: the port saved by the window.\n"
         "  --baud N     rate for programming: 9600, 19200, 38400, 57600 or 115200.\n"
         "               Default: the saved rate, else 19200.\n"
         "  --verify     erase, program and read back (E.P.R); without it: E.P.\n"
         "  --log FILE   write every S: and R: line of the job to FILE, each as it\n"
         "               happens, after a header line starting with '#'. FILE is\n"
         "               refused when it is the firmware file, system.ini or\n"
         "               language.sys, or an existing file that is not a VEXO log.\n"
         "               A log that cannot be written is said once; the job goes on.\n"
         "  --log-times  start each S:/R: line of the log with the milliseconds since\n"
         "               the job began (\"+1532 S:44 41 4C 4C\").\n"
         "  --json       also write the job's events on standard output, one JSON\n"
         "               object a line (start, phase, progress, message, identity,\n"
         "               end); with several --port, each object names its port.\n"
         "  --list       print every programming message of FIRMWARE, send nothing.\n"
         "\n"
         "Every job is recorded in the job history (~/.local/share/vexo/\n"
         "history.sqlite3; VEXO_HISTORY or --history-file FILE choose another):\n"
         "  --history [N]        the last N jobs (20) as a table.\n"
         "  --history-check      check the file and that no finished job was altered\n"
         "                       or removed; prints the chain head (ROWS:DIGEST).\n"
         "  --expect-head HEAD   with --history-check, fail unless the chain still\n"
         "                       reaches HEAD, as printed by an earlier check or a\n"
         "                       job's end event or log: catches the newest rows cut.\n"
         "  --history-export csv|json FILE\n"
         "                       every recorded field; FILE - is standard output.\n"
         "  --check      check the set-up instead: serial devices, access, other\n"
         "               programs, line rates, adapter latency, brltty, ModemManager,\n"
         "               the udev rule; one line per check; exit 0 when nothing\n"
         "               blocks a job, else 1. --port narrows it to those ports.\n"
         "  --probe      with --check, also ask the radio (read-only) which rate it\n"
         "               answers at.\n"
         "  --help       show this text.\n"
         "FIRMWARE defaults to the file saved by the window. system.ini, language.sys\n"
         "and isdebug.txt are taken from the current directory.\n"
         "\n"
         "Messages go to standard error, one line each.\n"
         "\n"
         "SIGINT (Ctrl+C) or SIGTERM stops the job at once before the radio is\n"
         "erased. From the erase on, the first only warns (stopping then leaves the\n"
         "radio without firmware); a second within 5 s stops the job: the port is\n"
         "closed and put back as it was, the log is complete. SIGHUP is ignored.\n"
         "\n"
         "Exit status: 0 when the job ran to its end, 1 when it stopped early,\n"
         "2 for a usage error, 130 when stopped by SIGINT, 143 when stopped by\n"
         "SIGTERM.\n";
}

}  // namespace vexo
