// For the history tests: a scratch folder removed afterwards, a job record
// with every field filled, and raw SQL on a history file (as a person with
// the sqlite3 shell would run it).
#pragma once

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "history/job_record.h"

namespace vexo::testing {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexo-history-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline JobRecord SampleJob(int n = 1) {
  JobRecord r;
  r.started_utc_ms = 1'765'000'000'000 + n * 60'000;
  r.program = n % 2 ? JobProgram::kCommandLine : JobProgram::kWindow;
  r.program_version = "2.20a";
  r.user_name = "tech";
  r.host_name = "bench-pc";
  r.port_chosen = "COM" + std::to_string(n);
  r.port_device = "/dev/ttyUSB" + std::to_string(n);
  r.usb_vid_pid = "0403:6001";
  r.usb_product = "FT232R USB UART";
  r.usb_serial = "A" + std::to_string(1000 + n);
  r.usb_path = "/devices/pci0000:00/usb1/1-" + std::to_string(n);
  r.requested_baud = 115200;
  r.used_baud = 9600;
  r.model = "RX-" + std::to_string(n);
  r.mode = JobMode::kEraseProgramVerify;
  r.firmware_path = "/srv/fw/radio, \"v" + std::to_string(n) + "\".BIN";
  r.firmware_size = 131072;
  r.firmware_sha256 = std::string(64, 'a' + n % 6);
  r.record_count = 512;
  r.lowest_address = 0x08000000;
  r.highest_address = 0x0801FFFF;
  r.identity_hex = "0102030405060708";
  r.phases = {{"handshake", r.started_utc_ms, 120, 1, 16, 24},
              {"erase", r.started_utc_ms + 120, 900, 0, 8, 2}};
  r.pages_compared = 64;
  r.first_difference = 0x08000400;
  r.message_ids = {6011, 3025};
  r.closing_confirmed = true;
  r.downing_declined = true;
  r.exit_status = 0;
  return r;
}

// Runs sql on the file through a connection of its own; returns the SQLite code.
inline int RawSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  int code = sqlite3_open(path.c_str(), &db);
  if (code == SQLITE_OK) code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return code;
}

}  // namespace vexo::testing
