#include "history/stored_job.h"

#include "history/record_json.h"
#include "history/sha256.h"

namespace vexo {

StoredJob ReadJob(const SqlStatement& row) {
  StoredJob stored;
  JobRecord& r = stored.record;
  int c = 0;
  r.id = row.Int(c++);
  r.started_utc_ms = row.Int(c++);
  r.ended_utc_ms = row.Int(c++);
  r.program = ParseJobProgram(row.Text(c++)).value_or(JobProgram::kCommandLine);
  r.program_version = row.Text(c++);
  r.user_name = row.Text(c++);
  r.host_name = row.Text(c++);
  r.port_chosen = row.Text(c++);
  r.port_device = row.Text(c++);
  r.usb_vid_pid = row.Text(c++);
  r.usb_product = row.Text(c++);
  r.usb_serial = row.Text(c++);
  r.usb_path = row.Text(c++);
  r.requested_baud = static_cast<int>(row.Int(c++));
  r.used_baud = static_cast<int>(row.Int(c++));
  r.model = row.Text(c++);
  r.mode = ParseJobMode(row.Text(c++)).value_or(JobMode::kEraseProgram);
  r.firmware_path = row.Text(c++);
  r.firmware_size = static_cast<std::uint64_t>(row.Int(c++));
  r.firmware_sha256 = row.Text(c++);
  r.record_count = static_cast<int>(row.Int(c++));
  r.lowest_address = static_cast<std::uint32_t>(row.Int(c++));
  r.highest_address = static_cast<std::uint32_t>(row.Int(c++));
  r.identity_hex = row.Text(c++);
  r.pages_compared = static_cast<int>(row.Int(c++));
  if (!row.IsNull(c)) r.first_difference = static_cast<std::uint32_t>(row.Int(c));
  ++c;
  r.result = ParseJobResult(row.Text(c++)).value_or(JobResult::kInterrupted);
  r.closing_confirmed = row.Int(c++) != 0;
  r.downing_declined = row.Int(c++) != 0;
  r.exit_status = static_cast<int>(row.Int(c++));
  r.chain_hash = row.Text(c++);
  if (!row.IsNull(c)) stored.chain_seq = row.Int(c);
  ++c;
  stored.chain_prev_id = row.Int(c++);
  return stored;
}

bool ReadChildren(sqlite3* db, std::vector<StoredJob>& jobs) {
  SqlStatement phase(db,
                     "SELECT name, started_utc_ms, duration_ms, retries, bytes_sent, "
                     "bytes_received FROM phases WHERE job_id = :id ORDER BY seq");
  SqlStatement message(db, "SELECT text_id FROM messages WHERE job_id = :id ORDER BY seq");
  for (StoredJob& job : jobs) {
    phase.Reset();
    phase.Bind(":id", job.record.id);
    int step;
    while ((step = phase.Step()) == SQLITE_ROW) {
      job.record.phases.push_back(
          {phase.Text(0), phase.Int(1), phase.Int(2), static_cast<int>(phase.Int(3)),
           static_cast<std::uint64_t>(phase.Int(4)), static_cast<std::uint64_t>(phase.Int(5))});
    }
    if (step != SQLITE_DONE) return false;
    message.Reset();
    message.Bind(":id", job.record.id);
    while ((step = message.Step()) == SQLITE_ROW)
      job.record.message_ids.push_back(static_cast<int>(message.Int(0)));
    if (step != SQLITE_DONE) return false;
  }
  return true;
}

std::string ChainDigest(const ChainLink& link, const JobRecord& record) {
  return Sha256Hex(link.prev_hash + "\n" + std::to_string(link.seq) + "\n" +
                   std::to_string(link.prev_id) + "\n" + JsonText(RecordContentJson(record)));
}

}  // namespace vexo
