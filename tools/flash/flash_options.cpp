#include "tools/flash/flash_options.h"

#include <cctype>

#include "link/line_rates.h"
#include "link/port_map.h"

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

ParsedOptions ParseFlashOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  FlashOptions& options = parsed.options;
  auto fail = [&](std::string reason) {
    parsed.error = std::move(reason);
    return parsed;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inline_value;
    if (arg.rfind("--", 0) == 0) {
      if (auto eq = arg.find('='); eq != std::string::npos) {
        inline_value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--status-lines") {
      options.status_lines = true;
    } else if (arg == "--verify" || arg == "--list" || arg == "--log-times") {
      if (inline_value) return fail(arg + " takes no value");
      (arg == "--verify" ? options.verify
       : arg == "--list" ? options.list
                         : options.log_times) = true;
    } else if (arg == "--history") {
      // An optional count: the next word when it is all digits.
      if (inline_value && !AllDigits(*inline_value)) return fail("--history takes a count");
      int count = kDefaultHistoryRows;
      if (inline_value) {
        count = std::stoi(*inline_value);
      } else if (i + 1 < args.size() && AllDigits(args[i + 1])) {
        count = std::stoi(args[++i]);
      }
      options.history_list = count;
    } else if (arg == "--history-check") {
      if (inline_value) return fail(arg + " takes no value");
      options.history_check = true;
    } else if (arg == "--expect-head") {
      auto head = value();
      if (!head) return fail("--expect-head needs a chain head (ROWS:DIGEST)");
      options.history_expect_head = ChainHead::Parse(*head);
      if (!options.history_expect_head) {
        return fail("--expect-head takes a chain head as --history-check prints it (ROWS:DIGEST)");
      }
    } else if (arg == "--history-file") {
      auto file = value();
      if (!file || file->empty()) return fail("--history-file needs a file name");
      options.history_file = *file;
    } else if (arg == "--history-export") {
      auto format = value();
      if (!format || (*format != "csv" && *format != "json")) {
        return fail("--history-export needs csv or json, then a file (- for standard output)");
      }
      if (i + 1 >= args.size()) return fail("--history-export " + *format + " needs a file");
      options.history_export_format = *format;
      options.history_export_file = args[++i];
    } else if (arg == "--json") {
      if (inline_value) return fail(arg + " takes no value");
      options.json = true;
    } else if (arg == "--check" || arg == "--probe") {
      if (inline_value) return fail(arg + " takes no value");
      (arg == "--check" ? options.check : options.probe) = true;
    } else if (arg == "--system-root") {
      auto root = value();
      if (!root) return fail("--system-root needs a folder");
      options.system_root = *root;
    } else if (arg == "--port") {
      auto port = value();
      if (!port) return fail("--port needs a port name");
      if (!IsPortName(*port)) return fail("not a port name: " + *port + PortNameAdvice());
      options.ports.push_back(*port);
    } else if (arg == "--baud") {
      auto baud = value();
      if (!baud) return fail("--baud needs a rate");
      if (!AllDigits(*baud) || !IsTargetBaud(std::stoi(*baud))) {
        return fail("unsupported rate: " + *baud + " (9600, 19200, 38400, 57600 or 115200)");
      }
      options.baud = std::stoi(*baud);
    } else if (arg == "--log") {
      auto path = value();
      if (!path || path->empty()) return fail("--log needs a file name");
      options.log_path = *path;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return fail("unknown option: " + arg);
    } else {
      if (options.firmware) return fail("more than one firmware file given");
      options.firmware = arg;
    }
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
