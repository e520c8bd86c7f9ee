// One download job as the history keeps it: who ran it where, against which
// port and firmware file, how each phase went, every message shown and how
// it ended. A plain value; the host fills it as the job runs and hands it to
// HistoryStore. No Qt, no I/O beyond the clock and the user/host names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexo {

// A row reads "interrupted" from the moment it is written until the job
// finishes, so a process that dies mid-job leaves exactly that behind.
// failed: the radio or the line said no (no reply, a wrong reply, a bad sum,
// differing flash, the port lost); stopped: the user asked. Rows written
// before "failed" existed read "stopped" for both.
enum class JobResult { kInterrupted, kCompleted, kStopped, kFailed };
enum class JobProgram { kWindow, kCommandLine };
enum class JobMode { kEraseProgram, kEraseProgramVerify };  // E.P, E.P.R

std::string_view JobResultText(JobResult result);  // "completed", "failed", "stopped", "interrupted"
std::string_view JobProgramText(JobProgram program);  // "window", "command-line"
std::string_view JobModeText(JobMode mode);           // "E.P", "E.P.R"
// The inverse forms; nullopt for an unknown text.
std::optional<JobResult> ParseJobResult(std::string_view text);
std::optional<JobProgram> ParseJobProgram(std::string_view text);
std::optional<JobMode> ParseJobMode(std::string_view text);

// Phase names as recorded.
namespace phase {
inline constexpr char kHandshake[] = "handshake";
inline constexpr char kErase[] = "erase";
inline constexpr char kProgramming[] = "programming";
inline constexpr char kReadBack[] = "read-back";
inline constexpr char kClosing[] = "closing";
}  // namespace phase

struct PhaseRecord {
  std::string name;
  std::int64_t started_utc_ms = 0;
  std::int64_t duration_ms = 0;
  int retries = 0;  // attempts beyond the first
  std::uint64_t bytes_sent = 0;
  std::uint64_t bytes_received = 0;
};

struct JobRecord {
  std::int64_t id = 0;  // given by HistoryStore::BeginJob; 0 until then
  std::int64_t started_utc_ms = 0;
  std::int64_t ended_utc_ms = 0;  // 0 while the job runs
  JobProgram program = JobProgram::kCommandLine;
  std::string program_version;
  std::string user_name;
  std::string host_name;

  std::string port_chosen;  // "COM3" or a device path, as the user gave it
  std::string port_device;  // what it resolved to
  std::string usb_vid_pid;  // "0403:6001"; empty when not a USB adapter
  std::string usb_product;
  std::string usb_serial;
  std::string usb_path;  // /sys devpath

  int requested_baud = 0;
  int used_baud = 0;  // 9600 when the boot loader declined the faster rate
  std::string model;
  JobMode mode = JobMode::kEraseProgram;

  std::string firmware_path;  // as given
  std::uint64_t firmware_size = 0;
  std::string firmware_sha256;
  int record_count = 0;
  std::uint32_t lowest_address = 0;
  std::uint32_t highest_address = 0;

  std::string identity_hex;  // the radio's eight-byte answer to the 0x02 request

  std::vector<PhaseRecord> phases;
  int pages_compared = 0;
  std::optional<std::uint32_t> first_difference;  // read-back: first differing address

  std::vector<int> message_ids;  // every message shown, in order
  JobResult result = JobResult::kInterrupted;
  bool closing_confirmed = false;  // the radio confirmed the closing exchange
  bool downing_declined = false;   // the faster rate was declined: programmed at 9600
  int exit_status = 0;

  std::string chain_hash;  // set by HistoryStore::FinishJob; empty for unfinished rows

  std::int64_t DurationMs() const { return ended_utc_ms > 0 ? ended_utc_ms - started_utc_ms : 0; }
};

std::int64_t NowUtcMs();
// The time now in UTC, formatted by strftime's rules.
std::string UtcNowText(const char* format);
// The login name and the machine's name, for the record; empty when unknown.
std::string CurrentUserName();
std::string CurrentHostName();

}  // namespace vexo
