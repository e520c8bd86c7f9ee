#include "tools/flash/job_facts.h"

#include <sys/stat.h>

#include <ctime>

#include "app/process_state.h"
#include "download/image_records.h"
#include "history/sha256.h"
#include "link/hex_text.h"
#include "link/port_map.h"

namespace vexo {
namespace {

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace

const char* ModeName(int mode) {
  return mode == kModeEraseProgramVerify ? "E.P.R" : "E.P";
}

JobFacts GatherJobFacts(const ConsoleJob& job) {
  JobFacts facts;
  facts.started_utc = UtcNow();
  facts.version = AppState().VersionText;
  facts.port = job.port_text;
  facts.device = ResolvePortName(job.port_text).value_or(std::string());
  facts.baud = job.baud;
  facts.mode = job.mode;
  facts.firmware_path = TrimText(job.firmware_path);
  struct stat info {};
  if (stat(facts.firmware_path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    if (std::optional<std::string> digest = FileSha256Hex(facts.firmware_path)) {
      facts.firmware_readable = true;
      facts.firmware_bytes = info.st_size;
      facts.firmware_sha256 = *digest;
      const std::int64_t body = info.st_size - kHeaderChars / 2;
      facts.records = body >= kRecordChars / 2 ? static_cast<int>(body / (kRecordChars / 2)) : 0;
      facts.trailing_bytes = TrailingBytes(info.st_size);
    }
  }
  return facts;
}

std::string LogHeaderText(const JobFacts& facts) {
  std::string text = "VEXO " + facts.version + " traffic log; " + facts.started_utc + "; port " +
                     facts.port + " (" + (facts.device.empty() ? "no device" : facts.device) +
                     "); rate " + std::to_string(facts.baud) + "; mode " + ModeName(facts.mode) +
                     "; firmware " + facts.firmware_path;
  if (!facts.firmware_readable) return text + " (cannot be read)";
  return text + "; " + std::to_string(facts.firmware_bytes) + " bytes; sha256 " +
         facts.firmware_sha256 + "; " + std::to_string(facts.records) + " records; " +
         std::to_string(facts.trailing_bytes) + " trailing bytes";
}

}  // namespace vexo
