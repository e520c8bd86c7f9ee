#include "tools/flash/flash_options.h"

#include <cctype>

#include "link/port_map.h"

namespace vexo {
namespace {

constexpr int kTargetRates[] = {9600, 19200, 38400, 57600, 115200};

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
  for (int rate : kTargetRates) {
    if (rate == baud) return true;
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
    } else if (arg == "--verify" || arg == "--list") {
      if (inline_value) return fail(arg + " takes no value");
      (arg == "--verify" ? options.verify : options.list) = true;
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
  return parsed;
}

const char* FlashUsage() {
  return "usage: vexo-flash [--port NAME] [--baud N] [--verify] [--log FILE] [--list] [FIRMWARE]\n"
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
         "  --log FILE   write every S: and R: line of the job to FILE.\n"
         "  --list       print every programming message of FIRMWARE, send nothing.\n"
         "  --help       show this text.\n"
         "FIRMWARE defaults to the file saved by the window. system.ini, language.sys\n"
         "and isdebug.txt are taken from the current directory.\n"
         "\n"
         "Messages go to standard error, one line each. Exit status: 0 when the job\n"
         "ran to its end, 1 when it stopped early, 2 for a usage error.\n";
}

}  // namespace vexo
